// The smallest notification interface: a producer calls Fire to tell a consumer that
// something is ready. VormHEVENTCallback turns that into an event the consumer can wait on.
#pragma once

#include <vorm/export.h>
#include <vorm/platform/wintypes.h>

// Implemented by consumers. Thread rule: Fire may be called from any thread; the
// implementation decides what that means for it. Ownership: the implementer's; producers
// that hold one never destroy it.
class VORM_API VormCallback {
 public:
  VormCallback();
  virtual ~VormCallback();
  virtual void Fire() = 0;
};

// Fire sets the event (it stays set until a waiter takes it, so a Fire before anyone waits
// is not lost) or, in pulse mode, pulses it (only threads already waiting are released; a
// Fire with no waiter leaves no trace). The platform's success flag is not reported.
// Thread rule: any thread; no state changes after construction. Ownership: the event
// belongs to the caller, who closes it; the callback neither creates nor closes it.
//   HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
//   VormHEVENTCallback cb(e, false);
//   cb.Fire(); cb.Fire();   => e signalled once: one wait succeeds, the next blocks
class VORM_API VormHEVENTCallback : public VormCallback {
 public:
  VormHEVENTCallback(HANDLE event, bool pulse);
  ~VormHEVENTCallback() override;
  void Fire() override;

 private:
  bool m_pulse;
  HANDLE m_event;
};
