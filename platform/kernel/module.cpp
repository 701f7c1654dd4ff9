// GetModuleHandleW: the one module this layer knows, the process's executable.
#include <vorm/platform/kernel.h>

#include "platform/kernel/last_error.h"

namespace {
// Its address is the module handle: non-null, fixed for the process run.
const char g_executableModule = 0;
}  // namespace

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
  if (moduleName) return VormLastError_details::Fail(ERROR_MOD_NOT_FOUND, HMODULE{});
  return reinterpret_cast<HMODULE>(const_cast<char*>(&g_executableModule));
}
