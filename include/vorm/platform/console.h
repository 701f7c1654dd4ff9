// The console: whether a standard stream is a terminal, and console control handlers.
//
// Control events come from the host's signals: SIGINT is CTRL_C_EVENT, SIGHUP is
// CTRL_CLOSE_EVENT and SIGTERM is CTRL_SHUTDOWN_EVENT. As on the platform, a handler runs on
// a thread of the layer's own (never inside a signal handler), so it may take locks, post
// messages and set events; the handlers are called most recently added first until one
// returns TRUE. When none does, the default action ends the process, here by the signal
// itself, so the parent sees the same end as without any handler.
//
// Signals are taken over when the first handler is added (or Ctrl+C ignored) and stay
// taken over for the rest of the process; before that the host's own dispositions stand.
// Safe from any thread.
#pragma once

#include <vorm/platform/wintypes.h>

#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define CTRL_LOGOFF_EVENT 5
#define CTRL_SHUTDOWN_EVENT 6

using PHANDLER_ROUTINE = BOOL (*)(DWORD ctrlType);

// Adds (`add` TRUE) or removes one registration of `handler`. With a NULL handler, TRUE
// makes the process ignore CTRL_C_EVENT (handlers are not called for it) and FALSE restores
// normal handling. Removing a handler that is not registered fails with
// ERROR_INVALID_PARAMETER; taking the signals over can fail with the OS's reason.
VORM_API BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);

// The C runtime's test of a descriptor: nonzero when `fd` is a terminal (a character device),
// 0 otherwise, also for a descriptor that is not open.
VORM_API int _isatty(int fd);
