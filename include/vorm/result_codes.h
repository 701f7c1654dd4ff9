// Result codes of the threads-and-messaging classes (server threads, message queues, the
// selector): 32-bit unsigned, 0 for success. The window message server returns HRESULTs
// instead. Also VormEllipsis, the exception type that guarded regions of the library catch.
// Pure declarations; safe from any thread.
#pragma once

#include <vorm/export.h>
#include <vorm/platform/wintypes.h>

inline constexpr DWORD VormOk = 0;
inline constexpr DWORD VormOutOfMemory = 6;
inline constexpr DWORD VormFailed = 1000001;
inline constexpr DWORD VormInvalidArgument = 1000002;
inline constexpr DWORD VormThreadNotCreated = 2000003;
inline constexpr DWORD VormQueueEmpty = 2002001;
inline constexpr DWORD VormQueueClosed = 2002002;

// An exception type only: code running inside the library's guarded regions (window-message
// dispatch, server-thread routines, ...) may throw it to abandon its work, and the region
// turns it into a failure result. The library itself never throws it.
// Thread rule: no state, any thread. Ownership: a value.
class VORM_API VormEllipsis {
 public:
  VormEllipsis() = default;
  VormEllipsis(const VormEllipsis&) = default;
  VormEllipsis& operator=(const VormEllipsis&) = default;
  virtual ~VormEllipsis();
};
