// The page pool and the block lists.
//
// All bookkeeping is 32-bit words inside the managed memory: link words are offsets from
// the start of the pool's reserved range. Chunk slot 0 (the first chunk-sized piece of
// the range) is never committed, so offset 0 never names a page or a block and serves as
// the null link.
#include <vorm/page_pool.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <vorm/platform/memory.h>

namespace VormBlockList_details {

PoolRange g_poolRange = {nullptr, 0};

namespace {

constexpr DWORD kHeaderBytes = 12;   // count, size, in use
constexpr DWORD kMinBlockBytes = 8;  // two link words
constexpr DWORD kChunkPages = 16;
constexpr uint64_t kMaxRangeBytes = uint64_t{1} << 32;  // what 32-bit offsets can reach
constexpr DWORD kMaxSlots = 65536;                      // 4 GiB in chunks of 64 KiB

SYSTEM_INFO SystemInfo() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info;
}

}  // namespace

// The process-wide page pool. Thread rule: one thread at a time (no lock, see page_pool.h).
// Ownership: owns its reserved range and every page in it; never destroyed (a trivially
// destructible static), so blocks stay valid until the process ends.
class VormPagePool {
 public:
  BYTE* At(DWORD offset) const { return base_ + offset; }
  DWORD OffsetOf(const void* p) const {
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(base_));
  }
  // True when `p` lies inside the reserved range (never before the first reservation).
  bool Owns(const void* p) const {
    return reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(base_) < rangeBytes_;
  }

  // Unlinks the head of the free-page list; grows by one chunk when the list is empty.
  // nullptr when no memory could be had.
  BYTE* AllocatePage() {
    if (freeHead_ == 0 && !Grow()) return nullptr;
    const DWORD offset = freeHead_;
    BYTE* page = At(offset);
    freeHead_ = LoadWord(page, 1);
    if (freeHead_) StoreWord(At(freeHead_), 0, 0);
    StoreWord(page, 1, 0);
    ++use_[offset >> chunkShift_];
    return page;
  }

  // Puts the page at the head of the free-page list; releases its chunk when that was the
  // chunk's last page in use and another chunk remains.
  void FreePage(BYTE* page) {
    const DWORD offset = OffsetOf(page);
    StoreWord(page, 0, 0);
    StoreWord(page, 1, freeHead_);
    if (freeHead_) StoreWord(At(freeHead_), 0, offset);
    freeHead_ = offset;
    const DWORD slot = offset >> chunkShift_;
    if (--use_[slot] == 0 && chunks_ >= 2) ReleaseChunk(slot);
  }

 private:
  bool Reserve() {
    const DWORD page = PageSize;
    if (page < 64 || (page & (page - 1)) != 0) return false;  // not a usable page size
    chunkBytes_ = page * kChunkPages;
    chunkShift_ = 0;
    while ((DWORD{1} << chunkShift_) < chunkBytes_) ++chunkShift_;
    // Ask for the whole 32-bit range first; a process with a tight address-space limit
    // gets a smaller one.
    for (uint64_t size = kMaxRangeBytes; size >= 2u * chunkBytes_; size /= 2) {
      void* p = VirtualAlloc(nullptr, static_cast<SIZE_T>(size), MEM_RESERVE, PAGE_NOACCESS);
      if (p) {
        base_ = static_cast<BYTE*>(p);
        rangeBytes_ = size;
        g_poolRange = PoolRange{base_, size};
        slotLimit_ = static_cast<DWORD>(std::min<uint64_t>(size / chunkBytes_, kMaxSlots));
        return true;
      }
    }
    return false;
  }

  bool Grow() {
    if (!base_ && !Reserve()) return false;
    DWORD slot;
    if (releasedCount_ > 0) {
      slot = releasedSlots_[--releasedCount_];
    } else if (nextSlot_ < slotLimit_) {
      slot = nextSlot_++;
    } else {
      return false;
    }
    const DWORD first = static_cast<DWORD>(uint64_t{slot} << chunkShift_);
    if (!VirtualAlloc(At(first), chunkBytes_, MEM_COMMIT, PAGE_READWRITE)) {
      releasedSlots_[releasedCount_++] = slot;
      return false;
    }
    // Pages in address order, the old list (empty when called from AllocatePage) behind.
    for (DWORD i = 0; i < kChunkPages; ++i) {
      const DWORD offset = first + i * PageSize;
      StoreWord(At(offset), 0, i == 0 ? 0 : offset - PageSize);
      StoreWord(At(offset), 1, i + 1 < kChunkPages ? offset + PageSize : freeHead_);
    }
    const DWORD last = first + (kChunkPages - 1) * PageSize;
    if (freeHead_) StoreWord(At(freeHead_), 0, last);
    freeHead_ = first;
    use_[slot] = 0;
    ++chunks_;
    ChunkCount = chunks_;
    return true;
  }

  void ReleaseChunk(DWORD slot) {
    const DWORD first = slot << chunkShift_;
    for (DWORD i = 0; i < kChunkPages; ++i) {
      const DWORD offset = first + i * PageSize;
      BYTE* page = At(offset);
      const DWORD prev = LoadWord(page, 0);
      const DWORD next = LoadWord(page, 1);
      if (offset == freeHead_) {
        freeHead_ = next;
        if (next) StoreWord(At(next), 0, 0);
      } else {
        if (prev) StoreWord(At(prev), 1, next);
        if (next) StoreWord(At(next), 0, prev);
      }
    }
    // Decommitting gives the memory back and keeps the addresses for a later chunk.
    VirtualFree(At(first), chunkBytes_, MEM_DECOMMIT);
    releasedSlots_[releasedCount_++] = slot;
    --chunks_;
    ChunkCount = chunks_;
  }

  BYTE* base_ = nullptr;
  uint64_t rangeBytes_ = 0;
  DWORD chunkBytes_ = 0;
  DWORD chunkShift_ = 0;
  DWORD freeHead_ = 0;  // offset of the first free page; 0 = none
  DWORD nextSlot_ = 1;  // first chunk slot never committed (slot 0 is never used)
  DWORD slotLimit_ = 0;
  int chunks_ = 0;
  DWORD releasedCount_ = 0;
  int use_[kMaxSlots] = {};              // pages handed out, per committed chunk slot
  DWORD releasedSlots_[kMaxSlots] = {};  // decommitted slots, reused first
};

