// Thread message queues: posting, sending across threads, reading, and waiting for input.
#include <new>

#include <vorm/platform/time.h>
#include <vorm/platform/window.h>

#include "platform/kernel/last_error.h"
#include "platform/user/windowing.h"

using VormLastError_details::Fail;

namespace VormWindow_details {
namespace {

constexpr DWORD kPostedKinds = QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

// Answers a sent message with 0 unless its handling completed (a procedure that throws
// must not leave its sender waiting forever). Thread rule: the receiving thread's scope
// object. Ownership: shares the message with its sender.
class AnswerGuard {
 public:
  explicit AnswerGuard(std::shared_ptr<SentMessage> message) : message_(std::move(message)) {}
  ~AnswerGuard() {
    VormDispatcherLock lock;
    message_->Answer(lock, result_);
  }
  AnswerGuard(const AnswerGuard&) = delete;
  AnswerGuard& operator=(const AnswerGuard&) = delete;
  void Set(LRESULT result) { result_ = result; }
  const SentMessage& Message() const { return *message_; }

 private:
  std::shared_ptr<SentMessage> message_;
  LRESULT result_ = 0;
};

// For a filter naming a window: whether it is one of the caller's.
bool FilterWindowValid(HWND window, const VormThreadRecord& self) {
  if (!window || window == kThreadMessagesOnly) return true;
  std::shared_ptr<Window> w = WindowTable::Get().Hold(window);
  return w && w->owner == &self;
}

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return MSG{window, message, wParam, lParam, GetTickCount(), {0, 0}};
}

}  // namespace

void SentMessage::Answer(VormDispatcherLock& lock, LRESULT result) {
  if (answered_) return;
  answered_ = true;
  result_ = result;
  WakeWaiters(lock);
}

bool Filter::Matches(const MSG& msg) const {
  if (window == kThreadMessagesOnly ? msg.hwnd != nullptr : window && msg.hwnd != window) return false;
  return (first == 0 && last == 0) || (msg.message >= first && msg.message <= last);
}

bool Filter::TakesQuit() const {
  if (window && window != kThreadMessagesOnly) return false;
  return (first == 0 && last == 0) || (WM_QUIT >= first && WM_QUIT <= last);
}

MessageQueue& MessageQueue::OfCallingThread() {
  VormThreadRecord& self = VormThreadRecord::Current();
  // Only this thread attaches its queue, so it may look without the lock.
  if (!self.Queue()) {
    VormDispatcherLock lock;
    self.AttachQueue(std::make_shared<MessageQueue>(self));
  }
  return static_cast<MessageQueue&>(*self.Queue());
}

MessageQueue* MessageQueue::Of(VormThreadRecord& thread) { return static_cast<MessageQueue*>(thread.Queue().get()); }

DWORD MessageQueue::PresentInput() const {
  DWORD kinds = 0;
  if (!posted_.empty() || quit_) kinds |= kPostedKinds;
  if (!sent_.empty()) kinds |= QS_SENDMESSAGE;
  return kinds;
}

bool MessageQueue::IsSignalled(const VormWaitBlock& waiter) const {
  std::lock_guard<std::mutex> guard(mutex_);
  const DWORD kinds = waiter.queueInputAvailable ? PresentInput() : newInput_;
  return (kinds & waiter.queueMask) != 0;
}

void MessageQueue::WaiterAdded(const VormWaitBlock&) {
  std::lock_guard<std::mutex> guard(mutex_);
  ownerWaiting_ = true;
}

void MessageQueue::WaiterRemoved(const VormWaitBlock&) {
  std::lock_guard<std::mutex> guard(mutex_);
  ownerWaiting_ = false;
}

bool MessageQueue::Arrived(std::unique_lock<std::mutex>& guard, DWORD kinds) {
  newInput_ |= kinds;
  const bool wake = ownerWaiting_;
  guard.unlock();  // waking asks IsSignalled, which takes it
  return wake;
}

DWORD MessageQueue::Post(const MSG& msg) {
  std::unique_lock<std::mutex> guard(mutex_);
  if (closed_) return ERROR_INVALID_THREAD_ID;
  if (posted_.size() >= kMaxPosted) return ERROR_NOT_ENOUGH_QUOTA;
  posted_.push_back(msg);
  if (Arrived(guard, kPostedKinds)) {
    VormDispatcherLock lock;
    WakeWaiters(lock);
  }
  return ERROR_SUCCESS;
}

