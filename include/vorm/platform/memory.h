// Virtual memory: the platform's reserve / commit / decommit / release model over mmap,
// mprotect and madvise, and the system facts the allocators need. Safe from any thread.
//
// A reservation takes address space only. Committing pages inside it makes them usable
// with the given protection; freshly committed pages read as zero, also after a decommit.
// Decommitting hands the memory back to the system and leaves the addresses reserved.
// Releasing frees the whole reservation. Reservations start on an allocation-granularity
// boundary (64 KiB, as on the platform), even though Linux itself maps at page granularity.
//
//   p = VirtualAlloc(NULL, 1 << 20, MEM_RESERVE, PAGE_NOACCESS)          => 64 KiB aligned
//   VirtualAlloc(p + 8192, 100, MEM_COMMIT, PAGE_READWRITE)             => p + 8192 (one page)
//   VirtualFree(p + 8192, 4096, MEM_DECOMMIT)                           => TRUE
//   VirtualFree(p, 0, MEM_RELEASE)                                      => TRUE
#pragma once

#include <vorm/platform/wintypes.h>

constexpr DWORD MEM_COMMIT = 0x00001000;
constexpr DWORD MEM_RESERVE = 0x00002000;
constexpr DWORD MEM_DECOMMIT = 0x00004000;
constexpr DWORD MEM_RELEASE = 0x00008000;

constexpr DWORD PAGE_NOACCESS = 0x01;
constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD PAGE_READWRITE = 0x04;
constexpr DWORD PAGE_EXECUTE = 0x10;
constexpr DWORD PAGE_EXECUTE_READ = 0x20;
constexpr DWORD PAGE_EXECUTE_READWRITE = 0x40;

// An address that is not inside a reservation, or not at the start of one where a start
// is required.
constexpr DWORD ERROR_INVALID_ADDRESS = 487;

constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
constexpr WORD PROCESSOR_ARCHITECTURE_ARM64 = 12;
constexpr WORD PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;

// The platform's record, field for field (the leading union of the original is spelt as
// its two words).
struct SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
};
using LPSYSTEM_INFO = SYSTEM_INFO*;

// Page size from the system (4096 on x86-64 Linux); allocation granularity 65536, or the
// page size when that is larger; processors online.
VORM_API void GetSystemInfo(SYSTEM_INFO* info);

// `type` is MEM_RESERVE, MEM_COMMIT or both. With `address` NULL a new reservation of
// `size` rounded up to whole pages is made (and committed with MEM_COMMIT). With an
// address, MEM_RESERVE reserves there (rounded down to the granularity) if that range is
// free, and MEM_COMMIT commits the pages that [address, address + size) touches, which
// must lie inside one reservation. Returns the start of the reserved or committed range,
// or NULL with the last error: ERROR_INVALID_PARAMETER (size 0, unknown type or
// protection), ERROR_INVALID_ADDRESS (outside a reservation, or not free to reserve),
// ERROR_NOT_ENOUGH_MEMORY (the system refused).
VORM_API LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect);

// MEM_RELEASE: `address` is the start of a reservation and `size` is 0; the whole
// reservation is unmapped. MEM_DECOMMIT: the pages that [address, address + size) touches
// are given back to the system (size 0 at a reservation's start: all of it); they stay
// reserved and read as zero once committed again. FALSE with ERROR_INVALID_PARAMETER or
// ERROR_INVALID_ADDRESS otherwise.
VORM_API BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);
