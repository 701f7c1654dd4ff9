#include "platform/kernel/handles.h"

#include <atomic>
#include <mutex>
#include <new>
#include <unordered_map>

#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>

#include "platform/kernel/last_error.h"
#include "platform/kernel/thread_record.h"

using VormLastError_details::Fail;

namespace VormHandles_details {
namespace {

// Guarded by mutex(); the objects themselves are released outside the lock. `removals`
// counts removed handles; it changes under the lock and is read without it.
struct Table {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, std::shared_ptr<VormKernelObject>> objects;
  std::uintptr_t next = 4;
  std::atomic<std::uint64_t> removals{0};
};

Table& TheTable() {
  // Never destroyed: handles may still be closed from static destructors at exit.
  static Table* table = new Table;
  return *table;
}

std::uintptr_t Key(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

template <class Accept>
bool RemoveIf(HANDLE handle, Accept accept) {
  std::shared_ptr<VormKernelObject> removed;  // released after the lock is dropped
  {
    Table& table = TheTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.objects.find(Key(handle));
    if (it == table.objects.end() || !accept(*it->second)) return false;
    removed = std::move(it->second);
    table.objects.erase(it);
    table.removals.fetch_add(1, std::memory_order_release);
  }
  return true;
}

}  // namespace

HANDLE Register(std::shared_ptr<VormKernelObject> object) {
  if (!object) return Fail(ERROR_INVALID_PARAMETER, HANDLE{});
  try {
    Table& table = TheTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    std::uintptr_t key = table.next;
    table.objects.emplace(key, std::move(object));
    table.next += 4;
    return reinterpret_cast<HANDLE>(key);
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY, HANDLE{});
  }
}

std::shared_ptr<VormKernelObject> Lookup(HANDLE handle) {
  Table& table = TheTable();
  const std::uintptr_t key = Key(handle);
  // Handles are never reused, so an entry stays right until some handle is removed.
  LookupCache::Entry& cached = VormThreadRecord::Current().handleCache.entries[(key >> 2) & 7];
  if (cached.key == key && cached.removals == table.removals.load(std::memory_order_acquire)) {
    if (std::shared_ptr<VormKernelObject> object = cached.object.lock()) return object;
  }
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.objects.find(key);
  if (it == table.objects.end()) return nullptr;
  cached.key = key;
  cached.removals = table.removals.load(std::memory_order_relaxed);
  cached.object = it->second;
  return it->second;
}

bool Remove(HANDLE handle, VormObjectType type) {
  return RemoveIf(handle, [type](const VormKernelObject& o) { return o.Type() == type; });
}

bool RemoveClosable(HANDLE handle) {
  return RemoveIf(handle, [](const VormKernelObject& o) { return o.ClosableByCloseHandle(); });
}

}  // namespace VormHandles_details

BOOL CloseHandle(HANDLE handle) {
  if (handle == VormHandles_details::CurrentThreadPseudoHandle()) return TRUE;
  if (!VormHandles_details::RemoveClosable(handle)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}

HANDLE GetCurrentProcess() { return VormHandles_details::CurrentProcessPseudoHandle(); }

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target, DWORD, BOOL,
                     DWORD options) {
  const HANDLE self = VormHandles_details::CurrentProcessPseudoHandle();
  if (sourceProcess != self || targetProcess != self) return Fail(ERROR_INVALID_HANDLE, FALSE);
  std::shared_ptr<VormKernelObject> object;
  if (source == VormHandles_details::CurrentThreadPseudoHandle()) {
    object = VormThreadRecord::Current().shared_from_this();
  } else {
    object = VormHandles_details::Lookup(source);
    if (object && object->Type() == VormObjectType::Find) object = nullptr;  // not a kernel object
    if (object && (options & DUPLICATE_CLOSE_SOURCE)) VormHandles_details::Remove(source, object->Type());
  }
  if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!target) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  HANDLE copy = VormHandles_details::Register(std::move(object));
  if (!copy) return FALSE;
  *target = copy;
  return TRUE;
}
