// The progress hook state and entries.
#include <vorm/platform/time.h>
#include <vorm/progress.h>

VormProgressCallback ProgressCallback = nullptr;
bool ProgressEnabled = false;
int ProgressPos1 = 0;
int ProgressPos2 = 0;
DWORD ProgressPosTick1 = GetTickCount();
DWORD ProgressCheckTick1 = GetTickCount();
DWORD ProgressPosTick2 = GetTickCount();
DWORD ProgressCheckTick2 = GetTickCount();

namespace {

// Reporting is on only with a hook to report to: the flag alone could be set by a client
// writing ProgressEnabled directly, and a null hook must never be called.
bool Enabled() { return ProgressEnabled && ProgressCallback != nullptr; }

// Calls the hook when there is one; 0 otherwise.
int Call(int code, int a, int b) {
  VormProgressCallback hook = ProgressCallback;
  return hook ? hook(code, a, b) : 0;
}

}  // namespace

void VormSetProgressCallback(VormProgressCallback hook) {
  ProgressCallback = hook;
  ProgressEnabled = hook != nullptr;
}

void VormEnableProgress(bool on) {
  if (ProgressCallback) ProgressEnabled = on;
}

bool VormIsProgressEnabled() { return ProgressEnabled; }

void VormProgressStart(int x, int y) {
  if (!Enabled()) return;
  ProgressPos1 = 0;
  Call(3, y, x);
  ProgressPosTick1 = GetTickCount();
  ProgressCheckTick1 = GetTickCount();
}

void VormProgressSetPos(int pos) {
  if (!Enabled()) return;
  ProgressPos1 = pos;
  Call(1, pos, 0);
  ProgressPosTick1 = GetTickCount();
}

BOOL VormProgressCheck() {
  int r = Call(2, 0, 0);
  ProgressCheckTick1 = GetTickCount();
  return r != 0;
}

void VormProgressStart2(int x, int y) {
  if (!Enabled()) return;
  ProgressPos2 = 0;
  Call(7, y, x);
  ProgressPosTick2 = GetTickCount();
  ProgressCheckTick2 = GetTickCount();
}

void VormProgressSetPos2(int pos) {
  if (!Enabled()) return;
  ProgressPos2 = pos;
  Call(8, pos, 0);
  ProgressPosTick2 = GetTickCount();
}

BOOL VormProgressCheck2() {
  int r = Call(2, 0, 0);
  ProgressCheckTick2 = GetTickCount();
  return r != 0;
}

BOOL VormProgressRefresh2() {
  VormProgressSetPos2(ProgressPos2);
  int r = Call(2, 0, 0);
  Call(8, ProgressPos2, 0);
  ProgressPosTick2 = GetTickCount();
  ProgressCheckTick2 = GetTickCount();
  return r != 0;
}

void VormProgressSend4() {
  if (Enabled()) Call(4, 0, 0);
}

void VormProgressSend5(int v) {
  if (Enabled()) Call(5, ProgressPos1, v);
}

void VormProgressSend6(int v) {
  if (Enabled()) Call(6, 0, v);
}

void VormProgressSend9(int v) {
  if (Enabled()) Call(9, 0, v);
}

void VormProgressSend10(int v) {
  if (Enabled()) Call(10, 0, v);
}

VormProgressDisabler::VormProgressDisabler() : m_wasEnabled(VormIsProgressEnabled()) { VormEnableProgress(false); }

VormProgressDisabler::~VormProgressDisabler() { VormEnableProgress(m_wasEnabled); }
