// The timer against a clock moved by hand.
#include <gtest/gtest.h>
#include <vorm/platform/time.h>
#include <vorm/timer.h>

#include "support/temp_tree.h"

namespace {

using vorm_test::TempTree;

// A clock the timer tests move by hand.
long g_now = 0;
long FakeClock() { return g_now; }

class Timer : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = VormSetClockSource(FakeClock); }
  void TearDown() override { VormSetClockSource(previous_); }
  TempTree tree;
  VormClockSource previous_ = nullptr;
};

TEST_F(Timer, AccumulatesStopsAndRecomputesAfterReset) {
  g_now = 0;
  VormTimer t(VormPath(L""), FALSE, FALSE);
  g_now = 1000;
  EXPECT_EQ(t.Start(), 1000);
  g_now = 2500;
  t.Stop();
  g_now = 3000;
  t.Start();
  g_now = 3500;
  t.Stop();
  g_now = 9000;  // the total does not run on after Stop
  EXPECT_EQ(t.GetElapsedText(FALSE), L"2.000 sec");
  EXPECT_EQ(t.GetElapsedText(TRUE), L"2.000 sec");
  g_now = 4250;
  EXPECT_EQ(t.GetElapsedText(FALSE), L"1.250 sec") << "after a reset: the time since the last Start";
  g_now = 12346;
  VormTimer never(VormPath(L""), FALSE, FALSE);  // never started: counts from the process start
  EXPECT_EQ(never.GetReport(L"triangulation", FALSE), L"\nTimer in triangulation: 12.346 sec\n");
}

TEST_F(Timer, WritesReportLinesOnlyToAnOpenedFile) {
  g_now = 0;
  {
    VormTimer t(VormPath(tree.wpath("t.txt").c_str()), FALSE, TRUE);
    t.Start();
    g_now = 1500;
    t.Stop();
    t.WriteReport(L"load", FALSE);
    t.WriteElapsed(TRUE);
  }
  EXPECT_EQ(tree.ReadFile("t.txt"), "\nTimer in load: 1.500 sec\n1.500 sec");

  VormTimer closed(VormPath(tree.wpath("c.txt").c_str()), FALSE, TRUE);
  closed.Close();
  closed.WriteReport(L"late", FALSE);  // a closed file takes nothing and does not fail
  EXPECT_EQ(tree.ReadFile("c.txt"), "");
}

}  // namespace
