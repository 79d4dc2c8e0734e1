// A scratch folder under the user's temporary folder, removed with its contents at the end.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/file.h"
#include "platform/path.h"

namespace platform_test {

class ScratchDir {
 public:
  ScratchDir() {
    auto dir = platform::CreateTempDirectory("tsl");
    EXPECT_TRUE(dir.has_value());
    path_ = dir.value_or("");
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(std::filesystem::path(path_), ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(std::string_view name) const { return platform::JoinPath(path_, name); }

 private:
  std::string path_;
};

// Writes `content` to a new file at `path`.
inline bool WriteFile(const std::string& path, std::string_view content) {
  platform::File f;
  return f.Open(path, platform::TFileAccess::faCreate) &&
         f.WriteAll(content.data(), content.size()) && f.Close();
}

inline std::string ReadWholeFile(const std::string& path) {
  platform::File f;
  if (!f.Open(path, platform::TFileAccess::faRead)) return "<cannot open>";
  std::string data(static_cast<std::size_t>(f.Size()), '\0');
  if (!f.ReadExact(data.data(), data.size())) return "<cannot read>";
  return data;
}

}  // namespace platform_test
