// The fuzz input as a file, for engines that read their archive by name.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace fuzz {

// Writes the input to this process's scratch file (made once) and returns its path; empty
// when it cannot be written.
inline std::string WriteInputFile(const char* tag, const std::uint8_t* data, std::size_t size) {
  static const std::string path = [tag] {
    std::string name = std::string("/tmp/") + tag + "_XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd >= 0) close(fd);
    return name;
  }();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return {};
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  return path;
}

}  // namespace fuzz