bool MessageQueue::Send(VormDispatcherLock& lock, std::shared_ptr<SentMessage> message) {
  std::unique_lock<std::mutex> guard(mutex_);
  if (closed_) return false;
  sent_.push_back(std::move(message));
  if (Arrived(guard, QS_SENDMESSAGE)) WakeWaiters(lock);
  return true;
}

void MessageQueue::Quit(int exitCode) {
  // The owner itself: it does not wait on its queue while it calls this.
  std::lock_guard<std::mutex> guard(mutex_);
  quit_ = true;
  quitCode_ = exitCode;
  newInput_ |= kPostedKinds;
}

std::shared_ptr<SentMessage> MessageQueue::PopSent() {
  std::lock_guard<std::mutex> guard(mutex_);
  if (sent_.empty()) return nullptr;
  std::shared_ptr<SentMessage> message = std::move(sent_.front());
  sent_.pop_front();
  return message;
}

MessageQueue::Next MessageQueue::Take(const Filter& filter, bool remove, MSG* out, std::shared_ptr<SentMessage>* sent) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (sent && !sent_.empty()) {
    *sent = std::move(sent_.front());
    sent_.pop_front();
    return Next::kSent;
  }
  newInput_ = sent_.empty() ? 0 : QS_SENDMESSAGE;  // the thread has looked
  for (auto it = posted_.begin(); it != posted_.end(); ++it) {
    if (!filter.Matches(*it)) continue;
    *out = *it;
    if (remove && it == posted_.begin())
      posted_.pop_front();  // the usual case, and cheaper
    else if (remove)
      posted_.erase(it);
    return Next::kPosted;
  }
  if (quit_ && filter.TakesQuit()) {
    *out = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(quitCode_), 0);
    if (remove) quit_ = false;
    return Next::kPosted;
  }
  return Next::kNothing;
}

void MessageQueue::ForgetWindow(VormDispatcherLock& lock, HWND window) {
  std::vector<std::shared_ptr<SentMessage>> senders;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    std::erase_if(posted_, [window](const MSG& m) { return m.hwnd == window; });
    std::erase_if(sent_, [&](std::shared_ptr<SentMessage>& m) {
      if (m->window != window) return false;
      senders.push_back(std::move(m));
      return true;
    });
  }
  for (const std::shared_ptr<SentMessage>& m : senders) m->Answer(lock, 0);
}

void MessageQueue::OwnerEnded(VormDispatcherLock& lock) {
  std::deque<std::shared_ptr<SentMessage>> senders;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    closed_ = true;
    posted_.clear();
    quit_ = false;
    senders.swap(sent_);
  }
  for (const std::shared_ptr<SentMessage>& m : senders) m->Answer(lock, 0);
  WindowTable::Get().RemoveWindowsOf(owner_);
}

namespace {

// Runs a message sent from another thread and answers it.
void Handle(std::shared_ptr<SentMessage> message) {
  std::shared_ptr<Window> window = WindowTable::Get().Hold(message->window);
  AnswerGuard answer(std::move(message));
  if (window && window->owner == &VormThreadRecord::Current()) {
    answer.Set(Call(*window, answer.Message().message, answer.Message().wParam, answer.Message().lParam));
  }
}

}  // namespace

void HandleSentMessages(MessageQueue& queue) {
  while (std::shared_ptr<SentMessage> message = queue.PopSent()) Handle(std::move(message));
}

}  // namespace VormWindow_details

using namespace VormWindow_details;

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window) return PostThreadMessageW(GetCurrentThreadId(), message, wParam, lParam);
  DWORD error = ERROR_INVALID_WINDOW_HANDLE;
  try {
    if (Window* w = RecentForCaller(window)) {
      error = w->queue->Post(MakeMessage(window, message, wParam, lParam));
      if (error == ERROR_INVALID_THREAD_ID) error = ERROR_INVALID_WINDOW_HANDLE;  // gone with its thread
    }
  } catch (const std::bad_alloc&) {
    error = ERROR_NOT_ENOUGH_MEMORY;
  }
  return error == ERROR_SUCCESS ? TRUE : Fail(error, FALSE);
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<MessageQueue> queue;
  {
    VormDispatcherLock lock;
    VormThreadRecord* thread = VormThreadRecord::Find(threadId, lock);
    if (MessageQueue* q = thread ? MessageQueue::Of(*thread) : nullptr) queue = q->shared_from_this();
  }
  DWORD error = ERROR_INVALID_THREAD_ID;
  try {
    if (queue) error = queue->Post(MakeMessage(nullptr, message, wParam, lParam));
  } catch (const std::bad_alloc&) {
    error = ERROR_NOT_ENOUGH_MEMORY;
  }
  return error == ERROR_SUCCESS ? TRUE : Fail(error, FALSE);
}

