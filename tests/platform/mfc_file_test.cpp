#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/mfc_file.h>
#include <vorm/platform/text.h>
#include <vorm/platform/time.h>

#include "support/temp_tree.h"

namespace {

using vorm_test::TempTree;

// Opens through CStdioFile and returns the failure's cause and code (none/0 on success).
std::pair<int, LONG> OpenFailure(const std::wstring& path, UINT flags) {
  CStdioFile f;
  CFileException e;
  SetLastError(vorm_test::kErrorSentinel);
  if (f.Open(path.c_str(), flags, &e)) return {CFileException::none, 0};
  EXPECT_EQ(e.m_strFileName, CString(path.c_str()));
  EXPECT_EQ(static_cast<DWORD>(e.m_lOsError), GetLastError());
  return {e.m_cause, e.m_lOsError};
}

TEST(StdioFile, WritesUtf8AndReadsItBack) {
  TempTree tree;
  const std::wstring path = tree.wpath("t.txt");
  {
    CStdioFile f(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeText);
    f.WriteString(L"Stra\u00DFe \u20AC\n");
    f.WriteString(L"\U0001F600 end");
  }
  EXPECT_EQ(tree.ReadFile("t.txt"),
            "Stra\xC3\x9F"
            "e \xE2\x82\xAC\n\xF0\x9F\x98\x80 end");
  tree.WriteFile("t.txt", "ab\r\nc\xFF\xE2\x82z\n\r\nlast\r");
  CStdioFile f(path.c_str(), CFile::modeRead | CFile::typeText);
  CString line;
  for (const wchar_t* expected : {L"ab", L"c\xDCFF\xDCE2\xDC82z", L"", L"last\r"}) {
    ASSERT_TRUE(f.ReadString(line)) << VormToUtf8(expected);
    EXPECT_EQ(line, expected);
  }
  EXPECT_FALSE(f.ReadString(line));

  // The buffer form keeps the "\n" and continues a long line at the next call.
  f.SeekToBegin();
  wchar_t buf[3];
  ASSERT_NE(f.ReadString(buf, 3), nullptr);
  EXPECT_STREQ(buf, L"ab");
  ASSERT_NE(f.ReadString(buf, 3), nullptr);
  EXPECT_STREQ(buf, L"\n");
  EXPECT_EQ(f.ReadString(buf, 1), nullptr);
}

TEST(StdioFile, CreateTruncatesNoTruncateAppends) {
  TempTree tree;
  tree.WriteFile("t.txt", "old\n");
  const std::wstring path = tree.wpath("t.txt");
  {
    CStdioFile f(path.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite);
    f.SeekToBegin();  // the stream appends whatever the position
    f.WriteString(L"new\n");
  }
  EXPECT_EQ(tree.ReadFile("t.txt"), "old\nnew\n");
  { CStdioFile f(path.c_str(), CFile::modeCreate | CFile::modeReadWrite); }
  EXPECT_EQ(tree.ReadFile("t.txt"), "");
}

TEST(StdioFile, OpenFailuresCarryCauseCodeAndName) {
  TempTree tree;
  tree.Make({"dir/", "file.txt", "ro.txt"});
  std::filesystem::permissions(tree.root() / "ro.txt", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  const UINT create = CFile::modeCreate | CFile::modeWrite;
  const struct {
    std::wstring path;
    UINT flags;
    int cause;
    DWORD code;
  } cases[] = {
      {tree.wpath("missing.txt"), CFile::modeRead, CFileException::fileNotFound, ERROR_FILE_NOT_FOUND},
      {tree.wpath("no/such.txt"), create, CFileException::badPath, ERROR_PATH_NOT_FOUND},
      {tree.wpath("file.txt/x.txt"), create, CFileException::badPath, ERROR_PATH_NOT_FOUND},
      {tree.wpath("dir"), CFile::modeRead, CFileException::accessDenied, ERROR_ACCESS_DENIED},
      {tree.wpath("ro.txt"), CFile::modeWrite, CFileException::accessDenied, ERROR_ACCESS_DENIED},
      {tree.wpath("ro.txt"), CFile::modeCreate | CFile::modeRead, CFileException::accessDenied, ERROR_ACCESS_DENIED},
      {tree.wpath("file.txt"), CFile::modeWrite | CFile::modeReadWrite, CFileException::genericException,
       ERROR_INVALID_PARAMETER},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(OpenFailure(cases[i].path, cases[i].flags),
              std::make_pair(cases[i].cause, static_cast<LONG>(cases[i].code)))
        << "case " << i;
  }
  EXPECT_EQ(tree.ReadFile("ro.txt"), "ro.txt") << "a refused open must not truncate";
}

TEST(StdioFile, SharingFollowsThePlatformModes) {
  TempTree tree;
  tree.Make({"f.txt"});
  const std::wstring path = tree.wpath("f.txt");
  const UINT rw = CFile::modeReadWrite;
  {
    CStdioFile first(path.c_str(), rw | CFile::shareExclusive);
    EXPECT_EQ(OpenFailure(path, CFile::modeRead | CFile::shareDenyNone).second,
              static_cast<LONG>(ERROR_SHARING_VIOLATION));
    // An exclusive open that fails must not empty the file of the one that holds it.
    EXPECT_EQ(OpenFailure(path, CFile::modeCreate | rw).first, CFileException::sharingViolation);
  }
  EXPECT_EQ(tree.ReadFile("f.txt"), "f.txt");
  CStdioFile a(path.c_str(), CFile::modeRead | CFile::shareDenyNone);
  EXPECT_EQ(OpenFailure(path, CFile::modeRead | CFile::shareDenyWrite).first, CFileException::none);
  EXPECT_EQ(OpenFailure(path, CFile::modeRead | CFile::shareCompat).first, CFileException::sharingViolation);
}

TEST(StdioFile, ThrowingConstructorAndClosedFile) {
  TempTree tree;
  try {
    CStdioFile f(tree.wpath("missing.txt").c_str(), CFile::modeRead);
    ADD_FAILURE() << "no exception";
  } catch (CFileException* e) {
    EXPECT_EQ(e->m_cause, CFileException::fileNotFound);
    wchar_t text[200];
    EXPECT_TRUE(e->GetErrorMessage(text, 200));
    EXPECT_NE(std::wstring(text).find(L"missing.txt"), std::wstring::npos);
    e->Delete();
  }
  CStdioFile closed;
  try {
    closed.WriteString(L"x");
    ADD_FAILURE() << "writing to a file that is not open must fail, not crash";
  } catch (CFileException* e) {
    e->Delete();
  }
}

TEST(FileStatus, ReportsFullNameTimesAndSize) {
  TempTree tree;
  tree.Make({"sub/"});
  tree.WriteFile("sub/f.txt", "12345");
  const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(30);
  std::filesystem::last_write_time(tree.root() / "sub/f.txt", when);
  std::wstring root = tree.wroot();
  root.pop_back();

  CFileStatus s;
  ASSERT_TRUE(CFile::GetStatus((root + L"//sub/./x/..\\f.txt").c_str(), s));
  EXPECT_STREQ(s.m_szFullName, (root + L"/sub/f.txt").c_str());
  EXPECT_EQ(s.m_size, 5u);
  using std::chrono::seconds;
  EXPECT_EQ(s.m_mtime.GetTime(),
            std::chrono::duration_cast<seconds>(std::chrono::file_clock::to_sys(when).time_since_epoch()).count());
  ASSERT_TRUE(CFile::GetStatus((root + L"/sub/").c_str(), s));
  EXPECT_STREQ(s.m_szFullName, (root + L"/sub").c_str());
  EXPECT_NE(s.m_attribute & CFile::directory, 0);

  // Missing, empty and overlong names fail and clear the name.
  for (const std::wstring& name : {tree.wpath("missing.txt"), std::wstring(), std::wstring(MAX_PATH, L'a')}) {
    s.m_szFullName[0] = L'x';
    EXPECT_FALSE(CFile::GetStatus(name.c_str(), s)) << name.size();
    EXPECT_EQ(s.m_szFullName[0], L'\0') << name.size();
  }
}

TEST(Time, FormatsLikeThePlatform) {
  const struct {
    __time64_t t;
    const wchar_t *format, *expected;
  } cases[] = {
      {0, L"%Y-%m-%d %H:%M:%S", L"1970-01-01 00:00:00"},
      {951782400, L"%#m/%#d/%Y %%", L"2/29/2000 %"},
      {951782400, L"%A %B %j %#j", L"Tuesday February 060 60"},
      {0, L"%q %", L"%q %"},
      {-1, L"%Y", L""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(CTime(cases[i].t).FormatGmt(cases[i].format), cases[i].expected) << "case " << i;
  }
  FILETIME ft{0xD53E8000u, 0x019DB1DEu};  // 1970-01-01 00:00:00 as 100-ns since 1601
  EXPECT_EQ(CTime(ft).GetTime(), 0);
}

TEST(Time, CtimeTextAndErrors) {
  __time64_t t = 0;
  wchar_t buf[26];
  ASSERT_EQ(_wctime64_s(buf, 26, &t), 0);
  const std::wstring text(buf);
  ASSERT_EQ(text.size(), 25u);
  EXPECT_EQ(text[24], L'\n');
  EXPECT_NE(text.find(L"19"), std::wstring::npos);  // 1969 or 1970 depending on the zone

  EXPECT_EQ(_wctime64_s(buf, 25, &t), ERANGE);
  EXPECT_EQ(buf[0], L'\0');
  __time64_t negative = -1;
  EXPECT_EQ(_wctime64_s(buf, 26, &negative), EINVAL);
  struct tm tm;
  EXPECT_EQ(_localtime64_s(&tm, &negative), EINVAL);
  EXPECT_EQ(tm.tm_year, -1);
}

}  // namespace
