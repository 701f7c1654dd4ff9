#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>

#include "support/temp_tree.h"

namespace {

using vorm_test::kErrorSentinel;
using vorm_test::TempTree;
namespace fs = std::filesystem;

// Every name a search yields, or the error it stopped with first.
struct Listing {
  std::vector<std::wstring> names;
  DWORD firstError = 0;  // when FindFirstFileExW failed
  DWORD endError = 0;    // from the FindNextFileW that ended the walk
};

Listing List(const std::wstring& pattern, DWORD flags = 0) {
  Listing out;
  WIN32_FIND_DATAW data;
  SetLastError(kErrorSentinel);
  HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &data, FindExSearchNameMatch, nullptr, flags);
  if (h == INVALID_HANDLE_VALUE) {
    out.firstError = GetLastError();
    return out;
  }
  do {
    out.names.push_back(data.cFileName);
    SetLastError(kErrorSentinel);
  } while (FindNextFileW(h, &data));
  out.endError = GetLastError();
  EXPECT_TRUE(FindClose(h));
  return out;
}

std::wstring Joined(const std::vector<std::wstring>& names) {
  std::wstring s;
  for (const auto& n : names) s += (s.empty() ? L"" : L"|") + n;
  return s;
}

class FilesTest : public ::testing::Test {
 protected:
  TempTree tree;
  std::wstring P(const std::string& rel) const { return tree.wpath(rel); }
};

