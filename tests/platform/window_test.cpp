// Thread message queues, window classes and hidden windows, on real threads that meet on
// events or run message loops until a quit message.
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/window.h>

#include "support/temp_tree.h"

namespace {

constexpr DWORD kLong = 10000;
constexpr DWORD kShort = 30;  // where a time-out is the expected result
constexpr UINT kAsk = WM_APP + 1;

std::vector<UINT> g_seen;  // messages the recording procedure saw (main thread only)

LRESULT RecordProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back(message);
  if (message == kAsk) return static_cast<LRESULT>(wParam * 2);
  return DefWindowProcW(window, message, wParam, lParam);
}

// Answers kAsk by asking the window named in lParam (on the other thread) and adding one.
LRESULT RelayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kAsk && lParam) return SendMessageW(reinterpret_cast<HWND>(lParam), kAsk, wParam, 0) + 1;
  if (message == kAsk) return static_cast<LRESULT>(wParam * 2);
  return DefWindowProcW(window, message, wParam, lParam);
}

ATOM Register(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSW c{};
  c.lpfnWndProc = procedure;
  c.hInstance = GetModuleHandleW(nullptr);
  c.lpszClassName = name;
  return RegisterClassW(&c);
}

HWND Make(ATOM atom) {
  return CreateWindowExW(0, MAKEINTATOM(atom), L"", 0, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleW(nullptr),
                         nullptr);
}

template <class F>
std::pair<LONG_PTR, DWORD> Outcome(F call) {
  SetLastError(vorm_test::kErrorSentinel);
  const auto result = static_cast<LONG_PTR>(call());
  return {result, GetLastError()};
}

HANDLE Event() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

// Drains the calling thread's queue.
void Drain() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST(Messages, OrderQuitAndQuota) {
  MSG m;
  Drain();
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 1, 0));
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 9, 0));  // keeps its place
  ASSERT_TRUE(PostMessageW(nullptr, WM_APP, 2, 0));
  PostQuitMessage(3);  // reported only once no posted message is left
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 4, 0));
  std::vector<std::pair<UINT, WPARAM>> got;
  for (int i = 0; i < 5; ++i) {
    const BOOL r = GetMessageW(&m, nullptr, 0, 0);
    EXPECT_EQ(r == 0, m.message == WM_QUIT) << i;
    got.emplace_back(m.message, m.wParam);
  }
  using P = std::pair<UINT, WPARAM>;
  EXPECT_EQ(got, (std::vector<P>{{WM_APP, 1}, {WM_QUIT, 9}, {WM_APP, 2}, {WM_APP, 4}, {WM_QUIT, 3}}));
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));

  for (int i = 0; i < 10000; ++i) ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, i, 0)) << i;
  EXPECT_EQ(Outcome([] { return PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0); }),
            std::make_pair(LONG_PTR{FALSE}, ERROR_NOT_ENOUGH_QUOTA));
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.wParam, 0u);
  EXPECT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
  Drain();

  // A thread known to the layer but without a queue, and one that does not exist.
  DWORD noQueue = 0;
  std::thread([&] { noQueue = GetCurrentThreadId(); }).join();
  std::thread([&] {
    EXPECT_EQ(Outcome([&] { return PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0); }),
              std::make_pair(LONG_PTR{FALSE}, ERROR_INVALID_THREAD_ID));
  }).join();
  EXPECT_EQ(Outcome([&] { return PostThreadMessageW(noQueue, WM_APP, 0, 0); }),
            std::make_pair(LONG_PTR{FALSE}, ERROR_INVALID_THREAD_ID));
  EXPECT_EQ(Outcome([] { return GetMessageW(nullptr, nullptr, 0, 0); }),
            std::make_pair(LONG_PTR{-1}, ERROR_INVALID_PARAMETER));
}

TEST(Messages, WaitForInputOnlyCountsWhatIsNew) {
  MSG m;
  Drain();
  HANDLE e = Event();
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &e, 0, QS_ALLINPUT, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &e, 0, QS_SENDMESSAGE, 0), WAIT_TIMEOUT);  // another kind
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &e, kShort, QS_ALLINPUT, 0), WAIT_TIMEOUT);  // seen
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &e, 0, QS_ALLINPUT, MWMO_INPUTAVAILABLE), WAIT_OBJECT_0 + 1);
  SetEvent(e);
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &e, 0, QS_ALLINPUT, MWMO_INPUTAVAILABLE), WAIT_OBJECT_0);
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, MWMO_INPUTAVAILABLE | MWMO_WAITALL), WAIT_OBJECT_0);
  ResetEvent(e);

  // A post from another thread ends the wait.
  const DWORD me = GetCurrentThreadId();
  std::thread poster([&] { PostThreadMessageW(me, WM_APP, 5, 0); });
  EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &e, kLong, QS_POSTMESSAGE, 0), WAIT_OBJECT_0 + 1);
  poster.join();
  Drain();

  std::vector<HANDLE> many(64, e);
  EXPECT_EQ(Outcome([&] { return MsgWaitForMultipleObjectsEx(64, many.data(), 0, QS_ALLINPUT, 0); }),
            std::make_pair(LONG_PTR(WAIT_FAILED), ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Outcome([&] { return MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0x8); }),
            std::make_pair(LONG_PTR(WAIT_FAILED), ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MsgWaitForMultipleObjects(63, many.data(), FALSE, 0, QS_ALLINPUT), WAIT_TIMEOUT);
  CloseHandle(e);
}

