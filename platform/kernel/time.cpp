// Clocks and the C runtime's 64-bit time functions.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include <time.h>
#include <unistd.h>

#include <vorm/platform/time.h>

#include "platform/fs/file_time.h"

namespace {

// Latest instant _localtime64_s and _wctime64_s accept, as on the platform.
using VormFileTime_details::kMaxTime64;

long long MonotonicMs(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Milliseconds the process had already run when the library was loaded: the kernel keeps
// the start time in clock ticks since boot (field 22 of /proc/self/stat); boot-time
// milliseconds now minus that is the age. 0 when it cannot be read.
long long ProcessAgeAtLoad() {
  FILE* f = std::fopen("/proc/self/stat", "re");
  if (!f) return 0;
  char buf[1024];
  size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  buf[n] = '\0';
  // The command name (field 2) is in parentheses and may hold blanks or parentheses itself:
  // fields are counted from the last ')'.
  const char* p = std::strrchr(buf, ')');
  if (!p) return 0;
  ++p;
  // p is at the blank before field 3; field 22 is 19 fields further on.
  for (int field = 3; field <= 22; ++field) {
    while (*p == ' ') ++p;
    if (*p == '\0') return 0;
    if (field == 22) break;
    while (*p != ' ' && *p != '\0') ++p;
  }
  char* end = nullptr;
  unsigned long long ticks = std::strtoull(p, &end, 10);
  long hz = sysconf(_SC_CLK_TCK);
  if (end == p || hz <= 0) return 0;
  long long startMs = static_cast<long long>(ticks) * 1000 / hz;
  long long age = MonotonicMs(CLOCK_BOOTTIME) - startMs;
  return age > 0 ? age : 0;
}

// Monotonic milliseconds at which the process started.
const long long g_processStartMs = MonotonicMs(CLOCK_MONOTONIC) - ProcessAgeAtLoad();

std::atomic<VormClockSource> g_clockSource{nullptr};

}  // namespace

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

ULONGLONG GetTickCount64() { return static_cast<ULONGLONG>(MonotonicMs(CLOCK_MONOTONIC)); }

long VormClock() {
  VormClockSource source = g_clockSource.load(std::memory_order_acquire);
  if (source) return source();
  long long ms = MonotonicMs(CLOCK_MONOTONIC) - g_processStartMs;
  return ms > 0 ? static_cast<long>(ms) : 0;
}

VormClockSource VormSetClockSource(VormClockSource source) {
  return g_clockSource.exchange(source, std::memory_order_acq_rel);
}

__time64_t _time64(__time64_t* out) {
  __time64_t now = static_cast<__time64_t>(::time(nullptr));
  if (out) *out = now;
  return now;
}

errno_t _localtime64_s(struct tm* result, const __time64_t* time) {
  if (!result) return EINVAL;
  std::memset(result, 0xFF, sizeof *result);  // every field -1 until a conversion succeeds
  if (!time || *time < 0 || *time > kMaxTime64) return EINVAL;
  time_t t = static_cast<time_t>(*time);
  if (!localtime_r(&t, result)) {
    std::memset(result, 0xFF, sizeof *result);
    return EINVAL;
  }
  return 0;
}

errno_t _wctime64_s(wchar_t* buffer, size_t size, const __time64_t* time) {
  if (!buffer || size == 0) return EINVAL;
  buffer[0] = L'\0';
  if (!time || *time < 0) return EINVAL;
  if (size < 26) return ERANGE;
  struct tm local;
  if (_localtime64_s(&local, time) != 0) return EINVAL;
  static const wchar_t* const kDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
  static const wchar_t* const kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                           L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
  if (local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 || local.tm_mon > 11) return EINVAL;
  // The platform writes the day of the month with two digits: "Wed Jan 02 02:03:55 1980\n".
  int n = std::swprintf(buffer, size, L"%ls %ls %02d %02d:%02d:%02d %d\n", kDays[local.tm_wday], kMonths[local.tm_mon],
                        local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_year + 1900);
  if (n != 25) {
    buffer[0] = L'\0';
    return EINVAL;
  }
  return 0;
}
