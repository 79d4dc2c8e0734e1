// Clock and time zones: offsets in summer and winter, and local-to-UTC round trips.
#include "platform/clock.h"

#include "platform/env.h"
#include "platform/fs.h"
#include "platform/path.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(PlatformClock, NowAndTicks) {
  const std::int64_t now = platform::UnixTimeNow();
  EXPECT_GT(now, 1600000000);  // after September 2020
  const std::uint64_t t0 = platform::TickCountMs();
  const std::uint64_t t1 = platform::TickCountMs();
  EXPECT_GE(t1, t0);
}

// In whatever zone this system has: the offset is sane and LocalToUtc inverts it.
TEST(PlatformClock, RoundTripInTheSystemZone) {
  for (const std::int64_t utc : {std::int64_t{946728000}, std::int64_t{1688212800},
                                 std::int64_t{1673784000}, std::int64_t{2000000000}}) {
    const std::int64_t offset = platform::LocalOffsetAt(utc);
    EXPECT_LE(offset < 0 ? -offset : offset, 14 * 3600) << utc;
    EXPECT_EQ(platform::LocalToUtc(utc + offset), utc) << utc;
  }
}

// Sets TZ for one test and puts the old value back.
class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) : saved_(platform::GetEnv("TZ")) {
    platform::SetEnv("TZ", zone);
    platform::RefreshTimeZone();
  }
  ~ZoneScope() {
    platform::SetEnv("TZ", saved_);
    platform::RefreshTimeZone();
  }

 private:
  std::optional<std::string> saved_;
};

TEST(PlatformClock, NamedZones) {
  if (platform::kIsWindows) GTEST_SKIP() << "Windows takes its zone from the system, not TZ";
  if (!platform::FileExists("/usr/share/zoneinfo/Europe/Berlin")) {
    GTEST_SKIP() << "no time-zone database in /usr/share/zoneinfo";
  }
  constexpr std::int64_t kSummer = 1688212800;  // 2023-07-01 12:00 UTC
  constexpr std::int64_t kWinter = 1673784000;  // 2023-01-15 12:00 UTC
  constexpr std::int64_t k1996 = 846460800;     // 1996-10-28 00:00 UTC, EU rules then
  struct Row {
    const char* zone;
    std::int64_t summer, winter;
  };
  const Row rows[] = {
      {"Europe/Berlin", 7200, 3600},
      {"America/New_York", -4 * 3600, -5 * 3600},
      {"UTC", 0, 0},
      {"Asia/Kolkata", 19800, 19800},
      {"Australia/Sydney", 10 * 3600, 11 * 3600},  // southern summer in January
  };
  for (const Row& r : rows) {
    ZoneScope scope(r.zone);
    EXPECT_EQ(platform::LocalOffsetAt(kSummer), r.summer) << r.zone;
    EXPECT_EQ(platform::LocalOffsetAt(kWinter), r.winter) << r.zone;
    for (const std::int64_t t : {kSummer, kWinter, k1996}) {
      EXPECT_EQ(platform::LocalToUtc(t + platform::LocalOffsetAt(t)), t) << r.zone << " " << t;
    }
  }
  {
    ZoneScope scope("Europe/Berlin");
    // Summer time began at 2023-03-26 01:00:00 UTC (02:00 local became 03:00).
    EXPECT_EQ(platform::LocalOffsetAt(1679792400 - 1), 3600);
    EXPECT_EQ(platform::LocalOffsetAt(1679792400), 7200);
    // 1996-10-27 01:00 UTC: summer time ended on the last Sunday of October that year.
    EXPECT_EQ(platform::LocalOffsetAt(846378000 - 1), 7200);
    EXPECT_EQ(platform::LocalOffsetAt(846378000), 3600);
    // Local 2023-07-01 14:00 in Berlin is 12:00 UTC.
    EXPECT_EQ(platform::LocalToUtc(kSummer + 7200), kSummer);
  }
}

}  // namespace
