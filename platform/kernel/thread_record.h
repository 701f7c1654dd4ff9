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
// Thread rule: the dispatcher lock guards it. Ownership: shared by the thread's record.
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

  DWORD lastError = ERROR_SUCCESS;
  VormWaitBlock wait;

  // ---- with the dispatcher lock held ----
  bool IsSignalled(const VormWaitBlock&) const override { return ended_; }
  bool Ended() const { return ended_; }
  // Also readable without the lock.
  bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
  DWORD ExitCode() const { return ended_ ? exitCode_ : STILL_ACTIVE; }
  // False when the thread has ended. Wakes the thread when it sleeps in an alertable wait.
  bool QueueApc(VormDispatcherLock& lock, const Apc& apc);
  bool HasApcs() const { return !apcs_.empty(); }
  Apc PopApc() {
    Apc apc = apcs_.front();
    apcs_.pop_front();
    return apc;
  }
  // The suspend count before the call, lowered by one when not 0; the thread starts at 0.
  DWORD Resume(VormDispatcherLock& lock);
  // The message queue, null until the window layer attaches one.
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
  bool ended_ = false;
  std::atomic<bool> terminated_{false};
  DWORD exitCode_ = 0;
  DWORD suspendCount_ = 0;
  std::shared_ptr<StartGate> gate_;  // while created suspended and not yet started
  std::deque<Apc> apcs_;
  std::shared_ptr<VormThreadQueue> queue_;
};
