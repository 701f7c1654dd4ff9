// Events: manual- and auto-reset, set, reset and pulse, on the waitable core.
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

  bool IsSignalled(const VormWaitBlock&) const override { return signalled_; }
  void Satisfy(VormWaitBlock&) override {
    if (!manualReset_) signalled_ = false;
  }

  void Set() {
    VormDispatcherLock lock;
    signalled_ = true;
    WakeWaiters(lock);
  }
  void Reset() {
    VormDispatcherLock lock;
    signalled_ = false;
  }
  // The waiters of this moment take the signal (one of them for auto-reset); then it is gone.
  void Pulse() {
    VormDispatcherLock lock;
    signalled_ = true;
    WakeWaiters(lock);
    signalled_ = false;
  }

 private:
  const bool manualReset_;
  bool signalled_;
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
