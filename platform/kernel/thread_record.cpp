// Per-thread records: made on first use or by CreateThread, found by id, ended once.
#include "platform/kernel/thread_record.h"

#include <limits.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <unordered_map>

#include "platform/kernel/last_error.h"

namespace {

// Trivially destructible, so it stays readable while other thread-local objects go away.
thread_local VormThreadRecord* t_current = nullptr;

// The live threads by id; entries leave in End. Its own lock, taken inside the dispatcher
// lock or alone, so that a thread's first use of the layer may happen anywhere.
struct LiveThreadTable {
  std::mutex mutex;
  std::unordered_map<DWORD, VormThreadRecord*> byId;
};

LiveThreadTable& LiveThreads() {
  static auto* table = new LiveThreadTable;
  return *table;
}

}  // namespace

// Holds a thread created suspended until its suspend count reaches 0. Thread rule: the
// dispatcher lock. Ownership: the thread's record, while the thread has not started.
class VormThreadRecord::StartGate final : public VormWaitable {
 public:
  explicit StartGate(const VormThreadRecord& thread) : VormWaitable(VormObjectType::Internal), thread_(thread) {}
  bool IsSignalled(const VormWaitBlock&) const override { return thread_.suspendCount_ == 0; }
  void Open(VormDispatcherLock& lock) { WakeWaiters(lock); }

 private:
  const VormThreadRecord& thread_;
};

// Lives on the creating thread's stack until the new thread has bound its record.
struct VormThreadRecord::StartBlock {
  std::shared_ptr<VormThreadRecord> record;
  LPTHREAD_START_ROUTINE start;
  LPVOID parameter;
  std::mutex mutex;
  std::condition_variable bound;
  bool isBound = false;
};

VormThreadRecord::VormThreadRecord() : VormWaitable(VormObjectType::Thread) {}

VormThreadRecord& VormThreadRecord::Current() {
  if (t_current) return *t_current;
  auto record = std::make_shared<VormThreadRecord>();
  record->BindToCallingThread();
  return *record;  // the thread-exit holder keeps it
}

void VormThreadRecord::BindToCallingThread() {
  // The key's destructor runs after the thread's C++ thread-local destructors, so a record
  // used by those still ends cleanly.
  static const pthread_key_t key = [] {
    pthread_key_t k;
    pthread_key_create(&k, &VormThreadRecord::ReleaseOnThreadExit);
    return k;
  }();
  id_ = static_cast<DWORD>(::syscall(SYS_gettid));
  t_current = this;
  pthread_setspecific(key, new std::shared_ptr<VormThreadRecord>(shared_from_this()));
  std::lock_guard<std::mutex> guard(LiveThreads().mutex);
  LiveThreads().byId[id_] = this;
}

void VormThreadRecord::ReleaseOnThreadExit(void* holder) {
  auto* record = static_cast<std::shared_ptr<VormThreadRecord>*>(holder);
  (*record)->Finish(0);             // a thread the layer did not start ends with 0
  (*record)->recentWindow.reset();  // its handles may keep the record; nothing else need stay
  t_current = nullptr;
  delete record;
}

VormThreadRecord* VormThreadRecord::Find(DWORD id, VormDispatcherLock&) {
  LiveThreadTable& table = LiveThreads();
  std::lock_guard<std::mutex> guard(table.mutex);
  auto it = table.byId.find(id);
  return it == table.byId.end() ? nullptr : it->second;
}

std::shared_ptr<VormThreadRecord> VormThreadRecord::FromHandle(HANDLE handle) {
  if (handle == VormHandles_details::CurrentThreadPseudoHandle()) return Current().shared_from_this();
  return VormHandles_details::LookupAs<VormThreadRecord>(handle, VormObjectType::Thread);
}

std::shared_ptr<VormThreadRecord> VormThreadRecord::MakeUnstarted(bool suspended) {
  auto record = std::make_shared<VormThreadRecord>();
  if (suspended) {
    record->suspendCount_ = 1;
    record->gate_ = std::make_shared<StartGate>(*record);
  }
  return record;
}

