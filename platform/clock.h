// Clock and local time zone.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds from an arbitrary fixed point; for measuring spans.
std::uint64_t TickCountMs();
// Seconds since 1970-01-01 UTC, now.
std::int64_t UnixTimeNow();
// Offset of local time from UTC, in seconds east of Greenwich, at the UTC instant given
// (daylight saving time as it applied then).
std::int64_t LocalOffsetAt(std::int64_t unixSecondsUtc);
// The UTC instant of a local wall-clock time given as seconds since 1970-01-01 counted in
// local time, using the same zone rules as LocalOffsetAt.
std::int64_t LocalToUtc(std::int64_t localSeconds);
// Re-reads the zone settings after the TZ variable changed (POSIX tzset); Windows reads
// the system's zone on every call, so there it does nothing.
void RefreshTimeZone();

}  // namespace platform
