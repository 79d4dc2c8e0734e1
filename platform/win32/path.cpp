// Current, temporary and configuration folders and temporary names on Windows.
#include "platform/path.h"

#include "platform/env.h"
#include "platform/win32/utf16.h"
#include "platform/win32/windows_api.h"

#include <shlobj.h>

namespace platform {

using win32::Narrow;
using win32::Widen;

std::string CurrentDirectory() {
  const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return {};
  std::wstring buffer(n, L'\0');
  const DWORD len = ::GetCurrentDirectoryW(n, buffer.data());
  if (len == 0 || len >= n) return {};
  buffer.resize(len);
  return Narrow(buffer);
}

std::string TempDirectory() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD len = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (len == 0 || len > MAX_PATH + 1) return "C:\\";
  std::string dir = Narrow(std::wstring_view(buffer, len));
  if (!IsPathSeparator(dir.back())) dir += '\\';
  return dir;
}

std::optional<std::string> CreateTempFileName(std::string_view dir, std::string_view prefix) {
  wchar_t buffer[MAX_PATH + 1];
  const std::wstring folder = Widen(dir.empty() ? std::string_view(".") : dir);
  if (::GetTempFileNameW(folder.c_str(), Widen(prefix).c_str(), 0, buffer) == 0) {
    return std::nullopt;
  }
  return Narrow(buffer);
}

std::optional<std::string> CreateTempDirectory(std::string_view prefix) {
  const std::string base = TempDirectory() + std::string(prefix);
  // A name from the clock, the process and a counter; retried on the rare collision.
  static unsigned counter = 0;
  std::uint64_t seed =
      ::GetTickCount64() ^ (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 20);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull + (++counter);
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
    std::string name = base;
    for (int i = 0; i < 6; ++i) name += kDigits[(seed >> (20 + 5 * i)) & 31];
    if (::CreateDirectoryW(win32::WidePath(name).c_str(), nullptr)) return name;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
  }
  return std::nullopt;
}

std::string UserConfigDirectory() {
  wchar_t buffer[MAX_PATH];
  if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    return Narrow(buffer);
  }
  return GetEnv("APPDATA").value_or("");
}

}  // namespace platform
