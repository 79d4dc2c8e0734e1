// The OEM code page on Windows: the system's (GetOEMCP); our own tables for 437 and 850 so
// those convert exactly as on POSIX, the system's converter for any other page.
#include "platform/codepage.h"

#include "platform/win32/utf16.h"
#include "platform/win32/windows_api.h"

namespace platform {

unsigned OemCodePage() { return ::GetOEMCP(); }

std::string OemToUtf8(std::string_view bytes) {
  const unsigned page = OemCodePage();
  if (page == 437 || page == 850) return CodePageToUtf8(bytes, static_cast<TCodePage>(page));
  if (bytes.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                      nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return win32::Narrow(wide);
}

std::string Utf8ToOem(std::string_view utf8) {
  const unsigned page = OemCodePage();
  if (page == 437 || page == 850) return Utf8ToCodePage(utf8, static_cast<TCodePage>(page));
  const std::wstring wide = win32::Widen(utf8);
  if (wide.empty()) return {};
  // No best fit: a character the page lacks becomes '?', never a look-alike letter.
  const int n = ::WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                      static_cast<int>(wide.size()), nullptr, 0, "?", nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        out.data(), n, "?", nullptr);
  return out;
}

}  // namespace platform
