// Single-byte code pages of archive names: OEM (CP437, CP850) and ANSI (Windows-1252),
// to and from UTF-8. Own tables, so results are the same on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

enum class TCodePage : std::uint16_t { cpOem437 = 437, cpOem850 = 850, cpAnsi1252 = 1252 };

// Every byte maps to one character (Windows-1252's five unassigned bytes map to the C1
// controls of the same number, as Windows converts them).
std::string CodePageToUtf8(std::string_view bytes, TCodePage page);
// Characters the page lacks, and bytes that are not valid UTF-8, become '?'.
std::string Utf8ToCodePage(std::string_view utf8, TCodePage page);

// The OEM code page of this system: GetOEMCP() on Windows, 437 elsewhere.
unsigned OemCodePage();
// OEM bytes to UTF-8 in the system's OEM page (on Windows any page it knows; elsewhere
// CP437), and back with '?' for what the page lacks.
std::string OemToUtf8(std::string_view bytes);
std::string Utf8ToOem(std::string_view utf8);
// ANSI means Windows-1252 here, on every platform.
inline std::string AnsiToUtf8(std::string_view bytes) {
  return CodePageToUtf8(bytes, TCodePage::cpAnsi1252);
}
inline std::string Utf8ToAnsi(std::string_view utf8) {
  return Utf8ToCodePage(utf8, TCodePage::cpAnsi1252);
}

// Decodes one UTF-8 sequence at `pos` and advances it; returns U+FFFD (advancing one
// byte) on a malformed or overlong sequence or a surrogate.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos);
void AppendUtf8(std::string& out, char32_t c);

}  // namespace platform
