// The synchronized selector and server threads, on real threads meeting on events.
#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/server_thread.h>

namespace {

constexpr DWORD kLong = 10000;
constexpr DWORD kShort = 30;  // where a time-out is the expected result

HANDLE Event(bool manual = true) { return CreateEventW(nullptr, manual, FALSE, nullptr); }

// Counts its calls and reports each on an event; for a manual-reset handle it resets it on
// OnSignalled, so the server does not call it in a loop.
class Handler : public VormServerEventHandler {
 public:
  explicit Handler(HANDLE handle, std::atomic<int>* destroyed = nullptr)
      : VormServerEventHandler(0), called(Event(false)), handle_(handle), destroyed_(destroyed) {}
  ~Handler() override {
    if (destroyed_) ++*destroyed_;
    CloseHandle(called);
  }
  HANDLE GetHandle() override { return handle_; }
  void OnSignalled() override {
    ++signalled;
    if (stops) {
      VormServerThread::StopProc(reinterpret_cast<ULONG_PTR>(stops));  // what Stop's APC does
    } else {
      ResetEvent(handle_);
    }
    SetEvent(called);
  }
  void OnClose() override { ++closed; }

  HANDLE called;                      // set at each OnSignalled
  VormServerThread* stops = nullptr;  // stops this server and leaves its handle signalled
  std::atomic<int> signalled{0};
  std::atomic<int> closed{0};

