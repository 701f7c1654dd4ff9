// GetVersionExW with its test hook.
#include <atomic>
#include <cstring>

#include <vorm/platform/kernel.h>
#include <vorm/platform/version.h>

#include "platform/kernel/last_error.h"

namespace {

using VormLastError_details::Fail;

// Major and minor (16 bits each) and build packed in one word, so that a reader never
// sees half of a change.
constexpr ULONGLONG Pack(DWORD major, DWORD minor, DWORD build) {
  return (ULONGLONG{major & 0xFFFF} << 48) | (ULONGLONG{minor & 0xFFFF} << 32) | build;
}
constexpr ULONGLONG kDefault = Pack(10, 0, 19045);

std::atomic<ULONGLONG> g_reported{kDefault};

}  // namespace

BOOL GetVersionExW(OSVERSIONINFOW* info) {
  if (!info) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  const ULONGLONG packed = g_reported.load();
  std::memset(info, 0, size);
  info->dwOSVersionInfoSize = size;
  info->dwMajorVersion = static_cast<DWORD>(packed >> 48);
  info->dwMinorVersion = static_cast<DWORD>((packed >> 32) & 0xFFFF);
  info->dwBuildNumber = static_cast<DWORD>(packed & 0xFFFFFFFF);
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  if (size == sizeof(OSVERSIONINFOEXW)) static_cast<OSVERSIONINFOEXW*>(info)->wProductType = VER_NT_WORKSTATION;
  return TRUE;
}

void VormSetReportedVersion(DWORD major, DWORD minor, DWORD build) { g_reported.store(Pack(major, minor, build)); }

void VormResetReportedVersion() { g_reported.store(kDefault); }
