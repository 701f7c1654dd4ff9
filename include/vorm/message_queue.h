// A first-in, first-out queue of VormMessage pointers that belongs to one thread, its owner.
// Any thread may Post; the message travels to the owner by an asynchronous procedure call
// (APC) and is appended there, then the optional callback fires on the owner thread (a
// VormHEVENTCallback makes that an event the owner can wait on). The owner takes messages out
// with Peek and Get, each of which first lets pending APCs run (SleepEx(0, TRUE)).
//
// Thread rules: Post and Close from any thread; Peek, Get and the callback on the owner thread
// only. Posts are delivered while the owner is in an alertable wait or inside Peek/Get;
// messages from one posting thread arrive in posting order.
// Ownership: the queue never copies or destroys a message: a posted message belongs to the
// queue until Get hands it over (Peek only shows it); messages still queued when the queue
// is destroyed are forgotten, not destroyed. The callback stays the caller's.
// Destroying the queue while posts to it are still on their way is safe: their APCs find the
// queue gone and do nothing (the message is not delivered).
//
//   VormMessageQueue queue(&callback, nullptr);   // owner: the constructing thread
//   queue.Post(msg);                               // any thread => VormOk
//   queue.Get(&out);                               // owner => VormOk, out == msg
//   queue.Get(&out);                               // => VormQueueEmpty, out == nullptr
#pragma once

#include <atomic>
#include <deque>

#include <vorm/callbacks.h>
#include <vorm/export.h>
#include <vorm/platform/sync.h>
#include <vorm/result_codes.h>

// Base of all messages; clients derive theirs. Thread rule: handed between threads whole,
// used by one at a time. Ownership: see VormMessageQueue.
class VORM_API VormMessage {
 public:
  VormMessage();
  virtual ~VormMessage();
};

namespace VormMessageQueue_details {
struct Link;
}

// Thread rule and ownership: see the top of this file.
class VORM_API VormMessageQueue {
 public:
  // What CloseProc takes: a record allocated with new whose first field names the queue;
  // CloseProc deletes it. (Nothing in the library queues CloseProc; a client that does
  // keeps the queue alive until it has run.)
  struct CloseRecord {
    VormMessageQueue* queue;
  };

  // An empty, open queue owned by `thread`, or by the calling thread when `thread` is null
  // (the queue then holds its own handle to it). `callback` may be null.
  VormMessageQueue(VormCallback* callback, HANDLE thread);
  virtual ~VormMessageQueue();
  VormMessageQueue(const VormMessageQueue&) = delete;
  VormMessageQueue& operator=(const VormMessageQueue&) = delete;

  // VormOk with the first message (left in the queue), or VormQueueEmpty / VormQueueClosed
  // with null; VormInvalidArgument for a null `out`.
  virtual DWORD Peek(VormMessage** out);
  // As Peek, and the message leaves the queue.
  virtual DWORD Get(VormMessage** out);
  // VormOk once the message is on its way (one APC to the owner thread); VormInvalidArgument
  // for null, VormOutOfMemory, VormFailed when the owner thread cannot take APCs (it has
  // ended). Posts queued while the owner runs arrive in the order they were posted.
  virtual DWORD Post(VormMessage* message);
  // Marks the queue closed: an empty queue then reports VormQueueClosed; queued messages
  // still come out. Returns VormFailed in every case.
  virtual DWORD Close();

  // The APC routines: PostProc takes what Post queues (the queue's link to its posts on
  // their way); CloseProc a CloseRecord.
  static void PostProc(ULONG_PTR record);
  static void CloseProc(ULONG_PTR record);

  VormCallback* GetCallback() const { return m_callback; }

 private:
  std::deque<VormMessage*> m_messages;
  HANDLE m_thread;
  bool m_ownsThread;
  std::atomic<bool> m_closed{false};
  VormCallback* m_callback;
  // What posts on their way name instead of the queue itself.
  VormMessageQueue_details::Link* m_link;
};
