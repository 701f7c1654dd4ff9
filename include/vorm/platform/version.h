// The operating-system version the platform layer reports, and a hook for tests to report
// another one. Safe from any thread.
#pragma once

#include <vorm/platform/wintypes.h>

constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

// The platform's records. WCHAR is 32 bits here, so the sizes differ from the platform's
// (276 and 284 bytes there); callers set dwOSVersionInfoSize with sizeof, as they must.
struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
};
// The extended record begins with the plain one.
struct OSVERSIONINFOEXW : OSVERSIONINFOW {
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
using LPOSVERSIONINFOW = OSVERSIONINFOW*;
constexpr BYTE VER_NT_WORKSTATION = 1;

// Fills the record whose dwOSVersionInfoSize is sizeof(OSVERSIONINFOW) or
// sizeof(OSVERSIONINFOEXW): version 10.0 build 19045 of the NT platform, no service pack,
// a workstation, unless a test installed another version. FALSE with
// ERROR_INSUFFICIENT_BUFFER for another size, ERROR_INVALID_PARAMETER for null.
VORM_API BOOL GetVersionExW(OSVERSIONINFOW* info);

// Test hook: the major, minor and build numbers GetVersionExW reports from now on (for
// code that branches on old versions); VormResetReportedVersion returns to the default.
VORM_API void VormSetReportedVersion(DWORD major, DWORD minor, DWORD build);
VORM_API void VormResetReportedVersion();