 private:
  HANDLE handle_;
  std::atomic<int>* destroyed_;
};

TEST(Selector, RecordsWaitOrderAndCapacity) {
  VormSynchronizedSelector s;
  std::vector<HANDLE> events;
  for (int i = 0; i < 66; ++i) events.push_back(Event());
  Handler h1(events[0]), h2(events[1]);
  EXPECT_EQ(s.Add(events[0], &h1), VormOk);
  EXPECT_EQ(s.Add(events[0], &h2), VormFailed);
  VormServerEventHandler* out = &h2;
  EXPECT_EQ(s.Lookup(events[0], &out), VormOk);
  EXPECT_EQ(out, &h1);
  EXPECT_EQ(s.Remove(events[1], &out), VormFailed);
  EXPECT_EQ(out, &h1);
  ASSERT_EQ(s.Add(events[1], &h2), VormOk);
  ASSERT_EQ(s.Add(events[2], &h2), VormOk);

  // The wait reports the signalled handle at index 2 of the wait array with its handler.
  HANDLE order[MAXIMUM_WAIT_OBJECTS];
  ASSERT_EQ(s.GetHandles(order), 3u);
  const HANDLE third = order[2];
  SetEvent(third);
  HANDLE which = nullptr;
  out = nullptr;
  EXPECT_EQ(s.Wait(FALSE, 0, FALSE, &which, &out), WAIT_OBJECT_0);
  EXPECT_EQ(which, order[2]);
  EXPECT_EQ(out, order[2] == events[0] ? static_cast<VormServerEventHandler*>(&h1) : &h2);

  // Disabled: counted, not waited on, its signal never reported.
  ASSERT_EQ(s.SetEnabled(third, false), VormOk);
  EXPECT_EQ(s.Count(), 3u);
  EXPECT_EQ(s.GetHandles(order), 2u);
  which = nullptr;
  EXPECT_EQ(s.Wait(FALSE, 0, FALSE, &which, nullptr), WAIT_TIMEOUT);
  EXPECT_EQ(which, nullptr);

  // An APC ends an alertable wait: 0xC0, outs untouched.
  QueueUserAPC([](ULONG_PTR) {}, GetCurrentThread(), 0);
  EXPECT_EQ(s.Wait(FALSE, kLong, TRUE, &which, &out), WAIT_IO_COMPLETION);
  EXPECT_EQ(which, nullptr);

  // 64 enabled at most: a 65th is refused by Add and by SetEnabled.
  for (int i = 3; i < 65; ++i) ASSERT_EQ(s.Add(events[i], &h1), VormOk) << i;
  EXPECT_EQ(s.GetHandles(order), 64u);
  EXPECT_EQ(s.Add(events[65], &h1), VormFailed);
  EXPECT_EQ(s.SetEnabled(third, true), VormFailed);
  EXPECT_EQ(s.Remove(events[3], nullptr), VormOk);
  EXPECT_EQ(s.SetEnabled(third, true), VormOk);

  VormSynchronizedSelector empty;
  SetLastError(0);
  EXPECT_EQ(empty.Wait(FALSE, INFINITE, TRUE, &which, &out), WAIT_FAILED);  // at once
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  for (HANDLE e : events) CloseHandle(e);
}

TEST(ServerThread, StartStopAndTheirOrder) {
  VormServerThread never;
  DWORD result = 5;
  EXPECT_EQ(never.Stop(&result), VormFailed);
  EXPECT_EQ(result, 0u);
  HANDLE e = Event();
  Handler h(e);
  EXPECT_EQ(never.AddHandler(&h), VormFailed);
  EXPECT_EQ(never.RemoveHandler(&h), VormFailed);

  VormServerThread server;
  ASSERT_EQ(server.Start(), VormOk);
  HANDLE thread = server.GetThreadHandle();
  EXPECT_EQ(server.Start(), VormOk);
  EXPECT_EQ(server.GetThreadHandle(), thread);
  EXPECT_EQ(WaitForSingleObject(thread, kShort), WAIT_TIMEOUT);  // asleep with no handler
  EXPECT_EQ(server.Stop(nullptr), VormFailed);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
  DWORD code = 1;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(server.Start(), VormOk);  // runs once: nothing new starts
  EXPECT_EQ(server.GetThreadHandle(), thread);
  EXPECT_EQ(server.AddHandler(&h), VormFailed);
  CloseHandle(e);
}

class TestServer : public VormServerThread {
 public:
  DWORD Id() const { return m_threadId; }
  DWORD OnRemoveHandle(HANDLE handle) override {
    const DWORD r = VormServerThread::OnRemoveHandle(handle);
    SetEvent(removed);
    return r;
  }
  HANDLE removed = Event(false);
};

TEST(ServerThread, HandlersAreCalledAddedRemovedAndSweptAtStop) {
  std::atomic<int> destroyed{0};
  HANDLE a = Event(), b = Event(), c = Event();
  TestServer server;
  ASSERT_EQ(server.Start(), VormOk);
  Handler hb(b), hc(c);
  SetEvent(b);  // already signalled when added: called once the addition has run
  ASSERT_EQ(server.AddHandler(&hb), VormOk);
  EXPECT_EQ(WaitForSingleObject(hb.called, kLong), WAIT_OBJECT_0);
  ASSERT_EQ(server.AddHandler(&hc), VormOk);
  ASSERT_EQ(server.RemoveHandler(&hb), VormOk);
  ASSERT_EQ(WaitForSingleObject(server.removed, kLong), WAIT_OBJECT_0);
  SetEvent(b);  // removed: not called again
  SetEvent(c);
  EXPECT_EQ(WaitForSingleObject(hc.called, kLong), WAIT_OBJECT_0);

  // Stopping while a handle is signalled: a last call, OnClose, and the handler is destroyed;
  // a handler whose handle is not signalled is untouched.
  auto* last = new Handler(a, &destroyed);
  last->stops = &server;
  ASSERT_EQ(server.AddHandler(last), VormOk);
  SetEvent(a);
  EXPECT_EQ(WaitForSingleObject(server.GetThreadHandle(), kLong), WAIT_OBJECT_0);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(hb.signalled, 1);
  EXPECT_EQ(hc.signalled, 1);
  EXPECT_EQ(hc.closed, 0);
  for (HANDLE h : {a, b, c, server.removed}) CloseHandle(h);
}

// Blocks in OnSignalled until released, keeping the server thread busy.
class Blocking : public Handler {
 public:
  Blocking(HANDLE handle, HANDLE release) : Handler(handle), release_(release) {}
  void OnSignalled() override {
    Handler::OnSignalled();
    WaitForSingleObject(release_, kLong);
  }

