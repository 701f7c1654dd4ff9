#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/memory.h>

#include "support/temp_tree.h"

namespace {

BYTE* AsBytes(void* p) { return static_cast<BYTE*>(p); }

TEST(VirtualMemory, ReserveCommitDecommitRelease) {
  const DWORD page = 4096;
  void* base = VirtualAlloc(nullptr, (1 << 20) + 1, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(base) % 65536, 0u);

  // Committing part of a page commits the whole page.
  void* p = VirtualAlloc(AsBytes(base) + 2 * page + 100, 10, MEM_COMMIT, PAGE_READWRITE);
  ASSERT_EQ(p, AsBytes(base) + 2 * page);
  std::memset(p, 0x5A, page);
  // Committing again keeps the contents; decommitting and committing again zeroes them.
  ASSERT_EQ(VirtualAlloc(p, page, MEM_COMMIT, PAGE_READWRITE), p);
  EXPECT_EQ(AsBytes(p)[page - 1], 0x5A);
  EXPECT_TRUE(VirtualFree(p, page, MEM_DECOMMIT));
  ASSERT_EQ(VirtualAlloc(p, page, MEM_COMMIT, PAGE_READWRITE), p);
  EXPECT_EQ(AsBytes(p)[0], 0);
  EXPECT_EQ(AsBytes(p)[page - 1], 0);
  // The last byte of the rounded-up reservation is usable.
  void* tail = VirtualAlloc(AsBytes(base) + (1 << 20), 1, MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(tail, nullptr);
  AsBytes(tail)[page - 1] = 1;

  EXPECT_TRUE(VirtualFree(base, 0, MEM_DECOMMIT));  // all of it
  EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
  SetLastError(vorm_test::kErrorSentinel);
  EXPECT_FALSE(VirtualFree(base, 0, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);

  // Reserving at a given address works where the range is free, and not twice.
  ASSERT_EQ(VirtualAlloc(base, 65536, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE), base);
  AsBytes(base)[0] = 1;
  SetLastError(vorm_test::kErrorSentinel);
  EXPECT_EQ(VirtualAlloc(base, 65536, MEM_RESERVE, PAGE_NOACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
  EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

TEST(VirtualMemory, RefusesBadRequests) {
  BYTE* base = AsBytes(VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(base, nullptr);
  int onStack = 0;
  const struct {
    void* address;
    SIZE_T size;
    DWORD type, protect, error;
  } allocs[] = {
      {nullptr, 0, MEM_COMMIT, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
      {nullptr, 4096, 0, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
      {nullptr, 4096, MEM_COMMIT | MEM_DECOMMIT, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
      {nullptr, 4096, MEM_COMMIT, 0x03, ERROR_INVALID_PARAMETER},
      {base + 61440, 8192, MEM_COMMIT, PAGE_READWRITE, ERROR_INVALID_ADDRESS},  // runs past the end
      {&onStack, 4, MEM_COMMIT, PAGE_READWRITE, ERROR_INVALID_ADDRESS},
      {nullptr, SIZE_MAX, MEM_RESERVE, PAGE_NOACCESS, ERROR_INVALID_PARAMETER},
  };
  for (size_t i = 0; i < std::size(allocs); ++i) {
    SetLastError(vorm_test::kErrorSentinel);
    EXPECT_EQ(VirtualAlloc(allocs[i].address, allocs[i].size, allocs[i].type, allocs[i].protect), nullptr) << i;
    EXPECT_EQ(GetLastError(), allocs[i].error) << i;
  }
  const struct {
    void* address;
    SIZE_T size;
    DWORD type, error;
  } frees[] = {
      {base, 4096, MEM_RELEASE, ERROR_INVALID_PARAMETER},
      {base + 4096, 0, MEM_RELEASE, ERROR_INVALID_ADDRESS},
      {base, 0, MEM_RELEASE | MEM_DECOMMIT, ERROR_INVALID_PARAMETER},
      {base + 4096, 0, MEM_DECOMMIT, ERROR_INVALID_ADDRESS},
      {&onStack, 4, MEM_DECOMMIT, ERROR_INVALID_ADDRESS},
  };
  for (size_t i = 0; i < std::size(frees); ++i) {
    SetLastError(vorm_test::kErrorSentinel);
    EXPECT_FALSE(VirtualFree(frees[i].address, frees[i].size, frees[i].type)) << i;
    EXPECT_EQ(GetLastError(), frees[i].error) << i;
  }
  EXPECT_EQ(onStack, 0);
  EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

TEST(VirtualMemoryDeathTest, ReservedPagesAreNotAccessible) {
  BYTE* base = AsBytes(VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(base, nullptr);
  EXPECT_DEATH({ *reinterpret_cast<volatile BYTE*>(base + 10) = 1; }, "");
  VirtualFree(base, 0, MEM_RELEASE);
}

}  // namespace
