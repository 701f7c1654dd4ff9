// VirtualAlloc / VirtualFree / GetSystemInfo over mmap, mprotect and madvise.
//
// Reservations are PROT_NONE private anonymous mappings made with MAP_NORESERVE, so that
// address space costs no memory until pages are committed (made accessible). The layer
// keeps a table of its reservations: it needs their sizes for MEM_RELEASE and refuses to
// commit or free addresses that it did not reserve.
#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>

#include <vorm/platform/kernel.h>
#include <vorm/platform/memory.h>

#include "platform/kernel/last_error.h"

using VormLastError_details::Fail;

namespace {

constexpr uintptr_t kGranularity = 65536;

uintptr_t SystemPageSize() {
  static const uintptr_t size = [] {
    long s = sysconf(_SC_PAGESIZE);
    return s > 0 ? static_cast<uintptr_t>(s) : uintptr_t{4096};
  }();
  return size;
}

uintptr_t Granularity() { return SystemPageSize() > kGranularity ? SystemPageSize() : kGranularity; }

uintptr_t RoundUp(uintptr_t v, uintptr_t unit) { return (v + unit - 1) & ~(unit - 1); }
uintptr_t RoundDown(uintptr_t v, uintptr_t unit) { return v & ~(unit - 1); }

// Map of reservation start -> size. Safe from any thread through its mutex.
class Reservations {
 public:
  static Reservations& Get() {
    static Reservations* r = new Reservations;  // never destroyed: used until exit
    return *r;
  }
  std::mutex mutex;
  std::map<uintptr_t, uintptr_t> ranges;

  // The reservation holding all of [begin, end), or ranges.end().
  std::map<uintptr_t, uintptr_t>::iterator Find(uintptr_t begin, uintptr_t end) {
    auto it = ranges.upper_bound(begin);
    if (it == ranges.begin()) return ranges.end();
    --it;
    if (end > it->first + it->second || end < begin) return ranges.end();
    return it;
  }
};

bool ProtectionFlags(DWORD protect, int* prot) {
  switch (protect) {
    case PAGE_NOACCESS: *prot = PROT_NONE; return true;
    case PAGE_READONLY: *prot = PROT_READ; return true;
    case PAGE_READWRITE: *prot = PROT_READ | PROT_WRITE; return true;
    case PAGE_EXECUTE: *prot = PROT_EXEC; return true;
    case PAGE_EXECUTE_READ: *prot = PROT_READ | PROT_EXEC; return true;
    case PAGE_EXECUTE_READWRITE: *prot = PROT_READ | PROT_WRITE | PROT_EXEC; return true;
    default: return false;
  }
}

// Maps `size` bytes of PROT_NONE address space on a granularity boundary: at `want` when
// it is not 0 (and free), else anywhere. Returns 0 on failure with the last error set.
uintptr_t ReserveRange(uintptr_t want, uintptr_t size) {
  const int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
  if (want != 0) {
    void* p = mmap(reinterpret_cast<void*>(want), size, PROT_NONE, flags | MAP_FIXED_NOREPLACE, -1, 0);
    if (p == MAP_FAILED) return Fail(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_ADDRESS, uintptr_t{0});
    if (reinterpret_cast<uintptr_t>(p) != want) {  // kernels without MAP_FIXED_NOREPLACE
      munmap(p, size);
      return Fail(ERROR_INVALID_ADDRESS, uintptr_t{0});
    }
    return want;
  }
  // Over-map by one granule and trim both ends to land on a boundary.
  const uintptr_t slack = Granularity() - SystemPageSize();
  if (size > UINTPTR_MAX - slack) return Fail(ERROR_NOT_ENOUGH_MEMORY, uintptr_t{0});
  void* p = mmap(nullptr, size + slack, PROT_NONE, flags, -1, 0);
  if (p == MAP_FAILED) return Fail(ERROR_NOT_ENOUGH_MEMORY, uintptr_t{0});
  const uintptr_t raw = reinterpret_cast<uintptr_t>(p);
  const uintptr_t start = RoundUp(raw, Granularity());
  if (start > raw) munmap(p, start - raw);
  const uintptr_t tail = raw + size + slack - (start + size);
  if (tail) munmap(reinterpret_cast<void*>(start + size), tail);
  return start;
}

}  // namespace

