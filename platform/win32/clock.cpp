// Clock and local time zone on Windows, with the zone's rules for the year in question.
#include "platform/clock.h"

#include "platform/win32/utf16.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

FILETIME ToFileTime(std::uint64_t ticks) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

std::uint64_t Ticks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

bool ToSystemTime(std::int64_t seconds, SYSTEMTIME& st) {
  std::uint64_t ticks;
  if (!win32::UnixToFileTime(seconds, ticks)) return false;
  const FILETIME ft = ToFileTime(ticks);
  return ::FileTimeToSystemTime(&ft, &st) != 0;
}

bool ToSeconds(const SYSTEMTIME& st, std::int64_t& seconds) {
  FILETIME ft;
  if (!::SystemTimeToFileTime(&st, &ft)) return false;
  seconds = win32::FileTimeToUnix(Ticks(ft));
  return true;
}

// The zone's rules for `year` (daylight saving dates have changed over the years).
TIME_ZONE_INFORMATION ZoneForYear(WORD year) {
  TIME_ZONE_INFORMATION tzi{};
  DYNAMIC_TIME_ZONE_INFORMATION dynamic{};
  if (::GetDynamicTimeZoneInformation(&dynamic) != TIME_ZONE_ID_INVALID &&
      ::GetTimeZoneInformationForYear(year, &dynamic, &tzi)) {
    return tzi;
  }
  ::GetTimeZoneInformation(&tzi);
  return tzi;
}

}  // namespace

std::uint64_t TickCountMs() { return ::GetTickCount64(); }

std::int64_t UnixTimeNow() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  return win32::FileTimeToUnix(Ticks(ft));
}

std::int64_t LocalOffsetAt(std::int64_t unixSecondsUtc) {
  SYSTEMTIME utc;
  if (!ToSystemTime(unixSecondsUtc, utc)) return 0;
  TIME_ZONE_INFORMATION tzi = ZoneForYear(utc.wYear);
  SYSTEMTIME local;
  std::int64_t localSeconds;
  if (!::SystemTimeToTzSpecificLocalTime(&tzi, &utc, &local) || !ToSeconds(local, localSeconds)) {
    return 0;
  }
  return localSeconds - unixSecondsUtc;
}

std::int64_t LocalToUtc(std::int64_t localSeconds) {
  SYSTEMTIME local;
  if (!ToSystemTime(localSeconds, local)) return localSeconds;
  TIME_ZONE_INFORMATION tzi = ZoneForYear(local.wYear);
  SYSTEMTIME utc;
  std::int64_t seconds;
  if (!::TzSpecificLocalTimeToSystemTime(&tzi, &local, &utc) || !ToSeconds(utc, seconds)) {
    return localSeconds;
  }
  return seconds;
}

void RefreshTimeZone() {}

}  // namespace platform