bool VormThreadRecord::Launch(LPTHREAD_START_ROUTINE start, LPVOID parameter, SIZE_T stackSize) {
  StartBlock block{shared_from_this(), start, parameter, {}, {}, false};
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return VormLastError_details::Fail(ERROR_NOT_ENOUGH_MEMORY, false);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (stackSize != 0) {
    const SIZE_T page = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
    const SIZE_T least = static_cast<SIZE_T>(PTHREAD_STACK_MIN);
    SIZE_T bytes = stackSize < least ? least : stackSize;
    if (bytes <= SIZE_MAX - page) bytes = (bytes + page - 1) / page * page;
    pthread_attr_setstacksize(&attributes, bytes);
  }
  pthread_t thread;
  const int rc = pthread_create(&thread, &attributes, &VormThreadRecord::ThreadMain, &block);
  pthread_attr_destroy(&attributes);
  if (rc != 0) return VormLastError_details::Fail(ERROR_NOT_ENOUGH_MEMORY, false);
  std::unique_lock<std::mutex> wait(block.mutex);
  block.bound.wait(wait, [&] { return block.isBound; });
  return true;
}

void* VormThreadRecord::ThreadMain(void* startBlock) {
  auto* block = static_cast<StartBlock*>(startBlock);
  const std::shared_ptr<VormThreadRecord> self = block->record;
  const LPTHREAD_START_ROUTINE start = block->start;
  const LPVOID parameter = block->parameter;
  self->BindToCallingThread();
  {
    // Notified under the mutex: the creator cannot return, and free the block, before it
    // has reacquired the mutex.
    std::lock_guard<std::mutex> guard(block->mutex);
    block->isBound = true;
    block->bound.notify_one();
  }

  std::shared_ptr<StartGate> gate;
  {
    VormDispatcherLock lock;
    gate = self->gate_;
  }
  if (gate) {
    VormWaitable* object = gate.get();
    VormWait_details::Wait(&object, 1, INFINITE, {});
    VormDispatcherLock lock;
    self->gate_.reset();
  }
  VormWait_details::RunApcs();  // APCs queued before the thread started run before its routine
  self->Finish(start(parameter));
  return nullptr;
}

void VormThreadRecord::Finish(DWORD exitCode) {
  VormDispatcherLock lock;
  End(lock, exitCode, false);
}

bool VormThreadRecord::QueueApc(VormDispatcherLock& lock, const Apc& apc) {
  if (Ended()) return false;
  apcs_.push_back(apc);
  apcsQueued_.store(true, std::memory_order_release);
  if (wait.waiting && wait.alertable) lock.Complete(*this, WAIT_IO_COMPLETION);
  return true;
}

DWORD VormThreadRecord::Resume(VormDispatcherLock& lock) {
  const DWORD before = suspendCount_;
  if (suspendCount_ > 0 && --suspendCount_ == 0 && gate_) gate_->Open(lock);
  return before;
}

void VormThreadRecord::End(VormDispatcherLock& lock, DWORD exitCode, bool terminated) {
  if (Ended()) return;
  exitCode_ = exitCode;
  ended_.store(true, std::memory_order_release);
  apcs_.clear();
  apcsQueued_.store(false, std::memory_order_relaxed);
  {
    LiveThreadTable& table = LiveThreads();
    std::lock_guard<std::mutex> guard(table.mutex);
    auto it = table.byId.find(id_);
    if (it != table.byId.end() && it->second == this) table.byId.erase(it);
  }
  if (terminated) {
    terminated_.store(true, std::memory_order_release);
    // First, so that a thread waiting on its own handle leaves instead of returning.
    if (wait.waiting) lock.Complete(*this, VormWaitBlock::kTerminated);
  }
  WakeWaiters(lock);
  if (queue_) queue_->OwnerEnded(lock);
}
