// LocalAlloc/LocalFree over the C heap: fixed blocks only, which is all the layer's
// callers (FormatMessageW's buffers) ask for.
#include <cstdlib>

#include <vorm/platform/kernel.h>

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  if (flags & LMEM_MOVEABLE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A zero-byte request still yields a distinct block, as on the platform.
  const SIZE_T n = bytes ? bytes : 1;
  void* block = (flags & LMEM_ZEROINIT) ? std::calloc(1, n) : std::malloc(n);
  if (!block) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

HLOCAL LocalFree(HLOCAL block) {
  std::free(block);
  return nullptr;
}
