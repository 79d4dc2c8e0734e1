// What the ZIP decoder tests share: running an engine with recorded events, reading the
// fixture manifest and expected listings, and listing an output folder with hashes.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/core/errors.h"
#include "engine/core/un_base.h"
#include "tests/unit/sha256.h"
#include "tests/unit/test_paths.h"

namespace ziptest {

// Events of one run.
struct TRecorder {
  std::vector<std::pair<std::string, int>> Errors;  // file, code
  std::vector<std::pair<std::string, bool>> Ends;   // file, pass
  std::vector<std::string> Begins;

  void Attach(engine::TZipCommon& e) {
    e.OnError = [this](engine::TZipCommon&, const std::string& fn, const std::string&,
                       const std::string&, int code) { Errors.emplace_back(fn, code); };
    e.OnEnd = [this](engine::TZipCommon&, const std::string& fn, bool pass) {
      Ends.emplace_back(fn, pass);
    };
    e.OnBegin = [this](engine::TZipCommon&, const std::string& fn, int, bool&) {
      Begins.push_back(fn);
    };
  }
  int CountCode(int code) const {
    return static_cast<int>(std::count_if(Errors.begin(), Errors.end(),
                                          [code](const auto& e) { return e.second == code; }));
  }
  std::string Describe() const {
    std::string s;
    for (const auto& [fn, code] : Errors)
      s += fn + ": " + std::to_string(code) + " " + std::string(engine::ErrorText(code)) + "\n";
    for (const auto& [fn, pass] : Ends)
      if (!pass) s += fn + ": verdict failed\n";
    return s;
  }
};

// One row of the fixture manifest.
struct TFixtureRow {
  std::string Path;      // relative to the fixture folder
  std::string Password;
  std::string Expected;  // the expected listing's relative path
};

inline std::vector<TFixtureRow> ZipFixtureRows() {
  std::vector<TFixtureRow> rows;
  std::ifstream in(test::FixturePath("MANIFEST.tsv"));
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cols;
    std::stringstream ss(line);
    std::string col;
    while (std::getline(ss, col, '\t')) cols.push_back(col);
    if (cols.size() < 6 || cols[1] != "zip" || cols[5].rfind("see ", 0) == 0) continue;
    const std::string expected = cols[5].substr(0, cols[5].find(' '));
    rows.push_back({cols[0], cols[4] == "(unknown)" ? "" : cols[4], expected});
  }
  return rows;
}

// One file of an expected listing or of an output folder.
struct TFileEntry {
  std::string Sha;
  std::int64_t Size = 0;
  std::string Name;  // "/" between folders
  bool operator<(const TFileEntry& o) const {
    return std::tie(Sha, Size, Name) < std::tie(o.Sha, o.Size, o.Name);
  }
  bool operator==(const TFileEntry& o) const {
    return std::tie(Sha, Size, Name) == std::tie(o.Sha, o.Size, o.Name);
  }
};

// The files of an expected listing (folders, links and unknown contents left out).
inline std::vector<TFileEntry> ExpectedFiles(const std::string& relative) {
  std::vector<TFileEntry> out;
  std::ifstream in(test::FixturePath(relative));
  std::string line;
  while (std::getline(in, line)) {
    std::stringstream ss(line);
    TFileEntry e;
    ss >> e.Sha >> e.Size;
    std::getline(ss, e.Name);
    if (!e.Name.empty() && e.Name[0] == ' ') e.Name.erase(0, 1);
    if (e.Sha == "-" || e.Sha == "?" || e.Sha.empty()) continue;
    out.push_back(e);
  }
  return out;
}

// Every file below `dir`, hashed.
inline std::vector<TFileEntry> FilesIn(const std::string& dir) {
  std::vector<TFileEntry> out;
  for (const auto& it : std::filesystem::recursive_directory_iterator(dir)) {
    if (!it.is_regular_file()) continue;
    TFileEntry e;
    const std::u8string u8 = it.path().u8string();
    e.Sha = test::Sha256OfFile(std::string(u8.begin(), u8.end())).value_or("");
    e.Size = static_cast<std::int64_t>(it.file_size());
    e.Name = std::filesystem::relative(it.path(), dir).generic_string();
    out.push_back(e);
  }
  std::sort(out.begin(), out.end());
  return out;
}

inline bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace ziptest
