// LocalAlloc/LocalFree over the C heap: fixed blocks only, which is all the layer's
// callers (FormatMessageW's buffers) ask for.
#include <cstdlib>

#include <vorm/platform/kernel.h>

#include "platform/kernel/last_error.h"

using VormLastError_details::Fail;

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  if (flags & LMEM_MOVEABLE) return Fail(ERROR_INVALID_PARAMETER, HLOCAL{});
  // A zero-byte request still yields a distinct block, as on the platform.
  const SIZE_T n = bytes ? bytes : 1;
  void* block = (flags & LMEM_ZEROINIT) ? std::calloc(1, n) : std::malloc(n);
  return block ? block : Fail(ERROR_NOT_ENOUGH_MEMORY, HLOCAL{});
}

HLOCAL LocalFree(HLOCAL block) {
  std::free(block);
  return nullptr;
}
