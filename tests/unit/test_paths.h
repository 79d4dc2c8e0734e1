// Where tests find the shared fixtures and where they may write.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

namespace test {

// The shared fixture folder (TESSALY_FIXTURES overrides it). Under wine, a Unix path is
// reached through drive Z:.
inline std::string FixturePath(std::string_view relative) {
  std::string base;
  if (const char* env = std::getenv("TESSALY_FIXTURES")) {
    base = env;
  } else {
    base = std::string(TESSALY_SHARED_DIR) + "/fixtures";
#ifdef _WIN32
    base = "Z:" + base;
#endif
  }
  std::string path = base + "/" + std::string(relative);
#ifdef _WIN32
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

// A scratch folder of this test program under the system's temporary folder, with a
// random name so that test programs running side by side do not meet.
inline const std::filesystem::path& TempDir() {
  static const std::filesystem::path dir = [] {
    std::random_device rd;
    auto d = std::filesystem::temp_directory_path() /
             ("tessaly-test-" + std::to_string(rd()) + std::to_string(rd() % 1000));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

inline std::string TempPath(std::string_view name) {
  return (TempDir() / std::string(name)).string();
}

}  // namespace test
