// The handle table of a server thread: maps each waitable HANDLE to the handler that wants
// it, marks each handle enabled or not, and waits on every enabled handle at once,
// reporting which one fired and its handler.
//
// Thread rule: no lock inside; its owner uses it from one thread only (the server thread).
// Ownership: handlers are named, never owned: the selector neither calls nor destroys them.
//
// Order: records sit in 17 buckets by (handle value >> 4) % 17, a new record at the front of
// its bucket; the wait array lists the enabled handles bucket by bucket, front to back, so
// of several handles signalled at once the first in that order is reported.
// Capacity: at most MAXIMUM_WAIT_OBJECTS (64) enabled handles, the platform's limit for one
// wait; Add and SetEnabled refuse a 65th (VormFailed), so a wait never has to fail for it.
#pragma once

#include <vector>

#include <vorm/export.h>
#include <vorm/platform/sync.h>
#include <vorm/result_codes.h>

class VormServerEventHandler;

// Thread rule: one thread. Ownership: names handlers, owns none.
class VORM_API VormSynchronizedSelector {
 public:
  struct HandleRecord {
    bool enabled;
    VormServerEventHandler* handler;
  };

  VormSynchronizedSelector();
  virtual ~VormSynchronizedSelector();

  // VormOk with the record stored enabled; VormFailed when the handle is already present
  // (that record stays) or 64 handles are already enabled; VormOutOfMemory.
  DWORD Add(HANDLE handle, VormServerEventHandler* handler);
  // VormOk and the removed record's handler (when `handler` is not null); VormFailed when
  // absent, `*handler` untouched.
  DWORD Remove(HANDLE handle, VormServerEventHandler** handler);
  // VormOk and the handler; VormFailed when absent (or `handler` is null), out untouched.
  DWORD Lookup(HANDLE handle, VormServerEventHandler** handler) const;
  // VormOk after storing the flag; VormFailed when absent, or when enabling would make 65.
  DWORD SetEnabled(HANDLE handle, bool enabled);
  // Records, enabled or not.
  DWORD Count() const;
  // Writes the enabled handles, in wait order, to `handles` (room for 64); their number.
  DWORD GetHandles(HANDLE* handles) const;
  // One WaitForMultipleObjectsEx on the enabled handles. With waitAll the platform's result
  // comes back as is and the outs are not written. Otherwise a signalled handle gives 0
  // (WAIT_OBJECT_0), an abandoned one 0x80 (WAIT_ABANDONED_0), each with the handle written
  // to `*handle` and its handler to `*handler` (either may be null); any other result
  // (WAIT_IO_COMPLETION, WAIT_TIMEOUT, WAIT_FAILED) comes back as is, outs untouched. With
  // no enabled handle the wait fails at once: WAIT_FAILED, ERROR_INVALID_PARAMETER.
  //   handles h1, h2, h3 enabled in that order, h3 signalled => 0, *handle == h3
  DWORD Wait(BOOL waitAll, DWORD milliseconds, BOOL alertable, HANDLE* handle, VormServerEventHandler** handler);

 private:
  static constexpr unsigned kBuckets = 17;
  struct Entry {
    HANDLE handle;
    HandleRecord record;
  };

  const Entry* Find(HANDLE handle) const;
  Entry* Find(HANDLE handle);

  std::vector<Entry> m_buckets[kBuckets];
  DWORD m_enabled = 0;
};
