// Environment variables on POSIX.
#include "platform/env.h"

#include <stdlib.h>

namespace platform {

std::optional<std::string> GetEnv(std::string_view name) {
  const char* value = ::getenv(std::string(name).c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

bool SetEnv(std::string_view name, std::optional<std::string_view> value) {
  const std::string n(name);
  if (!value) return ::unsetenv(n.c_str()) == 0;
  return ::setenv(n.c_str(), std::string(*value).c_str(), 1) == 0;
}

}  // namespace platform
