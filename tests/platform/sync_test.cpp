// Events, waits, APCs, threads and critical sections, on real threads. Threads meet on
// events with generous time-outs; short time-outs appear only where a time-out is the
// expected result.
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/sync.h>

#include "support/temp_tree.h"

namespace {

constexpr DWORD kLong = 10000;  // ms: long enough for any sanitizer run
constexpr DWORD kShort = 30;    // ms: where the wait is expected to time out

HANDLE Event(bool manual, bool set = false) { return CreateEventW(nullptr, manual, set, nullptr); }

// A thread of the layer running `body`; the handle is signalled when it returns.
HANDLE Spawn(std::function<DWORD()> body, DWORD flags = 0) {
  auto* heap = new std::function<DWORD()>(std::move(body));
  return CreateThread(
      nullptr, 0,
      [](LPVOID p) -> DWORD {
        std::unique_ptr<std::function<DWORD()>> own(static_cast<std::function<DWORD()>*>(p));
        return (*own)();
      },
      heap, flags, nullptr);
}

DWORD Join(HANDLE thread) {
  EXPECT_EQ(WaitForSingleObject(thread, kLong), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  CloseHandle(thread);
  return code;
}

// The call's result and the last error it left, the error seeded with a sentinel first.
template <class F>
std::pair<DWORD, DWORD> Outcome(F call) {
  SetLastError(vorm_test::kErrorSentinel);
  const DWORD result = static_cast<DWORD>(call());
  return {result, GetLastError()};
}

TEST(Wait, AllIsAtomicAndAnyTakesTheLowestIndex) {
  HANDLE a = Event(false), b = Event(false), waiting = Event(true);
  HANDLE both[] = {a, b};
  std::atomic<bool> first{false};
  HANDLE t1 = Spawn([&] {
    DWORD r = WaitForMultipleObjects(2, both, TRUE, kLong);
    first = true;
    return r;
  });
  // t2 waits for A alone, after t1 is already waiting for both.
  ASSERT_EQ(WaitForSingleObject(t1, kShort), WAIT_TIMEOUT);
  HANDLE t2 = Spawn([&] { return WaitForSingleObject(a, kLong); });
  ASSERT_EQ(WaitForSingleObject(t2, kShort), WAIT_TIMEOUT);
  SetEvent(a);  // t1 cannot take A without B: A goes to t2
  EXPECT_EQ(Join(t2), WAIT_OBJECT_0);
  EXPECT_FALSE(first);
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);  // t2 took A; t1 took nothing
  SetEvent(a);
  SetEvent(b);
  EXPECT_EQ(Join(t1), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);  // both reset by t1

  SetEvent(a);
  SetEvent(b);
  SetLastError(vorm_test::kErrorSentinel);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(GetLastError(), vorm_test::kErrorSentinel);  // success leaves the last error alone
  HANDLE manual = Event(true, true);
  SetEvent(b);
  HANDLE three[] = {a, b, manual};
  EXPECT_EQ(WaitForMultipleObjects(3, three, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, three, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, three, FALSE, 0), WAIT_OBJECT_0 + 2);  // manual stays set
  for (HANDLE h : {a, b, waiting, manual}) CloseHandle(h);
}

TEST(Wait, PulseReleasesOnlyTheThreadsWaitingNow) {
  HANDLE manual = Event(true), autoReset = Event(false), counted = Event(false);
  std::atomic<int> released{0};
  std::vector<HANDLE> threads;
  for (int i = 0; i < 3; ++i) {
    threads.push_back(Spawn([&] {
      DWORD r = WaitForSingleObject(manual, kLong);
      ++released;
      SetEvent(counted);
      return r;
    }));
  }
  // Pulse until all three have been released; a pulse before a thread waits reaches no one.
  for (int tries = 0; released < 3 && tries < 1000; ++tries) {
    PulseEvent(manual);
    WaitForSingleObject(counted, kShort);
  }
  for (HANDLE t : threads) EXPECT_EQ(Join(t), WAIT_OBJECT_0);
  EXPECT_EQ(released, 3);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

  // Two waiters on an auto-reset event: one pulse, one release.
  released = 0;
  auto takeOne = [&]() -> DWORD {
    const DWORD r = WaitForSingleObject(autoReset, kLong);
    ++released;
    return r;
  };
  HANDLE w1 = Spawn(takeOne);
  HANDLE w2 = Spawn(takeOne);
  HANDLE pair[] = {w1, w2};
  for (int tries = 0; released == 0 && tries < 1000; ++tries) {
    PulseEvent(autoReset);
    WaitForMultipleObjects(2, pair, FALSE, kShort);
  }
  EXPECT_EQ(WaitForMultipleObjects(2, pair, TRUE, kShort), WAIT_TIMEOUT);  // the other still waits
  EXPECT_EQ(released, 1);
  SetEvent(autoReset);
  EXPECT_EQ(Join(w1), WAIT_OBJECT_0);
  EXPECT_EQ(Join(w2), WAIT_OBJECT_0);
  EXPECT_EQ(released, 2);

  PulseEvent(autoReset);  // nobody waits: nothing stays behind
  EXPECT_EQ(WaitForSingleObject(autoReset, kShort), WAIT_TIMEOUT);
  for (HANDLE h : {manual, autoReset, counted}) CloseHandle(h);
}

TEST(Wait, NoSignalIsLostOrDoubledAgainstTimedWaits) {
  constexpr int kRounds = 10000;
  HANDLE work = Event(false), ack = Event(false);
  HANDLE producer = Spawn([&] {
    for (int i = 0; i < kRounds; ++i) {
      SetEvent(work);
      if (WaitForSingleObject(ack, kLong) != WAIT_OBJECT_0) return 1u;  // a signal was lost
    }
    return 0u;
  });
  int taken = 0;
  for (DWORD round = 0; taken < kRounds; ++round) {
    // Time-outs of 0 and 1 ms race the producer's SetEvent.
    const DWORD r = WaitForSingleObject(work, round % 2);
    ASSERT_TRUE(r == WAIT_OBJECT_0 || r == WAIT_TIMEOUT) << r;
    if (r == WAIT_OBJECT_0) {
      ++taken;
      SetEvent(ack);
    }
  }
  EXPECT_EQ(Join(producer), 0u);
  EXPECT_EQ(WaitForSingleObject(work, 0), WAIT_TIMEOUT);  // no signal taken twice or left over
  CloseHandle(work);
  CloseHandle(ack);
}

TEST(Wait, ArgumentErrorsFailTheWait) {
  HANDLE e = Event(true), copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), e, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS));
  std::vector<HANDLE> many(65, e);
  HANDLE closed = Event(true);
  CloseHandle(closed);
  HANDLE same[] = {e, copy};
  const std::pair<DWORD, DWORD> invalidParameter{WAIT_FAILED, ERROR_INVALID_PARAMETER};
  EXPECT_EQ(Outcome([&] { return WaitForMultipleObjects(0, many.data(), FALSE, 0); }), invalidParameter);
  EXPECT_EQ(Outcome([&] { return WaitForMultipleObjects(65, many.data(), FALSE, 0); }), invalidParameter);
  EXPECT_EQ(Outcome([&] { return WaitForMultipleObjects(2, same, TRUE, 0); }), invalidParameter);
  EXPECT_EQ(Outcome([&] { return WaitForMultipleObjects(2, nullptr, FALSE, 0); }),
            std::make_pair(WAIT_FAILED, ERROR_NOACCESS));
  for (HANDLE bad : {HANDLE{nullptr}, closed, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x1234)}) {
    EXPECT_EQ(Outcome([&] { return WaitForSingleObject(bad, 0); }), std::make_pair(WAIT_FAILED, ERROR_INVALID_HANDLE));
    EXPECT_EQ(Outcome([&] { return SetEvent(bad); }), std::make_pair(DWORD{FALSE}, ERROR_INVALID_HANDLE));
  }
  // A wait for any object may name it twice; a wait for all may not.
  SetEvent(e);
  EXPECT_EQ(WaitForMultipleObjects(2, same, FALSE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(64, many.data(), FALSE, 0), WAIT_OBJECT_0);

  // Closing the only handle of an object a thread waits on: the wait holds the object and
  // runs on to its time-out (the sanitizer runs would catch a freed object being used).
  HANDLE lone = Event(true);
  HANDLE waiter = Spawn([&] { return WaitForSingleObject(lone, 300); });
  WaitForSingleObject(waiter, kShort);  // almost always inside its wait by now
  EXPECT_TRUE(CloseHandle(lone));
  const DWORD r = Join(waiter);
  EXPECT_TRUE(r == WAIT_TIMEOUT || r == WAIT_FAILED) << r;  // WAIT_FAILED: the close came first
  CloseHandle(e);
  EXPECT_EQ(Outcome([&] { return CreateEventW(nullptr, TRUE, FALSE, L"named") != nullptr; }),
            std::make_pair(0u, ERROR_NOT_SUPPORTED));
  CloseHandle(copy);
}

