// The Windows find-pattern matcher (portable: FindFiles filters with it on both platforms,
// so a pattern selects the same names everywhere).
#include "platform/codepage.h"

#include "platform/fs.h"

#include <vector>

namespace platform {
namespace {

// Simple upper-casing of the scripts file names commonly use (Latin, Greek, Cyrillic),
// enough for case-insensitive comparison of names.
char32_t FoldCase(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs: even upper, odd lower, except the runs starting odd.
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (oddUpper) return (c % 2 == 0) ? c - 1 : c;
    return (c % 2 == 1) ? c - 1 : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

std::vector<char32_t> Folded(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) out.push_back(FoldCase(DecodeUtf8(text, pos)));
  return out;
}

// '*' any run, '?' one character or none at the end or before a '.'. Iterative with one
// back-track point for the last '*', which is enough because '?' is deterministic.
bool MatchFolded(const std::vector<char32_t>& name, const std::vector<char32_t>& pat) {
  std::size_t n = 0, p = 0;
  std::size_t starP = std::string_view::npos, starN = 0;
  while (true) {
    if (p < pat.size() && pat[p] == U'*') {
      starP = p++;
      starN = n;
      continue;
    }
    if (p < pat.size() && pat[p] == U'?') {
      if (n == name.size() || name[n] == U'.') {
        ++p;  // matches nothing here
      } else {
        ++p, ++n;
      }
      continue;
    }
    if (p < pat.size() && n < name.size() && pat[p] == name[n]) {
      ++p, ++n;
      continue;
    }
    if (p == pat.size() && n == name.size()) return true;
    if (starP == std::string_view::npos || starN >= name.size()) return false;
    p = starP + 1;
    n = ++starN;
  }
}

}  // namespace

bool MatchFindPattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*" || pattern == "*.*") return true;
  const std::vector<char32_t> n = Folded(name);
  std::vector<char32_t> p = Folded(pattern);
  if (p.size() >= 2 && p[p.size() - 2] == U'.' && p.back() == U'*') {
    if (MatchFolded(n, p)) return true;
    p.resize(p.size() - 2);  // "a.*" also matches "a"
    return MatchFolded(n, p);
  }
  if (!p.empty() && p.back() == U'.') {
    // A trailing dot asks for names without an extension.
    for (const char32_t c : n) {
      if (c == U'.') return false;
    }
    while (!p.empty() && p.back() == U'.') p.pop_back();
  }
  return MatchFolded(n, p);
}

}  // namespace platform
