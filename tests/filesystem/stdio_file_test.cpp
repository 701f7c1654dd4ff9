#include <ctime>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/platform/text.h>
#include <vorm/platform/time.h>
#include <vorm/stdio_file.h>

#include "support/temp_tree.h"

namespace {

using vorm_test::TempTree;

// Runs `make` and returns the CFileException it throws (cause, code), failing when none.
template <class F>
std::pair<int, LONG> Thrown(F make) {
  try {
    make();
  } catch (CFileException* e) {
    std::pair<int, LONG> r{e->m_cause, e->m_lOsError};
    e->Delete();
    return r;
  }
  ADD_FAILURE() << "no CFileException";
  return {CFileException::none, 0};
}

TEST(ReportFile, HeaderNamesThePathAndTheOpeningTime) {
  TempTree tree;
  const std::wstring path = tree.wpath("new/sub/report.txt");  // folders created on the way
  {
    VormStdioFile f(VormPath(path.c_str()), FALSE, TRUE, TRUE);
    EXPECT_TRUE(f.IsOpened());
  }
  const std::string text = tree.ReadFile("new/sub/report.txt");
  const std::string first = "File Report - " + VormToUtf8(path) + "\n";
  ASSERT_EQ(text.substr(0, first.size()), first);
  const std::string rest = text.substr(first.size());
  EXPECT_TRUE(
      std::regex_match(rest, std::regex("Opened:  [A-Z][a-z]{2} [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\n\n")))
      << rest;
}

TEST(ReportFile, TimestampGoesIntoTheTitle) {
  TempTree tree;
  const long long before = std::time(nullptr);
  { VormStdioFile f(VormPath(tree.wpath("logs/run.txt").c_str()), TRUE, TRUE, FALSE); }
  const long long after = std::time(nullptr);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(tree.root() / "logs")) names.push_back(e.path().filename());
  ASSERT_EQ(names.size(), 1u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(names[0], m, std::regex("run - (-?\\d+)\\.txt"))) << names[0];
  EXPECT_GE(std::stoll(m[1]), before);
  EXPECT_LE(std::stoll(m[1]), after);
  EXPECT_EQ(tree.ReadFile("logs/" + names[0]), "") << "no header asked for";
}

TEST(ReportFile, OverwriteEmptiesOtherwiseAppendsAndAnEmptyPathOpensNothing) {
  TempTree tree;
  tree.WriteFile("r.txt", "kept\n");
  const VormPath path(tree.wpath("r.txt").c_str());
  {
    VormStdioFile f(path, FALSE, FALSE, FALSE);
    f.WriteString(L"added\n");
  }
  EXPECT_EQ(tree.ReadFile("r.txt"), "kept\nadded\n");
  { VormStdioFile f(path, FALSE, TRUE, FALSE); }
  EXPECT_EQ(tree.ReadFile("r.txt"), "");
  VormStdioFile none(VormPath(L""), TRUE, TRUE, TRUE);
  EXPECT_FALSE(none.IsOpened());
  EXPECT_FALSE(none.IsOpen());
}

TEST(ReportFile, FailuresThrowCauseAndCode) {
  TempTree tree;
  tree.Make({"plain.txt"});
  const VormPath underFile(tree.wpath("plain.txt/sub/r.txt").c_str());
  EXPECT_EQ(Thrown([&] { VormStdioFile f(underFile, FALSE, TRUE, TRUE); }),
            std::make_pair(int{CFileException::badPath}, static_cast<LONG>(ERROR_PATH_NOT_FOUND)));
  const VormPath held(tree.wpath("held.txt").c_str());
  VormStdioFile first(held, FALSE, TRUE, FALSE);
  first.WriteString(L"mine\n");
  first.Flush();
  EXPECT_EQ(Thrown([&] { VormStdioFile second(held, FALSE, TRUE, FALSE); }),
            std::make_pair(int{CFileException::sharingViolation}, static_cast<LONG>(ERROR_SHARING_VIOLATION)));
  EXPECT_EQ(tree.ReadFile("held.txt"), "mine\n");
}

}  // namespace
