// The window layer's state: one window table (classes and windows) and the per-thread
// message queues. The table is guarded by the dispatcher lock (platform/kernel/waitable.h);
// each queue's contents by a lock of its own, so that posting threads and the reading owner
// meet on that lock alone, and the dispatcher lock is taken only to wake an owner that waits.
// Lock order: the dispatcher lock, then a queue's lock. Window procedures and other
// callbacks always run outside both.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <vorm/platform/window.h>

#include "platform/kernel/thread_record.h"

namespace VormWindow_details {

// A procedure for windows the layer makes for itself (the folder dialog's).
using Handler = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

class MessageQueue;

// Thread rule: fields under the dispatcher lock. Ownership: shared by the table's windows.
struct WindowClass {
  ATOM atom = 0;
  std::wstring name;
  HINSTANCE instance = nullptr;
  WNDPROC procedure = nullptr;
  unsigned windows = 0;
};

// Thread rule: fields fixed at creation except `destroying` (dispatcher lock) and `removed`
// (set under the lock, read anywhere). Ownership: shared by the table and calls in progress;
// it does not own its thread's record, which outlives the window's place in the table (a
// thread's windows leave the table when it ends).
struct Window {
  // Its own cache line: the reference counts just before it change with every dispatch,
  // while posting threads read these fields.
  alignas(64) HWND handle = nullptr;
  std::shared_ptr<WindowClass> windowClass;  // null for the layer's own windows
  WNDPROC procedure = nullptr;
  Handler handler;
  VormThreadRecord* owner = nullptr;    // dereference only while the window is in the table
  std::shared_ptr<MessageQueue> queue;  // the owner's
  bool destroying = false;
  std::atomic<bool> removed{false};  // out of the table
};

// A message sent from another thread, signalled once answered.
// Thread rule: answer and result under the dispatcher lock. Ownership: shared by sender and queue.
class SentMessage final : public VormWaitable {
 public:
  SentMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
      : VormWaitable(VormObjectType::Internal), window(window), message(message), wParam(wParam), lParam(lParam) {}
  bool IsSignalled(const VormWaitBlock&) const override { return answered_; }
  void Answer(VormDispatcherLock& lock, LRESULT result);
  LRESULT Result() const { return result_; }

  const HWND window;
  const UINT message;
  const WPARAM wParam;
  const LPARAM lParam;

 private:
  bool answered_ = false;
  LRESULT result_ = 0;
};

// Which posted messages a GetMessageW or PeekMessageW takes. A value.
struct Filter {
  HWND window;
  UINT first;
  UINT last;
  bool Matches(const MSG& msg) const;
  bool TakesQuit() const;
};

// One thread's message queue: signalled for a waiter when input of a kind in the waiter's
// mask is new (or, asked for, present). Thread rule: its contents have a lock of their own,
// so that the owner reads them and other threads add to them without the dispatcher lock
// (which posting threads take only for their lookups, and to wake the owner when it waits);
// the owner-only fields need none. Ownership: shared by the thread's record.
class MessageQueue final : public VormThreadQueue, public std::enable_shared_from_this<MessageQueue> {
 public:
  static constexpr size_t kMaxPosted = 10000;

  explicit MessageQueue(VormThreadRecord& owner) : owner_(owner) {}

  // The calling thread's queue, made on first use.
  static MessageQueue& OfCallingThread();
  // A thread's queue, or null when it has none.
  static MessageQueue* Of(VormThreadRecord& thread);

  // Any thread, without the dispatcher lock (taken inside when the owner must be woken):
  // ERROR_SUCCESS, ERROR_NOT_ENOUGH_QUOTA when full, ERROR_INVALID_THREAD_ID once closed.
  DWORD Post(const MSG& msg);

