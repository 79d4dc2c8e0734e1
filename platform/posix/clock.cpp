// Clock and local time zone on POSIX (the C library's zone rules, TZ honoured).
#include "platform/clock.h"

#include <time.h>

namespace platform {

std::uint64_t TickCountMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
         static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

std::int64_t UnixTimeNow() { return static_cast<std::int64_t>(::time(nullptr)); }

std::int64_t LocalOffsetAt(std::int64_t unixSecondsUtc) {
  const time_t t = static_cast<time_t>(unixSecondsUtc);
  tm local{};
  if (::localtime_r(&t, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

std::int64_t LocalToUtc(std::int64_t localSeconds) {
  // Break the local count down as if it were UTC, then let mktime place that wall-clock
  // time in the zone, deciding daylight saving time itself (tm_isdst = -1).
  const time_t t = static_cast<time_t>(localSeconds);
  tm wall{};
  if (::gmtime_r(&t, &wall) == nullptr) return localSeconds;
  wall.tm_isdst = -1;
  const time_t utc = ::mktime(&wall);
  if (utc == static_cast<time_t>(-1)) {
    // Out of range for the C library (or exactly one second before 1970 UTC, where the
    // estimate below gives the same answer).
    return localSeconds - LocalOffsetAt(localSeconds);
  }
  return static_cast<std::int64_t>(utc);
}

void RefreshTimeZone() { ::tzset(); }

}  // namespace platform