TEST_F(FilesTest, ListingOrderAndWildcards) {
  tree.Make({"b.txt", "A.TXT", "c", "README", "a.b.c", ".hidden", "dir/", "x.tar.gz", "Zeta.Txt", "_under"});
  struct Case {
    const wchar_t* pattern;
    const wchar_t* expected;  // names joined by '|'
  } cases[] = {
      {L"*", L".|..|.hidden|a.b.c|A.TXT|b.txt|c|dir|README|x.tar.gz|Zeta.Txt|_under"},
      {L"*.*", L".|..|.hidden|a.b.c|A.TXT|b.txt|c|dir|README|x.tar.gz|Zeta.Txt|_under"},
      {L"*.txt", L"A.TXT|b.txt|Zeta.Txt"},
      {L"*.TXT", L"A.TXT|b.txt|Zeta.Txt"},
      {L"?.txt", L"A.TXT|b.txt"},
      {L"??.txt", L""},
      {L"*.", L".|..|c|dir|README|_under"},
      {L"a*", L"a.b.c|A.TXT"},
      {L"*.b*", L"a.b.c"},
      {L"x.tar.*", L"x.tar.gz"},
      {L"c.*", L"c"},
      {L"readme", L"README"},
      {L"b.txt", L"b.txt"},
      {L"DIR", L"dir"},
      {L"*z", L"x.tar.gz"},
      {L"*e*t*", L"Zeta.Txt"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Listing l = List(tree.wroot() + cases[i].pattern);
    if (*cases[i].expected == L'\0') {
      EXPECT_EQ(l.firstError, ERROR_FILE_NOT_FOUND) << "case " << i;
      continue;
    }
    EXPECT_EQ(l.firstError, 0u) << "case " << i;
    EXPECT_EQ(Joined(l.names), cases[i].expected) << "case " << i;
    EXPECT_EQ(l.endError, ERROR_NO_MORE_FILES) << "case " << i;
  }
}

TEST_F(FilesTest, WildcardMatchTable) {
  struct Case {
    const wchar_t* pattern;
    const wchar_t* name;
    bool match;
  } cases[] = {
      {L"*", L"", true},          {L"*", L"a.b", true},       {L"*.*", L"noext", true},
      {L"?", L"", false},         {L"?", L"\u00e9", true},    {L"a?c", L"ac", false},
      {L"*.", L"a.b", false},     {L"*.", L"ab", true},       {L"abc.*", L"abc", true},
      {L"abc.*", L"abcd", false}, {L"*.txt", L"a.txt.bak", false}, {L"\u00e9*", L"\u00c9T\u00c9", true},
      {L"*a*a*a*a*b", L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
      {L"[a]", L"[A]", true},     {L"*.b*", L"x.bz", true},   {L"a.b", L"a.b.", false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(VormWildcardMatch(cases[i].pattern, cases[i].name), cases[i].match) << "case " << i;
  }
  EXPECT_FALSE(VormWildcardMatch(nullptr, L"a"));
  EXPECT_FALSE(VormWildcardMatch(L"a", nullptr));
}

TEST_F(FilesTest, CaseSensitiveFlagAndBackslashes) {
  tree.Make({"a.txt", "B.TXT", "sub/inner.txt"});
  EXPECT_EQ(Joined(List(tree.wroot() + L"*.txt", FIND_FIRST_EX_CASE_SENSITIVE).names), L"a.txt");
  std::wstring back = P("sub") + L"\\*";
  EXPECT_EQ(Joined(List(back).names), L".|..|inner.txt");
}

TEST_F(FilesTest, RootListsNoDotEntries) {
  Listing l = List(L"/*");
  ASSERT_EQ(l.firstError, 0u);
  for (const auto& n : l.names) EXPECT_TRUE(n != L"." && n != L"..") << "root lists " << n.size();
  EXPECT_FALSE(l.names.empty());
}

TEST_F(FilesTest, SearchErrors) {
  tree.Make({"dir/", "f.txt"});
  struct Case {
    std::wstring pattern;
    DWORD error;
  } cases[] = {
      {P("missing") + L"/*", ERROR_PATH_NOT_FOUND},
      {P("f.txt") + L"/*", ERROR_PATH_NOT_FOUND},
      {L"C:/x/file.txt", ERROR_PATH_NOT_FOUND},
      {L"c:\\*", ERROR_PATH_NOT_FOUND},
      {P("dir") + L"/", ERROR_FILE_NOT_FOUND},
      {P("dir") + L"/*.none", ERROR_FILE_NOT_FOUND},
      {P("nothing"), ERROR_FILE_NOT_FOUND},
      {L"", ERROR_PATH_NOT_FOUND},
      {P(std::string(4096, 'x')), ERROR_FILE_NOT_FOUND},
      {P(std::string(4096, 'x') + "/*"), ERROR_FILENAME_EXCED_RANGE},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Listing l = List(cases[i].pattern);
    EXPECT_EQ(l.firstError, cases[i].error) << "case " << i;
  }
  WIN32_FIND_DATAW data;
  SetLastError(kErrorSentinel);
  EXPECT_EQ(FindFirstFileExW(P("*").c_str(), FindExInfoStandard, &data, FindExSearchLimitToDevices, nullptr, 0),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(kErrorSentinel);
  EXPECT_EQ(FindFirstFileW(nullptr, &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FilesTest, NoWildcardFindsTheEntryItself) {
  tree.Make({"dir/inner.txt"});
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileExW(P("dir").c_str(), FindExInfoStandard, &data, FindExSearchLimitToDirectories, nullptr, 0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, L"dir");
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  SetLastError(kErrorSentinel);
  EXPECT_FALSE(FindNextFileW(h, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(h));
}

TEST_F(FilesTest, HandleKindsAndBadHandles) {
  tree.Make({"f.txt"});
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(P("*").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  HANDLE file = CreateFileW(P("f.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);

  SetLastError(kErrorSentinel);
  EXPECT_FALSE(CloseHandle(find));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  SetLastError(kErrorSentinel);
  EXPECT_FALSE(FindClose(file));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  SetLastError(kErrorSentinel);
  EXPECT_FALSE(FindNextFileW(file, &data));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(FindClose(find));
  EXPECT_TRUE(CloseHandle(file));

  char buf[4];
  DWORD n = 7;
  HANDLE bad[] = {nullptr, INVALID_HANDLE_VALUE, find, file, reinterpret_cast<HANDLE>(0x12345)};
  for (std::size_t i = 0; i < std::size(bad); ++i) {
    SetLastError(kErrorSentinel);
    EXPECT_FALSE(CloseHandle(bad[i])) << "case " << i;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << "case " << i;
    SetLastError(kErrorSentinel);
    EXPECT_FALSE(FindClose(bad[i])) << "case " << i;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << "case " << i;
    SetLastError(kErrorSentinel);
    EXPECT_FALSE(ReadFile(bad[i], buf, sizeof(buf), &n, nullptr)) << "case " << i;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << "case " << i;
    EXPECT_EQ(n, 0u) << "case " << i;
    SetLastError(kErrorSentinel);
    EXPECT_EQ(GetFileSize(bad[i], nullptr), INVALID_FILE_SIZE) << "case " << i;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << "case " << i;
    SetLastError(kErrorSentinel);
    EXPECT_FALSE(GetFileTime(bad[i], nullptr, nullptr, nullptr)) << "case " << i;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << "case " << i;
  }
}

TEST_F(FilesTest, Attributes) {
  tree.Make({"file.txt", ".hidden", "ro.txt", "dir/", "rodir/"});
  chmod(tree.root().c_str(), 0755);
  chmod((tree.root() / "ro.txt").c_str(), 0444);
  chmod((tree.root() / "rodir").c_str(), 0555);
  fs::create_directory_symlink(tree.root() / "dir", tree.root() / "linkdir");
  fs::create_symlink(tree.root() / "ro.txt", tree.root() / "linkfile");
  fs::create_symlink(tree.root() / "gone", tree.root() / "dangling");
  struct Case {
    const char* name;
    DWORD attributes;
  } cases[] = {
      {"file.txt", FILE_ATTRIBUTE_ARCHIVE},
      {".hidden", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN},
      {"ro.txt", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
      {"dir", FILE_ATTRIBUTE_DIRECTORY},
      {"rodir", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY},
      {"linkdir", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},
      {"linkfile", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
      {"dangling", FILE_ATTRIBUTE_REPARSE_POINT},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SetLastError(kErrorSentinel);
    EXPECT_EQ(GetFileAttributesW(P(cases[i].name).c_str()), cases[i].attributes) << "case " << i;
    // The listing reports the same attributes.
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(P(cases[i].name).c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "case " << i;
    EXPECT_EQ(data.dwFileAttributes, cases[i].attributes) << "case " << i;
    EXPECT_EQ(data.dwReserved0, (cases[i].attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? IO_REPARSE_TAG_SYMLINK : 0u)
        << "case " << i;
    FindClose(h);
  }
  std::wstring backslashed = P("dir");
  for (wchar_t& c : backslashed) c = c == L'/' ? L'\\' : c;
  EXPECT_EQ(GetFileAttributesW(backslashed.c_str()), FILE_ATTRIBUTE_DIRECTORY);
  // "." and ".." carry the folder's attributes and are not hidden.
  Listing l = List(P("dir") + L"/.*");
  EXPECT_EQ(Joined(l.names), L".|..");
}

TEST_F(FilesTest, AttributeErrors) {
  tree.Make({"f.txt"});
  struct Case {
    std::wstring path;
    DWORD error;
  } cases[] = {
      {P("missing"), ERROR_FILE_NOT_FOUND},
      {P("missing/x"), ERROR_PATH_NOT_FOUND},
      {P("f.txt/x"), ERROR_PATH_NOT_FOUND},
      {L"C:\\Windows", ERROR_PATH_NOT_FOUND},
      {L"", ERROR_PATH_NOT_FOUND},
      {P(std::string(4096, 'y')), ERROR_FILENAME_EXCED_RANGE},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SetLastError(kErrorSentinel);
    EXPECT_EQ(GetFileAttributesW(cases[i].path.c_str()), INVALID_FILE_ATTRIBUTES) << "case " << i;
    EXPECT_EQ(GetLastError(), cases[i].error) << "case " << i;
    WIN32_FILE_ATTRIBUTE_DATA data;
    SetLastError(kErrorSentinel);
    EXPECT_FALSE(GetFileAttributesExW(cases[i].path.c_str(), GetFileExInfoStandard, &data)) << "case " << i;
    EXPECT_EQ(GetLastError(), cases[i].error) << "case " << i;
  }
  SetLastError(kErrorSentinel);
  EXPECT_EQ(GetFileAttributesW(nullptr), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  WIN32_FILE_ATTRIBUTE_DATA data;
  SetLastError(kErrorSentinel);
  EXPECT_FALSE(GetFileAttributesExW(P("f.txt").c_str(), GetFileExMaxInfoLevel, &data));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

ULONGLONG Ticks(const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

TEST_F(FilesTest, AttributeDataMatchesStat) {
  tree.WriteFile("data.bin", "12345");
  tree.Make({"dir/"});
  struct stat st;
  ASSERT_EQ(stat((tree.root() / "data.bin").c_str(), &st), 0);
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(P("data.bin").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(Ticks(data.ftLastWriteTime), Ticks(VormFileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec)));
  EXPECT_LE(Ticks(data.ftCreationTime), Ticks(data.ftLastWriteTime));
  ASSERT_TRUE(GetFileAttributesExW(P("dir").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(data.nFileSizeLow, 0u);

  EXPECT_EQ(Ticks(VormFileTimeFromUnix(0, 0)), 116444736000000000ULL);
  EXPECT_EQ(Ticks(VormFileTimeFromUnix(1, 999999999)), 116444736000000000ULL + 19999999ULL);
  EXPECT_EQ(Ticks(VormFileTimeFromUnix(-20000000000LL, 0)), 0u);
}

TEST_F(FilesTest, CreateFileDispositions) {
  struct Case {
    DWORD disposition;
    DWORD access;
    bool exists;
    bool ok;
    DWORD error;          // last error after the call
    const char* content;  // afterwards; null when the file must not exist
  } cases[] = {
      {CREATE_NEW, GENERIC_WRITE, false, true, ERROR_SUCCESS, ""},
      {CREATE_NEW, GENERIC_WRITE, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, GENERIC_WRITE, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, GENERIC_WRITE, true, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, GENERIC_READ, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, GENERIC_READ, true, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, GENERIC_READ, false, true, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, GENERIC_READ, true, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, GENERIC_WRITE, true, true, ERROR_SUCCESS, ""},
      {TRUNCATE_EXISTING, GENERIC_WRITE, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, GENERIC_READ, true, false, ERROR_INVALID_PARAMETER, "old"},
      {0, GENERIC_READ, true, false, ERROR_INVALID_PARAMETER, "old"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    std::string name = "f" + std::to_string(i);
    if (cases[i].exists) tree.WriteFile(name, "old");
    SetLastError(kErrorSentinel);
    HANDLE h = CreateFileW(P(name).c_str(), cases[i].access, FILE_SHARE_READ, nullptr, cases[i].disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(GetLastError(), cases[i].error) << "case " << i;
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, cases[i].ok) << "case " << i;
    if (h != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(h)) << "case " << i;
    }
    bool present = fs::exists(tree.root() / name);
    EXPECT_EQ(present, cases[i].content != nullptr) << "case " << i;
    if (present && cases[i].content) {
      EXPECT_EQ(tree.ReadFile(name), cases[i].content) << "case " << i;
    }
  }
  SetLastError(kErrorSentinel);
  EXPECT_EQ(CreateFileW(P("no/such/f").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  SetLastError(kErrorSentinel);
  EXPECT_EQ(CreateFileW(L"C:\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FilesTest, FoldersAndReadOnlyFiles) {
  tree.Make({"dir/", "ro.txt"});
  chmod((tree.root() / "ro.txt").c_str(), 0444);
  SetLastError(kErrorSentinel);
  EXPECT_EQ(CreateFileW(P("dir").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  HANDLE dir = CreateFileW(P("dir").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(dir, INVALID_HANDLE_VALUE);
  FILETIME write{};
  EXPECT_TRUE(GetFileTime(dir, nullptr, nullptr, &write));
  EXPECT_NE(Ticks(write), 0u);
  char b;
  DWORD n;
  SetLastError(kErrorSentinel);
  EXPECT_FALSE(ReadFile(dir, &b, 1, &n, nullptr));
  EXPECT_NE(GetLastError(), kErrorSentinel);
  EXPECT_TRUE(CloseHandle(dir));

  // The read-only attribute refuses writing even to a privileged process.
  for (DWORD disposition : {OPEN_EXISTING, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
    SetLastError(kErrorSentinel);
    EXPECT_EQ(CreateFileW(P("ro.txt").c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr), INVALID_HANDLE_VALUE)
        << disposition;
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << disposition;
  }
  EXPECT_EQ(tree.ReadFile("ro.txt"), "ro.txt");

  // A FIFO opens without waiting for a writer and reads as empty.
  ASSERT_EQ(mkfifo((tree.root() / "fifo").c_str(), 0644), 0);
  EXPECT_EQ(GetFileAttributesW(P("fifo").c_str()), FILE_ATTRIBUTE_NORMAL);
  HANDLE fifo = CreateFileW(P("fifo").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(fifo, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(ReadFile(fifo, &b, 1, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(CloseHandle(fifo));

  HANDLE created = CreateFileW(P("new_ro").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(created));
  EXPECT_EQ(GetFileAttributesW(P("new_ro").c_str()), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
}

TEST_F(FilesTest, ReadWriteSeekSize) {
  HANDLE h = CreateFileW(P("io.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  SetLastError(kErrorSentinel);
  ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

  DWORD high = 7;
  EXPECT_EQ(GetFileSize(h, &high), 11u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "world");
  ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &n, nullptr));  // at the end: success, nothing read
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_END), 6u);
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 5u);

  SetLastError(kErrorSentinel);
  EXPECT_EQ(SetFilePointer(h, -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  SetLastError(kErrorSentinel);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, 9), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // 64-bit positions through the high word.
  LONG hi = 1;
  SetLastError(kErrorSentinel);
  EXPECT_EQ(SetFilePointer(h, 2, &hi, FILE_BEGIN), 2u);
  EXPECT_EQ(hi, 1);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  hi = 0;
  EXPECT_EQ(SetFilePointer(h, 0, &hi, FILE_CURRENT), 2u);
  EXPECT_EQ(hi, 1);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(tree.ReadFile("io.bin"), "hello world");

  HANDLE ro = CreateFileW(P("io.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(ro, INVALID_HANDLE_VALUE);
  SetLastError(kErrorSentinel);
  EXPECT_FALSE(WriteFile(ro, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SetLastError(kErrorSentinel);
  EXPECT_FALSE(ReadFile(ro, buf, 1, &n, buf));  // overlapped is not supported
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  FILETIME c{}, a{}, w{};
  EXPECT_TRUE(GetFileTime(ro, &c, &a, &w));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(P("io.bin").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(Ticks(w), Ticks(data.ftLastWriteTime));
  EXPECT_TRUE(CloseHandle(ro));

  HANDLE wo = CreateFileW(P("io.bin").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(wo, INVALID_HANDLE_VALUE);
  SetLastError(kErrorSentinel);
  EXPECT_FALSE(ReadFile(wo, buf, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CloseHandle(wo));
}

TEST_F(FilesTest, Access) {
  tree.Make({"f.txt", "ro.txt", "dir/"});
  chmod((tree.root() / "ro.txt").c_str(), 0444);
  chmod((tree.root() / "dir").c_str(), 0555);
  struct Case {
    std::wstring path;
    int mode;
    int result;
    int err;
  } cases[] = {
      {P("f.txt"), 0, 0, 0},          {P("f.txt"), 2, 0, 0},         {P("f.txt"), 6, 0, 0},
      {P("ro.txt"), 4, 0, 0},         {P("ro.txt"), 2, -1, EACCES},  {P("ro.txt"), 6, -1, EACCES},
      {P("dir"), 6, 0, 0},            {P("missing"), 0, -1, ENOENT}, {L"C:\\", 0, -1, ENOENT},
      {P("f.txt"), 1, -1, EINVAL},    {P("f.txt"), 8, -1, EINVAL},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    errno = 0;
    EXPECT_EQ(_waccess(cases[i].path.c_str(), cases[i].mode), cases[i].result) << "case " << i;
    if (cases[i].result != 0) {
      EXPECT_EQ(errno, cases[i].err) << "case " << i;
    }
  }
}

TEST_F(FilesTest, TempNames) {
  tree.Make({"dir/"});
  std::wstring dir = P("dir");
  wchar_t* a = _wtempnam(dir.c_str(), L"~pre");
  wchar_t* b = _wtempnam(dir.c_str(), L"~pre");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  std::wstring sa(a), sb(b);
  EXPECT_EQ(sa.rfind(dir + L"/~pre", 0), 0u);
  EXPECT_GT(sa.size(), dir.size() + 5);
  EXPECT_NE(sa, sb);
  EXPECT_FALSE(fs::exists(VormToUtf8(sa)));
  std::free(a);
  std::free(b);

  wchar_t temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  ASSERT_GT(n, 0u);
  wchar_t* fallback = _wtempnam(P("missing").c_str(), nullptr);
  ASSERT_NE(fallback, nullptr);
  EXPECT_EQ(std::wstring(fallback).rfind(std::wstring(temp, n), 0), 0u);
  std::free(fallback);
}

TEST_F(FilesTest, SplitPathTable) {
  struct Case {
    const wchar_t* path;
    const wchar_t* drive;
    const wchar_t* dir;
    const wchar_t* fname;
    const wchar_t* ext;
  } cases[] = {
      {L"C:\\dir\\sub\\file.tar.gz", L"C:", L"\\dir\\sub\\", L"file.tar", L".gz"},
      {L"C:\\dir\\.profile", L"C:", L"\\dir\\", L"", L".profile"},
      {L"\\\\server\\share\\f.txt", L"", L"\\\\server\\share\\", L"f", L".txt"},
      {L"/usr/lib/x.so", L"", L"/usr/lib/", L"x", L".so"},
      {L"a.dir/b", L"", L"a.dir/", L"b", L""},
      {L"name", L"", L"", L"name", L""},
      {L"my file .txt", L"", L"", L"my file ", L".txt"},
      {L"C:", L"C:", L"", L"", L""},
      {L"1:x", L"", L"", L"1:x", L""},
      {L"dir\\", L"", L"dir\\", L"", L""},
      {L"..", L"", L"", L".", L"."},
      {L"", L"", L"", L"", L""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    wchar_t drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
    _wsplitpath(cases[i].path, drive, dir, fname, ext);
    EXPECT_STREQ(drive, cases[i].drive) << "case " << i;
    EXPECT_STREQ(dir, cases[i].dir) << "case " << i;
    EXPECT_STREQ(fname, cases[i].fname) << "case " << i;
    EXPECT_STREQ(ext, cases[i].ext) << "case " << i;
  }
  wchar_t fname[_MAX_FNAME];
  _wsplitpath(L"C:\\x\\only.title", nullptr, nullptr, fname, nullptr);
  EXPECT_STREQ(fname, L"only");
}

TEST_F(FilesTest, SplitPathCutsLongParts) {
  // 4096-character parts land in exact-size buffers guarded by sentinels on both sides.
  std::wstring longName(4096, L'n');
  std::wstring path = L"D:\\" + std::wstring(4096, L'd') + L"\\" + longName + L"." + std::wstring(4096, L'e');
  constexpr wchar_t kGuard = L'#';
  std::vector<wchar_t> drive(_MAX_DRIVE + 2, kGuard), dir(_MAX_DIR + 2, kGuard), fname(_MAX_FNAME + 2, kGuard),
      ext(_MAX_EXT + 2, kGuard);
  _wsplitpath(path.c_str(), drive.data() + 1, dir.data() + 1, fname.data() + 1, ext.data() + 1);
  EXPECT_EQ(std::wstring(drive.data() + 1), L"D:");
  EXPECT_EQ(std::wstring(dir.data() + 1), L"\\" + std::wstring(_MAX_DIR - 2, L'd'));
  EXPECT_EQ(std::wstring(fname.data() + 1), std::wstring(_MAX_FNAME - 1, L'n'));
  EXPECT_EQ(std::wstring(ext.data() + 1), L"." + std::wstring(_MAX_EXT - 2, L'e'));
  for (auto* v : {&drive, &dir, &fname, &ext}) {
    EXPECT_EQ(v->front(), kGuard);
    EXPECT_EQ(v->back(), kGuard);
  }
  wchar_t tiny[1] = {kGuard};
  wchar_t untouched[1] = {kGuard};
  VormSplitPath(L"C:\\a\\b.c", tiny, 1, untouched, 0, nullptr, 5, nullptr, 0);
  EXPECT_EQ(tiny[0], L'\0');
  EXPECT_EQ(untouched[0], kGuard);
}

TEST_F(FilesTest, FolderQueries) {
  wchar_t buf[MAX_PATH];
  struct Case {
    const char* what;
    DWORD (*query)(DWORD, wchar_t*);
  } cases[] = {
      {"windows", [](DWORD n, wchar_t* b) -> DWORD { return GetWindowsDirectoryW(b, n); }},
      {"system", [](DWORD n, wchar_t* b) -> DWORD { return GetSystemDirectoryW(b, n); }},
      {"temp", [](DWORD n, wchar_t* b) { return GetTempPathW(n, b); }},
      {"current", [](DWORD n, wchar_t* b) { return GetCurrentDirectoryW(n, b); }},
  };
  for (const Case& c : cases) {
    DWORD n = c.query(MAX_PATH, buf);
    ASSERT_GT(n, 0u) << c.what;
    ASSERT_LT(n, MAX_PATH) << c.what;
    EXPECT_EQ(std::wcslen(buf), n) << c.what;
    EXPECT_EQ(buf[0], L'/') << c.what;
    // Too small by one: the size needed, terminator included, and nothing written.
    wchar_t small[MAX_PATH];
    small[0] = L'#';
    EXPECT_EQ(c.query(n, small), n + 1) << c.what;
    EXPECT_EQ(small[0], L'#') << c.what;
    EXPECT_EQ(c.query(0, nullptr), n + 1) << c.what;
  }
  DWORD n = GetTempPathW(MAX_PATH, buf);
  EXPECT_EQ(buf[n - 1], L'/');

  n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  ASSERT_GT(n, 0u);
  EXPECT_TRUE(fs::exists(VormToUtf8(buf)));
  wchar_t cut[4];
  SetLastError(kErrorSentinel);
  EXPECT_EQ(GetModuleFileNameW(nullptr, cut, 4), 4u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::wstring(cut), std::wstring(buf, 3));
}

TEST_F(FilesTest, CurrentDirectoryRoundTrip) {
  tree.Make({"sub/", "f.txt"});
  wchar_t before[4096];
  ASSERT_GT(GetCurrentDirectoryW(4096, before), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(P("sub").c_str()));
  wchar_t now[4096];
  ASSERT_GT(GetCurrentDirectoryW(4096, now), 0u);
  EXPECT_EQ(fs::path(VormToUtf8(now)), fs::canonical(tree.root() / "sub"));
  // Relative names resolve against it.
  EXPECT_EQ(GetFileAttributesW(L"..\\f.txt"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(Joined(List(L"*").names), L".|..");
  ASSERT_TRUE(SetCurrentDirectoryW(before));

  struct Case {
    std::wstring path;
    DWORD error;
  } cases[] = {{P("missing"), ERROR_FILE_NOT_FOUND},
               {P("missing/x"), ERROR_PATH_NOT_FOUND},
               {P("f.txt"), ERROR_DIRECTORY},
               {L"C:\\", ERROR_PATH_NOT_FOUND}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SetLastError(kErrorSentinel);
    EXPECT_FALSE(SetCurrentDirectoryW(cases[i].path.c_str())) << "case " << i;
    EXPECT_EQ(GetLastError(), cases[i].error) << "case " << i;
  }
}

TEST_F(FilesTest, NativePath) {
  EXPECT_EQ(VormNativePath(L"dir\\sub/f.txt"), "dir/sub/f.txt");
  EXPECT_EQ(VormNativePath(L"C:\\x"), "");
  EXPECT_EQ(VormNativePath(nullptr), "");
  EXPECT_EQ(VormNativePath(L"\u00e9t\u00e9"), "\xC3\xA9t\xC3\xA9");
}

}  // namespace
