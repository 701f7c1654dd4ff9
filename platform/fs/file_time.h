// The platform's time scales, in one place: a FILETIME counts 100-ns intervals since
// 1601-01-01 UTC, the C runtime's 64-bit times count seconds since 1970-01-01 UTC and its
// conversions stop at the end of the year 3000. Constants and pure arithmetic; safe from any
// thread.
#pragma once

#include <vorm/platform/wintypes.h>

namespace VormFileTime_details {

constexpr long long kTicksPerSecond = 10000000LL;
// Seconds from 1601-01-01 to 1970-01-01, and the same in FILETIME ticks.
constexpr long long kEpochDeltaSeconds = 11644473600LL;
constexpr long long kUnixEpochTicks = kEpochDeltaSeconds * kTicksPerSecond;
// The latest instant the platform's time functions convert: 3000-12-31 23:59:59 UTC.
constexpr long long kMaxTime64 = 32535215999LL;

// Whole seconds since 1970 of a FILETIME, rounded down (before 1970 too).
//   UnixSeconds({0xD53E8000, 0x019DB1DE}) => 0
inline long long UnixSeconds(const FILETIME& ft) {
  const long long ticks = static_cast<long long>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  const long long since = ticks - kUnixEpochTicks;
  long long seconds = since / kTicksPerSecond;
  if (since % kTicksPerSecond < 0) --seconds;
  return seconds;
}

}  // namespace VormFileTime_details
