// Page-block pool: a two-level allocator for many small objects of fixed sizes.
//
// The lower level, a process-wide page pool, takes memory from the system 16 pages (one
// 64 KiB chunk with 4 KiB pages) at a time and gives a chunk back once all of its pages are
// free again, always keeping the last one. The upper level, VormBlockList, is a free list
// of equal-sized blocks that a client keeps per block size: Refill carves one pool page
// into blocks, Pop and Push take and return blocks, and the page goes back to the pool as
// soon as all of its blocks are pushed back. The bookkeeping lives in the managed memory:
//
//   block page:  [ count | size | in use ] [ block 0 ][ block 1 ] ... (12-byte header)
//   free block:  [ previous | next ]  (two 32-bit links, hence the 8-byte minimum size)
//
// Links are 32-bit offsets into one address range that the pool reserves on first use
// (up to 4 GiB of address space; memory is committed chunk by chunk inside it), so the
// layout is the same for 32- and 64-bit processes. Pages are committed read-write, never
// executable.
//
// Blocks sit at page + 12 + i * size: they are aligned only as the size makes them (4 bytes
// for sizes that are multiples of 4). Objects that need 8-byte alignment must be copied in
// and out (memcpy), not placed directly.
//
// Thread rule: nothing here takes a lock. The pool, ChunkCount and every block list are for
// one thread at a time, or for callers that hold one lock of their own around all of them.
// Ownership: a list owns the free blocks on it; a popped block belongs to the caller until
// pushed back to the same list.
#pragma once

#include <cstring>

#include <vorm/export.h>
#include <vorm/platform/wintypes.h>

// Set once when the library loads, from GetSystemInfo.
VORM_API extern const DWORD PageSize;         // system page size: 4096
VORM_API extern const DWORD PageMask;         // -PageSize: offset & PageMask => its page (0xFFFFF000)
VORM_API extern const DWORD GranularityMask;  // -allocation granularity (0xFFFF0000)
// Chunks the pool holds now; 0 at load. Read it; the pool keeps its own count.
VORM_API extern int ChunkCount;

namespace VormBlockList_details {

// The pool's reserved range (null and 0 before the first Refill), read by the inline
// Pop and Push so that a block costs a few loads and stores and no call.
struct PoolRange {
  BYTE* base;
  ULONGLONG bytes;
};
VORM_API extern PoolRange g_poolRange;

// Word i of a page header or of a free block's links. Blocks are only 4-byte aligned and
// the memory may have held client objects, so words are copied, not dereferenced.
inline DWORD LoadWord(const void* p, int i) {
  DWORD v;
  std::memcpy(&v, static_cast<const BYTE*>(p) + 4 * i, 4);
  return v;
}
inline void StoreWord(void* p, int i, DWORD v) { std::memcpy(static_cast<BYTE*>(p) + 4 * i, &v, 4); }

}  // namespace VormBlockList_details

// A free list of blocks of one size: one pointer, the list head. The client keeps one list
// per block size (typically a static object; it needs no construction at run time) and
// passes the size to Refill. The list does not store the size.
//
//   static VormBlockList list;
//   if (list.IsEmpty()) list.Refill(sizeof(Node));   // carves (4096 - 12) / size blocks
//   void* p = list.Pop();                            // nullptr if the pool had no memory
//   ...
//   list.Push(p);                                    // last block of a page => page freed
//
// Blocks per page with 4096-byte pages: sizes 1..8 => 510, 100 => 40, 4084 => 1,
// 4085 and above => none (Refill adds nothing and takes no page).
// Thread rule: as for the pool (see above). Ownership: holds only free blocks.
class VormBlockList {
 public:
  constexpr VormBlockList() = default;
  VormBlockList(const VormBlockList&) = delete;
  VormBlockList& operator=(const VormBlockList&) = delete;

  bool IsEmpty() const { return head_ == nullptr; }

  // Takes one page from the pool and puts its blocks, in ascending address order, in front
  // of the blocks already on the list. Block size = max(blockSize, 8). Does nothing when
  // the pool cannot get memory or a block would not fit in a page: check IsEmpty after.
  VORM_API void Refill(const unsigned int& blockSize);
  // Takes the head block; nullptr on an empty list.
  void* Pop() {
    using namespace VormBlockList_details;
    BYTE* block = static_cast<BYTE*>(head_);
    if (!block) return nullptr;
    BYTE* const base = g_poolRange.base;
    const DWORD next = LoadWord(block, 1);
    if (next) {
      StoreWord(base + next, 0, 0);
      head_ = base + next;
    } else {
      head_ = nullptr;
    }
    StoreWord(block, 1, 0);
    BYTE* page = base + (static_cast<DWORD>(block - base) & PageMask);
    StoreWord(page, 2, LoadWord(page, 2) + 1);
    return block;
  }
  // Returns a block popped from this list. When it was the last of its page in use, every
  // block of that page leaves the list and the page goes back to the pool. nullptr and
  // pointers outside the pool's range are ignored; pushing a block twice or to another
  // list than the one it came from corrupts the lists (not detected).
  void Push(void* pointer) {
    using namespace VormBlockList_details;
    BYTE* const base = g_poolRange.base;
    BYTE* block = static_cast<BYTE*>(pointer);
    const ULONGLONG offset = reinterpret_cast<UINT_PTR>(block) - reinterpret_cast<UINT_PTR>(base);
    if (!block || offset >= g_poolRange.bytes) return;
    StoreWord(block, 0, 0);
    if (head_) {
      StoreWord(block, 1, static_cast<DWORD>(static_cast<BYTE*>(head_) - base));
      StoreWord(head_, 0, static_cast<DWORD>(offset));
    } else {
      StoreWord(block, 1, 0);
    }
    head_ = block;
    BYTE* page = base + (static_cast<DWORD>(offset) & PageMask);
    const DWORD inUse = LoadWord(page, 2) - 1;
    StoreWord(page, 2, inUse);
    if (inUse == 0) ReleasePage(page);
  }

 private:
  // Takes every block of an all-free page off this list and gives the page to the pool.
  VORM_API void ReleasePage(BYTE* page);

  void* head_ = nullptr;
};

// A holder whose first field is the byte pointer that VormFillBytes writes through.
struct VormByteHolder {
  BYTE* bytes;
};

// Stores `value` into the first `count` bytes at holder.bytes and returns the holder.
// A null pointer is left alone.
//   holder.bytes -> "abcdef", count 3, value 'x'  => "xxxdef"
VORM_API VormByteHolder& VormFillBytes(VormByteHolder& holder, const unsigned int& count, const BYTE& value);
