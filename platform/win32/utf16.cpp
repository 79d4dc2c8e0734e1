// UTF-8 <-> UTF-16 conversion and small Win32 helpers.
#include "platform/win32/utf16.h"

#include "platform/win32/windows_api.h"

namespace platform::win32 {
namespace {
constexpr std::int64_t kUnixEpochIn1601Seconds = 11644473600;
constexpr std::int64_t kTicksPerSecond = 10000000;
// Paths from this length on get the long-path prefix (CreateDirectoryW's limit is
// MAX_PATH - 12, the room for an 8.3 name).
constexpr std::size_t kLongPathFrom = MAX_PATH - 12;
}  // namespace

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

std::wstring WidePath(std::string_view utf8) {
  std::wstring path = Widen(utf8);
  if (path.size() < kLongPathFrom || path.starts_with(L"\\\\?\\")) return path;
  const DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  const DWORD len = ::GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  if (len == 0 || len >= n) return path;
  full.resize(len);
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::string ErrorText(std::uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n ? Narrow(std::wstring_view(buffer, n)) : "error " + std::to_string(code);
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

std::int64_t FileTimeToUnix(std::uint64_t ticks) {
  const auto t = static_cast<std::int64_t>(ticks);
  std::int64_t seconds = t / kTicksPerSecond;  // ticks are never negative: this floors
  return seconds - kUnixEpochIn1601Seconds;
}

bool UnixToFileTime(std::int64_t unixSeconds, std::uint64_t& ticks) {
  const std::int64_t since1601 = unixSeconds + kUnixEpochIn1601Seconds;
  if (since1601 < 0 || since1601 > INT64_MAX / kTicksPerSecond) return false;
  ticks = static_cast<std::uint64_t>(since1601 * kTicksPerSecond);
  return true;
}

}  // namespace platform::win32
