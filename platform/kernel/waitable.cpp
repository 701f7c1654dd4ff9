// The dispatcher: the one lock, the waiter lists, completing waits and sleeping in them.
#include "platform/kernel/waitable.h"

#include <pthread.h>

#include <chrono>

#include "platform/kernel/thread_record.h"

namespace {

std::mutex& DispatcherMutex() {
  // Never destroyed: threads may still wait or signal while static destructors run.
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

void Notify(VormThreadRecord& thread) {
  // Taking the sleep mutex orders this notify after the waiter's predicate check, so the
  // waiter either sees the result or is already asleep and gets the notify.
  { std::lock_guard<std::mutex> guard(thread.wait.sleepMutex); }
  thread.wait.wake.notify_one();
}

}  // namespace

// The list and satisfaction steps shared by waiting and signalling threads. Thread rule: all
// of them run with the dispatcher lock held. Ownership: none (static steps).
class VormWaitCore {
 public:
  static void Link(VormWaitEntry& entry, VormWaitable& object) {
    entry.object = &object;
    entry.next = nullptr;
    entry.prev = object.last_;
    if (object.last_)
      object.last_->next = &entry;
    else
      object.first_ = &entry;
    object.last_ = &entry;
  }

  static void Unlink(VormWaitEntry& entry) {
    VormWaitable& object = *entry.object;
    if (entry.prev)
      entry.prev->next = entry.next;
    else
      object.first_ = entry.next;
    if (entry.next)
      entry.next->prev = entry.prev;
    else
      object.last_ = entry.prev;
    entry.object = nullptr;
    entry.prev = entry.next = nullptr;
  }

  // WAIT_OBJECT_0 (+ index) after consuming what the wait takes, or kPending.
  static DWORD TrySatisfy(VormWaitBlock& block) {
    if (block.count == 0) return VormWaitBlock::kPending;
    if (block.waitAll) {
      for (DWORD i = 0; i < block.count; ++i) {
        if (!block.objects[i]->IsSignalled(block)) return VormWaitBlock::kPending;
      }
      for (DWORD i = 0; i < block.count; ++i) block.objects[i]->Satisfy(block);
      return WAIT_OBJECT_0;
    }
    for (DWORD i = 0; i < block.count; ++i) {
      if (block.objects[i]->IsSignalled(block)) {
        block.objects[i]->Satisfy(block);
        return WAIT_OBJECT_0 + i;
      }
    }
    return VormWaitBlock::kPending;
  }

  // One entry per distinct object: a wait for any object may name one twice, and its
  // lowest index is the one reported.
  static void Enqueue(VormThreadRecord& thread) {
    VormWaitBlock& block = thread.wait;
    for (DWORD i = 0; i < block.count; ++i) {
      bool seen = false;
      for (DWORD j = 0; j < i && !seen; ++j) seen = block.objects[j] == block.objects[i];
      if (seen) continue;
      block.entries[i].thread = &thread;
      Link(block.entries[i], *block.objects[i]);
      block.objects[i]->WaiterAdded(block);
    }
  }

  static void Dequeue(VormWaitBlock& block) {
    for (DWORD i = 0; i < block.count; ++i) {
      if (!block.entries[i].object) continue;
      Unlink(block.entries[i]);
      block.objects[i]->WaiterRemoved(block);
    }
  }