namespace {
// Constant-initialised: usable from any static constructor, never destroyed.
constinit VormPagePool thePool;
}  // namespace

}  // namespace VormBlockList_details

extern const DWORD PageSize = VormBlockList_details::SystemInfo().dwPageSize;
extern const DWORD PageMask = 0u - PageSize;
extern const DWORD GranularityMask = 0u - VormBlockList_details::SystemInfo().dwAllocationGranularity;
int ChunkCount = 0;

using VormBlockList_details::LoadWord;
using VormBlockList_details::StoreWord;
using VormBlockList_details::thePool;

void VormBlockList::Refill(const unsigned int& blockSize) {
  const DWORD size = std::max<DWORD>(blockSize, VormBlockList_details::kMinBlockBytes);
  const DWORD count = (PageSize - VormBlockList_details::kHeaderBytes) / size;
  if (count == 0) return;  // a page with no block could never be pushed back
  BYTE* page = thePool.AllocatePage();
  if (!page) return;
  StoreWord(page, 0, count);
  StoreWord(page, 1, size);
  StoreWord(page, 2, 0);
  const DWORD first = thePool.OffsetOf(page) + VormBlockList_details::kHeaderBytes;
  const DWORD oldHead = head_ ? thePool.OffsetOf(head_) : 0;
  for (DWORD i = 0; i < count; ++i) {
    const DWORD offset = first + i * size;
    StoreWord(thePool.At(offset), 0, i == 0 ? 0 : offset - size);
    StoreWord(thePool.At(offset), 1, i + 1 < count ? offset + size : oldHead);
  }
  if (oldHead) StoreWord(thePool.At(oldHead), 0, first + (count - 1) * size);
  head_ = thePool.At(first);
}

void VormBlockList::ReleasePage(BYTE* page) {
  const DWORD count = LoadWord(page, 0);
  const DWORD size = LoadWord(page, 1);
  const DWORD first = thePool.OffsetOf(page) + VormBlockList_details::kHeaderBytes;
  for (DWORD i = 0; i < count; ++i) {
    BYTE* b = thePool.At(first + i * size);
    const DWORD prev = LoadWord(b, 0);
    const DWORD next = LoadWord(b, 1);
    if (b == head_) {
      head_ = next ? thePool.At(next) : nullptr;
      if (next) StoreWord(thePool.At(next), 0, 0);
    } else {
      if (prev) StoreWord(thePool.At(prev), 1, next);
      if (next) StoreWord(thePool.At(next), 0, prev);
    }
    StoreWord(b, 0, 0);
    StoreWord(b, 1, 0);
  }
  thePool.FreePage(page);
}

VormByteHolder& VormFillBytes(VormByteHolder& holder, const unsigned int& count, const BYTE& value) {
  if (holder.bytes && count) std::memset(holder.bytes, value, count);
  return holder;
}
