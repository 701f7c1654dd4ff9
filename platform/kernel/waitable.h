// The waitable-object core. Every object a thread can wait on (events, threads, change
// notifications, a thread's message queue, a cross-thread SendMessageW's reply) derives
// from VormWaitable and supplies two steps; the core does the rest, written once:
//   IsSignalled(waiter)  would a wait by `waiter` be satisfied by this object now?
//   Satisfy(waiter)      take what such a wait consumes (an auto-reset event resets).
// Each object keeps a FIFO list of the threads waiting on it. Waiter lists, wait blocks,
// APC queues and every decision about a wait are guarded by one process-wide dispatcher
// lock (VormDispatcherLock). An object's own state is normally guarded by it too; the
// exceptions take care to stay exact: a message queue's contents have a lock of their own
// (see WaiterAdded), and a few reads that need no decision (is this event already set, has
// this thread ended) are atomic so that the hot paths can skip the lock.
//
// The signalling thread completes the waits: under the lock it decides which waits the
// change satisfies, consumes what they take, writes each one's result and takes the waiter
// off every list; the waiters wake after the lock is released. So a wait for all objects
// is atomic, auto-reset objects go to waiters in arrival order, and a pulse wakes exactly
// the threads waiting at that moment.
//
// An object signalled from another thread (for example a change notification fed by a
// monitor thread) needs only this:
//
//   class Notification final : public VormWaitable {
//    public:
//     Notification() : VormWaitable(VormObjectType::ChangeNotification) {}
//     bool IsSignalled(const VormWaitBlock&) const override { return pending_; }
//     // Satisfy is not overridden: the object stays signalled until it is reset.
//     void Signal() {                      // any thread, e.g. the monitor thread
//       VormDispatcherLock lock;
//       pending_ = true;
//       WakeWaiters(lock);                 // completes the waits this satisfies
//     }
//     void Reset() {
//       VormDispatcherLock lock;
//       pending_ = false;
//     }
//    private:
//     bool pending_ = false;               // guarded by the dispatcher lock
//   };
//
// and registration in the handle table (VormHandles_details::Register) for a HANDLE that
// WaitForSingleObject and friends accept. Rules for an object:
// - IsSignalled and Satisfy run with the lock held: no blocking, no callbacks, no other lock
//   taken there; and no destructor of an object may take the dispatcher lock (objects are
//   sometimes released while it is held);
// - after any change that may signal the object, call WakeWaiters with the lock still held;
//   a change that only unsignals it needs nothing more (an object that changes under a lock
//   of its own instead: see WaiterAdded);
// - never call a platform function that waits, signals or posts while holding the lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include <vorm/platform/sync.h>

#include "platform/kernel/handles.h"

class VormThreadRecord;
class VormWaitable;
struct VormWaitBlock;

// One thread's place in one object's waiter list; lives in the thread's wait block.
struct VormWaitEntry {
  VormThreadRecord* thread = nullptr;
  VormWaitable* object = nullptr;  // null while the entry is on no list
  VormWaitEntry* prev = nullptr;
  VormWaitEntry* next = nullptr;
};

// What one thread's current wait asks for. Part of the thread's record; written by that
// thread, and read by signalling threads, under the dispatcher lock.
struct VormWaitBlock {
  // The handles of one wait plus the thread's message queue.
  static constexpr DWORD kMaxObjects = MAXIMUM_WAIT_OBJECTS + 1;
  // The result slot's value while no one has completed the wait.
  static constexpr DWORD kPending = 0xFFFFFFFE;
  // The result of a wait ended by TerminateThread.
  static constexpr DWORD kTerminated = 0xFFFFFFFD;

  VormWaitable* objects[kMaxObjects] = {};
  VormWaitEntry entries[kMaxObjects];
  DWORD count = 0;
  bool waitAll = false;
  bool alertable = false;
  bool waiting = false;  // between going to sleep and being completed or timing out
  // For the thread's message queue among the objects: the QS_ input kinds that end the
  // wait, and whether input the thread has already looked at counts too.
  DWORD queueMask = 0;
  bool queueInputAvailable = false;

  // Written by the completing thread under the lock; read by the waiter after waking.
  std::atomic<DWORD> result{kPending};
  // The waiter sleeps here; completers notify once the dispatcher lock is released.
  std::mutex sleepMutex;
  std::condition_variable wake;
};

