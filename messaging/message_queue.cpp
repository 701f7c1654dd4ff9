// Message queues: posts travel to the owner thread by APC.
#include <deque>
#include <iterator>
#include <mutex>
#include <new>

#include <vorm/message_queue.h>

namespace VormMessageQueue_details {

// Shared by a queue and the posts on their way to it. Post appends its message to `pending`
// and, unless one is already on its way, queues a PostProc naming this link; PostProc moves
// every pending message into the queue, in posting order, firing the callback after each.
// So a burst of posts costs the owner one APC, and a PostProc that runs after the queue was
// destroyed finds `queue` null and frees the link.
// Thread rule: every field under `mutex` (recursive: the callback a delivery fires may
// destroy the queue). Ownership: the queue, and the PostProc on its way.
struct Link {
  std::recursive_mutex mutex;
  VormMessageQueue* queue = nullptr;
  std::deque<VormMessage*> pending;
  bool procQueued = false;  // a PostProc is queued or running
};

}  // namespace VormMessageQueue_details

using VormMessageQueue_details::Link;

VormMessage::VormMessage() = default;
VormMessage::~VormMessage() = default;

VormMessageQueue::VormMessageQueue(VormCallback* callback, HANDLE thread)
    : m_thread(thread), m_ownsThread(false), m_callback(callback), m_link(new Link) {
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
  // A PostProc on its way runs on the owner thread later, unless the thread has ended: then
  // it never runs and the link is ours to free.
  const bool ownerEnded = WaitForSingleObject(m_thread, 0) == WAIT_OBJECT_0;
  bool free;
  {
    std::lock_guard<std::recursive_mutex> guard(m_link->mutex);
    m_link->queue = nullptr;
    free = !m_link->procQueued || ownerEnded;
  }
  if (free) delete m_link;
  if (m_ownsThread) CloseHandle(m_thread);
}

DWORD VormMessageQueue::Post(VormMessage* message) {
  if (!message) return VormInvalidArgument;
  std::lock_guard<std::recursive_mutex> guard(m_link->mutex);
  try {
    m_link->pending.push_back(message);
  } catch (const std::bad_alloc&) {
    return VormOutOfMemory;
  }
  // One PostProc on its way serves every post until it runs; a thread that has ended since
  // it was queued will never run it, so a post also fails when the owner is gone.
  bool queued = m_link->procQueued;
  if (queued) {
    DWORD code = 0;
    queued = GetExitCodeThread(m_thread, &code) && code == STILL_ACTIVE;
  } else {
    queued = QueueUserAPC(&VormMessageQueue::PostProc, m_thread, reinterpret_cast<ULONG_PTR>(m_link)) != 0;
    m_link->procQueued = queued;
  }
  if (queued) return VormOk;
  m_link->pending.pop_back();  // nothing will take it
  return VormFailed;
}

void VormMessageQueue::PostProc(ULONG_PTR record) {
  auto* link = reinterpret_cast<Link*>(record);
  bool free;
  {
    std::lock_guard<std::recursive_mutex> guard(link->mutex);
    // Delivered one at a time from the front, so posts made by the callback wait their turn
    // behind the ones before them.
    while (link->queue && !link->pending.empty()) {
      VormMessageQueue* queue = link->queue;
      VormMessage* message = link->pending.front();
      link->pending.pop_front();
      try {
        queue->m_messages.push_back(message);
      } catch (const std::bad_alloc&) {
        continue;  // the message cannot be kept; it is lost as a failed post would be
      }
      if (queue->m_callback) queue->m_callback->Fire();  // may destroy the queue
    }
    link->procQueued = false;
    free = !link->queue;
  }
  if (free) delete link;
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
