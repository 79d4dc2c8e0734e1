// Current, temporary and configuration folders and temporary names on POSIX.
#include "platform/path.h"

#include "platform/env.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

std::string TempDirectory() {
  std::string dir = GetEnv("TMPDIR").value_or("");
  if (dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::optional<std::string> CreateTempFileName(std::string_view dir, std::string_view prefix) {
  std::string name = JoinPath(dir.empty() ? std::string_view(".") : dir, prefix) + "XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return std::nullopt;
  ::close(fd);
  return name;
}

std::optional<std::string> CreateTempDirectory(std::string_view prefix) {
  std::string name = TempDirectory();
  name.append(prefix);
  name += "XXXXXX";
  if (::mkdtemp(name.data()) == nullptr) return std::nullopt;
  return name;
}

std::string UserConfigDirectory() {
  // Relative values are to be ignored (XDG base directory rules).
  if (auto xdg = GetEnv("XDG_CONFIG_HOME"); xdg && !xdg->empty() && xdg->front() == '/') {
    return *xdg;
  }
  std::string home = GetEnv("HOME").value_or("");
  if (home.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  return home.empty() ? std::string() : JoinPath(home, ".config");
}

}  // namespace platform
