// What the ZIP bridge tests share: a bridge with recorded events, files and folders made for
// a test, and running the Info-ZIP tools that serve as oracles.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/unit/core/scratch_dir.h"
#include "tests/unit/sha256.h"
#include "tests/unit/test_paths.h"
#include "zipbridge/zip_master.h"

namespace bridgetest {

using tessaly_test::ReadBytes;
using tessaly_test::ScratchDir;
using tessaly_test::WriteBytes;

// Events of a bridge, recorded.
struct TEvents {
  std::vector<std::pair<int, std::string>> Messages;
  std::vector<std::string> NewFiles;
  std::vector<std::pair<std::string, int>> Skipped;  // name, skip type
  std::int64_t ProgressBytes = 0;
  int EndOfBatch = 0;
  std::uint32_t TotalFiles = 0, TotalSize = 0;

  void Attach(zipbridge::TZipMaster& z) {
    z.OnMessage = [this](zipbridge::TZipMaster&, int code, const std::string& text) {
      Messages.emplace_back(code, text);
    };
    z.OnProgress = [this](zipbridge::TZipMaster&, zipbridge::ProgressType type,
                          const std::string& name, std::uint32_t size) {
      using zipbridge::ProgressType;
      switch (type) {
        case ProgressType::NewFile: NewFiles.push_back(name); break;
        case ProgressType::ProgressUpdate: ProgressBytes += size; break;
        case ProgressType::EndOfBatch: ++EndOfBatch; break;
        case ProgressType::TotalFiles2Process: TotalFiles = size; break;
        case ProgressType::TotalSize2Process: TotalSize = size; break;
      }
    };
    z.OnExtractSkipped = [this](zipbridge::TZipMaster&, const std::string& name,
                                zipbridge::UnZipSkipTypes type, int) {
      Skipped.emplace_back(name, static_cast<int>(type));
    };
  }
  std::string Describe() const {
    std::string s;
    for (const auto& [code, text] : Messages) s += std::to_string(code) + " " + text + "\n";
    return s;
  }
};

inline std::string Slurp(const std::string& path) {
  const auto b = ReadBytes(path);
  return std::string(b.begin(), b.end());
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Runs a command; its standard output, and its exit status in `status`.
inline std::string RunAll(const std::string& command, int* status = nullptr) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  std::string out;
  if (!pipe) {
    if (status) *status = -1;
    return out;
  }
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
  const int rc = pclose(pipe);
  if (status) *status = rc;
  return out;
}

inline bool HaveTool(const std::string& tool) {
#ifdef _WIN32
  (void)tool;
  return false;  // the Info-ZIP oracles are Linux programs
#else
  return tessaly_test::HaveTool(tool);
#endif
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

// SHA-256 of a file named by a path object (wide on Windows, so any name opens).
inline std::string HashOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  test::Sha256 s;
  char buf[65536];
  while (in) {
    in.read(buf, sizeof buf);
    s.Update(reinterpret_cast<const std::uint8_t*>(buf), static_cast<std::size_t>(in.gcount()));
  }
  return s.HexDigest();
}

// Hash and size of every file below `dir`.
inline std::multiset<std::pair<std::string, std::int64_t>> ContentsOf(const std::string& dir) {
  std::multiset<std::pair<std::string, std::int64_t>> out;
  for (const auto& it : std::filesystem::recursive_directory_iterator(dir))
    if (it.is_regular_file())
      out.emplace(HashOf(it.path()), static_cast<std::int64_t>(it.file_size()));
  return out;
}

// The hashes of every file below `dir` by relative name ("/" between folders).
inline std::map<std::string, std::string> HashesIn(const std::string& dir) {
  std::map<std::string, std::string> out;
  for (const auto& it : std::filesystem::recursive_directory_iterator(dir))
    if (it.is_regular_file())
      out[std::filesystem::relative(it.path(), dir).generic_string()] =
          HashOf(it.path());
  return out;
}

}  // namespace bridgetest