void GetSystemInfo(SYSTEM_INFO* info) {
  if (!info) return;
  *info = SYSTEM_INFO{};
#if defined(__x86_64__)
  info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
  info->dwProcessorType = 8664;  // PROCESSOR_AMD_X8664
#elif defined(__aarch64__)
  info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
#else
  info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
  info->dwPageSize = static_cast<DWORD>(SystemPageSize());
  info->dwAllocationGranularity = static_cast<DWORD>(Granularity());
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(Granularity());
  info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(uintptr_t{0x7FFFFFFEFFFF});
  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  if (cpus < 1) cpus = 1;
  info->dwNumberOfProcessors = static_cast<DWORD>(cpus);
  info->dwActiveProcessorMask = cpus >= 64 ? ~DWORD_PTR{0} : (DWORD_PTR{1} << cpus) - 1;
}

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  int prot = 0;
  if (size == 0 || !ProtectionFlags(protect, &prot) || (type & ~(MEM_COMMIT | MEM_RESERVE)) != 0 ||
      (type & (MEM_COMMIT | MEM_RESERVE)) == 0) {
    return Fail(ERROR_INVALID_PARAMETER, LPVOID{});
  }
  const uintptr_t page = SystemPageSize();
  const uintptr_t addr = reinterpret_cast<uintptr_t>(address);
  if (addr > UINTPTR_MAX - page || size > UINTPTR_MAX - page - addr) return Fail(ERROR_INVALID_PARAMETER, LPVOID{});
  Reservations& table = Reservations::Get();
  std::lock_guard<std::mutex> lock(table.mutex);

  if ((type & MEM_RESERVE) || addr == 0) {
    // A new reservation; with MEM_COMMIT alone and no address the platform reserves too.
    const uintptr_t start = addr ? RoundDown(addr, Granularity()) : 0;
    const uintptr_t length = RoundUp(addr + size, page) - (addr ? start : 0);
    const uintptr_t base = ReserveRange(start, length);
    if (!base) return nullptr;
    if ((type & MEM_COMMIT) && mprotect(reinterpret_cast<void*>(base), length, prot) != 0) {
      munmap(reinterpret_cast<void*>(base), length);
      return Fail(ERROR_NOT_ENOUGH_MEMORY, LPVOID{});
    }
    table.ranges[base] = length;
    return reinterpret_cast<LPVOID>(base);
  }

  const uintptr_t begin = RoundDown(addr, page);
  const uintptr_t end = RoundUp(addr + size, page);
  if (table.Find(begin, end) == table.ranges.end()) return Fail(ERROR_INVALID_ADDRESS, LPVOID{});
  if (mprotect(reinterpret_cast<void*>(begin), end - begin, prot) != 0) return Fail(ERROR_NOT_ENOUGH_MEMORY, LPVOID{});
  return reinterpret_cast<LPVOID>(begin);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
  const uintptr_t addr = reinterpret_cast<uintptr_t>(address);
  if (freeType != MEM_RELEASE && freeType != MEM_DECOMMIT) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  Reservations& table = Reservations::Get();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (freeType == MEM_RELEASE) {
    if (size != 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto it = table.ranges.find(addr);
    if (it == table.ranges.end()) return Fail(ERROR_INVALID_ADDRESS, FALSE);
    munmap(reinterpret_cast<void*>(it->first), it->second);
    table.ranges.erase(it);
    return TRUE;
  }

  const uintptr_t page = SystemPageSize();
  uintptr_t begin = RoundDown(addr, page);
  uintptr_t end = 0;
  if (size == 0) {
    auto it = table.ranges.find(addr);
    if (it == table.ranges.end()) return Fail(ERROR_INVALID_ADDRESS, FALSE);
    end = it->first + it->second;
  } else {
    if (addr > UINTPTR_MAX - page || size > UINTPTR_MAX - page - addr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    end = RoundUp(addr + size, page);
    if (table.Find(begin, end) == table.ranges.end()) return Fail(ERROR_INVALID_ADDRESS, FALSE);
  }
  // Drop the contents first (private anonymous pages read back as zero), then the access.
  void* p = reinterpret_cast<void*>(begin);
  if (madvise(p, end - begin, MADV_DONTNEED) != 0 || mprotect(p, end - begin, PROT_NONE) != 0) {
    return Fail(VormErrorFromErrno(errno), FALSE);
  }
  return TRUE;
}