  // ---- with the dispatcher lock held ----
  bool IsSignalled(const VormWaitBlock& waiter) const override;
  void WaiterAdded(const VormWaitBlock& waiter) override;
  void WaiterRemoved(const VormWaitBlock& waiter) override;
  // False once the owner has ended.
  bool Send(VormDispatcherLock& lock, std::shared_ptr<SentMessage> message);
  // `window` is gone: its posted messages go, its senders get 0.
  void ForgetWindow(VormDispatcherLock& lock, HWND window);
  void OwnerEnded(VormDispatcherLock& lock) override;

  // ---- the owner thread, without the dispatcher lock ----
  void Quit(int exitCode);
  // The next message sent from another thread, else null.
  std::shared_ptr<SentMessage> PopSent();
  // What a message loop takes next: a sent message first (into *sent), else the oldest
  // posted message the filter takes, else a pending quit the filter takes (into *out; left
  // in place unless `remove`). Unless a sent message is taken, the queue's input counts as
  // seen (a sent message still waiting stays new).
  enum class Next { kSent, kPosted, kNothing };
  Next Take(const Filter& filter, bool remove, MSG* out, std::shared_ptr<SentMessage>* sent);

 private:
  DWORD PresentInput() const;
  // After input arrived under `mutex_`: whether the owner waits on the queue and must be woken.
  bool Arrived(std::unique_lock<std::mutex>& guard, DWORD kinds);

  VormThreadRecord& owner_;
  mutable std::mutex mutex_;  // guards the fields down to ownerWaiting_
  std::deque<MSG> posted_;
  std::deque<std::shared_ptr<SentMessage>> sent_;
  bool quit_ = false;
  int quitCode_ = 0;
  DWORD newInput_ = 0;  // QS_ kinds arrived since the owner last looked
  bool closed_ = false;
  bool ownerWaiting_ = false;
};

// Classes and windows. Thread rule: every member under the dispatcher lock.
class WindowTable {
 public:
  static WindowTable& Get();

  // With the lock held: the window, valid while the lock is held, or null.
  Window* Find(HWND window) const;
  // Takes the lock: the window, kept alive by the caller, or null.
  std::shared_ptr<Window> Hold(HWND window) const;
  HWND Add(std::shared_ptr<Window> window);
  // Takes the window out; its queue forgets it.
  void Remove(VormDispatcherLock& lock, HWND window);
  // Every window of a thread that has ended.
  void RemoveWindowsOf(const VormThreadRecord& owner);

  // A class by name or MAKEINTATOM(atom) for a module (null: the executable's), or null.
  std::shared_ptr<WindowClass> FindClass(LPCWSTR nameOrAtom, HINSTANCE instance) const;
  // Its atom, or 0 when no atom is free.
  ATOM AddClass(std::shared_ptr<WindowClass> windowClass);
  void RemoveClass(const WindowClass& windowClass);

 private:
  std::unordered_map<ULONG_PTR, std::shared_ptr<Window>> windows_;
  std::vector<std::shared_ptr<WindowClass>> classes_;
  ULONG_PTR next_ = 0x10000;  // window handles: never null, never reused in a run
};

// Calls the window's procedure (or handler) outside the lock.
LRESULT Call(const Window& window, UINT message, WPARAM wParam, LPARAM lParam);

// The window, or null. A thread that posts, sends or dispatches to the same window again
// and again finds it without the lock. RecentForCaller's pointer stays valid until the
// calling thread's next call of either (it is kept by the thread's cache, and taking no
// reference keeps the window's reference count off the posting threads' path);
// HoldForCaller's reference is the caller's.
Window* RecentForCaller(HWND window);
std::shared_ptr<Window> HoldForCaller(HWND window);

// Handles every message other threads have sent to the calling thread.
void HandleSentMessages(MessageQueue& queue);

// A window of the layer's own, owned by the calling thread; null when the table cannot grow.
HWND Create(Handler handler);
// DestroyWindow for such a window.
void Destroy(HWND window);

}  // namespace VormWindow_details
