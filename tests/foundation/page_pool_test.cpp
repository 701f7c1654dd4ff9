#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/page_pool.h>

// The pool is process-wide: every test gives back all the blocks it takes, so each one
// starts with at most one chunk, all of whose pages are free.

namespace {

std::vector<BYTE*> Drain(VormBlockList& list) {
  std::vector<BYTE*> blocks;
  while (void* p = list.Pop()) blocks.push_back(static_cast<BYTE*>(p));
  return blocks;
}

uintptr_t PageOf(const void* p) { return reinterpret_cast<uintptr_t>(p) & ~uintptr_t{PageSize - 1}; }
uintptr_t ChunkOf(const void* p) { return reinterpret_cast<uintptr_t>(p) & ~uintptr_t{16 * PageSize - 1}; }

DWORD HeaderWord(uintptr_t page, int i) {
  DWORD v;
  std::memcpy(&v, reinterpret_cast<const BYTE*>(page) + 4 * i, 4);
  return v;
}

// One page from the pool, held as the single block of a 4084-byte list.
struct PageTaker {
  VormBlockList list;
  BYTE* Take() {
    list.Refill(PageSize - 12);
    return static_cast<BYTE*>(list.Pop());
  }
};

// Permissions of the mapping holding `p` ("rw-p"), from /proc/self/maps.
std::string MappingPermissions(const void* p) {
  std::ifstream maps("/proc/self/maps");
  const unsigned long a = reinterpret_cast<uintptr_t>(p);
  for (std::string line; std::getline(maps, line);) {
    unsigned long from = 0, to = 0;
    char perms[5] = {};
    if (std::sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, perms) == 3 && a >= from && a < to) return perms;
  }
  return "";
}

TEST(PagePool, CarvesPagesIntoAscendingBlocks) {
  const struct {
    unsigned size;
    DWORD blocks;
  } cases[] = {{0, 510}, {8, 510}, {9, 453}, {100, 40}, {2042, 2}, {4084, 1}};
  std::mt19937 random(7);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const DWORD size = std::max(cases[i].size, 8u);
    VormBlockList list;
    list.Refill(cases[i].size);
    std::vector<BYTE*> blocks = Drain(list);
    ASSERT_EQ(blocks.size(), cases[i].blocks) << i;
    const uintptr_t page = PageOf(blocks[0]);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(blocks[0]), page + 12) << i;
    for (size_t b = 1; b < blocks.size(); ++b) ASSERT_EQ(blocks[b], blocks[b - 1] + size) << i << " block " << b;
    EXPECT_EQ(HeaderWord(page, 0), cases[i].blocks) << i;
    EXPECT_EQ(HeaderWord(page, 1), size) << i;
    EXPECT_EQ(HeaderWord(page, 2), cases[i].blocks) << i;  // all handed out
    EXPECT_EQ(MappingPermissions(blocks[0]), "rw-p") << i;

    // Given back in any order, the page's blocks leave the list with the last one.
    std::shuffle(blocks.begin(), blocks.end(), random);
    for (size_t b = 0; b < blocks.size(); ++b) {
      EXPECT_TRUE(list.IsEmpty() == (b == 0)) << i << " push " << b;
      list.Push(blocks[b]);
    }
    EXPECT_TRUE(list.IsEmpty()) << i;
  }
}

TEST(PagePool, RefillPutsNewBlocksInFrontOfOldOnes) {
  VormBlockList list;
  list.Refill(8);
  BYTE* kept = static_cast<BYTE*>(list.Pop());
  list.Refill(8);
  std::vector<BYTE*> blocks = Drain(list);
  ASSERT_EQ(blocks.size(), 1019u);
  const uintptr_t newPage = PageOf(blocks[0]);
  EXPECT_NE(newPage, PageOf(kept));
  for (size_t b = 0; b < 510; ++b) ASSERT_EQ(PageOf(blocks[b]), newPage) << b;
  for (size_t b = 510; b < blocks.size(); ++b) ASSERT_EQ(PageOf(blocks[b]), PageOf(kept)) << b;
  EXPECT_EQ(blocks[510], kept + 8);
  // Two pages' worth of blocks in one list: both pages go back once all blocks are in.
  blocks.push_back(kept);
  for (BYTE* b : blocks) list.Push(b);
  EXPECT_TRUE(list.IsEmpty());
}

TEST(PagePool, BadRequestsChangeNothing) {
  const int chunks = ChunkCount;
  VormBlockList list;
  for (unsigned size : {4085u, 100000u, UINT_MAX}) {
    list.Refill(size);
    EXPECT_TRUE(list.IsEmpty()) << size;
  }
  EXPECT_EQ(ChunkCount, chunks);
  EXPECT_EQ(list.Pop(), nullptr);
  DWORD local[4] = {};  // room for a block's links: the inline Push must not touch it either
  list.Push(nullptr);
  list.Push(local);  // not the pool's memory
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(local[0] | local[1] | local[2] | local[3], 0u);
}

TEST(PagePool, ReleasesEmptyChunksButKeepsTheLast) {
  ASSERT_LE(ChunkCount, 1);
  PageTaker taker;
  std::vector<BYTE*> pages;
  for (int i = 0; i < 16; ++i) pages.push_back(taker.Take());
  EXPECT_EQ(ChunkCount, 1);
  for (BYTE* p : pages) EXPECT_EQ(ChunkOf(p), ChunkOf(pages[0]));

  BYTE* extra = taker.Take();
  EXPECT_EQ(ChunkCount, 2);
  EXPECT_NE(ChunkOf(extra), ChunkOf(pages[0]));
  taker.list.Push(extra);  // its chunk is empty again and another exists
  EXPECT_EQ(ChunkCount, 1);

  extra = taker.Take();
  EXPECT_EQ(ChunkCount, 2);
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(ChunkCount, 2) << i;
    taker.list.Push(pages[i]);
  }
  EXPECT_EQ(ChunkCount, 1);  // the first chunk went once its last page came back
  taker.list.Push(extra);
  EXPECT_EQ(ChunkCount, 1);  // the last chunk stays
  EXPECT_TRUE(taker.list.IsEmpty());
}

// Runs in a new process (the death-test machinery re-runs the binary) to see the pool as
// it is at load.
TEST(PagePoolDeathTest, FirstRefillTakesPageZeroOfTheFirstChunk) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (ChunkCount != 0) std::exit(1);
        VormBlockList list;
        list.Refill(8);
        if (ChunkCount != 1) std::exit(2);
        void* first = list.Pop();
        if (reinterpret_cast<uintptr_t>(first) != ChunkOf(first) + 12) std::exit(3);
        PageTaker taker;
        for (int i = 0; i < 15; ++i) taker.Take();  // the chunk's other pages
        if (ChunkCount != 1) std::exit(4);
        taker.Take();
        std::exit(ChunkCount == 2 ? 0 : 5);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
