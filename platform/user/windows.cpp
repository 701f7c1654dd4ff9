// The window table: window classes, hidden windows, their procedures and their end.
#include <new>

#include <vorm/platform/text.h>
#include <vorm/platform/window.h>

#include "platform/kernel/last_error.h"
#include "platform/user/windowing.h"

using VormLastError_details::Fail;

namespace VormWindow_details {
namespace {

constexpr ATOM kFirstAtom = 0xC000;

bool IsAtom(LPCWSTR nameOrAtom) { return reinterpret_cast<ULONG_PTR>(nameOrAtom) <= 0xFFFF; }

HINSTANCE ModuleOrExecutable(HINSTANCE instance) { return instance ? instance : GetModuleHandleW(nullptr); }

}  // namespace

WindowTable& WindowTable::Get() {
  // Never destroyed: windows may still be destroyed from static destructors at exit.
  static auto* table = new WindowTable;
  return *table;
}

Window* WindowTable::Find(HWND window) const {
  auto it = windows_.find(reinterpret_cast<ULONG_PTR>(window));
  return it == windows_.end() ? nullptr : it->second.get();
}

std::shared_ptr<Window> WindowTable::Hold(HWND window) const {
  VormDispatcherLock lock;
  auto it = windows_.find(reinterpret_cast<ULONG_PTR>(window));
  return it == windows_.end() ? nullptr : it->second;
}

HWND WindowTable::Add(std::shared_ptr<Window> window) {
  const ULONG_PTR key = next_ + 0x10;
  window->handle = reinterpret_cast<HWND>(key);
  windows_.emplace(key, window);  // first: it is what may throw
  next_ = key;
  if (window->windowClass) ++window->windowClass->windows;
  return window->handle;
}

void WindowTable::Remove(VormDispatcherLock& lock, HWND window) {
  auto it = windows_.find(reinterpret_cast<ULONG_PTR>(window));
  if (it == windows_.end()) return;
  std::shared_ptr<Window> gone = std::move(it->second);
  windows_.erase(it);
  gone->removed.store(true, std::memory_order_release);
  if (gone->windowClass) --gone->windowClass->windows;
  gone->queue->ForgetWindow(lock, window);
}

void WindowTable::RemoveWindowsOf(const VormThreadRecord& owner) {
  std::erase_if(windows_, [&](const auto& entry) {
    if (entry.second->owner != &owner) return false;
    entry.second->removed.store(true, std::memory_order_release);
    if (entry.second->windowClass) --entry.second->windowClass->windows;
    return true;
  });
}

std::shared_ptr<WindowClass> WindowTable::FindClass(LPCWSTR nameOrAtom, HINSTANCE instance) const {
  if (!nameOrAtom) return nullptr;
  instance = ModuleOrExecutable(instance);
  for (const std::shared_ptr<WindowClass>& c : classes_) {
    if (c->instance != instance) continue;
    if (IsAtom(nameOrAtom) ? c->atom == reinterpret_cast<ULONG_PTR>(nameOrAtom)
                           : VormCompareNoCase(c->name, nameOrAtom) == 0) {
      return c;
    }
  }
  return nullptr;
}

ATOM WindowTable::AddClass(std::shared_ptr<WindowClass> windowClass) {
  // The lowest free atom, so that registering and unregistering forever never runs out.
  for (ULONG_PTR atom = kFirstAtom; atom <= 0xFFFF; ++atom) {
    bool used = false;
    for (const std::shared_ptr<WindowClass>& c : classes_) used = used || c->atom == atom;
    if (used) continue;
    windowClass->atom = static_cast<ATOM>(atom);
    classes_.push_back(std::move(windowClass));
    return static_cast<ATOM>(atom);
  }
  return 0;
}

void WindowTable::RemoveClass(const WindowClass& windowClass) {
  std::erase_if(classes_, [&](const std::shared_ptr<WindowClass>& c) { return c.get() == &windowClass; });
}

Window* RecentForCaller(HWND window) {
  // A window holds its owner's queue, never a thread's record, so this cache in the record
  // makes no cycle of references.
  std::shared_ptr<void>& slot = VormThreadRecord::Current().recentWindow;
  auto* recent = static_cast<Window*>(slot.get());
  if (recent && recent->handle == window && !recent->removed.load(std::memory_order_acquire)) return recent;
  std::shared_ptr<Window> found = WindowTable::Get().Hold(window);
  if (!found) return nullptr;
  slot = std::move(found);
  return static_cast<Window*>(slot.get());
}

std::shared_ptr<Window> HoldForCaller(HWND window) {
  Window* w = RecentForCaller(window);
  return w ? std::static_pointer_cast<Window>(VormThreadRecord::Current().recentWindow) : nullptr;
}

LRESULT Call(const Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window.handler) return window.handler(message, wParam, lParam);
  return window.procedure(window.handle, message, wParam, lParam);
}

