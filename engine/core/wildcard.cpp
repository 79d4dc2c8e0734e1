// Symmetric wildcard matching for member selection.
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/zip_common.h"

namespace engine {

namespace {

// Past this many cells the match gives up (false) rather than spend unbounded time.
constexpr std::size_t kMaxCells = std::size_t{1} << 26;

std::string_view NamePart(std::string_view s) {
  const auto slash = s.find_last_of("/\\");
  return slash == std::string_view::npos ? s : s.substr(slash + 1);
}

// A trailing "." is dropped; a dotless side gets ".*" when the other side holds ".*", so
// that "readme" matches "readme.*" and "readme." matches "readme".
void AdjustDots(std::string& a, const std::string& b) {
  if (!a.empty() && a.back() == '.')
    a.pop_back();
  else if (a.find('.') == std::string::npos && b.find(".*") != std::string::npos)
    a += ".*";
}

bool SameChar(char a, char b) {
  return a == '?' || b == '?' ||
         std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

}  // namespace

// Both sides may hold "*" and "?". A "*" on the pattern side is tried first, then one on the
// name side, each swallowing any run of the other string. Computed bottom-up over suffix
// pairs in O(len(pattern) * len(name)) time and O(len(name)) memory, so a name made of many
// stars cannot make a listing hang.
bool WildcardMatch(std::string_view pattern, std::string_view name, bool namesOnly) {
  if (namesOnly) {
    pattern = NamePart(pattern);
    name = NamePart(name);
  }
  std::string p(pattern), n(name);
  AdjustDots(p, n);
  AdjustDots(n, p);
  if (p.empty() && n.empty()) return true;
  if (p.empty()) return n.front() == '*';
  if (n.empty()) return p.front() == '*';

  const std::size_t m = p.size(), k = n.size();
  if ((m + 1) * (k + 1) > kMaxCells) return false;

  // row[j]   = match(p[i..], n[j..]) for the row being computed
  // next[j]  = match(p[i+1..], n[j..])
  // nextOr[j]= OR over j' >= j of next[j']   (pattern star swallowing n[j..j'-1])
  // colOr[j] = OR over i' >= i+1 of match(p[i'..], n[j..])  (name star swallowing p)
  std::vector<char> next(k + 1), row(k + 1), nextOr(k + 2, 0), colOr(k + 1, 0);

  // Last row (pattern used up): only stars may be left in the name.
  next[k] = 1;
  for (std::size_t j = k; j-- > 0;) next[j] = n[j] == '*' && next[j + 1];
  for (std::size_t j = 0; j <= k; ++j) colOr[j] = next[j];

  for (std::size_t i = m; i-- > 0;) {
    nextOr[k + 1] = 0;
    for (std::size_t j = k + 1; j-- > 0;) nextOr[j] = next[j] || nextOr[j + 1];
    // Name used up: only stars may be left in the pattern.
    row[k] = p[i] == '*' && next[k];
    for (std::size_t j = k; j-- > 0;) {
      bool r;
      if (p[i] == '*') {
        r = i + 1 == m || nextOr[j];
      } else if (n[j] == '*') {
        // colOr[j + 1] covers match(p[i'..], n[j+1..]) for i' > i; i' = i is the empty swallow.
        r = j + 1 == k || colOr[j + 1];
        // The star may also swallow nothing of the pattern: match(p[i..], n[j+1..]).
        r = r || row[j + 1];
      } else {
        r = SameChar(p[i], n[j]) && next[j + 1];
      }
      row[j] = r;
    }
    for (std::size_t j = 0; j <= k; ++j) colOr[j] = colOr[j] || row[j];
    std::swap(row, next);
  }
  return next[0];
}

}  // namespace engine