TEST(Windows, ClassesAndLifecycle) {
  const ATOM atom = Register(L"VormTestRecord", RecordProc);
  ASSERT_GE(atom, 0xC000);
  EXPECT_EQ(Outcome([] { return Register(L"vormtestRECORD", RecordProc); }),
            std::make_pair(LONG_PTR{0}, ERROR_CLASS_ALREADY_EXISTS));
  EXPECT_EQ(Outcome([] { return Register(nullptr, RecordProc); }),
            std::make_pair(LONG_PTR{0}, ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Outcome([] {
              return CreateWindowExW(0, L"NoSuchClass", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr) !=
                     nullptr;
            }),
            std::make_pair(LONG_PTR{0}, ERROR_CANNOT_FIND_WND_CLASS));
  g_seen.clear();
  HWND w = CreateWindowExW(0, L"VORMTESTRECORD", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(g_seen, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
  EXPECT_TRUE(IsWindow(w));
  EXPECT_EQ(SendMessageW(w, kAsk, 21, 0), 42);

  // Posted to the window, dispatched to its procedure; a filter on another range skips it.
  MSG m;
  Drain();
  ASSERT_TRUE(PostMessageW(w, kAsk, 4, 0));
  EXPECT_FALSE(PeekMessageW(&m, w, WM_USER, WM_USER, PM_REMOVE));
  EXPECT_FALSE(PeekMessageW(&m, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));  // thread messages only
  ASSERT_TRUE(PeekMessageW(&m, w, kAsk, kAsk, PM_REMOVE));
  EXPECT_EQ(DispatchMessageW(&m), 8);

  EXPECT_EQ(Outcome([] { return UnregisterClassW(L"VormTestRecord", nullptr); }),
            std::make_pair(LONG_PTR{FALSE}, ERROR_CLASS_HAS_WINDOWS));
  std::thread([&] {
    EXPECT_EQ(Outcome([&] { return DestroyWindow(w); }), std::make_pair(LONG_PTR{FALSE}, ERROR_ACCESS_DENIED));
  }).join();
  ASSERT_TRUE(PostMessageW(w, kAsk, 1, 0));
  g_seen.clear();
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_EQ(g_seen, (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));  // its posted message went with it
  EXPECT_FALSE(IsWindow(w));
  for (auto call : std::vector<std::function<LONG_PTR()>>{
           [&] { return PostMessageW(w, kAsk, 0, 0); }, [&] { return SendMessageW(w, kAsk, 0, 0); },
           [&] { return DestroyWindow(w); }, [&] { return PeekMessageW(&m, w, 0, 0, PM_REMOVE); }}) {
    EXPECT_EQ(Outcome(call), std::make_pair(LONG_PTR{0}, ERROR_INVALID_WINDOW_HANDLE));
  }
  EXPECT_TRUE(UnregisterClassW(MAKEINTATOM(atom), nullptr));
  EXPECT_EQ(Outcome([] { return UnregisterClassW(L"VormTestRecord", nullptr); }),
            std::make_pair(LONG_PTR{FALSE}, ERROR_CLASS_DOES_NOT_EXIST));
  EXPECT_EQ(Register(L"VormTestRecord", RecordProc), atom);  // the freed atom comes back
  EXPECT_TRUE(UnregisterClassW(L"VormTestRecord", nullptr));

  EXPECT_NE(GetModuleHandleW(nullptr), nullptr);
  EXPECT_EQ(Outcome([] { return GetModuleHandleW(L"other.dll") != nullptr; }),
            std::make_pair(LONG_PTR{0}, ERROR_MOD_NOT_FOUND));
}

TEST(Windows, SendAcrossThreadsAndBack) {
  const ATOM relay = Register(L"VormTestRelay", RelayProc);
  ASSERT_NE(relay, 0);
  HWND mine = Make(relay);
  HWND theirs = nullptr;
  DWORD theirId = 0;
  HANDLE ready = Event();
  std::thread b([&] {
    theirs = Make(relay);
    theirId = GetCurrentThreadId();
    SetEvent(ready);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
  });
  ASSERT_EQ(WaitForSingleObject(ready, kLong), WAIT_OBJECT_0);
  // A -> B, which relays to A while A waits (A answers 2 * 10), then adds 1.
  EXPECT_EQ(SendMessageW(theirs, kAsk, 10, reinterpret_cast<LPARAM>(mine)), 21);
  ASSERT_TRUE(PostThreadMessageW(theirId, WM_QUIT, 0, 0));
  b.join();
  EXPECT_FALSE(IsWindow(theirs));  // a thread's windows end with it
  EXPECT_TRUE(DestroyWindow(mine));
  EXPECT_TRUE(UnregisterClassW(L"VormTestRelay", nullptr));
  CloseHandle(ready);
}

TEST(Windows, ReceiversThatGoAwayReleaseTheirSenders) {
  const ATOM relay = Register(L"VormTestSilent", RelayProc);
  ASSERT_NE(relay, 0);
  for (bool destroy : {false, true}) {
    HWND theirs = nullptr;
    HANDLE ready = Event(), finish = Event();
    // B never reads its queue: it only ends, or destroys its window.
    std::thread b([&] {
      theirs = Make(relay);
      SetEvent(ready);
      WaitForSingleObject(finish, kLong);
      if (destroy) DestroyWindow(theirs);
    });
    ASSERT_EQ(WaitForSingleObject(ready, kLong), WAIT_OBJECT_0);
    LRESULT answer = -1;
    std::thread sender([&] { answer = SendMessageW(theirs, kAsk, 1, 0); });
    WaitForSingleObject(finish, kShort);  // lets the sender block first (its answer is 0 either way)
    SetEvent(finish);
    b.join();
    sender.join();
    EXPECT_EQ(answer, 0) << destroy;
    CloseHandle(ready);
    CloseHandle(finish);
  }
  EXPECT_TRUE(UnregisterClassW(L"VormTestSilent", nullptr));
}

}  // namespace
