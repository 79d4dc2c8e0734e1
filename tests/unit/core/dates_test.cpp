// Day-count dates, DOS and Unix times, tar octal numbers, percentages.
#include "engine/core/dates.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/env.h"
#include "platform/path.h"

namespace engine {
namespace {

std::uint32_t Dos(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<std::uint32_t>(y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) |
         (mi << 5) | (s / 2);
}

void ExpectParts(const TDateParts& p, int y, int mo, int d, int h, int mi, int s) {
  EXPECT_EQ(p.year, y);
  EXPECT_EQ(p.month, mo);
  EXPECT_EQ(p.day, d);
  EXPECT_EQ(p.hour, h);
  EXPECT_EQ(p.minute, mi);
  EXPECT_EQ(p.second, s);
}

TEST(Dates, EncodeAndDecodeDayCounts) {
  struct Row { TDateParts parts; double dayCount; };
  const Row rows[] = {
      {{1899, 12, 30, 0, 0, 0}, 0.0},
      {{1900, 1, 1, 0, 0, 0}, 2.0},
      {{1980, 1, 1, 0, 0, 0}, 29221.0},
      {{2000, 3, 1, 18, 0, 0}, 36586.75},
      {{2000, 2, 29, 12, 0, 0}, 36585.5},
      {{1899, 12, 29, 6, 0, 0}, -1.25},  // before the epoch the time still counts forward
      {{2107, 12, 31, 0, 0, 0}, 75971.0},
  };
  for (const Row& r : rows) {
    EXPECT_DOUBLE_EQ(EncodeDate(r.parts), r.dayCount) << r.parts.year << "-" << r.parts.month;
    const TDateParts p = DecodeDate(r.dayCount);
    ExpectParts(p, r.parts.year, r.parts.month, r.parts.day, r.parts.hour, r.parts.minute,
                r.parts.second);
  }
  // Seconds round to the nearest, carrying into the next minute and day.
  ExpectParts(DecodeDate(29221.0 + 59.6 / 86400), 1980, 1, 1, 0, 1, 0);
  ExpectParts(DecodeDate(29221.0 + 86399.7 / 86400), 1980, 1, 2, 0, 0, 0);
  ExpectParts(DecodeDate(29221.0 + 10.4 / 86400), 1980, 1, 1, 0, 0, 10);
  // Values outside years 1..9999 are clamped, not undefined.
  EXPECT_EQ(DecodeDate(1e300).year, 9999);
  EXPECT_EQ(DecodeDate(-1e300).year, 1);
}

TEST(Dates, DosDateTimeConversions) {
  EXPECT_EQ(DosDateToDateTime(0), 29221.0);
  // Fields that do not form a date or time give 1980-01-01 00:00.
  const std::uint32_t invalid[] = {
      Dos(2000, 0, 1, 0, 0, 0),   Dos(2000, 13, 1, 0, 0, 0),  Dos(2000, 1, 0, 0, 0, 0),
      Dos(2001, 2, 29, 0, 0, 0),  Dos(2000, 4, 31, 0, 0, 0),  Dos(2000, 1, 1, 24, 0, 0),
      Dos(2000, 1, 1, 0, 60, 0),  Dos(2000, 1, 1, 0, 0, 60),  0x0000FFFFu,
  };
  for (std::uint32_t v : invalid) EXPECT_EQ(DosDateToDateTime(v), kDate1980) << std::hex << v;

  const std::uint32_t valid[] = {
      Dos(1980, 1, 1, 0, 0, 0), Dos(2000, 2, 29, 23, 59, 58), Dos(2099, 12, 31, 23, 59, 58),
      Dos(2024, 7, 4, 13, 14, 16), Dos(2107, 12, 31, 0, 0, 0),
  };
  for (std::uint32_t v : valid) {
    const double dt = DosDateToDateTime(v);
    if (DecodeDate(dt).year <= 2099) {
      EXPECT_EQ(DateTimeToDosDate(dt), v) << std::hex << v;
    }
  }
  ExpectParts(DecodeDate(DosDateToDateTime(Dos(2000, 2, 29, 23, 59, 58))), 2000, 2, 29, 23, 59,
              58);
  // Odd seconds are halved downwards; years outside 1980..2099 have no DOS date.
  EXPECT_EQ(DateTimeToDosDate(EncodeDate({2024, 7, 4, 13, 14, 15})), Dos(2024, 7, 4, 13, 14, 14));
  EXPECT_EQ(DateTimeToDosDate(EncodeDate({1979, 12, 31, 23, 59, 59})), 0u);
  EXPECT_EQ(DateTimeToDosDate(EncodeDate({2100, 1, 1, 0, 0, 0})), 0u);
}

// Sets TZ for one test and restores it afterwards.
class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone) : saved_(platform::GetEnv("TZ")) {
    platform::SetEnv("TZ", std::string_view(zone));
    platform::RefreshTimeZone();
  }
  ~ZoneGuard() {
    if (saved_) platform::SetEnv("TZ", std::string_view(*saved_));
    else platform::SetEnv("TZ", std::nullopt);
    platform::RefreshTimeZone();
  }

 private:
  std::optional<std::string> saved_;
};

TEST(Dates, UnixZeroMeansOneMinuteAfter1980) {
  EXPECT_NEAR(UnixToDateTime(0), 29221.0 + 60.0 / 86400, 1e-9);
  ExpectParts(DecodeDate(UnixToDateTime(0)), 1980, 1, 1, 0, 1, 0);
}

