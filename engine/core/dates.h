// Date conversions: DOS date-time, Unix seconds and the day count (days since 1899-12-30).
#pragma once

#include <cstdint>
#include <string_view>

namespace engine {

inline constexpr double kDate1980 = 29221.0;  // 1 January 1980 00:00, the default member date

// A broken-down calendar date and time.
struct TDateParts {
  int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

double EncodeDate(const TDateParts& parts);       // day count of a valid date
TDateParts DecodeDate(double dateTime);           // inverse (seconds rounded to nearest)

// DOS date-time (date in the high 16 bits) to a day count; 0 or invalid fields give kDate1980.
double DosDateToDateTime(std::uint32_t dosDateTime);
// Inverse with seconds halved; 0 outside 1980..2099.
std::uint32_t DateTimeToDosDate(double dateTime);
// Unix seconds to a local day count (0 gives 1980-01-01 00:01:00).
double UnixToDateTime(std::int64_t seconds);
// Local day count to Unix seconds (UTC), using the same zone rules as UnixToDateTime.
std::int64_t DateTimeToUnix(double dateTime);

std::uint64_t ParseOctal(std::string_view text);
// Writes `value` in octal into `width` bytes as tar headers hold numbers.
void FormatOctal(std::uint64_t value, int width, bool terminate, char* buffer);

// 0..100, rounded half to even; 0 for a non-positive whole.
int Percent(std::int64_t part, std::int64_t whole);
// Percentage saved, at least 1 when anything was saved.
int CompressionRatio(std::int64_t packed, std::int64_t unpacked);

}  // namespace engine
