// Process-wide handle table: every HANDLE the layer hands out names one kernel object here.
// A HANDLE is a key into the table, never a pointer, so a stale, closed or forged handle is
// found missing (ERROR_INVALID_HANDLE) instead of being dereferenced. Handle values are
// multiples of 4, never NULL or INVALID_HANDLE_VALUE, and never reused within a process run.
//
// Objects are shared: a lookup returns a std::shared_ptr, so a call in progress keeps its
// object alive even if another thread closes the handle meanwhile; the object is destroyed
// when the last reference goes. A kind of object plugs in by deriving from VormKernelObject
// with its own type tag and releasing its resources in its destructor.
#pragma once

#include <cstdint>
#include <memory>

#include <vorm/platform/wintypes.h>

// Kinds of objects behind handles. Add new kinds at the end.
enum class VormObjectType : int {
  File = 1,  // CreateFileW
  Find,      // FindFirstFileExW; closed by FindClose only
  Event,
  Thread,
  ChangeNotification,  // closed by FindCloseChangeNotification only
  Mutex,
  Semaphore,
  Internal,  // waitable objects of the layer itself; never behind a handle
};

class VormWaitable;

// Base of every object behind a HANDLE. Thread rule: the table is safe from any thread;
// the derived object states its own rule. Ownership: shared between the table and callers.
class VormKernelObject {
 public:
  explicit VormKernelObject(VormObjectType type) : type_(type) {}
  virtual ~VormKernelObject() = default;
  VormKernelObject(const VormKernelObject&) = delete;
  VormKernelObject& operator=(const VormKernelObject&) = delete;

  VormObjectType Type() const { return type_; }
  // Whether CloseHandle may close this object (find and change-notification handles have
  // their own closing functions and CloseHandle refuses them, as on the platform).
  virtual bool ClosableByCloseHandle() const { return true; }
  // The object as something a thread can wait on, or null (files, find handles).
  virtual VormWaitable* Waitable() { return nullptr; }

 private:
  const VormObjectType type_;
};

namespace VormHandles_details {

// Registers `object` and returns its new handle; NULL (last error ERROR_NOT_ENOUGH_MEMORY)
// when the table cannot grow or `object` is null.
HANDLE Register(std::shared_ptr<VormKernelObject> object);

// The object behind `handle`, or null when the handle is unknown or closed.
std::shared_ptr<VormKernelObject> Lookup(HANDLE handle);

// A thread's recent lookups (kept in its record): handle -> weak reference, trusted while no
// handle has been removed since the entry was made, so that repeated lookups of the same
// handles take no lock. Owner thread only.
struct LookupCache {
  struct Entry {
    std::uintptr_t key = 0;
    std::uint64_t removals = 0;
    std::weak_ptr<VormKernelObject> object;
  };
  Entry entries[8];
};

// The object behind `handle` when it is of `type`, else null.
template <class T>
std::shared_ptr<T> LookupAs(HANDLE handle, VormObjectType type) {
  std::shared_ptr<VormKernelObject> object = Lookup(handle);
  if (!object || object->Type() != type) return nullptr;
  return std::static_pointer_cast<T>(std::move(object));
}

// Removes `handle` when it names an object of `type`; false when it does not.
bool Remove(HANDLE handle, VormObjectType type);

// Removes `handle` when its object accepts CloseHandle; false otherwise.
bool RemoveClosable(HANDLE handle);

// The pseudo-handles: GetCurrentProcess() and GetCurrentThread(). No table key is ever odd.
inline HANDLE CurrentProcessPseudoHandle() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }
inline HANDLE CurrentThreadPseudoHandle() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)); }

}  // namespace VormHandles_details