// Holds the one dispatcher lock for its scope. Waits completed while it is held are
// woken when it is released, outside the lock. Thread rule: a scope object of one thread;
// never nested (the lock is not recursive).
class VormDispatcherLock {
 public:
  VormDispatcherLock();
  ~VormDispatcherLock();
  VormDispatcherLock(const VormDispatcherLock&) = delete;
  VormDispatcherLock& operator=(const VormDispatcherLock&) = delete;

  // Ends the wait `thread` is sleeping in with `result`: takes it off every waiter list
  // and wakes it when the lock is released. Only for a thread whose wait block is waiting.
  void Complete(VormThreadRecord& thread, DWORD result);

 private:
  std::unique_lock<std::mutex> lock_;
  // Threads to wake; kept alive until they are notified.
  std::shared_ptr<VormThreadRecord> firstWake_;
  std::vector<std::shared_ptr<VormThreadRecord>> moreWakes_;
};

// Base of every waitable object. Thread rule: the virtual steps and the waiter list are used
// under the dispatcher lock only. Ownership: shared, like every kernel object.
class VormWaitable : public VormKernelObject {
 public:
  explicit VormWaitable(VormObjectType type) : VormKernelObject(type) {}
  VormWaitable* Waitable() override { return this; }

  virtual bool IsSignalled(const VormWaitBlock& waiter) const = 0;
  virtual void Satisfy(VormWaitBlock& waiter) { (void)waiter; }

  // For an object whose state also changes without the dispatcher lock, under a lock of its
  // own (a message queue, so that posting and reading need not take the dispatcher lock):
  // told, under the dispatcher lock, when a thread starts and stops waiting on it. After
  // WaiterAdded the core checks the objects once more before the thread sleeps, so a change
  // is never missed if the changer, under the object's own lock, makes the change and then
  // reads whether a waiter was added (and calls WakeWaiters under the dispatcher lock if so).
  virtual void WaiterAdded(const VormWaitBlock& waiter) { (void)waiter; }
  virtual void WaiterRemoved(const VormWaitBlock& waiter) { (void)waiter; }

 protected:
  // Completes, in arrival order, every wait on this object that the current state
  // satisfies. Call with the lock held after a change that may signal the object.
  void WakeWaiters(VormDispatcherLock& lock);

 private:
  friend class VormWaitCore;
  VormWaitEntry* first_ = nullptr;
  VormWaitEntry* last_ = nullptr;
};

namespace VormWait_details {

struct WaitOptions {
  bool waitAll = false;
  bool alertable = false;
  DWORD queueMask = 0;  // see VormWaitBlock
  bool queueInputAvailable = false;
};

// The calling thread waits on `objects` (at most VormWaitBlock::kMaxObjects; none for a
// plain sleep) in the order described in sync.h. Returns WAIT_OBJECT_0 + index (wait for
// all: WAIT_OBJECT_0), WAIT_IO_COMPLETION after running the queued APCs, or WAIT_TIMEOUT.
// The caller has checked the arguments (count, no object twice in a wait for all) and keeps
// the objects alive. A thread terminated meanwhile leaves here and never returns.
DWORD Wait(VormWaitable* const* objects, DWORD count, DWORD milliseconds, const WaitOptions& options);

// Runs the calling thread's queued APCs, including those queued while they run.
void RunApcs();

// Leaves the calling thread at once when TerminateThread has marked it ended: the entry
// check of every wait, sleep and message function.
void LeaveIfTerminated();

// The object a handle names as a waitable (the GetCurrentThread pseudo-handle names the
// calling thread), or null.
std::shared_ptr<VormWaitable> LookupWaitable(HANDLE handle);

// The objects of one wait, kept alive while it lasts.
struct HeldObjects {
  std::shared_ptr<VormWaitable> held[VormWaitBlock::kMaxObjects];
  VormWaitable* objects[VormWaitBlock::kMaxObjects] = {};
  DWORD count = 0;

  void Add(std::shared_ptr<VormWaitable> object) {
    objects[count] = object.get();
    held[count++] = std::move(object);
  }
};

// Looks up `count` handles (the caller has checked count <= MAXIMUM_WAIT_OBJECTS) into
// `out`. ERROR_SUCCESS, or the error a wait fails with: ERROR_NOACCESS for a null array,
// ERROR_INVALID_HANDLE for a handle that names no waitable object, ERROR_INVALID_PARAMETER
// for an object named twice in a wait for all.
DWORD HoldHandles(const HANDLE* handles, DWORD count, bool waitAll, HeldObjects& out);

}  // namespace VormWait_details
