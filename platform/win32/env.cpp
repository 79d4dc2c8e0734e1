// Environment variables on Windows (the process environment block, in UTF-16).
#include "platform/env.h"

#include "platform/win32/utf16.h"
#include "platform/win32/windows_api.h"

namespace platform {

std::optional<std::string> GetEnv(std::string_view name) {
  const std::wstring wideName = win32::Widen(name);
  ::SetLastError(ERROR_SUCCESS);
  DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (n == 0) {
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::wstring value(n, L'\0');
  n = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), n);
  value.resize(n);
  return win32::Narrow(value);
}

bool SetEnv(std::string_view name, std::optional<std::string_view> value) {
  const std::wstring wideName = win32::Widen(name);
  if (!value) return ::SetEnvironmentVariableW(wideName.c_str(), nullptr) != 0;
  return ::SetEnvironmentVariableW(wideName.c_str(), win32::Widen(*value).c_str()) != 0;
}

}  // namespace platform
