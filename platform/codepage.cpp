// Tables and conversions of the single-byte code pages (portable: no OS calls).
#include "platform/codepage.h"

#include <algorithm>
#include <array>
#include <utility>

namespace platform {
namespace {

// Characters of bytes 0x80-0xFF; bytes below 0x80 are ASCII (0x00-0x1F and 0x7F are the
// control characters, as Windows and iconv convert them, not the glyphs of the IBM PC).
constexpr std::array<char16_t, 128> kCp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

constexpr std::array<char16_t, 128> kCp850High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

// Windows-1252: 0x80-0x9F below; 0xA0-0xFF equal Latin-1. The unassigned 0x81, 0x8D,
// 0x8F, 0x90 and 0x9D stay the C1 controls of the same number, so every byte survives a
// round trip.
constexpr std::array<char16_t, 128> kCp1252High = [] {
  constexpr char16_t k80[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
  };
  std::array<char16_t, 128> t{};
  for (int i = 0; i < 32; ++i) t[i] = k80[i];
  for (int i = 32; i < 128; ++i) t[i] = static_cast<char16_t>(0x80 + i);
  return t;
}();

const std::array<char16_t, 128>& HighTable(TCodePage page) {
  switch (page) {
    case TCodePage::cpOem850:
      return kCp850High;
    case TCodePage::cpAnsi1252:
      return kCp1252High;
    case TCodePage::cpOem437:
      break;
  }
  return kCp437High;
}

// Reverse lookup, character -> byte, sorted by character; built once per page.
using ReverseTable = std::array<std::pair<char16_t, unsigned char>, 128>;

ReverseTable MakeReverse(const std::array<char16_t, 128>& high) {
  ReverseTable r{};
  for (int i = 0; i < 128; ++i) r[i] = {high[i], static_cast<unsigned char>(0x80 + i)};
  std::sort(r.begin(), r.end());
  return r;
}

const ReverseTable& Reverse(TCodePage page) {
  static const ReverseTable r437 = MakeReverse(kCp437High);
  static const ReverseTable r850 = MakeReverse(kCp850High);
  static const ReverseTable r1252 = MakeReverse(kCp1252High);
  switch (page) {
    case TCodePage::cpOem850:
      return r850;
    case TCodePage::cpAnsi1252:
      return r1252;
    case TCodePage::cpOem437:
      break;
  }
  return r437;
}

}  // namespace

char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
  constexpr char32_t kBad = 0xFFFD;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char b0 = byte(pos);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  int extra;
  char32_t c;
  char32_t minimum;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, c = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, c = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, c = b0 & 0x07, minimum = 0x10000;
  } else {
    ++pos;
    return kBad;
  }
  if (pos + extra >= text.size()) {
    ++pos;
    return kBad;
  }
  for (int i = 1; i <= extra; ++i) {
    const unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return kBad;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++pos;
    return kBad;
  }
  pos += extra + 1;
  return c;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string CodePageToUtf8(std::string_view bytes, TCodePage page) {
  const auto& high = HighTable(page);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      out += ch;
    } else {
      AppendUtf8(out, high[b - 0x80]);
    }
  }
  return out;
}

std::string Utf8ToCodePage(std::string_view utf8, TCodePage page) {
  const auto& reverse = Reverse(page);
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t c = DecodeUtf8(utf8, pos);
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    char b = '?';
    if (c <= 0xFFFF) {
      const auto it = std::lower_bound(
          reverse.begin(), reverse.end(), static_cast<char16_t>(c),
          [](const auto& entry, char16_t key) { return entry.first < key; });
      if (it != reverse.end() && it->first == c) b = static_cast<char>(it->second);
    }
    out += b;
  }
  return out;
}

}  // namespace platform