std::vector<int> g_order;
HANDLE g_self = nullptr;

void RecordApc(ULONG_PTR n) {
  g_order.push_back(static_cast<int>(n));
  if (n == 2) QueueUserAPC(RecordApc, g_self, 4);  // queued by an APC: runs in the same wait
}

TEST(Apc, AlertableWaitsRunEveryQueuedApcInOrder) {
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_self, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  g_order.clear();
  for (ULONG_PTR n : {1, 2, 3}) ASSERT_NE(QueueUserAPC(RecordApc, g_self, n), 0u);
  EXPECT_EQ(SleepEx(0, FALSE), 0u);
  HANDLE e = Event(true);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);  // non-alertable waits run none
  EXPECT_TRUE(g_order.empty());
  SetEvent(e);
  EXPECT_EQ(WaitForSingleObjectEx(e, 0, TRUE), WAIT_OBJECT_0);  // a signalled object wins
  EXPECT_TRUE(g_order.empty());
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(g_order, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(SleepEx(0, TRUE), 0u);

  // From another thread, an APC ends an alertable wait; the object still waits to be set.
  ResetEvent(e);
  HANDLE started = Event(false), firstDone = Event(false);
  HANDLE worker = Spawn([&] {
    SetEvent(started);
    DWORD first = WaitForSingleObjectEx(e, kLong, TRUE);
    SetEvent(firstDone);
    DWORD second = WaitForSingleObjectEx(e, kLong, TRUE);
    return first == WAIT_IO_COMPLETION && second == WAIT_OBJECT_0 ? 0u : 1u;
  });
  ASSERT_EQ(WaitForSingleObject(started, kLong), WAIT_OBJECT_0);  // its routine runs
  ASSERT_NE(QueueUserAPC([](ULONG_PTR) {}, worker, 0), 0u);
  ASSERT_EQ(WaitForSingleObject(firstDone, kLong), WAIT_OBJECT_0);
  SetEvent(e);
  EXPECT_EQ(Join(worker), 0u);
  for (HANDLE h : {e, started, firstDone}) CloseHandle(h);
  CloseHandle(g_self);
}

