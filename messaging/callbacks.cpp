// VormCallback, VormHEVENTCallback and the exception type of the guarded regions.
#include <vorm/callbacks.h>
#include <vorm/platform/sync.h>
#include <vorm/result_codes.h>

#include "callback_types.h"

// Out of line, so the type's identity lives in the library once and a VormEllipsis thrown
// by client code is caught by the library's handlers.
VormEllipsis::~VormEllipsis() = default;

VormCallback::VormCallback() = default;
VormCallback::~VormCallback() = default;

VormHEVENTCallback::VormHEVENTCallback(HANDLE event, bool pulse) : m_pulse(pulse), m_event(event) {}
VormHEVENTCallback::~VormHEVENTCallback() = default;

void VormHEVENTCallback::Fire() {
  if (m_pulse)
    PulseEvent(m_event);
  else
    SetEvent(m_event);
}
