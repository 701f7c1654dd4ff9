#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/platform/time.h>
#include <vorm/progress.h>

namespace {

using Call = std::tuple<int, int, int>;
using Calls = std::vector<Call>;

Calls g_calls;
int g_checkAnswer = 1;

int RecordingHook(int code, int a, int b) {
  g_calls.emplace_back(code, a, b);
  return code == 2 ? g_checkAnswer : 12345;
}

class Progress : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_checkAnswer = 1;
    ProgressPos1 = ProgressPos2 = 0;
    VormSetProgressCallback(RecordingHook);
  }
  void TearDown() override { VormSetProgressCallback(nullptr); }
};

TEST_F(Progress, EntriesSendTheirCodesWithSwappedStartArguments) {
  VormProgressStart(10, 20);
  EXPECT_EQ(ProgressPos1, 0);
  VormProgressSetPos(7);
  EXPECT_EQ(ProgressPos1, 7);
  VormProgressSend5(4);
  VormProgressSend4();
  VormProgressSend6(6);
  VormProgressSend9(9);
  VormProgressSend10(10);
  VormProgressStart2(1, 2);
  EXPECT_EQ(ProgressPos2, 0);
  VormProgressSetPos2(5);
  EXPECT_EQ(ProgressPos2, 5);
  EXPECT_EQ(
      g_calls,
      (Calls{{3, 20, 10}, {1, 7, 0}, {5, 7, 4}, {4, 0, 0}, {6, 0, 6}, {9, 0, 9}, {10, 0, 10}, {7, 2, 1}, {8, 5, 0}}));
}

TEST_F(Progress, CheckAnswersFromTheHook) {
  const struct {
    int answer;
    BOOL expected;
  } cases[] = {{0, FALSE}, {1, TRUE}, {-1, TRUE}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    g_checkAnswer = cases[i].answer;
    EXPECT_EQ(VormProgressCheck(), cases[i].expected) << "case " << i;
    EXPECT_EQ(VormProgressCheck2(), cases[i].expected) << "case " << i;
  }
}

TEST_F(Progress, DisablerSilencesAllButChecksAndRestoresNested) {
  {
    VormProgressDisabler outer;
    EXPECT_FALSE(VormIsProgressEnabled());
    {
      VormProgressDisabler inner;
      VormProgressStart(1, 2);
      VormProgressSetPos(3);
      VormProgressSend4();
      EXPECT_TRUE(g_calls.empty());
      EXPECT_TRUE(VormProgressCheck());
      EXPECT_EQ(g_calls, (Calls{{2, 0, 0}}));
    }
    EXPECT_FALSE(VormIsProgressEnabled());  // the inner one found it off
  }
  EXPECT_TRUE(VormIsProgressEnabled());
  EXPECT_EQ(ProgressPos1, 0) << "a silenced SetPos must not move the meter";
}

TEST_F(Progress, RefreshSendsPositionCheckAndPositionAgain) {
  VormProgressSetPos2(4);
  g_calls.clear();
  g_checkAnswer = 0;
  EXPECT_FALSE(VormProgressRefresh2());
  EXPECT_EQ(g_calls, (Calls{{8, 4, 0}, {2, 0, 0}, {8, 4, 0}}));

  g_calls.clear();
  VormProgressDisabler off;
  g_checkAnswer = 3;
  EXPECT_TRUE(VormProgressRefresh2());
  EXPECT_EQ(g_calls, (Calls{{2, 0, 0}, {8, 4, 0}}));
}

TEST_F(Progress, EnableNeedsAHookAndNoNullHookIsCalled) {
  VormEnableProgress(false);  // with a hook, reporting goes off and on
  VormProgressSetPos(1);
  EXPECT_TRUE(g_calls.empty());
  VormEnableProgress(true);
  VormProgressSetPos(2);
  EXPECT_EQ(g_calls, (Calls{{1, 2, 0}}));
  g_calls.clear();
  VormSetProgressCallback(nullptr);
  EXPECT_FALSE(VormIsProgressEnabled());
  VormEnableProgress(true);
  EXPECT_FALSE(VormIsProgressEnabled());
  // Even a client that sets the exported flag itself must not get a null hook called.
  ProgressEnabled = true;
  VormProgressStart(1, 2);
  EXPECT_FALSE(VormProgressCheck());
  EXPECT_TRUE(g_calls.empty());
  ProgressEnabled = false;
}

}  // namespace
