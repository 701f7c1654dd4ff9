// Clocks and the C runtime's 64-bit time functions, with the platform's semantics.
// Stateless apart from the clock source (see VormSetClockSource); safe from any thread.
#pragma once

#include <cstddef>
#include <ctime>

#include <vorm/platform/wintypes.h>

using __time64_t = long long;
using errno_t = int;

// Milliseconds since the system started, wrapping to 0 after 49.7 days (the low 32 bits of
// a monotonic millisecond count). Differences taken in DWORD arithmetic stay right across
// the wrap.
VORM_API DWORD GetTickCount();
VORM_API ULONGLONG GetTickCount64();

// The timers' clock: wall-clock milliseconds since the process started (1000 per second),
// monotonic, never negative. It stands for the platform's clock(), which counts this; the
// C library's clock() here counts processor time instead, which would stop while the
// process waits. The process start comes from the kernel's record of it; where that cannot
// be read, the moment this library was loaded.
constexpr long VORM_CLOCKS_PER_SEC = 1000;
VORM_API long VormClock();

// Replaces the source VormClock reads, for tests that need a clock they can move; returns
// the previous source (null when it was the built-in one). Null restores the built-in clock.
// Install and remove it while no other thread reads the clock.
using VormClockSource = long (*)();
VORM_API VormClockSource VormSetClockSource(VormClockSource source);

// Seconds since 1970-01-01 UTC, also stored through `out` when it is not null.
VORM_API __time64_t _time64(__time64_t* out);

// Local broken-down time of `*time`. 0 on success; EINVAL (with `*result` set to all -1
// fields) for a null `time`, a negative time or one the system cannot convert; EINVAL
// without touching anything for a null `result`.
VORM_API errno_t _localtime64_s(struct tm* result, const __time64_t* time);

// The ctime form of `*time` in local time, 26 characters with its newline and terminator:
//   "Wed Jan 02 02:03:55 1980\n". 0 on success; EINVAL for a null buffer, a null or negative
// time (the buffer then holds an empty string when it has room); ERANGE when `size` is
// below 26 (buffer emptied when it has room).
VORM_API errno_t _wctime64_s(wchar_t* buffer, size_t size, const __time64_t* time);
