// Windows and their messages, as far as this layer has windows: so far the folder dialog
// (shell_browse.h) while it runs. A window belongs to the thread that made it and takes
// messages on that thread.
#pragma once

#include <vorm/platform/wintypes.h>

constexpr UINT WM_USER = 0x0400;

// Delivers a message to `window` by a direct call of its handler and returns the handler's
// answer. 0 with ERROR_INVALID_WINDOW_HANDLE for a window that does not exist (or no
// longer does), and 0 with ERROR_NOT_SUPPORTED when called from another thread than the
// window's: the layer's dialogs take messages only from their own thread.
VORM_API LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Whether `window` names an existing window.
VORM_API BOOL IsWindow(HWND window);
