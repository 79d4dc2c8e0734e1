// Test helpers: a scratch folder removed afterwards, files in it, and running a peer tool.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/path.h"

namespace tessaly_test {

class ScratchDir {
 public:
  ScratchDir() : path_(platform::CreateTempDirectory("tsh").value_or("")) {}
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return platform::JoinPath(path_, name); }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(gen() >> 24);
  return v;
}

// Runs a shell command and returns its standard output; nullopt when it did not exit with 0.
inline std::optional<std::string> RunCapture(const std::string& command) {
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
  if (pclose(pipe) != 0) return std::nullopt;
  return out;
}

// True when `tool` can be run here (found on PATH by the shell).
inline bool HaveTool(const std::string& tool) {
  return RunCapture("command -v " + tool).has_value();
}

}  // namespace tessaly_test
