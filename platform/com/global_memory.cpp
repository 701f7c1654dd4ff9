// Global memory blocks. Every block is recorded in one table, so a handle is checked
// before it is followed: a fixed block is keyed by its address, a movable block by the
// address of its record (both are live heap addresses, so keys never collide).
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include <vorm/platform/kernel.h>
#include <vorm/platform/stream.h>

#include "platform/com/com_internal.h"
#include "platform/kernel/last_error.h"

namespace {

using VormLastError_details::Fail;

struct Block {
  unsigned char* data = nullptr;
  size_t size = 0;
  size_t capacity = 0;  // growth is amortised: a stream grows its block a little at a time
  bool movable = false;
  DWORD locks = 0;
};

class BlockTable {
 public:
  std::mutex mutex;
  std::unordered_map<HGLOBAL, Block*> blocks;

  Block* Find(HGLOBAL handle) {
    auto it = blocks.find(handle);
    return it == blocks.end() ? nullptr : it->second;
  }
};

BlockTable& Table() {
  static BlockTable* table = new BlockTable;  // outlives static destructors that free blocks
  return *table;
}

unsigned char* AllocateData(size_t bytes, bool zero) {
  void* p = zero ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  return static_cast<unsigned char*>(p);
}

HGLOBAL KeyOf(Block* block) { return block->movable ? static_cast<HGLOBAL>(block) : static_cast<HGLOBAL>(block->data); }

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  auto* block = new (std::nothrow) Block;
  if (!block) return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HGLOBAL>(nullptr));
  block->movable = (flags & GMEM_MOVEABLE) != 0;
  block->data = AllocateData(bytes, (flags & GMEM_ZEROINIT) != 0);
  if (!block->data) {
    delete block;
    return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HGLOBAL>(nullptr));
  }
  block->size = block->capacity = bytes;
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.blocks.emplace(KeyOf(block), block);
  return KeyOf(block);
}

bool VormCom_details::AdoptIntoBlock(HGLOBAL handle, void* data, size_t size) {
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  Block* block = table.Find(handle);
  if (!block || !block->movable || block->locks != 0) return false;
  std::free(block->data);
  block->data = static_cast<unsigned char*>(data);
  block->size = block->capacity = size;
  return true;
}

HGLOBAL GlobalReAlloc(HGLOBAL handle, SIZE_T bytes, UINT flags) {
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  Block* block = table.Find(handle);
  if (!block) return Fail(ERROR_INVALID_HANDLE, static_cast<HGLOBAL>(nullptr));
  if (flags & GMEM_MODIFY) return handle;  // only the flags would change; there are none to keep
  if (bytes <= block->capacity) {
    if (bytes > block->size && (flags & GMEM_ZEROINIT)) std::memset(block->data + block->size, 0, bytes - block->size);
    block->size = bytes;
    return handle;
  }
  const bool mayMove = (block->movable && block->locks == 0) || (flags & GMEM_MOVEABLE);
  if (!mayMove) return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HGLOBAL>(nullptr));
  const size_t capacity = bytes < block->capacity * 2 ? block->capacity * 2 : bytes;
  auto* data = static_cast<unsigned char*>(std::realloc(block->data, capacity));
  if (!data) return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HGLOBAL>(nullptr));
  if (flags & GMEM_ZEROINIT) std::memset(data + block->size, 0, bytes - block->size);
  if (!block->movable) table.blocks.erase(handle);  // a fixed block's key is its address
  block->data = data;
  block->size = bytes;
  block->capacity = capacity;
  if (!block->movable) table.blocks.emplace(KeyOf(block), block);
  return KeyOf(block);
}

LPVOID GlobalLock(HGLOBAL handle) {
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  Block* block = table.Find(handle);
  if (!block) return Fail(ERROR_INVALID_HANDLE, static_cast<LPVOID>(nullptr));
  if (!block->movable) return block->data;
  if (block->size == 0) return Fail(ERROR_DISCARDED, static_cast<LPVOID>(nullptr));
  ++block->locks;
  return block->data;
}

BOOL GlobalUnlock(HGLOBAL handle) {
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  Block* block = table.Find(handle);
  if (!block) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!block->movable || block->locks == 0) return Fail(ERROR_NOT_LOCKED, FALSE);
  if (--block->locks > 0) return TRUE;
  SetLastError(NO_ERROR);  // the platform reports the last unlock this way
  return FALSE;
}

SIZE_T GlobalSize(HGLOBAL handle) {
  BlockTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  Block* block = table.Find(handle);
  return block ? block->size : Fail(ERROR_INVALID_HANDLE, SIZE_T{0});
}

HGLOBAL GlobalFree(HGLOBAL handle) {
  Block* block = nullptr;
  {
    BlockTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    block = table.Find(handle);
    if (!block) return Fail(ERROR_INVALID_HANDLE, handle);
    table.blocks.erase(handle);
  }
  std::free(block->data);
  delete block;
  return nullptr;
}