void PostQuitMessage(int exitCode) { MessageQueue::OfCallingThread().Quit(exitCode); }

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  VormWait_details::LeaveIfTerminated();
  VormThreadRecord& self = VormThreadRecord::Current();
  std::shared_ptr<Window> target = HoldForCaller(window);
  if (!target) return Fail(ERROR_INVALID_WINDOW_HANDLE, LRESULT{0});
  if (target->owner == &self) return Call(*target, message, wParam, lParam);

  MessageQueue& mine = MessageQueue::OfCallingThread();
  auto sent = std::make_shared<SentMessage>(window, message, wParam, lParam);
  {
    VormDispatcherLock lock;
    if (!target->queue->Send(lock, sent)) return 0;  // its thread has ended
  }
  // Wait for the answer, handling what is sent to this thread meanwhile.
  VormWaitable* objects[] = {sent.get(), &mine};
  VormWait_details::WaitOptions options;
  options.queueMask = QS_SENDMESSAGE;
  options.queueInputAvailable = true;
  while (VormWait_details::Wait(objects, 2, INFINITE, options) != WAIT_OBJECT_0) HandleSentMessages(mine);
  VormDispatcherLock lock;
  return sent->Result();
}

BOOL GetMessageW(LPMSG msg, HWND window, UINT first, UINT last) {
  VormWait_details::LeaveIfTerminated();
  if (!msg) return Fail(ERROR_INVALID_PARAMETER, BOOL{-1});
  MessageQueue& queue = MessageQueue::OfCallingThread();
  if (!FilterWindowValid(window, VormThreadRecord::Current())) return Fail(ERROR_INVALID_WINDOW_HANDLE, BOOL{-1});
  const Filter filter{window, first, last};
  for (;;) {
    std::shared_ptr<SentMessage> sent;
    const MessageQueue::Next next = queue.Take(filter, true, msg, &sent);
    if (next == MessageQueue::Next::kPosted) return msg->message == WM_QUIT ? FALSE : TRUE;
    if (next == MessageQueue::Next::kSent) {
      Handle(std::move(sent));
      continue;
    }
    // Anything arriving from here on is new, so this wait cannot miss it.
    VormWaitable* object = &queue;
    VormWait_details::WaitOptions options;
    options.queueMask = QS_ALLINPUT;
    VormWait_details::Wait(&object, 1, INFINITE, options);
  }
}

BOOL PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT removeFlags) {
  VormWait_details::LeaveIfTerminated();
  if (!msg) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  MessageQueue& queue = MessageQueue::OfCallingThread();
  if (!FilterWindowValid(window, VormThreadRecord::Current())) return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  HandleSentMessages(queue);
  const bool remove = (removeFlags & PM_REMOVE) != 0;
  return queue.Take(Filter{window, first, last}, remove, msg, nullptr) == MessageQueue::Next::kPosted ? TRUE : FALSE;
}

DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD wakeMask, DWORD flags) {
  constexpr DWORD kKnownFlags = MWMO_WAITALL | MWMO_ALERTABLE | MWMO_INPUTAVAILABLE;
  if (count >= MAXIMUM_WAIT_OBJECTS || (flags & ~kKnownFlags)) return Fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
  const bool waitAll = (flags & MWMO_WAITALL) != 0;
  VormWait_details::HeldObjects held;
  const DWORD error = VormWait_details::HoldHandles(handles, count, waitAll, held);
  if (error != ERROR_SUCCESS) return Fail(error, WAIT_FAILED);
  // The thread's own queue lives as long as the thread: no reference needs holding.
  held.objects[held.count++] = &MessageQueue::OfCallingThread();
  VormWait_details::WaitOptions options;
  options.waitAll = waitAll;
  options.alertable = (flags & MWMO_ALERTABLE) != 0;
  options.queueMask = wakeMask;
  options.queueInputAvailable = (flags & MWMO_INPUTAVAILABLE) != 0;
  return VormWait_details::Wait(held.objects, held.count, milliseconds, options);
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask) {
  return MsgWaitForMultipleObjectsEx(count, handles, milliseconds, wakeMask, waitAll ? MWMO_WAITALL : 0);
}