 private:
  HANDLE release_;
};

TEST(ServerThread, DestroyedWithRequestsStillQueued) {
  HANDLE busy = Event(), release = Event(), other = Event();
  Blocking blocker(busy, release);
  Handler late(other);
  auto* server = new VormServerThread;
  ASSERT_EQ(server->Start(), VormOk);
  ASSERT_EQ(server->AddHandler(&blocker), VormOk);
  SetEvent(busy);
  ASSERT_EQ(WaitForSingleObject(blocker.called, kLong), WAIT_OBJECT_0);  // now inside OnSignalled
  ASSERT_EQ(server->AddHandler(&late), VormOk);                          // queued behind the busy handler
  std::thread destroyer([&] { delete server; });                         // stops it: queues StopProc, waits for the end
  SetEvent(release);
  destroyer.join();  // every request ran on a live server, or not at all; none leaked
  SetEvent(other);
  EXPECT_EQ(late.signalled, 0);
  for (HANDLE h : {busy, release, other}) CloseHandle(h);
}

// The server thread's processor time in clock ticks, from the kernel's account of it.
long CpuTicks(DWORD threadId) {
  std::ifstream stat("/proc/self/task/" + std::to_string(threadId) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return utime + stime;
}

// A server whose additions are recorded disabled: records without an enabled handle.
class DisablingServer : public TestServer {
 public:
  DWORD OnAddHandler(VormServerEventHandler* handler) override {
    const DWORD r = VormServerThread::OnAddHandler(handler);
    m_selector.SetEnabled(handler->GetHandle(), false);
    SetEvent(added);
    return r;
  }
  HANDLE added = Event(false);
};

TEST(ServerThread, NeverSpinsAndRefusesA65thHandler) {
  // Records but no enabled handle, and a handle closed while registered: the thread sleeps.
  DisablingServer idle;
  ASSERT_EQ(idle.Start(), VormOk);
  HANDLE e = Event();
  Handler h(e);
  ASSERT_EQ(idle.AddHandler(&h), VormOk);
  ASSERT_EQ(WaitForSingleObject(idle.added, kLong), WAIT_OBJECT_0);

  TestServer server;
  ASSERT_EQ(server.Start(), VormOk);
  std::vector<HANDLE> events;
  std::vector<std::unique_ptr<Handler>> handlers;
  for (int i = 0; i < 65; ++i) {
    events.push_back(Event());
    handlers.push_back(std::make_unique<Handler>(events.back()));
    ASSERT_EQ(server.AddHandler(handlers.back().get()), VormOk);  // the outcome is known on the server thread
  }
  SetEvent(events[64]);  // the 65th was refused: never called
  SetEvent(events[0]);   // the others work
  EXPECT_EQ(WaitForSingleObject(handlers[0]->called, kLong), WAIT_OBJECT_0);
  SetEvent(events[63]);
  EXPECT_EQ(WaitForSingleObject(handlers[63]->called, kLong), WAIT_OBJECT_0);
  EXPECT_EQ(handlers[64]->signalled, 0);

  HANDLE closing = Event();
  Handler gone(closing);
  ASSERT_EQ(server.RemoveHandler(handlers[1].get()), VormOk);
  ASSERT_EQ(server.AddHandler(&gone), VormOk);
  SetEvent(events[2]);  // handled after the add: the closed handle is registered from here on
  EXPECT_EQ(WaitForSingleObject(handlers[2]->called, kLong), WAIT_OBJECT_0);
  CloseHandle(closing);
  SetEvent(events[3]);  // wakes the thread; its next wait fails on the closed handle
  EXPECT_EQ(WaitForSingleObject(handlers[3]->called, kLong), WAIT_OBJECT_0);
  SetEvent(events[4]);  // still served after that
  EXPECT_EQ(WaitForSingleObject(handlers[4]->called, kLong), WAIT_OBJECT_0);

  const long idleBefore = CpuTicks(idle.Id()), serverBefore = CpuTicks(server.Id());
  WaitForSingleObject(e, 300);                     // a window to measure both threads in (e is never set)
  EXPECT_LE(CpuTicks(idle.Id()) - idleBefore, 2);  // a spinning thread shows ~30 ticks
  EXPECT_LE(CpuTicks(server.Id()) - serverBefore, 2);
  server.Stop(nullptr);
  for (HANDLE ev : events) CloseHandle(ev);
  CloseHandle(e);
  CloseHandle(idle.added);
}

}  // namespace