TEST(Apc, QueuedBeforeStartRunsFirstAndEndedThreadsRefuse) {
  static std::vector<int> seen;
  seen.clear();
  DWORD id = 0;
  HANDLE t = CreateThread(
      nullptr, 64 * 1024,
      [](LPVOID) -> DWORD {
        seen.push_back(2);
        return 7;
      },
      nullptr, CREATE_SUSPENDED, &id);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  ASSERT_NE(QueueUserAPC([](ULONG_PTR) { seen.push_back(1); }, t, 0), 0u);
  EXPECT_EQ(WaitForSingleObject(t, kShort), WAIT_TIMEOUT);  // held until resumed
  EXPECT_EQ(ResumeThread(t), 1u);
  EXPECT_EQ(WaitForSingleObject(t, kLong), WAIT_OBJECT_0);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
  EXPECT_EQ(ResumeThread(t), 0u);
  EXPECT_EQ(Outcome([&] { return QueueUserAPC([](ULONG_PTR) {}, t, 0); }), std::make_pair(0u, ERROR_GEN_FAILURE));
  EXPECT_EQ(Outcome([&] { return QueueUserAPC(nullptr, t, 0); }), std::make_pair(0u, ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Join(t), 7u);
  EXPECT_EQ(Outcome([&] { return QueueUserAPC([](ULONG_PTR) {}, t, 0); }), std::make_pair(0u, ERROR_INVALID_HANDLE));
  EXPECT_EQ(Outcome([&] { return ResumeThread(t); }), std::make_pair(DWORD(-1), ERROR_INVALID_HANDLE));
}

TEST(Thread, HandlesIdsAndTermination) {
  // A thread the layer did not start gets a record too: its duplicated handle is signalled
  // when it ends.
  HANDLE handle = nullptr;
  DWORD foreignId = 0;
  std::thread([&] {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &handle, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    foreignId = GetCurrentThreadId();
  }).join();
  EXPECT_EQ(WaitForSingleObject(handle, kLong), WAIT_OBJECT_0);
  EXPECT_NE(foreignId, GetCurrentThreadId());
  CloseHandle(handle);

  static unsigned five = 5;
  uintptr_t crt = _beginthreadex(
      nullptr, 0, [](void* p) -> unsigned { return *static_cast<unsigned*>(p); }, &five, 0, nullptr);
  ASSERT_NE(crt, 0u);
  EXPECT_EQ(Join(reinterpret_cast<HANDLE>(crt)), 5u);

  // Terminating a blocked thread: handle signalled with the code, the thread unwinds.
  HANDLE never = Event(true), unwound = Event(true);
  struct Guard {
    HANDLE e;
    ~Guard() { SetEvent(e); }
  };
  HANDLE victim = Spawn([&] {
    Guard g{unwound};
    WaitForSingleObject(never, INFINITE);
    return 0u;
  });
  ASSERT_EQ(WaitForSingleObject(victim, kShort), WAIT_TIMEOUT);
  EXPECT_TRUE(TerminateThread(victim, 99));
  EXPECT_EQ(WaitForSingleObject(unwound, kLong), WAIT_OBJECT_0);
  EXPECT_EQ(Outcome([&] { return QueueUserAPC([](ULONG_PTR) {}, victim, 0); }), std::make_pair(0u, ERROR_GEN_FAILURE));
  EXPECT_TRUE(TerminateThread(victim, 100));  // already ended: the first code stays
  EXPECT_EQ(Join(victim), 99u);
  EXPECT_EQ(Outcome([&] { return CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr) != nullptr; }),
            std::make_pair(0u, ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(CloseHandle(GetCurrentThread()));
  CloseHandle(never);
  CloseHandle(unwound);
}

TEST(CriticalSection, RecursiveAndExclusive) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  EXPECT_EQ(cs.RecursionCount, 2);
  BOOL otherGot = TRUE;
  std::thread([&] { otherGot = TryEnterCriticalSection(&cs); }).join();
  EXPECT_FALSE(otherGot);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);

  long counter = 0;  // guarded by cs only
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&cs);
        ++counter;
        LeaveCriticalSection(&cs);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(counter, 80000);
  DeleteCriticalSection(&cs);

  LONG n = 5;
  EXPECT_EQ(InterlockedIncrement(&n), 6);
  EXPECT_EQ(InterlockedCompareExchange(&n, 9, 6), 6);
  EXPECT_EQ(InterlockedCompareExchange(&n, 1, 6), 9);
  EXPECT_EQ(InterlockedExchangeAdd(&n, 3), 9);
  EXPECT_EQ(n, 12);
}

}  // namespace
