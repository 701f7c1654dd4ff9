// Callbacks and message queues: posts from other threads, delivery on the owner thread.
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/callbacks.h>
#include <vorm/message_queue.h>

namespace {

constexpr DWORD kLong = 10000;
constexpr DWORD kShort = 30;  // where a time-out is the expected result

class Numbered : public VormMessage {
 public:
  explicit Numbered(int n) : n(n) {}
  int n;
};

class Counter : public VormCallback {
 public:
  void Fire() override {
    ++fired;
    if (action) action();
  }
  std::atomic<int> fired{0};
  std::function<void()> action;
};

TEST(Callbacks, SetAndPulseModes) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  {
    VormHEVENTCallback set(e, false);
    set.Fire();
    set.Fire();  // signalled once: one wait succeeds, the next blocks
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, kShort), WAIT_TIMEOUT);
    VormHEVENTCallback pulse(e, true);
    pulse.Fire();  // nobody waits: no trace
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  }
  EXPECT_TRUE(SetEvent(e));  // the callbacks left the event open
  EXPECT_TRUE(CloseHandle(e));
}

TEST(MessageQueue, OrderCloseAndPeek) {
  Counter callback;
  VormMessageQueue queue(&callback, nullptr);
  EXPECT_EQ(queue.GetCallback(), &callback);
  VormMessage* out = reinterpret_cast<VormMessage*>(1);
  EXPECT_EQ(queue.Get(&out), VormQueueEmpty);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(queue.Post(nullptr), VormInvalidArgument);
  EXPECT_EQ(queue.Get(nullptr), VormInvalidArgument);
  Numbered one(1), two(2);
  ASSERT_EQ(queue.Post(&one), VormOk);
  ASSERT_EQ(queue.Post(&two), VormOk);
  EXPECT_EQ(callback.fired, 0);  // not delivered before the owner lets APCs run
  EXPECT_EQ(queue.Peek(&out), VormOk);
  EXPECT_EQ(out, &one);
  EXPECT_EQ(callback.fired, 2);
  EXPECT_EQ(queue.Peek(&out), VormOk);
  EXPECT_EQ(out, &one);
  EXPECT_EQ(queue.Close(), VormFailed);
  EXPECT_EQ(queue.Get(&out), VormOk);
  EXPECT_EQ(out, &one);
  EXPECT_EQ(queue.Get(&out), VormOk);
  EXPECT_EQ(out, &two);
  EXPECT_EQ(queue.Get(&out), VormQueueClosed);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(queue.Post(&one), VormOk);  // posting still works when closed
  EXPECT_EQ(queue.Get(&out), VormOk);

  // CloseProc, queued by a client: closes and fires.
  VormMessageQueue other(&callback, nullptr);
  QueueUserAPC(&VormMessageQueue::CloseProc, GetCurrentThread(),
               reinterpret_cast<ULONG_PTR>(new VormMessageQueue::CloseRecord{&other}));
  callback.fired = 0;
  EXPECT_EQ(other.Get(&out), VormQueueClosed);
  EXPECT_EQ(callback.fired, 1);
}

TEST(MessageQueue, PostsFromOtherThreadsArriveOnTheOwner) {
  HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  VormHEVENTCallback callback(ready, false);
  VormMessageQueue queue(&callback, nullptr);
  constexpr int kEach = 2000;
  std::vector<Numbered> messages[2];
  for (auto& list : messages) {
    for (int i = 0; i < kEach; ++i) list.emplace_back(i);
  }
  std::vector<std::thread> posters;
  for (auto& list : messages) {
    posters.emplace_back([&] {
      for (Numbered& m : list) ASSERT_EQ(queue.Post(&m), VormOk);
    });
  }
  int next[2] = {0, 0};
  for (int received = 0; received < 2 * kEach;) {
    VormMessage* out;
    if (queue.Get(&out) != VormOk) {
      ASSERT_NE(WaitForSingleObjectEx(ready, kLong, TRUE), WAIT_TIMEOUT);
      continue;
    }
    auto* m = static_cast<Numbered*>(out);
    const int list = m >= &messages[0].front() && m <= &messages[0].back() ? 0 : 1;
    EXPECT_EQ(m->n, next[list]++);  // one poster's messages keep their order
    ++received;
  }
  for (std::thread& t : posters) t.join();
  CloseHandle(ready);
}

TEST(MessageQueue, AnExplicitOwnerDeliversAndEndedOwnersRefuse) {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE owner = nullptr;
  DWORD ownerId = 0, firedOn = 0;
  std::atomic<bool> delivered{false};
  Counter callback;
  callback.action = [&] {
    firedOn = GetCurrentThreadId();
    delivered = true;
  };
  std::thread t([&] {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &owner, 0, FALSE, 0);
    ownerId = GetCurrentThreadId();
    SetEvent(ready);
    while (!delivered) SleepEx(kLong, TRUE);
  });
  ASSERT_EQ(WaitForSingleObject(ready, kLong), WAIT_OBJECT_0);
  VormMessageQueue queue(&callback, owner);
  Numbered m(1);
  ASSERT_EQ(queue.Post(&m), VormOk);
  t.join();
  EXPECT_EQ(firedOn, ownerId);
  EXPECT_EQ(queue.Post(&m), VormFailed);  // the owner has ended
  CloseHandle(owner);
  CloseHandle(ready);
}

TEST(MessageQueue, PostsOnTheirWayNeverReachADestroyedQueue) {
  Counter callback;
  auto* queue = new VormMessageQueue(&callback, nullptr);
  Numbered m(1);
  std::thread([&] { ASSERT_EQ(queue->Post(&m), VormOk); }).join();
  delete queue;  // the post's APC is still queued to this thread
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(callback.fired, 0);

  // A callback that destroys its queue while a delivery fires it.
  queue = new VormMessageQueue(&callback, nullptr);
  callback.action = [&] {
    delete queue;
    queue = nullptr;
  };
  Numbered n(2);
  ASSERT_EQ(queue->Post(&m), VormOk);
  ASSERT_EQ(queue->Post(&n), VormOk);
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(queue, nullptr);
  EXPECT_EQ(callback.fired, 1);  // the second post found the queue gone
}

}  // namespace
