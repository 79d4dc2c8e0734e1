// Day-count dates (days since 1899-12-30, time of day as the fraction), DOS and Unix times,
// tar octal numbers and the two percentages shown in listings.
#include "engine/core/dates.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/clock.h"

namespace engine {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kUnixEpochDay = 25569;  // 1970-01-01 as a day count
// Years 1..9999, the range of day-count dates; values beyond are clamped to it.
constexpr double kMinDayCount = -693593.0;          // 0001-01-01
constexpr double kMaxDayCount = 2958465.99999;      // 9999-12-31 23:59:59
constexpr std::int64_t kMinUnix = -62135596800LL;   // 0001-01-01 00:00:00 UTC
constexpr std::int64_t kMaxUnix = 253402300799LL;   // 9999-12-31 23:59:59 UTC

bool IsLeapYear(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(std::int64_t y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (exact for any year).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, TDateParts& parts) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  parts.year = static_cast<int>(yoe + era * 400 + (m <= 2));
  parts.month = m;
  parts.day = d;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// A day count from a whole day number and the seconds into that day. Before 1899-12-30 the
// day count is negative and the time of day is subtracted (the fraction is always a time).
double MakeDayCount(std::int64_t dayNumber, std::int64_t secondOfDay) {
  const double time = static_cast<double>(secondOfDay) / kSecondsPerDay;
  const double day = static_cast<double>(dayNumber);
  return dayNumber >= 0 ? day + time : day - time;
}

}  // namespace

double EncodeDate(const TDateParts& parts) {
  const std::int64_t day = DaysFromCivil(parts.year, parts.month, parts.day) + kUnixEpochDay;
  return MakeDayCount(day, parts.hour * 3600 + parts.minute * 60 + parts.second);
}

TDateParts DecodeDate(double dateTime) {
  TDateParts parts;
  if (!std::isfinite(dateTime)) return parts;
  dateTime = std::clamp(dateTime, kMinDayCount, kMaxDayCount);
  double whole = std::trunc(dateTime);
  std::int64_t day = static_cast<std::int64_t>(whole);
  std::int64_t seconds = std::llround(std::fabs(dateTime - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++day;
  }
  CivilFromDays(day - kUnixEpochDay, parts);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return parts;
}

double DosDateToDateTime(std::uint32_t dosDateTime) {
  if (dosDateTime == 0) return kDate1980;
  TDateParts p;
  p.year = 1980 + static_cast<int>(dosDateTime >> 25);
  p.month = static_cast<int>((dosDateTime >> 21) & 0x0F);
  p.day = static_cast<int>((dosDateTime >> 16) & 0x1F);
  p.hour = static_cast<int>((dosDateTime >> 11) & 0x1F);
  p.minute = static_cast<int>((dosDateTime >> 5) & 0x3F);
  p.second = static_cast<int>(dosDateTime & 0x1F) * 2;
  if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > DaysInMonth(p.year, p.month) ||
      p.hour > 23 || p.minute > 59 || p.second > 59)
    return kDate1980;
  return EncodeDate(p);
}

std::uint32_t DateTimeToDosDate(double dateTime) {
  const TDateParts p = DecodeDate(dateTime);
  if (p.year < 1980 || p.year > 2099) return 0;
  return (static_cast<std::uint32_t>(p.year - 1980) << 25) |
         (static_cast<std::uint32_t>(p.month) << 21) | (static_cast<std::uint32_t>(p.day) << 16) |
         (static_cast<std::uint32_t>(p.hour) << 11) | (static_cast<std::uint32_t>(p.minute) << 5) |
         static_cast<std::uint32_t>(p.second / 2);
}

double UnixToDateTime(std::int64_t seconds) {
  // A zero time stamp means "unknown" in the formats that carry Unix times.
  if (seconds == 0) return kDate1980 + 60.0 / kSecondsPerDay;
  seconds = std::clamp(seconds, kMinUnix, kMaxUnix);
  const std::int64_t local = seconds + platform::LocalOffsetAt(seconds);
  const std::int64_t day = FloorDiv(local, kSecondsPerDay);
  return MakeDayCount(day + kUnixEpochDay, local - day * kSecondsPerDay);
}

std::int64_t DateTimeToUnix(double dateTime) {
  const TDateParts p = DecodeDate(dateTime);
  const std::int64_t local = DaysFromCivil(p.year, p.month, p.day) * kSecondsPerDay +
                             p.hour * 3600 + p.minute * 60 + p.second;
  return platform::LocalToUtc(local);
}

std::uint64_t ParseOctal(std::string_view text) {
  std::uint64_t value = 0;
  for (char c : text)
    if (c >= '0' && c <= '7') value = value * 8 + static_cast<std::uint64_t>(c - '0');
  return value;
}

void FormatOctal(std::uint64_t value, int width, bool terminate, char* buffer) {
  if (width <= 0) return;
  for (int i = 0; i < width; ++i) buffer[i] = ' ';
  int last = width - 2;  // index of the last digit
  if (terminate) {
    buffer[width - 1] = '\0';
    last = width - 3;
  }
  // Digits that do not fit are dropped rather than written before the buffer; callers check
  // that tar numbers fit their fields.
  int i = last;
  do {
    if (i < 0) break;
    buffer[i--] = static_cast<char>('0' + (value & 7));
    value >>= 3;
  } while (value != 0);
}

int Percent(std::int64_t part, std::int64_t whole) {
  if (whole <= 0) return 0;
  const double x = static_cast<double>(part) * 100.0 / static_cast<double>(whole);
  if (x < 0) return 0;
  if (x >= 100) return 100;
  return static_cast<int>(std::nearbyint(x));  // the default rounding mode rounds halves to even
}

int CompressionRatio(std::int64_t packed, std::int64_t unpacked) {
  if (packed <= 0 || unpacked <= 0 || packed >= unpacked) return 0;
  if (unpacked - packed > 100000) {
    packed /= 100;
    unpacked /= 100;
  }
  int r = static_cast<int>((unpacked - packed) * 100 / unpacked);
  return r == 0 ? 1 : r;
}

}  // namespace engine
