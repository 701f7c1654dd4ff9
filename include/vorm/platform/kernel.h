// Thread-local last-error value and the errno translation used by every platform call.
#pragma once

#include <vorm/platform/wintypes.h>

VORM_API DWORD GetLastError();
VORM_API void SetLastError(DWORD code);

// Platform error code for a POSIX errno value (one table for the whole layer).
VORM_API DWORD VormErrorFromErrno(int err);
