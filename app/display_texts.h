// The texts of the main window's list and status bar: thousands separators, ratios,
// entry dates in the user's locale, and the case rules of the listing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace app {

// The locale facts the listing needs. The Win32 view fills them from the user's locale
// (LOCALE_STHOUSAND, LOCALE_SSHORTDATE, LOCALE_SSHORTTIME); tests inject their own.
//
// Pictures use the Windows notation. Date: d dd (day), M MM (month), yy yyyy (year).
// Time: h hh (12-hour), H HH (24-hour), m mm (minute), s ss (second: always dropped
// together with the separator before it, entries show no seconds), t tt (AM/PM text).
// Text in single quotes is literal ('' is a quote); any other character is copied.
struct TLocaleFormat {
  std::string ThousandsSeparator = ",";
  std::string ShortDate = "yyyy-MM-dd";
  std::string ShortTime = "HH:mm";
  std::string AmText = "AM";
  std::string PmText = "PM";
};

// `digits` with the locale's separator every three digits from the right ("1234567" ->
// "1,234,567"); a leading '-' is kept. Text that is not a decimal number is returned as is
// ("?", "SUB-DIR").
std::string ThousandsText(std::string_view digits, const TLocaleFormat& locale);
std::string ThousandsText(std::int64_t value, const TLocaleFormat& locale);

// Locale short date, one space, locale time without seconds.
std::string FormatEntryDate(double dateTime, const TLocaleFormat& locale);

// The ratio column: percentage saved, two digits and "%" ("00%" .. "99%") or "100%".
// "00%" when nothing was unpacked or the member grew.
std::string RatioText(std::int64_t packed, std::int64_t unpacked);

// Round(value / 1024), the kB figures of the status bar.
std::int64_t RoundedKiB(std::int64_t bytes);

// Decimal text of a size.
std::string DecimalText(std::int64_t value);

// The value of a decimal size text; -1 for anything else ("?", "SUB-DIR", "").
std::int64_t SizeTextValue(std::string_view text);

// ASCII case folding: the listing compares member names this way (names are UTF-8;
// bytes of other characters compare as they are).
std::string LowerText(std::string_view text);
void LowerInPlace(std::string& text);
std::string UpperText(std::string_view text);
bool SameTextCI(std::string_view a, std::string_view b);
bool StartsWithCI(std::string_view text, std::string_view prefix);
bool EndsWithCI(std::string_view text, std::string_view suffix);

}  // namespace app
