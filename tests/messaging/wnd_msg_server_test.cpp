// The window message server: registrations, dispatch on the window's thread (the test's main
// thread, which pumps until a quit message), posts and sends from other threads.
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/result_codes.h>
#include <vorm/wnd_msg_server.h>

namespace {

using VormWndMsgServer_details::VormWndMsgServerImpl;

constexpr UINT kNumber = 0x8800;
constexpr UINT kOther = 0x8801;

// Records the calls it gets; optionally quits the pump after `quitAfter` of them.
class Recorder : public VormWndMsgServer::Callback {
 public:
  explicit Recorder(int id, std::vector<int>* log) : id_(id), log_(log) {}
  LONG OnMessage(const VormWndMsgServer::Message* m) override {
    log_->push_back(id_);
    last = *m;
    if (++calls == quitAfter) PostQuitMessage(0);
    if (throws) throw VormEllipsis();
    if (action) action();
    return 1;
  }
  int calls = 0;
  int quitAfter = -1;
  bool throws = false;
  std::function<void()> action;
  VormWndMsgServer::Message last{};

 private:
  int id_;
  std::vector<int>* log_;
};

// Dispatches until WM_QUIT.
void Pump() {
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
}

VormWndMsgServer* Server() { return VormWndMsgServer::Instance(); }

TEST(WndMsgServer, CookiesAndRegistrationErrors) {
  // Run first in its own process (each test is), so these are the first cookies ever.
  std::vector<int> log;
  Recorder a(1, &log);
  DWORD first = 0, second = 0, untouched = 77;
  ASSERT_EQ(Server()->Register(kNumber, &first, &a), S_OK);
  ASSERT_EQ(Server()->Register(kOther, &second, &a), S_OK);
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(second, 2u);
  EXPECT_EQ(Server()->Register(kNumber, &untouched, nullptr), E_POINTER);
  EXPECT_EQ(untouched, 77u);
  EXPECT_EQ(Server()->Unregister(0), E_INVALIDARG);
  EXPECT_EQ(Server()->Unregister(first), S_OK);
  EXPECT_EQ(Server()->Unregister(first), E_FAIL);
  EXPECT_EQ(Server()->Unregister(second), S_OK);

  EXPECT_EQ(Server(), VormWndMsgServerImpl::Instance());
  EXPECT_TRUE(IsWindow(Server()->GetHwnd()));
  // A second server finds the class taken: no window, and registrations still work.
  VormWndMsgServerImpl other;
  EXPECT_EQ(other.GetHwnd(), nullptr);
  EXPECT_EQ(other.Register(kNumber, &first, &a), S_OK);
  EXPECT_EQ(first, 1u);  // its own counter
}

TEST(WndMsgServer, CallbacksRunInRegistrationOrderOnTheWindowThread) {
  std::vector<int> log;
  Recorder a(1, &log), b(2, &log), c(3, &log);
  DWORD ca, cb, cc;
  ASSERT_EQ(Server()->Register(kNumber, &ca, &a), S_OK);
  ASSERT_EQ(Server()->Register(kNumber, &cb, &b), S_OK);
  ASSERT_EQ(Server()->Register(kOther, &cc, &c), S_OK);
  a.throws = true;  // does not keep the message from b
  b.quitAfter = 2;
  std::thread poster([] {
    Server()->Post(kNumber, 5, 6);
    Server()->Post(kNumber, 7, 8);
  });
  Pump();
  poster.join();
  EXPECT_EQ(log, (std::vector<int>{1, 2, 1, 2}));
  EXPECT_EQ(b.last.hwnd, Server()->GetHwnd());
  EXPECT_EQ(b.last.message, kNumber);
  EXPECT_EQ(b.last.wParam, 7u);
  EXPECT_EQ(b.last.lParam, 8);
  EXPECT_EQ(b.last.reserved[0] | b.last.reserved[1] | b.last.reserved[2], 0u);

  // The first unregistered: the second alone. Both unregistered: DefWindowProcW alone.
  log.clear();
  ASSERT_EQ(Server()->Unregister(ca), S_OK);
  EXPECT_EQ(Server()->Send(kNumber, 0, 0), 0);
  ASSERT_EQ(Server()->Unregister(cb), S_OK);
  EXPECT_EQ(Server()->Send(kNumber, 0, 0), 0);
  EXPECT_EQ(log, (std::vector<int>{2}));

  // A callback that unregisters a later one during the same dispatch: that one is skipped.
  log.clear();
  ASSERT_EQ(Server()->Register(kNumber, &ca, &a), S_OK);
  ASSERT_EQ(Server()->Register(kNumber, &cb, &b), S_OK);
  a.throws = false;
  a.action = [&] { Server()->Unregister(cb); };
  Server()->Send(kNumber, 0, 0);
  EXPECT_EQ(log, (std::vector<int>{1}));
  Server()->Unregister(ca);
  Server()->Unregister(cc);
}

TEST(WndMsgServer, PostsFromManyThreadsAndSendsThatWait) {
  std::vector<int> log;
  Recorder r(1, &log);
  DWORD cookie;
  ASSERT_EQ(Server()->Register(kNumber, &cookie, &r), S_OK);
  constexpr int kThreads = 4, kEach = 500;
  std::vector<WPARAM> last(kThreads, 0);
  bool inOrder = true;
  r.quitAfter = kThreads * kEach + 1;
  r.action = [&] {
    // wParam = thread * 10000 + sequence: each thread's posts arrive in posting order.
    const WPARAM t = r.last.wParam / 10000, n = r.last.wParam % 10000;
    if (r.last.lParam == 0 && n != last[t] + 1) inOrder = false;
    if (r.last.lParam == 0) last[t] = n;
  };
  std::vector<std::thread> posters;
  std::atomic<int> failed{0};
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 1; i <= kEach; ++i) {
        if (!Server()->Post(kNumber, t * 10000 + i, 0)) ++failed;
      }
    });
  }
  // A send from another thread waits until the window's thread has handled it.
  LRESULT sent = -1;
  std::thread sender([&] { sent = Server()->Send(kNumber, 0, 1); });
  Pump();
  for (std::thread& p : posters) p.join();
  sender.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(r.calls, kThreads * kEach + 1);
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(sent, 0);  // DefWindowProcW's answer
  Server()->Unregister(cookie);
}

}  // namespace
