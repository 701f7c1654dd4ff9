// The progress hook and its disabler. One process-wide function, installed by whoever owns
// the progress display, receives progress reports on two independent meters and answers
// whether to go on. The state is plain process-wide data without a lock: report from the
// thread that owns the operation; the hook runs on the reporting thread.
//
// Codes the library sends to the hook as (code, a, b):
//   1 (pos, 0)      meter-1 position            8 (pos, 0)      meter-2 position
//   2 (0, 0)        "go on?" (result used)      7 (y, x)        meter-2 start
//   3 (y, x)        meter-1 start               5 (pos1, v)     VormProgressSend5
//   4, 6, 9, 10     VormProgressSend4/6/9/10
// The start entries pass their two arguments swapped: VormProgressStart(10, 20) sends
// (3, 20, 10). Only the result of code 2 is used. Everything else about the codes belongs
// to the hook's owner.
//
// "If enabled" below: the entry does nothing at all unless ProgressEnabled is true and a
// hook is installed. The check entries call the hook whether or not reporting is enabled;
// with no hook installed they return false.
#pragma once

#include <vorm/export.h>
#include <vorm/platform/wintypes.h>

using VormProgressCallback = int (*)(int code, int a, int b);

// Process-wide state, read directly by client modules.
VORM_API extern VormProgressCallback ProgressCallback;  // the hook; null initially
VORM_API extern bool ProgressEnabled;                   // reporting on; false initially
VORM_API extern int ProgressPos1;                       // last meter-1 position
VORM_API extern int ProgressPos2;                       // last meter-2 position
// GetTickCount() stamps, taken at library load and by the entries below. The library only
// stores them; clients read them, for example to throttle their reports.
VORM_API extern DWORD ProgressPosTick1;    // last meter-1 start or position
VORM_API extern DWORD ProgressCheckTick1;  // last meter-1 start or check
VORM_API extern DWORD ProgressPosTick2;    // last meter-2 start or position
VORM_API extern DWORD ProgressCheckTick2;  // last meter-2 start or check

// Installs `hook` and turns reporting on. Installing null removes the hook and leaves
// reporting off.
VORM_API void VormSetProgressCallback(VormProgressCallback hook);
// Sets ProgressEnabled to `on` when a hook is installed; otherwise does nothing.
VORM_API void VormEnableProgress(bool on);
VORM_API bool VormIsProgressEnabled();

// Meter 1. Start: if enabled, ProgressPos1 = 0, hook(3, y, x), both meter-1 ticks stamped.
VORM_API void VormProgressStart(int x, int y);
// If enabled: ProgressPos1 = pos, hook(1, pos, 0), ProgressPosTick1 stamped.
VORM_API void VormProgressSetPos(int pos);
// Always: hook(2, 0, 0) != 0; ProgressCheckTick1 stamped.
VORM_API BOOL VormProgressCheck();

// Meter 2, the same with codes 7 (start) and 8 (position).
VORM_API void VormProgressStart2(int x, int y);
VORM_API void VormProgressSetPos2(int pos);
VORM_API BOOL VormProgressCheck2();  // always: hook(2, 0, 0) != 0; ProgressCheckTick2 stamped
// VormProgressSetPos2(ProgressPos2); then, enabled or not: r = hook(2, 0, 0) and
// hook(8, ProgressPos2, 0); both meter-2 ticks stamped; returns r != 0.
VORM_API BOOL VormProgressRefresh2();

// If enabled: hook(4, 0, 0), hook(5, ProgressPos1, v), hook(6, 0, v), hook(9, 0, v),
// hook(10, 0, v).
VORM_API void VormProgressSend4();
VORM_API void VormProgressSend5(int v);
VORM_API void VormProgressSend6(int v);
VORM_API void VormProgressSend9(int v);
VORM_API void VormProgressSend10(int v);

// Silences progress reporting for its scope and restores the flag as it found it, so
// nested disablers unwind correctly. Thread rule: the reporting thread; ownership: none.
class VORM_API VormProgressDisabler {
 public:
  VormProgressDisabler();
  virtual ~VormProgressDisabler();
  VormProgressDisabler(const VormProgressDisabler&) = delete;
  VormProgressDisabler& operator=(const VormProgressDisabler&) = delete;

 private:
  bool m_wasEnabled;
};
