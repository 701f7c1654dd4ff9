// Console control handlers fed by real signals, and _isatty.
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <vorm/platform/console.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/sync.h>

namespace {

constexpr DWORD kLong = 10000;  // ms

// What the handlers saw, in call order, and an event set by whichever handler ends a round.
struct Seen {
  std::mutex lock;
  std::vector<int> calls;  // handler number * 100 + event
  std::thread::id thread;
  HANDLE done = nullptr;
};
Seen* g_seen = nullptr;

void Record(int handler, DWORD event) {
  std::lock_guard<std::mutex> hold(g_seen->lock);
  g_seen->calls.push_back(handler * 100 + static_cast<int>(event));
  g_seen->thread = std::this_thread::get_id();
}
BOOL Declines(DWORD event) {
  Record(1, event);
  return FALSE;
}
BOOL Takes(DWORD event) {
  Record(2, event);
  SetEvent(g_seen->done);
  return TRUE;
}

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen = &seen_;
    seen_.done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  void TearDown() override {
    CloseHandle(seen_.done);
    g_seen = nullptr;
  }
  std::vector<int> Calls() {
    std::lock_guard<std::mutex> hold(seen_.lock);
    return seen_.calls;
  }
  Seen seen_;
};

TEST_F(ConsoleTest, HandlersRunOnTheirOwnThreadMostRecentFirstUntilOneTakesTheEvent) {
  ASSERT_TRUE(SetConsoleCtrlHandler(&Takes, TRUE));
  ASSERT_TRUE(SetConsoleCtrlHandler(&Declines, TRUE));
  raise(SIGINT);
  ASSERT_EQ(WaitForSingleObject(seen_.done, kLong), WAIT_OBJECT_0);
  EXPECT_EQ(Calls(), (std::vector<int>{100 + CTRL_C_EVENT, 200 + CTRL_C_EVENT}));
  EXPECT_NE(seen_.thread, std::this_thread::get_id());

  raise(SIGHUP);
  ASSERT_EQ(WaitForSingleObject(seen_.done, kLong), WAIT_OBJECT_0);
  raise(SIGTERM);
  ASSERT_EQ(WaitForSingleObject(seen_.done, kLong), WAIT_OBJECT_0);
  EXPECT_EQ(Calls(), (std::vector<int>{100, 200, 100 + CTRL_CLOSE_EVENT, 200 + CTRL_CLOSE_EVENT,
                                       100 + CTRL_SHUTDOWN_EVENT, 200 + CTRL_SHUTDOWN_EVENT}));
  EXPECT_TRUE(SetConsoleCtrlHandler(&Declines, FALSE));
  EXPECT_TRUE(SetConsoleCtrlHandler(&Takes, FALSE));
}

TEST_F(ConsoleTest, RemovingAHandlerNotAddedFailsAndOneAddedTwiceStaysOnce) {
  SetLastError(0);
  EXPECT_FALSE(SetConsoleCtrlHandler(&Takes, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ASSERT_TRUE(SetConsoleCtrlHandler(&Takes, TRUE));
  ASSERT_TRUE(SetConsoleCtrlHandler(&Takes, TRUE));
  EXPECT_TRUE(SetConsoleCtrlHandler(&Takes, FALSE));
  raise(SIGTERM);  // still registered once
  ASSERT_EQ(WaitForSingleObject(seen_.done, kLong), WAIT_OBJECT_0);
  EXPECT_TRUE(SetConsoleCtrlHandler(&Takes, FALSE));
  EXPECT_FALSE(SetConsoleCtrlHandler(&Takes, FALSE));
}

TEST_F(ConsoleTest, IgnoringCtrlCSkipsOnlyThatEvent) {
  ASSERT_TRUE(SetConsoleCtrlHandler(&Takes, TRUE));
  ASSERT_TRUE(SetConsoleCtrlHandler(nullptr, TRUE));
  raise(SIGINT);   // ignored: the process goes on and no handler sees it
  raise(SIGTERM);  // read after the SIGINT: when it arrives, the SIGINT was passed over
  ASSERT_EQ(WaitForSingleObject(seen_.done, kLong), WAIT_OBJECT_0);
  EXPECT_EQ(Calls(), (std::vector<int>{200 + CTRL_SHUTDOWN_EVENT}));
  ASSERT_TRUE(SetConsoleCtrlHandler(nullptr, FALSE));
  raise(SIGINT);
  ASSERT_EQ(WaitForSingleObject(seen_.done, kLong), WAIT_OBJECT_0);
  EXPECT_TRUE(SetConsoleCtrlHandler(&Takes, FALSE));
}

TEST(ConsoleDeathTest, WhenNoHandlerTakesTheEventTheSignalEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SetConsoleCtrlHandler(&Declines, TRUE);
        Seen seen;
        g_seen = &seen;
        raise(SIGTERM);
        for (;;) pause();
      },
      ::testing::KilledBySignal(SIGTERM), "");
}

TEST(Console, IsattyIsTrueForCharacterDevicesOnly) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_EQ(_isatty(fds[0]), 0);
  close(fds[0]);
  close(fds[1]);
  EXPECT_EQ(_isatty(fds[0]), 0);  // closed
  EXPECT_EQ(_isatty(-1), 0);
  const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(null, 0);
  EXPECT_NE(_isatty(null), 0);  // a character device, as on the platform (NUL)
  close(null);
}

}  // namespace
