// Events: manual- and auto-reset, set, reset and pulse, on the waitable core.
#include <atomic>
#include <new>

#include <vorm/platform/sync.h>

#include "platform/kernel/last_error.h"
#include "platform/kernel/waitable.h"

using VormLastError_details::Fail;

namespace {

// Thread rule: any thread; state under the dispatcher lock. Ownership: shared by its handles.
class Event final : public VormWaitable {
 public:
  Event(bool manualReset, bool signalled)
      : VormWaitable(VormObjectType::Event), manualReset_(manualReset), signalled_(signalled) {}

  bool IsSignalled(const VormWaitBlock&) const override { return signalled_.load(std::memory_order_acquire); }
  void Satisfy(VormWaitBlock&) override {
    if (!manualReset_) signalled_.store(false, std::memory_order_relaxed);
  }

  void Set() {
    // Setting a signalled event changes nothing (its waiters would already have taken it),
    // so a producer that sets an event nobody has consumed yet takes no lock. The exchange of
    // true for true still publishes what the setter wrote before, to whoever takes the signal.
    bool set = true;
    if (signalled_.compare_exchange_strong(set, true, std::memory_order_acq_rel, std::memory_order_acquire)) return;
    VormDispatcherLock lock;
    signalled_.store(true, std::memory_order_release);
    WakeWaiters(lock);
  }
  void Reset() {
    VormDispatcherLock lock;
    signalled_.store(false, std::memory_order_relaxed);
  }
  // The waiters of this moment take the signal (one of them for auto-reset); then it is gone.
  void Pulse() {
    VormDispatcherLock lock;
    signalled_.store(true, std::memory_order_relaxed);
    WakeWaiters(lock);
    signalled_.store(false, std::memory_order_relaxed);
  }

 private:
  const bool manualReset_;
  std::atomic<bool> signalled_;  // written under the dispatcher lock; Set reads it without
};

template <class Action>
BOOL WithEvent(HANDLE handle, Action action) {
  std::shared_ptr<Event> event = VormHandles_details::LookupAs<Event>(handle, VormObjectType::Event);
  if (!event) return Fail(ERROR_INVALID_HANDLE, FALSE);
  action(*event);
  return TRUE;
}

}  // namespace

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  if (name) return Fail(ERROR_NOT_SUPPORTED, HANDLE{});
  std::shared_ptr<Event> event;
  try {
    event = std::make_shared<Event>(manualReset != FALSE, initialState != FALSE);
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY, HANDLE{});
  }
  return VormHandles_details::Register(std::move(event));
}

BOOL SetEvent(HANDLE event) {
  return WithEvent(event, [](Event& e) { e.Set(); });
}

BOOL ResetEvent(HANDLE event) {
  return WithEvent(event, [](Event& e) { e.Reset(); });
}

BOOL PulseEvent(HANDLE event) {
  return WithEvent(event, [](Event& e) { e.Pulse(); });
}