namespace {

// Adds a window owned by the calling thread (which gets a queue for it). Throws
// std::bad_alloc when the table cannot grow.
HWND AddWindow(std::shared_ptr<Window> window) {
  window->queue = MessageQueue::OfCallingThread().shared_from_this();
  window->owner = &VormThreadRecord::Current();
  VormDispatcherLock lock;
  return WindowTable::Get().Add(std::move(window));
}

}  // namespace

HWND Create(Handler handler) {
  try {
    auto window = std::make_shared<Window>();
    window->handler = std::move(handler);
    return AddWindow(std::move(window));
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY, HWND{});
  }
}

void Destroy(HWND window) { DestroyWindow(window); }

}  // namespace VormWindow_details

using namespace VormWindow_details;

ATOM RegisterClassW(const WNDCLASSW* windowClass) {
  if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName || IsAtom(windowClass->lpszClassName)) {
    return Fail(ERROR_INVALID_PARAMETER, ATOM{0});
  }
  try {
    auto c = std::make_shared<WindowClass>();
    c->name = windowClass->lpszClassName;
    c->instance = ModuleOrExecutable(windowClass->hInstance);
    c->procedure = windowClass->lpfnWndProc;
    DWORD error;
    {
      VormDispatcherLock lock;
      WindowTable& table = WindowTable::Get();
      if (table.FindClass(c->name.c_str(), c->instance)) {
        error = ERROR_CLASS_ALREADY_EXISTS;
      } else {
        const ATOM atom = table.AddClass(c);
        if (atom) return atom;
        error = ERROR_NOT_ENOUGH_MEMORY;
      }
    }
    return Fail(error, ATOM{0});
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY, ATOM{0});
  }
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance) {
  DWORD error = ERROR_SUCCESS;
  {
    VormDispatcherLock lock;
    WindowTable& table = WindowTable::Get();
    std::shared_ptr<WindowClass> c = table.FindClass(className, instance);
    if (!c)
      error = ERROR_CLASS_DOES_NOT_EXIST;
    else if (c->windows > 0)
      error = ERROR_CLASS_HAS_WINDOWS;
    else
      table.RemoveClass(*c);
  }
  return error == ERROR_SUCCESS ? TRUE : Fail(error, FALSE);
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  VormWait_details::LeaveIfTerminated();
  std::shared_ptr<Window> window;
  try {
    window = std::make_shared<Window>();
    {
      VormDispatcherLock lock;
      window->windowClass = WindowTable::Get().FindClass(className, instance);
    }
    if (!window->windowClass) return Fail(ERROR_CANNOT_FIND_WND_CLASS, HWND{});
    window->procedure = window->windowClass->procedure;
    AddWindow(window);
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY, HWND{});
  }
  CREATESTRUCTW create{param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
                       windowName, className, exStyle};
  const LPARAM createParam = reinterpret_cast<LPARAM>(&create);
  if (!Call(*window, WM_NCCREATE, 0, createParam) || Call(*window, WM_CREATE, 0, createParam) == -1) {
    DestroyWindow(window->handle);
    return nullptr;
  }
  return window->handle;
}

BOOL DestroyWindow(HWND window) {
  VormWait_details::LeaveIfTerminated();
  std::shared_ptr<Window> w = WindowTable::Get().Hold(window);
  if (!w) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  if (w->owner != &VormThreadRecord::Current()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  {
    VormDispatcherLock lock;
    if (w->destroying) return TRUE;  // DestroyWindow again from its own WM_DESTROY
    w->destroying = true;
  }
  Call(*w, WM_DESTROY, 0, 0);
  Call(*w, WM_NCDESTROY, 0, 0);
  VormDispatcherLock lock;
  WindowTable::Get().Remove(lock, window);
  return TRUE;
}

BOOL IsWindow(HWND window) {
  VormDispatcherLock lock;
  return WindowTable::Get().Find(window) ? TRUE : FALSE;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(window); return 0;
    default: return 0;
  }
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg) return Fail(ERROR_INVALID_PARAMETER, LRESULT{0});
  if (!msg->hwnd) return 0;
  Window* w = RecentForCaller(msg->hwnd);
  if (!w) return Fail(ERROR_INVALID_WINDOW_HANDLE, LRESULT{0});
  // A procedure is a plain function: copied out, it needs no hold on the window, which the
  // call may destroy. The layer's own handlers live in the window and need one.
  if (const WNDPROC procedure = w->procedure) return procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  const std::shared_ptr<Window> held = HoldForCaller(msg->hwnd);
  return held ? Call(*held, msg->message, msg->wParam, msg->lParam) : 0;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }
