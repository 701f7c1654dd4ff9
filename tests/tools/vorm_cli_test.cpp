#include <cstdio>
#include <sys/wait.h>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_tree.h"

namespace {

// Runs the CLI through the shell; returns its exit status and standard output.
int RunCli(const std::string& args, std::string& out) {
  out.clear();
  FILE* pipe = popen((std::string(VORM_CLI_PATH) + " " + args + " 2>/dev/null").c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(VormCli, CommandsAndFailures) {
  const struct {
    std::string args;
    int status;
    std::string out;
  } cases[] = {
      // Arguments and output are paths as the OS spells them: '\\' and ':' belong to names.
      {"path canonical 'C:/a//b\\\\'", 0, "C:/a/b\\\\\n"},
      {"path relative /tmp/a/f.txt /tmp/x/", 0, "../a/f.txt\n"},
      {"path relative 'C:\\a' 'D:\\b'", 1, ""},
      {"points sorted 5,1-3,2,10-8", 0, "1-3,5,8-10\n"},
      {"points count 1-5,7", 0, "6\n"},
      {"points count 1,x", 1, ""},
      {"unknown", 2, ""},
  };
  std::string out;
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(RunCli(cases[i].args, out), cases[i].status) << i;
    EXPECT_EQ(out, cases[i].out) << i;
  }
}

TEST(VormCli, TreeCommandsWalkCopyAndDelete) {
  vorm_test::TempTree tree;
  const std::string root = tree.root().string();
  std::string out;
  ASSERT_EQ(RunCli("tree mkdir " + root + "/a/b", out), 0);
  tree.WriteFile("a/b/f.txt", "x");
  ASSERT_EQ(RunCli("tree copy " + root + "/a " + root + "/z", out), 0);
  EXPECT_EQ(tree.ReadFile("z/b/f.txt"), "x");
  EXPECT_EQ(RunCli("tree copy " + root + "/a " + root + "/z --no-overwrite", out), 1);
  ASSERT_EQ(RunCli("walk --dfs --files " + root, out), 0);
  EXPECT_EQ(out, root + "/a/b/f.txt\n" + root + "/z/b/f.txt\n");
  ASSERT_EQ(RunCli("tree delete " + root + "/z", out), 0);
  ASSERT_EQ(RunCli("walk " + root, out), 0);
  EXPECT_EQ(out, root + "\n" + root + "/a\n" + root + "/a/b\n");
}

TEST(VormCli, WalkPrintsNamesAsTheOsSpellsThem) {
  vorm_test::TempTree tree;
  const std::string root = tree.root().string();
  tree.Make({"odd/", "odd/back\\slash.txt", "odd/say \"hi\"/", "odd/a:b*?.txt"});
  std::string out;
  ASSERT_EQ(RunCli("walk --files --filter 0 '" + root + "/odd'", out), 0);
  EXPECT_EQ(out, root + "/odd/a:b*?.txt\n" + root + "/odd/back\\slash.txt\n" + root + "/odd/say \"hi\"\n");
  // Printed paths can be fed back: the folder with quotes in its name is walked as such.
  ASSERT_EQ(RunCli("walk '" + root + "/odd/say \"hi\"'", out), 0);
  EXPECT_EQ(out, root + "/odd/say \"hi\"\n");
}

}  // namespace
