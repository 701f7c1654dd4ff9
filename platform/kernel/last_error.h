// The platform layer's one way out of a failing call: record the error for GetLastError and
// return the function's failure value, so every failure path reads as one statement and no
// path can forget the error:
//   if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
//   return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HANDLE>(nullptr));
// Successful calls leave the last error alone, as the platform's do, so only failures use it.
#pragma once

#include <vorm/platform/kernel.h>

namespace VormLastError_details {

template <class T>
inline T Fail(DWORD code, T failure) {
  SetLastError(code);
  return failure;
}

}  // namespace VormLastError_details
