// The per-thread record: one for every thread that uses the layer, made on first use (or by
// CreateThread before the new thread runs). It holds the thread's last error, its wait
// block, its APC queue and its message queue, and it is the thread's kernel object: thread
// handles name it, and it is signalled when the thread ends.
#pragma once

#include <atomic>
#include <deque>
#include <memory>

#include "platform/kernel/waitable.h"

// What the window layer keeps per thread (its message queue), told when the thread ends.
// Thread rule: OwnerEnded runs under the dispatcher lock; the implementation guards the
// rest. Ownership: shared by the thread's record.
class VormThreadQueue : public VormWaitable {
 public:
  VormThreadQueue() : VormWaitable(VormObjectType::Internal) {}
  // The owning thread has ended or was terminated: refuse further input and release what
  // waits on this thread. Called once, with the dispatcher lock held.
  virtual void OwnerEnded(VormDispatcherLock& lock) = 0;
};

// Thread rule: `lastError` and the wait block's inputs belong to the thread itself; every
// other member is guarded by the dispatcher lock. Ownership: shared by the running thread,
// its handles and any call in progress that names it.
class VormThreadRecord final : public VormWaitable, public std::enable_shared_from_this<VormThreadRecord> {
 public:
  struct Apc {
    PAPCFUNC routine;
    ULONG_PTR data;
  };

  VormThreadRecord();

  // The calling thread's record, made on first use; it lives at least while the thread runs.
  static VormThreadRecord& Current();
  // The live thread with this id, or null. With the lock held.
  static VormThreadRecord* Find(DWORD id, VormDispatcherLock& lock);
  // The thread a handle (or the GetCurrentThread pseudo-handle) names, or null.
  static std::shared_ptr<VormThreadRecord> FromHandle(HANDLE handle);

  // The record of a thread still to be launched; a suspended one waits for Resume.
  static std::shared_ptr<VormThreadRecord> MakeUnstarted(bool suspended);
  // Runs `start(parameter)` on a new thread bound to this unstarted record and returns once
  // the thread's id is known; false with the last error set when no thread can be made.
  bool Launch(LPTHREAD_START_ROUTINE start, LPVOID parameter, SIZE_T stackSize);

  DWORD Id() const { return id_; }

  // ---- the thread itself only ----
  // On cache lines of their own: other threads take references to the record all the time
  // (the reference counts sit just before it), while the thread writes these.
  alignas(64) DWORD lastError = ERROR_SUCCESS;
  VormWaitBlock wait;
  VormHandles_details::LookupCache handleCache;
  // APCs taken from the queue and not yet run; an APC that runs APCs continues here first,
  // so they keep their queue order.
  std::deque<Apc> runningApcs;
  // For the window layer: the window this thread posted, sent or dispatched to last, so that
  // doing it again needs no table lookup. Opaque here.
  std::shared_ptr<void> recentWindow;

  // ---- with the dispatcher lock held ----
  bool IsSignalled(const VormWaitBlock&) const override { return Ended(); }
  // Also readable without the lock, like ExitCode.
  bool Ended() const { return ended_.load(std::memory_order_acquire); }
  // Also readable without the lock.
  bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
  DWORD ExitCode() const { return Ended() ? exitCode_ : STILL_ACTIVE; }
  // False when the thread has ended. Wakes the thread when it sleeps in an alertable wait.
  bool QueueApc(VormDispatcherLock& lock, const Apc& apc);
  bool HasApcs() const { return !apcs_.empty(); }
  // Moves the queued APCs to the end of `runningApcs`.
  void TakeApcs() {
    runningApcs.insert(runningApcs.end(), apcs_.begin(), apcs_.end());
    apcs_.clear();
    apcsQueued_.store(false, std::memory_order_relaxed);
  }
  // Without the lock, on the thread itself: whether APCs may be queued (a false answer is
  // exact; a true one is checked under the lock). Lets a look for APCs skip the lock.
  bool MayHaveApcs() const { return apcsQueued_.load(std::memory_order_acquire); }
  // The suspend count before the call, lowered by one when not 0; the thread starts at 0.
  DWORD Resume(VormDispatcherLock& lock);
  // The message queue, null until the window layer attaches one. Only the thread itself
  // attaches it, so the thread itself may read it without the lock.
  const std::shared_ptr<VormThreadQueue>& Queue() const { return queue_; }
  void AttachQueue(std::shared_ptr<VormThreadQueue> queue) { queue_ = std::move(queue); }
  // Ends the thread as an object: exit code set, handle signalled, APCs dropped, id
  // forgotten, the queue told. `terminated` (TerminateThread) also wakes the thread from a
  // wait so that it leaves. Nothing happens when the thread has already ended.
  void End(VormDispatcherLock& lock, DWORD exitCode, bool terminated);

 private:
  class StartGate;
  struct StartBlock;
  static void* ThreadMain(void* startBlock);
  static void ReleaseOnThreadExit(void* holder);
  void BindToCallingThread();
  void Finish(DWORD exitCode);

  DWORD id_ = 0;
  std::atomic<bool> ended_{false};  // written under the lock, after exitCode_
  std::atomic<bool> terminated_{false};
  DWORD exitCode_ = 0;
  DWORD suspendCount_ = 0;
  std::shared_ptr<StartGate> gate_;  // while created suspended and not yet started
  std::deque<Apc> apcs_;
  std::atomic<bool> apcsQueued_{false};  // !apcs_.empty(), readable without the lock
  std::shared_ptr<VormThreadQueue> queue_;
};
