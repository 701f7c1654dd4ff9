// The layer's window table: handles for the windows of its dialogs and the handlers that
// SendMessageW calls. Safe from any thread (one lock); a handler runs on its window's
// thread only.
#pragma once

#include <functional>

#include <vorm/platform/window.h>

namespace VormWindow_details {

using Handler = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

// A new window owned by the calling thread; null when the table cannot grow.
HWND Create(Handler handler);
// The window is gone: later messages to it fail.
void Destroy(HWND window);

}  // namespace VormWindow_details
