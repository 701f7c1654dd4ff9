// The window table and SendMessageW.
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>

#include <vorm/platform/kernel.h>

#include "platform/shell/dialog_window.h"

namespace VormWindow_details {
namespace {

struct Window {
  Handler handler;
  std::thread::id owner;
};

std::mutex g_mutex;
std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> g_windows;
std::uintptr_t g_next = 0x10000;  // handle values: never null, never reused in a run

std::shared_ptr<Window> Find(HWND window) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windows.find(reinterpret_cast<std::uintptr_t>(window));
  return it == g_windows.end() ? nullptr : it->second;
}

}  // namespace

HWND Create(Handler handler) {
  try {
    auto w = std::make_shared<Window>(Window{std::move(handler), std::this_thread::get_id()});
    std::lock_guard<std::mutex> lock(g_mutex);
    g_next += 0x10;
    g_windows.emplace(g_next, std::move(w));
    return reinterpret_cast<HWND>(g_next);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

void Destroy(HWND window) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_windows.erase(reinterpret_cast<std::uintptr_t>(window));
}

}  // namespace VormWindow_details

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<VormWindow_details::Window> w = VormWindow_details::Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (w->owner != std::this_thread::get_id()) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  return w->handler(message, wParam, lParam);
}

BOOL IsWindow(HWND window) { return VormWindow_details::Find(window) ? TRUE : FALSE; }
