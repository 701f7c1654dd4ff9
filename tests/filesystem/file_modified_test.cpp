#include <chrono>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <vorm/file_modified.h>
#include <vorm/platform/text.h>

#include "support/temp_tree.h"

namespace {

using vorm_test::TempTree;

// Sets a file's last-write time to `seconds` since 1970 plus `nanoseconds`: changes are
// made by moving the time, never by waiting for the clock.
void SetMtime(const std::filesystem::path& file, long long seconds, long nanoseconds = 0) {
  timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanoseconds}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

TEST(FileModified, ReportsFirstSightAndEachChangeOnce) {
  TempTree tree;
  tree.Make({"f.txt"});
  auto file = tree.root() / "f.txt";
  VormPath path(tree.wpath("f.txt").c_str());
  SetMtime(file, 1600000000);

  EXPECT_TRUE(VormFileModifiedManager::IsModified(path));
  EXPECT_FALSE(VormFileModifiedManager::IsModified(path));
  SetMtime(file, 1600000100);
  EXPECT_TRUE(VormFileModifiedManager::IsModified(path));
  EXPECT_FALSE(VormFileModifiedManager::IsModified(path));
  // Within the same second: not told apart.
  SetMtime(file, 1600000100, 500000000);
  EXPECT_FALSE(VormFileModifiedManager::IsModified(path));
  // A change of size alone is not reported.
  tree.WriteFile("f.txt", "longer content");
  SetMtime(file, 1600000100);
  EXPECT_FALSE(VormFileModifiedManager::IsModified(path));
}

TEST(FileModified, MissingFileIsModifiedOnEveryCallUntilItExists) {
  TempTree tree;
  VormPath path(tree.wpath("late.txt").c_str());
  EXPECT_TRUE(VormFileModifiedManager::IsModified(path));
  EXPECT_TRUE(VormFileModifiedManager::IsModified(path));
  tree.Make({"late.txt"});
  EXPECT_TRUE(VormFileModifiedManager::IsModified(path));  // first real sight
  EXPECT_FALSE(VormFileModifiedManager::IsModified(path));
  std::filesystem::remove(tree.root() / "late.txt");
  EXPECT_TRUE(VormFileModifiedManager::IsModified(path));
}

TEST(FileModified, SpellingsOfOneFileShareAnEntryAndCaseCounts) {
  TempTree tree;
  tree.Make({"d/a.txt", "d/A.txt"});
  SetMtime(tree.root() / "d/a.txt", 1600000000);
  SetMtime(tree.root() / "d/A.txt", 1600000000);
  std::wstring root = tree.wroot();

  EXPECT_TRUE(VormFileModifiedManager::IsModified(VormPath((root + L"d/a.txt").c_str())));
  // The same file written with backslashes, doubled separators and a "..".
  std::wstring other = root + L"d\\\\x\\..\\a.txt";
  EXPECT_FALSE(VormFileModifiedManager::IsModified(VormPath(other.c_str())));
  // A different file whose name differs only in case is a file of its own here.
  EXPECT_TRUE(VormFileModifiedManager::IsModified(VormPath((root + L"d/A.txt").c_str())));
  EXPECT_FALSE(VormFileModifiedManager::IsModified(VormPath((root + L"d/a.txt").c_str())));

  // A relative name finds the absolute one's entry.
  std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(tree.root());
  bool relative = VormFileModifiedManager::IsModified(VormPath(L"d/a.txt"));
  std::filesystem::current_path(saved);
  EXPECT_FALSE(relative);
}

TEST(FileModifiedStatus, AssignmentAndComparisonLeaveOutAccessTimeAndAttribute) {
  VormFileModifiedStatus a;
  EXPECT_EQ(a.m_mtime.GetTime(), 0);
  wcscpy(a.m_szFullName, L"/d/f.txt");
  a.m_ctime = CTime(10);
  a.m_mtime = CTime(20);
  a.m_atime = CTime(30);
  a.m_size = 40;
  a.m_attribute = CFile::archive;
  VormFileModifiedStatus b;
  b.m_atime = CTime(99);
  b.m_attribute = CFile::readOnly;
  b = a;
  EXPECT_STREQ(b.m_szFullName, L"/d/f.txt");
  EXPECT_EQ(b.m_atime.GetTime(), 99);
  EXPECT_EQ(b.m_attribute, CFile::readOnly);
  EXPECT_TRUE(a == b);  // name, both times and size were copied

  // Each compared field on its own makes the statuses differ.
  for (int field = 0; field < 4; ++field) {
    VormFileModifiedStatus c(a);
    if (field == 0) wcscpy(c.m_szFullName, L"/d/F.txt");
    if (field == 1) c.m_ctime = CTime(11);
    if (field == 2) c.m_mtime = CTime(21);
    if (field == 3) c.m_size = 41;
    EXPECT_TRUE(a != c) << "field " << field;
  }
}

}  // namespace
