// The OEM code page on POSIX: CP437, the page DOS archivers wrote names in.
#include "platform/codepage.h"

namespace platform {

unsigned OemCodePage() { return 437; }

std::string OemToUtf8(std::string_view bytes) {
  return CodePageToUtf8(bytes, TCodePage::cpOem437);
}

std::string Utf8ToOem(std::string_view utf8) { return Utf8ToCodePage(utf8, TCodePage::cpOem437); }

}  // namespace platform