TEST(Dates, UnixTimesInUtc) {
  if (platform::kIsWindows) GTEST_SKIP() << "the zone comes from the system, not from TZ";
  ZoneGuard zone("UTC");
  // 2000-03-01 00:00:00 UTC: the leap day of 2000 counts.
  EXPECT_EQ(DateTimeToUnix(EncodeDate({2000, 3, 1, 0, 0, 0})), 951868800);
  ExpectParts(DecodeDate(UnixToDateTime(951868800)), 2000, 3, 1, 0, 0, 0);
  // Before 1970 and far beyond 2038 and 2149.
  const std::int64_t times[] = {-86400, -1, 1, 4102444800LL, 7258118400LL, 2147483648LL};
  for (std::int64_t t : times) EXPECT_EQ(DateTimeToUnix(UnixToDateTime(t)), t) << t;
  ExpectParts(DecodeDate(UnixToDateTime(-86400)), 1969, 12, 31, 0, 0, 0);
  ExpectParts(DecodeDate(UnixToDateTime(7258118400LL)), 2200, 1, 1, 0, 0, 0);
  EXPECT_EQ(DecodeDate(UnixToDateTime(INT64_MAX)).year, 9999);
  EXPECT_EQ(DecodeDate(UnixToDateTime(INT64_MIN)).year, 1);
}

TEST(Dates, UnixTimesFollowTheZoneAtThatInstant) {
  if (platform::kIsWindows) GTEST_SKIP() << "the zone comes from the system, not from TZ";
  ZoneGuard zone("Europe/Berlin");
  // Summer time (UTC+2) and winter time (UTC+1), whatever the date of the test run.
  const std::int64_t summer = 1625140800;  // 2021-07-01 12:00:00 UTC
  const std::int64_t winter = 1610712000;  // 2021-01-15 12:00:00 UTC
  ExpectParts(DecodeDate(UnixToDateTime(summer)), 2021, 7, 1, 14, 0, 0);
  ExpectParts(DecodeDate(UnixToDateTime(winter)), 2021, 1, 15, 13, 0, 0);
  EXPECT_EQ(DateTimeToUnix(UnixToDateTime(summer)), summer);
  EXPECT_EQ(DateTimeToUnix(UnixToDateTime(winter)), winter);
  EXPECT_EQ(DateTimeToUnix(EncodeDate({2021, 7, 1, 14, 0, 0})), summer);
  EXPECT_EQ(DateTimeToUnix(EncodeDate({2021, 1, 15, 13, 0, 0})), winter);
}

TEST(Dates, UnixRoundTripInTheSystemZone) {
  // Whatever zone the machine has, written dates read back the same.
  for (std::int64_t t : {315532800LL, 951868800LL, 1625140800LL, 1610712000LL, 4102444799LL})
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(t)), t) << t;
}

TEST(Octal, ParseSkipsOtherCharacters) {
  EXPECT_EQ(ParseOctal(std::string_view("0000644 \0", 9)), 0644u);
  EXPECT_EQ(ParseOctal("  12 34"), 01234u);
  EXPECT_EQ(ParseOctal(""), 0u);
  EXPECT_EQ(ParseOctal("89x"), 0u);
  EXPECT_EQ(ParseOctal("77777777777"), 077777777777u);  // 8 GB - 1, the tar size limit
}

TEST(Octal, FormatRightAlignedWithinTheField) {
  char buf[16];
  std::memset(buf, 'X', sizeof buf);
  FormatOctal(0644, 8, true, buf);
  EXPECT_EQ(std::string(buf, 8), std::string("   644 \0", 8));
  EXPECT_EQ(buf[8], 'X');

  std::memset(buf, 'X', sizeof buf);
  FormatOctal(0, 12, false, buf);
  EXPECT_EQ(std::string(buf, 12), "          0 ");
  EXPECT_EQ(buf[12], 'X');

  std::memset(buf, 'X', sizeof buf);
  FormatOctal(07777777777u, 12, true, buf);
  EXPECT_EQ(std::string(buf, 12), std::string("7777777777 \0", 12));
  FormatOctal(077777777777u, 12, false, buf);
  EXPECT_EQ(std::string(buf, 12), "77777777777 ");
  // A value too wide for the field never writes outside it.
  std::memset(buf, 'X', sizeof buf);
  FormatOctal(0xFFFFFFFFu, 4, true, buf + 4);
  EXPECT_EQ(std::string(buf, 4), "XXXX");
  EXPECT_EQ(std::string(buf + 4, 4), std::string("77 \0", 4));
  EXPECT_EQ(buf[8], 'X');
}

TEST(Percentages, PercentRoundsHalvesToEven) {
  struct Row { std::int64_t part, whole; int expected; };
  const Row rows[] = {
      {1, 3, 33}, {2, 3, 67}, {5, 0, 0}, {5, -1, 0}, {-1, 10, 0}, {250, 100, 100},
      {1, 8, 12}, {3, 8, 38}, {1, 200, 0}, {3, 200, 2}, {0, 7, 0}, {7, 7, 100},
      {1LL << 40, 1LL << 41, 50},
  };
  for (const Row& r : rows)
    EXPECT_EQ(Percent(r.part, r.whole), r.expected) << r.part << "/" << r.whole;
}

TEST(Percentages, CompressionRatio) {
  struct Row { std::int64_t packed, unpacked; int expected; };
  const Row rows[] = {
      {100, 100, 0}, {99, 100, 1},  {0, 100, 0},     {100, 0, 0},    {150, 100, 0},
      {50, 100, 50}, {1, 300000, 100},  // both divided by 100 first: packed becomes 0
      {99999, 100000, 1},  // any saving shows at least 1 %
      {1000, 200000, 99}, {-5, 100, 0}, {1LL << 40, 1LL << 41, 50},
  };
  for (const Row& r : rows)
    EXPECT_EQ(CompressionRatio(r.packed, r.unpacked), r.expected)
        << r.packed << "/" << r.unpacked;
}

}  // namespace
}  // namespace engine
