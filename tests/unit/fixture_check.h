// Comparing what an engine extracted with a fixture's expected listing (sha256 size name).
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unit/sha256.h"
#include "tests/unit/test_paths.h"

namespace test {

struct TExpectedFile {
  std::string sha256;  // "?" when unknown, "-" for folders and links
  std::int64_t size = 0;
  std::string name;    // "/" between folders
};

inline std::vector<TExpectedFile> ReadExpected(const std::string& fixture) {
  std::vector<TExpectedFile> out;
  std::ifstream in(FixturePath("expected/" + fixture + ".txt"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ss(line);
    TExpectedFile f;
    ss >> f.sha256 >> f.size;
    std::getline(ss, f.name);
    if (!f.name.empty() && f.name.front() == ' ') f.name.erase(0, 1);
    if (f.sha256 == "-") continue;  // folders and links are not files
    out.push_back(f);
  }
  return out;
}

inline bool HasExpected(const std::string& fixture) {
  return std::filesystem::exists(FixturePath("expected/" + fixture + ".txt"));
}

// Every regular file below `dir`, by its relative name with "/" separators.
inline std::map<std::string, TExpectedFile> HashTree(const std::filesystem::path& dir) {
  std::map<std::string, TExpectedFile> out;
  if (!std::filesystem::exists(dir)) return out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
    TExpectedFile f;
    f.name = std::filesystem::relative(e.path(), dir).generic_string();
    f.size = static_cast<std::int64_t>(data.size());
    f.sha256 = test::Sha256Hex(data);
    out[f.name] = f;
  }
  return out;
}

inline std::string FreshDir(const std::string& name) {
  const std::string d = TempPath(name);
  std::filesystem::remove_all(d);
  std::filesystem::create_directories(d);
  return d;
}

}  // namespace test
