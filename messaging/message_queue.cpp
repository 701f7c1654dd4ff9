// Message queues: posts travel to the owner thread by APC.
#include <mutex>
#include <new>

#include <vorm/message_queue.h>

namespace VormMessageQueue_details {

// Shared by a queue and the posts on their way to it, so that a post arriving after the
// queue is destroyed finds it gone. Thread rule: `queue` under `mutex` (recursive: the
// callback a delivery fires may destroy the queue). Ownership: shared.
struct Link {
  std::recursive_mutex mutex;
  VormMessageQueue* queue;
};

// One post on its way.
struct PostRecord {
  std::shared_ptr<Link> link;
  VormMessage* message;
};

}  // namespace VormMessageQueue_details

using VormMessageQueue_details::Link;
using VormMessageQueue_details::PostRecord;

VormMessage::VormMessage() = default;
VormMessage::~VormMessage() = default;

VormMessageQueue::VormMessageQueue(VormCallback* callback, HANDLE thread)
    : m_thread(thread), m_ownsThread(false), m_callback(callback) {
  m_link = std::make_shared<Link>();
  m_link->queue = this;
  if (!m_thread) {
    HANDLE own = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &own, THREAD_SET_CONTEXT, FALSE,
                        0)) {
      m_thread = own;
      m_ownsThread = true;
    }
  }
}

VormMessageQueue::~VormMessageQueue() {
  {
    std::lock_guard<std::recursive_mutex> guard(m_link->mutex);
    m_link->queue = nullptr;
  }
  if (m_ownsThread) CloseHandle(m_thread);
}

DWORD VormMessageQueue::Post(VormMessage* message) {
  if (!message) return VormInvalidArgument;
  auto* record = new (std::nothrow) PostRecord{m_link, message};
  if (!record) return VormOutOfMemory;
  if (QueueUserAPC(&VormMessageQueue::PostProc, m_thread, reinterpret_cast<ULONG_PTR>(record))) return VormOk;
  delete record;
  return VormFailed;
}

void VormMessageQueue::PostProc(ULONG_PTR record) {
  std::unique_ptr<PostRecord> post(reinterpret_cast<PostRecord*>(record));
  std::lock_guard<std::recursive_mutex> guard(post->link->mutex);
  VormMessageQueue* queue = post->link->queue;
  if (!queue) return;  // destroyed while the post was on its way
  try {
    queue->m_messages.push_back(post->message);
  } catch (const std::bad_alloc&) {
    return;  // the message cannot be kept; it stays the poster's loss, as a failed post would
  }
  if (VormCallback* callback = queue->m_callback) callback->Fire();  // may destroy the queue
}

void VormMessageQueue::CloseProc(ULONG_PTR record) {
  auto* close = reinterpret_cast<CloseRecord*>(record);
  VormMessageQueue* queue = close->queue;
  delete close;
  if (!queue) return;
  queue->m_closed.store(true);
  if (queue->m_callback) queue->m_callback->Fire();
}

DWORD VormMessageQueue::Close() {
  m_closed.store(true);
  return VormFailed;
}

DWORD VormMessageQueue::Peek(VormMessage** out) {
  if (!out) return VormInvalidArgument;
  SleepEx(0, TRUE);
  *out = nullptr;
  if (m_messages.empty()) return m_closed.load() ? VormQueueClosed : VormQueueEmpty;
  *out = m_messages.front();
  return VormOk;
}

DWORD VormMessageQueue::Get(VormMessage** out) {
  const DWORD result = Peek(out);
  if (result == VormOk) m_messages.pop_front();
  return result;
}
