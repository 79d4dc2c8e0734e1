// UTF-8 <-> UTF-16 for the Win32 W functions: the one place where the conversion is done.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::win32 {

// Invalid UTF-8 becomes U+FFFD.
std::wstring Widen(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Narrow(std::wstring_view utf16);
// Widen() for a path handed to the file system: a path too long for the classic calls is
// made absolute and given the "\\?\" prefix, which lifts the MAX_PATH limit.
std::wstring WidePath(std::string_view utf8);
// The system's message text for an error code, without the trailing line break.
std::string ErrorText(std::uint32_t code);
// 100-ns ticks since 1601 (FILETIME) <-> Unix seconds; the latter floors.
std::int64_t FileTimeToUnix(std::uint64_t ticks);
bool UnixToFileTime(std::int64_t unixSeconds, std::uint64_t& ticks);

}  // namespace platform::win32
