// The texts of the main window's list and status bar.
#include "app/display_texts.h"

#include <cmath>

#include "engine/core/dates.h"

namespace app {

namespace {

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

void AppendNumber(std::string& out, int value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width)
    out.append(static_cast<std::size_t>(width) - digits.size(), '0');
  out += digits;
}

// Expands a date or time picture. `dropSeconds` removes second fields with the literal
// text that separates them from the field before.
std::string ExpandPicture(std::string_view picture, const engine::TDateParts& d,
                          const TLocaleFormat& locale) {
  std::string out;
  std::size_t literalStart = 0;  // where the literal text after the last field begins
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    if (c == '\'') {
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += picture[i++];
      }
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    bool field = true;
    switch (c) {
      case 'd':
        AppendNumber(out, d.day, run >= 2 ? 2 : 1);
        break;
      case 'M':
        AppendNumber(out, d.month, run >= 2 ? 2 : 1);
        break;
      case 'y':
        if (run >= 3) AppendNumber(out, d.year, 4);
        else AppendNumber(out, d.year % 100, run >= 2 ? 2 : 1);
        break;
      case 'H':
        AppendNumber(out, d.hour, run >= 2 ? 2 : 1);
        break;
      case 'h': {
        const int h12 = d.hour % 12 == 0 ? 12 : d.hour % 12;
        AppendNumber(out, h12, run >= 2 ? 2 : 1);
        break;
      }
      case 'm':
        AppendNumber(out, d.minute, run >= 2 ? 2 : 1);
        break;
      case 's':
        out.resize(literalStart);  // no seconds: the separator before them goes too
        break;
      case 't': {
        const std::string& text = d.hour < 12 ? locale.AmText : locale.PmText;
        out += run >= 2 ? text : text.substr(0, 1);
        break;
      }
      default:
        field = false;
        out.append(run, c);
        break;
    }
    i += run;
    if (field) literalStart = out.size();
  }
  // A picture ending in literal text after a dropped field ("HH:mm:ss' Uhr'") keeps it;
  // trailing blanks left by a dropped field are trimmed.
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

std::string ThousandsText(std::string_view digits, const TLocaleFormat& locale) {
  std::size_t start = (!digits.empty() && digits[0] == '-') ? 1 : 0;
  if (digits.size() <= start) return std::string(digits);
  for (std::size_t i = start; i < digits.size(); ++i)
    if (digits[i] < '0' || digits[i] > '9') return std::string(digits);
  const std::size_t count = digits.size() - start;
  std::string out;
  out.reserve(digits.size() + (count / 3) * locale.ThousandsSeparator.size());
  out.append(digits.substr(0, start));
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 && (count - i) % 3 == 0) out += locale.ThousandsSeparator;
    out += digits[start + i];
  }
  return out;
}

std::string ThousandsText(std::int64_t value, const TLocaleFormat& locale) {
  return ThousandsText(DecimalText(value), locale);
}

std::string FormatEntryDate(double dateTime, const TLocaleFormat& locale) {
  const engine::TDateParts d = engine::DecodeDate(dateTime);
  std::string out = ExpandPicture(locale.ShortDate, d, locale);
  out += ' ';
  out += ExpandPicture(locale.ShortTime, d, locale);
  return out;
}

std::string RatioText(std::int64_t packed, std::int64_t unpacked) {
  if (unpacked < 1) return "00%";
  const double saved =
      (1.0 - static_cast<double>(packed) / static_cast<double>(unpacked)) * 100.0;
  const long long r = std::llround(saved);
  if (r <= 0) return "00%";
  std::string out = r < 10 ? "0" : "";
  out += std::to_string(r);
  out += '%';
  return out;
}

std::int64_t RoundedKiB(std::int64_t bytes) {
  // Round half away from zero, without going through floating point for large sizes.
  return bytes >= 0 ? (bytes + 512) / 1024 : -((-bytes + 512) / 1024);
}

std::string DecimalText(std::int64_t value) { return std::to_string(value); }

std::int64_t SizeTextValue(std::string_view text) {
  if (text.empty() || text.size() > 18) return -1;
  std::int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

void LowerInPlace(std::string& text) {
  for (char& c : text) c = LowerChar(c);
}

std::string UpperText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperChar(c);
  return out;
}

bool SameTextCI(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}

bool StartsWithCI(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameTextCI(text.substr(0, prefix.size()), prefix);
}

bool EndsWithCI(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         SameTextCI(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace app