  static void WakeWaiters(VormWaitable& object, VormDispatcherLock& lock) {
    for (VormWaitEntry* entry = object.first_; entry;) {
      // Completing a wait unlinks only that thread's entries (one per object), so the next
      // entry stays valid.
      VormWaitEntry* next = entry->next;
      const DWORD result = TrySatisfy(entry->thread->wait);
      if (result != VormWaitBlock::kPending) lock.Complete(*entry->thread, result);
      entry = next;
    }
  }
};

VormDispatcherLock::VormDispatcherLock() : lock_(DispatcherMutex()) {}

VormDispatcherLock::~VormDispatcherLock() {
  lock_.unlock();
  if (firstWake_) Notify(*firstWake_);
  for (const std::shared_ptr<VormThreadRecord>& thread : moreWakes_) Notify(*thread);
}

void VormDispatcherLock::Complete(VormThreadRecord& thread, DWORD result) {
  VormWaitCore::Dequeue(thread.wait);
  thread.wait.waiting = false;
  thread.wait.result.store(result, std::memory_order_release);
  if (!firstWake_)
    firstWake_ = thread.shared_from_this();
  else
    moreWakes_.push_back(thread.shared_from_this());
}

void VormWaitable::WakeWaiters(VormDispatcherLock& lock) { VormWaitCore::WakeWaiters(*this, lock); }

namespace VormWait_details {

DWORD Wait(VormWaitable* const* objects, DWORD count, DWORD milliseconds, const WaitOptions& options) {
  VormThreadRecord& self = VormThreadRecord::Current();
  VormWaitBlock& block = self.wait;
  using Clock = std::chrono::steady_clock;
  const bool timed = milliseconds != 0 && milliseconds != INFINITE;
  const Clock::time_point deadline =
      timed ? Clock::now() + std::chrono::milliseconds(milliseconds) : Clock::time_point();

  DWORD result = VormWaitBlock::kPending;
  if (count == 0 && milliseconds == 0 && !self.Terminated() && !self.MayHaveApcs() && self.runningApcs.empty()) {
    return WAIT_TIMEOUT;  // SleepEx(0, ...) with nothing to run: no lock needed
  }
  {
    VormDispatcherLock lock;
    block.count = count;
    for (DWORD i = 0; i < count; ++i) block.objects[i] = objects[i];
    block.waitAll = options.waitAll;
    block.alertable = options.alertable;
    block.queueMask = options.queueMask;
    block.queueInputAvailable = options.queueInputAvailable;
    if (self.Terminated()) {
      result = VormWaitBlock::kTerminated;
    } else {
      result = VormWaitCore::TrySatisfy(block);
      if (result == VormWaitBlock::kPending) {
        if (options.alertable && (self.HasApcs() || !self.runningApcs.empty())) {
          self.TakeApcs();
          result = WAIT_IO_COMPLETION;
        } else if (milliseconds == 0) {
          result = WAIT_TIMEOUT;
        } else {
          block.result.store(VormWaitBlock::kPending, std::memory_order_relaxed);
          block.waiting = true;
          VormWaitCore::Enqueue(self);
          // Objects that change under a lock of their own may have changed since the check.
          result = VormWaitCore::TrySatisfy(block);
          if (result != VormWaitBlock::kPending) {
            VormWaitCore::Dequeue(block);
            block.waiting = false;
          }
        }
      }
    }
  }

  if (result == VormWaitBlock::kPending) {
    {
      std::unique_lock<std::mutex> sleep(block.sleepMutex);
      auto completed = [&] { return block.result.load(std::memory_order_acquire) != VormWaitBlock::kPending; };
      if (milliseconds == INFINITE)
        block.wake.wait(sleep, completed);
      else
        block.wake.wait_until(sleep, deadline, completed);
    }
    result = block.result.load(std::memory_order_acquire);
    if (result == VormWaitBlock::kPending) {
      // Timed out - unless a signaller completed the wait in the meantime, whose result
      // then stands (what it consumed is ours).
      VormDispatcherLock lock;
      result = block.result.load(std::memory_order_relaxed);
      if (result == VormWaitBlock::kPending) {
        VormWaitCore::Dequeue(block);
        block.waiting = false;
        result = WAIT_TIMEOUT;
      }
    }
  }

  if (result == VormWaitBlock::kTerminated) pthread_exit(nullptr);
  if (result == WAIT_IO_COMPLETION) RunApcs();
  return result;
}

void RunApcs() {
  VormThreadRecord& self = VormThreadRecord::Current();
  for (;;) {
    if (self.MayHaveApcs()) {
      VormDispatcherLock lock;
      self.TakeApcs();  // behind any still running from an outer call
    }
    if (self.runningApcs.empty()) return;
    while (!self.runningApcs.empty()) {
      LeaveIfTerminated();  // a terminated thread's APCs are dropped, also those taken already
      const VormThreadRecord::Apc apc = self.runningApcs.front();
      self.runningApcs.pop_front();
      apc.routine(apc.data);
    }
  }
}

void LeaveIfTerminated() {
  if (VormThreadRecord::Current().Terminated()) pthread_exit(nullptr);
}

std::shared_ptr<VormWaitable> LookupWaitable(HANDLE handle) {
  if (handle == VormHandles_details::CurrentThreadPseudoHandle()) {
    return VormThreadRecord::Current().shared_from_this();
  }
  std::shared_ptr<VormKernelObject> object = VormHandles_details::Lookup(handle);
  VormWaitable* waitable = object ? object->Waitable() : nullptr;
  if (!waitable) return nullptr;
  return std::shared_ptr<VormWaitable>(std::move(object), waitable);
}

}  // namespace VormWait_details
