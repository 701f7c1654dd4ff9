// GetCurrentThreadId: the kernel's thread id, read once per thread.
#include <sys/syscall.h>
#include <unistd.h>

#include <vorm/platform/kernel.h>

DWORD GetCurrentThreadId() {
  // gettid cannot fail; the value is cached because it never changes for a thread.
  thread_local const DWORD id = static_cast<DWORD>(::syscall(SYS_gettid));
  return id;
}
