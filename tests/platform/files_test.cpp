#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
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

// A call's result and the last error it left; the error is seeded first so that a call
// that forgets to set it shows.
template <class Call>
auto Outcome(Call call) {
  SetLastError(kErrorSentinel);
  const auto result = call();
  return std::pair(result, GetLastError());
}

std::wstring Err(DWORD error) { return L"error " + std::to_wstring(error); }

// The names a search yields joined by '|', or Err(code) when FindFirstFileExW fails. The
// walk must end with ERROR_NO_MORE_FILES.
std::wstring List(const std::wstring& pattern, DWORD flags = 0) {
  WIN32_FIND_DATAW data;
  const auto [h, error] = Outcome([&] {
    return FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &data, FindExSearchNameMatch, nullptr, flags);
  });
  if (h == INVALID_HANDLE_VALUE) return Err(error);
  std::wstring names = data.cFileName;
  SetLastError(kErrorSentinel);
  while (FindNextFileW(h, &data)) names += L"|" + std::wstring(data.cFileName);
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES) << VormToUtf8(pattern);
  EXPECT_TRUE(FindClose(h));
  return names;
}

ULONGLONG Ticks(const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

class FilesTest : public ::testing::Test {
 protected:
  TempTree tree;
  std::wstring P(const std::string& rel) const { return tree.wpath(rel); }
  HANDLE Open(const std::string& rel, DWORD access, DWORD disposition, DWORD flags = 0) const {
    return CreateFileW(P(rel).c_str(), access, 0, nullptr, disposition, flags, nullptr);
  }
};

TEST_F(FilesTest, ListingOrderAndWildcards) {
  tree.Make({"b.txt", "A.TXT", "c", "README", "a.b.c", ".hidden", "dir/", "Zeta.Txt", "_under"});
  const std::wstring all = L".|..|.hidden|a.b.c|A.TXT|b.txt|c|dir|README|Zeta.Txt|_under";
  const struct {
    const wchar_t* pattern;
    std::wstring expected;
  } cases[] = {
      {L"*", all},
      {L"*.*", all},
      {L"*.TXT", L"A.TXT|b.txt|Zeta.Txt"},
      {L"?.txt", L"A.TXT|b.txt"},
      {L"*.", L".|..|c|dir|README|_under"},
      {L"c.*", L"c"},
      {L"DIR", L"dir"},
      {L"??.txt", L"A.TXT|b.txt"},
      {L"?.b.?", L"a.b.c"},
      {L"A?B?C", Err(ERROR_FILE_NOT_FOUND)},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(List(tree.wroot() + cases[i].pattern), cases[i].expected) << "case " << i;
  }
}

TEST_F(FilesTest, WildcardMatchTable) {
  const struct {
    const wchar_t* pattern;
    const wchar_t* name;
    bool match;
  } cases[] = {
      {L"*", L"", true},
      {L"*", L"a.b", true},
      {L"*.*", L"noext", true},
      {L"?", L"", true},
      {L"?", L"\u00e9", true},
      {L"a?c", L"ac", false},
      {L"a?c", L"a.c", false},
      {L"a?.txt", L"a.txt", true},
      {L"a?.txt", L"ab.txt", true},
      {L"TEM?????.???", L"TEMP.TXT", true},
      {L"TEM?????.???", L"TEMPTEMP.TXT", true},
      {L"TEM?????.???", L"TEMPTEMPT.TXT", false},
      {L"??", L"a.b", false},
      {L"*.", L"a.b", false},
      {L"*.", L"ab", true},
      {L"abc.*", L"abc", true},
      {L"abc.*", L"abcd", false},
      {L"*.txt", L"a.txt.bak", false},
      {L"\u00e9*", L"\u00c9T\u00c9", true},
      {L"*a*a*a*a*b", L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(VormWildcardMatch(cases[i].pattern, cases[i].name), cases[i].match) << "case " << i;
  }
  EXPECT_FALSE(VormWildcardMatch(nullptr, L"a"));
  EXPECT_FALSE(VormWildcardMatch(L"a", nullptr));
}

TEST_F(FilesTest, CaseSensitiveFlagBackslashesAndTheRoot) {
  tree.Make({"a.txt", "B.TXT", "sub/inner.txt"});
  EXPECT_EQ(List(tree.wroot() + L"*.txt", FIND_FIRST_EX_CASE_SENSITIVE), L"a.txt");
  EXPECT_EQ(List(P("sub") + L"\\*"), L".|..|inner.txt");
  const std::wstring root = L"|" + List(L"/*") + L"|";  // the root lists no "." or ".."
  EXPECT_EQ(root.find(L"|.|"), std::wstring::npos) << VormToUtf8(root);
  EXPECT_EQ(root.find(L"|..|"), std::wstring::npos) << VormToUtf8(root);
}

TEST_F(FilesTest, SearchErrors) {
  tree.Make({"dir/", "f.txt"});
  const std::string longName(4096, 'x');
  const struct {
    std::wstring pattern;
    DWORD error;
  } cases[] = {
      {P("missing") + L"/*", ERROR_PATH_NOT_FOUND},
      {P("f.txt") + L"/*", ERROR_PATH_NOT_FOUND},
      {L"c:\\*", ERROR_PATH_NOT_FOUND},
      {L"", ERROR_PATH_NOT_FOUND},
      {P("dir") + L"/", ERROR_FILE_NOT_FOUND},
      {P("nothing"), ERROR_FILE_NOT_FOUND},
      {P(longName), ERROR_FILE_NOT_FOUND},
      {P(longName + "/*"), ERROR_FILENAME_EXCED_RANGE},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(List(cases[i].pattern), Err(cases[i].error)) << "case " << i;
  WIN32_FIND_DATAW data;
  const auto refused = std::pair(INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Outcome([&] {
              return FindFirstFileExW(P("*").c_str(), FindExInfoStandard, &data, FindExSearchLimitToDevices, nullptr,
                                      0);
            }),
            refused);
  EXPECT_EQ(Outcome([&] { return FindFirstFileW(nullptr, &data); }), refused);
}

TEST_F(FilesTest, HandleKindsAndBadHandles) {
  tree.Make({"f.txt"});
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(P("*").c_str(), &data);
  HANDLE file = Open("f.txt", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const auto invalid = std::pair(FALSE, ERROR_INVALID_HANDLE);
  // A handle of the other kind is refused and stays open.
  EXPECT_EQ(Outcome([&] { return CloseHandle(find); }), invalid);
  EXPECT_EQ(Outcome([&] { return FindClose(file); }), invalid);
  EXPECT_EQ(Outcome([&] { return FindNextFileW(file, &data); }), invalid);
  EXPECT_TRUE(FindClose(find));
  EXPECT_TRUE(CloseHandle(file));

  char buf[4];
  DWORD n = 7;
  for (HANDLE bad : {HANDLE{nullptr}, INVALID_HANDLE_VALUE, find, file, reinterpret_cast<HANDLE>(0x12345)}) {
    EXPECT_EQ(Outcome([&] { return CloseHandle(bad); }), invalid) << bad;
    EXPECT_EQ(Outcome([&] { return FindClose(bad); }), invalid) << bad;
    EXPECT_EQ(Outcome([&] { return ReadFile(bad, buf, sizeof(buf), &n, nullptr); }), invalid) << bad;
    EXPECT_EQ(n, 0u) << bad;
  }
}

TEST_F(FilesTest, Attributes) {
  tree.Make({"file.txt", ".hidden", "ro.txt", "dir/", "rodir/"});
  chmod((tree.root() / "ro.txt").c_str(), 0444);
  chmod((tree.root() / "rodir").c_str(), 0555);
  fs::create_directory_symlink(tree.root() / "dir", tree.root() / "linkdir");
  fs::create_symlink(tree.root() / "ro.txt", tree.root() / "linkfile");
  fs::create_symlink(tree.root() / "gone", tree.root() / "dangling");
  constexpr DWORD A = FILE_ATTRIBUTE_ARCHIVE, D = FILE_ATTRIBUTE_DIRECTORY, R = FILE_ATTRIBUTE_READONLY;
  constexpr DWORD Link = FILE_ATTRIBUTE_REPARSE_POINT;
  const struct {
    const char* name;
    DWORD attributes;
  } cases[] = {
      {"file.txt", A},
      {".hidden", A | FILE_ATTRIBUTE_HIDDEN},
      {"ro.txt", A | R},
      {"dir", D},
      {"rodir", D | R},
      {"linkdir", D | Link},
      {"linkfile", Link | A | R},
      {"dangling", Link},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(GetFileAttributesW(P(cases[i].name).c_str()), cases[i].attributes) << "case " << i;
    // The listing reports the same attributes; links carry their tag.
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(P(cases[i].name).c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "case " << i;
    EXPECT_EQ(data.dwFileAttributes, cases[i].attributes) << "case " << i;
    EXPECT_EQ(data.dwReserved0, (cases[i].attributes & Link) ? IO_REPARSE_TAG_SYMLINK : 0u) << "case " << i;
    FindClose(h);
  }
  EXPECT_EQ(List(P("dir") + L"/.*"), L".|..");  // "." and ".." are not hidden
}

TEST_F(FilesTest, AttributeErrors) {
  tree.Make({"f.txt"});
  const struct {
    std::wstring path;
    DWORD error;
  } cases[] = {
      {P("missing"), ERROR_FILE_NOT_FOUND}, {P("missing/x"), ERROR_PATH_NOT_FOUND},
      {P("f.txt/x"), ERROR_PATH_NOT_FOUND}, {L"C:\\Windows", ERROR_PATH_NOT_FOUND},
      {L"", ERROR_PATH_NOT_FOUND},          {P(std::string(4096, 'y')), ERROR_FILENAME_EXCED_RANGE},
  };
  WIN32_FILE_ATTRIBUTE_DATA data;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const wchar_t* path = cases[i].path.c_str();
    EXPECT_EQ(Outcome([&] { return GetFileAttributesW(path); }), std::pair(INVALID_FILE_ATTRIBUTES, cases[i].error))
        << "case " << i;
    EXPECT_EQ(Outcome([&] { return GetFileAttributesExW(path, GetFileExInfoStandard, &data); }),
              std::pair(FALSE, cases[i].error))
        << "case " << i;
  }
  EXPECT_EQ(Outcome([&] { return GetFileAttributesW(nullptr); }),
            std::pair(INVALID_FILE_ATTRIBUTES, ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Outcome([&] { return GetFileAttributesExW(P("f.txt").c_str(), GetFileExMaxInfoLevel, &data); }),
            std::pair(FALSE, ERROR_INVALID_PARAMETER));
}

TEST_F(FilesTest, AttributeDataMatchesStat) {
  tree.WriteFile("data.bin", "12345");
  struct stat st;
  ASSERT_EQ(stat((tree.root() / "data.bin").c_str(), &st), 0);
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(P("data.bin").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(Ticks(data.ftLastWriteTime), Ticks(VormFileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec)));

  EXPECT_EQ(Ticks(VormFileTimeFromUnix(0, 0)), 116444736000000000ULL);
  EXPECT_EQ(Ticks(VormFileTimeFromUnix(-20000000000LL, 0)), 0u);
}

TEST_F(FilesTest, CreateFileDispositions) {
  // `content` afterwards; null when the file must not exist. A handle comes back exactly when
  // the last error is ERROR_SUCCESS or ERROR_ALREADY_EXISTS.
  const struct {
    DWORD disposition, access;
    bool exists;
    DWORD error;
    const char* content;
  } cases[] = {
      {CREATE_NEW, GENERIC_WRITE, false, ERROR_SUCCESS, ""},
      {CREATE_NEW, GENERIC_WRITE, true, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, GENERIC_WRITE, false, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, GENERIC_WRITE, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, GENERIC_READ, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, GENERIC_READ, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, GENERIC_READ, false, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, GENERIC_READ, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, GENERIC_WRITE, true, ERROR_SUCCESS, ""},
      {TRUNCATE_EXISTING, GENERIC_WRITE, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, GENERIC_READ, true, ERROR_INVALID_PARAMETER, "old"},
      {0, GENERIC_READ, true, ERROR_INVALID_PARAMETER, "old"},
      {CREATE_ALWAYS, GENERIC_WRITE, false, ERROR_PATH_NOT_FOUND, nullptr},  // in a missing folder
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string name = (i + 1 == std::size(cases) ? "no/such/f" : "f") + std::to_string(i);
    if (cases[i].exists) tree.WriteFile(name, "old");
    const auto [h, error] = Outcome([&] { return Open(name, cases[i].access, cases[i].disposition); });
    EXPECT_EQ(error, cases[i].error) << "case " << i;
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS) << "case " << i;
    EXPECT_TRUE(h == INVALID_HANDLE_VALUE || CloseHandle(h)) << "case " << i;
    const std::string after = fs::exists(tree.root() / name) ? tree.ReadFile(name) : "<none>";
    EXPECT_EQ(after, cases[i].content ? cases[i].content : "<none>") << "case " << i;
  }
}

TEST_F(FilesTest, FoldersFifosAndReadOnlyFiles) {
  tree.Make({"dir/", "ro.txt"});
  chmod((tree.root() / "ro.txt").c_str(), 0444);
  const auto denied = std::pair(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Outcome([&] { return Open("dir", GENERIC_READ, OPEN_EXISTING); }), denied);
  HANDLE dir = Open("dir", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(dir, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(dir));

  // The read-only attribute refuses writing even to a privileged process.
  for (DWORD disposition : {OPEN_EXISTING, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
    EXPECT_EQ(Outcome([&] { return Open("ro.txt", GENERIC_WRITE, disposition); }), denied) << disposition;
  }
  EXPECT_EQ(tree.ReadFile("ro.txt"), "ro.txt");
  HANDLE created = Open("new_ro", GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(created));
  EXPECT_EQ(GetFileAttributesW(P("new_ro").c_str()), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);

  // A FIFO opens without waiting for a writer.
  ASSERT_EQ(mkfifo((tree.root() / "fifo").c_str(), 0644), 0);
  HANDLE fifo = Open("fifo", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(fifo, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(fifo));
}

TEST_F(FilesTest, ReadWriteSeekSize) {
  HANDLE h = Open("io.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  EXPECT_EQ(Outcome([&] { return WriteFile(h, "hello world", 11, &n, nullptr); }), std::pair(TRUE, ERROR_SUCCESS));
  EXPECT_EQ(n, 11u);
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
  EXPECT_EQ(Outcome([&] { return SetFilePointer(h, -6, nullptr, FILE_CURRENT); }),
            std::pair(INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(Outcome([&] { return SetFilePointer(h, 0, nullptr, 9); }),
            std::pair(INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER));
  // 64-bit positions through the high word.
  LONG hi = 1;
  EXPECT_EQ(Outcome([&] { return SetFilePointer(h, 2, &hi, FILE_BEGIN); }), std::pair(DWORD{2}, ERROR_SUCCESS));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(tree.ReadFile("io.bin"), "hello world");

  HANDLE ro = Open("io.bin", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(ro, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Outcome([&] { return WriteFile(ro, "x", 1, &n, nullptr); }), std::pair(FALSE, ERROR_ACCESS_DENIED));
  EXPECT_EQ(Outcome([&] { return ReadFile(ro, buf, 1, &n, buf); }), std::pair(FALSE, ERROR_INVALID_PARAMETER))
      << "overlapped reads are not supported";
  EXPECT_TRUE(CloseHandle(ro));
}

TEST_F(FilesTest, Access) {
  tree.Make({"f.txt", "ro.txt", "dir/"});
  chmod((tree.root() / "ro.txt").c_str(), 0444);
  chmod((tree.root() / "dir").c_str(), 0555);
  const struct {
    std::wstring path;
    int mode, result, err;
  } cases[] = {
      {P("f.txt"), 6, 0, 0},       {P("ro.txt"), 4, 0, 0},        {P("ro.txt"), 2, -1, EACCES},
      {P("dir"), 6, 0, 0},         {P("missing"), 0, -1, ENOENT}, {L"C:\\", 0, -1, ENOENT},
      {P("f.txt"), 1, -1, EINVAL}, {P("f.txt"), 8, -1, EINVAL},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    errno = 0;
    EXPECT_EQ(_waccess(cases[i].path.c_str(), cases[i].mode), cases[i].result) << "case " << i;
    EXPECT_EQ(errno, cases[i].err) << "case " << i;
  }
}

TEST_F(FilesTest, TempNames) {
  tree.Make({"dir/"});
  const std::wstring dir = P("dir");
  wchar_t* a = _wtempnam(dir.c_str(), L"~pre");
  wchar_t* b = _wtempnam(dir.c_str(), L"~pre");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  const std::wstring sa(a), sb(b);
  EXPECT_EQ(sa.rfind(dir + L"/~pre", 0), 0u);
  EXPECT_GT(sa.size(), dir.size() + 5);
  EXPECT_NE(sa, sb);
  EXPECT_FALSE(fs::exists(VormToUtf8(sa)));
  std::free(a);
  std::free(b);
}

TEST_F(FilesTest, SplitPathTable) {
  const struct {
    const wchar_t *path, *drive, *dir, *fname, *ext;
  } cases[] = {
      {L"C:\\dir\\sub\\file.tar.gz", L"C:", L"\\dir\\sub\\", L"file.tar", L".gz"},
      {L"C:\\dir\\.profile", L"C:", L"\\dir\\", L"", L".profile"},
      {L"\\\\server\\share\\f.txt", L"", L"\\\\server\\share\\", L"f", L".txt"},
      {L"a.dir/b", L"", L"a.dir/", L"b", L""},
      {L"name", L"", L"", L"name", L""},
      {L"C:", L"C:", L"", L"", L""},
      {L"1:x", L"1:", L"", L"x", L""},
      {L"/:\\dir1\\file.ext", L"/:", L"\\dir1\\", L"file", L".ext"},
      {L"dir\\", L"", L"dir\\", L"", L""},
      {L"..", L"", L"", L".", L"."},
      {L"", L"", L"", L"", L""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
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
  const std::wstring path =
      L"D:\\" + std::wstring(4096, L'd') + L"\\" + std::wstring(4096, L'n') + L"." + std::wstring(4096, L'e');
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
  const struct {
    const char* what;
    DWORD (*query)(DWORD, wchar_t*);
  } cases[] = {
      {"windows", [](DWORD n, wchar_t* b) -> DWORD { return GetWindowsDirectoryW(b, n); }},
      {"system", [](DWORD n, wchar_t* b) -> DWORD { return GetSystemDirectoryW(b, n); }},
      {"temp", [](DWORD n, wchar_t* b) { return GetTempPathW(n, b); }},
      {"current", [](DWORD n, wchar_t* b) { return GetCurrentDirectoryW(n, b); }},
  };
  for (const auto& c : cases) {
    const DWORD n = c.query(MAX_PATH, buf);
    ASSERT_GT(n, 0u) << c.what;
    ASSERT_LT(n, MAX_PATH) << c.what;
    EXPECT_EQ(std::wcslen(buf), n) << c.what;
    EXPECT_EQ(buf[0], L'/') << c.what;
    // Too small by one: the size needed, terminator included, and nothing written.
    wchar_t small[MAX_PATH] = {L'#'};
    EXPECT_EQ(c.query(n, small), n + 1) << c.what;
    EXPECT_EQ(small[0], L'#') << c.what;
    EXPECT_EQ(c.query(0, nullptr), n + 1) << c.what;
  }
  EXPECT_EQ(buf[GetTempPathW(MAX_PATH, buf) - 1], L'/');
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
  EXPECT_EQ(List(L"*"), L".|..");
  ASSERT_TRUE(SetCurrentDirectoryW(before));

  const struct {
    std::wstring path;
    DWORD error;
  } cases[] = {
      {P("missing"), ERROR_FILE_NOT_FOUND}, {P("missing/x"), ERROR_PATH_NOT_FOUND}, {P("f.txt"), ERROR_DIRECTORY}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Outcome([&] { return SetCurrentDirectoryW(cases[i].path.c_str()); }), std::pair(FALSE, cases[i].error))
        << "case " << i;
  }
}

TEST_F(FilesTest, NativePath) {
  EXPECT_EQ(VormNativePath(L"dir\\sub/f.txt"), "dir/sub/f.txt");
  EXPECT_EQ(VormNativePath(L"C:\\x"), "");
  EXPECT_EQ(VormNativePath(nullptr), "");
  EXPECT_EQ(VormNativePath(L"\u00e9t\u00e9"), "\xC3\xA9t\xC3\xA9");
}

TEST_F(FilesTest, NamesTheGrammarWouldReadAreListedAsData) {
  tree.Make({"dir/", "dir/a\\b", "dir/x\"y", "dir/*", "dir/c:d", "dir/new\nline"});
  const std::wstring dir = P("dir") + L"/";
  // Listed as private-use characters, in the platform's order, and reachable by those names.
  EXPECT_EQ(List(dir + L"*"),
            L".|..|a\xF05C"
            L"b|c\xF03A"
            L"d|new\xF00Aline|x\xF022y|\xF02A");
  EXPECT_EQ(List(dir + L"\xF02A"), L"\xF02A");  // the file "*" alone, not a wildcard
  EXPECT_EQ(List(dir + L"?\xF05C?"),
            L"a\xF05C"
            L"b");
  EXPECT_EQ(GetFileAttributesW((dir + L"x\xF022y").c_str()), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(DeleteFileW((dir + L"a\xF05C"
                                 L"b")
                              .c_str()));
  EXPECT_FALSE(fs::exists(tree.root() / "dir" / "a\\b"));
  EXPECT_TRUE(fs::exists(tree.root() / "dir" / "x\"y"));

  // The current folder and full paths carry the same mapping.
  tree.Make({"odd:name/"});
  const fs::path before = fs::current_path();
  fs::current_path(tree.root() / "odd:name");
  wchar_t buffer[4096];
  ASSERT_GT(GetCurrentDirectoryW(4096, buffer), 0u);
  EXPECT_EQ(VormToOsPath(buffer), fs::canonical(tree.root() / "odd:name").string());
  EXPECT_NE(std::wcsstr(buffer, L"odd\xF03Aname"), nullptr);
  fs::current_path(before);
}

TEST_F(FilesTest, FullPathName) {
  const fs::path before = fs::current_path();
  fs::current_path(tree.root());
  const std::wstring cwd = VormFromOsPath(fs::current_path().string());
  const std::wstring parent = cwd.substr(0, cwd.rfind(L'/'));
  const struct {
    const wchar_t* name;
    std::wstring expected;
    const wchar_t* part;  // null: no file part
  } cases[] = {
      {L"a/./b/../c.txt", cwd + L"/a/c.txt", L"c.txt"},
      {L"a\\b\\", cwd + L"/a/b/", nullptr},
      {L"..", parent, parent.c_str() + parent.rfind(L'/') + 1},
      {L".", cwd, cwd.c_str() + cwd.rfind(L'/') + 1},
      {L"/x//y/", L"/x/y/", nullptr},
      {L"/../..", L"/", nullptr},
      {L"\\\\server\\share\\..\\..\\f", L"//server/share/f", L"f"},
      {L"C:\\a\\..\\b", L"C:/b", L"b"},
      {L"a\xF05C"
       L"b/..",
       cwd, cwd.c_str() + cwd.rfind(L'/') + 1},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    wchar_t buffer[4096];
    wchar_t* part = buffer;
    const auto [n, error] = Outcome([&] { return GetFullPathNameW(cases[i].name, 4096, buffer, &part); });
    EXPECT_EQ(std::wstring(buffer), cases[i].expected) << i;
    EXPECT_EQ(n, cases[i].expected.size()) << i;
    EXPECT_EQ(error, kErrorSentinel) << i;  // success leaves the last error alone
    if (cases[i].part) {
      EXPECT_STREQ(part, std::wcsrchr(cases[i].part, L'/') ? std::wcsrchr(cases[i].part, L'/') + 1 : cases[i].part)
          << i;
    } else {
      EXPECT_EQ(part, nullptr) << i;
    }
  }
  // Too small: the size needed, nothing written. Bad names fail.
  wchar_t small[4] = {L'#'};
  EXPECT_EQ(GetFullPathNameW(L"/abcd", 4, small, nullptr), 6u);
  EXPECT_EQ(small[0], L'#');
  EXPECT_EQ(Outcome([] { return GetFullPathNameW(L"", 10, nullptr, nullptr); }),
            std::pair(DWORD{0}, ERROR_INVALID_NAME));
  EXPECT_EQ(Outcome([] { return GetFullPathNameW(nullptr, 10, nullptr, nullptr); }),
            std::pair(DWORD{0}, ERROR_INVALID_PARAMETER));
  fs::current_path(before);
}

TEST_F(FilesTest, PermissionBitsSurviveARoundTrip) {
  tree.Make({"f"});
  fs::permissions(tree.root() / "f", static_cast<fs::perms>(0464));
  DWORD bits = 0;
  ASSERT_TRUE(VormGetFilePermissions(P("f").c_str(), &bits));
  EXPECT_EQ(bits, 0464u);
  ASSERT_TRUE(SetFileAttributesW(P("f").c_str(), FILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(VormSetFilePermissions(P("f").c_str(), bits));
  EXPECT_EQ(fs::status(tree.root() / "f").permissions(), static_cast<fs::perms>(0464));
  EXPECT_EQ(Outcome([&] { return VormGetFilePermissions(P("missing").c_str(), &bits); }),
            std::pair(FALSE, ERROR_FILE_NOT_FOUND));
}

// The names of a listing joined by '|', or Err(code) when the read fails.
std::wstring Names(const VormFolderListing& listing) {
  std::wstring names;
  for (size_t i = 0; i < listing.GetCount(); ++i) names += (i ? L"|" : L"") + std::wstring(listing.GetName(i));
  return names;
}

size_t IndexOf(const VormFolderListing& listing, const wchar_t* name) {
  for (size_t i = 0; i < listing.GetCount(); ++i) {
    if (std::wstring(listing.GetName(i)) == name) return i;
  }
  return listing.GetCount();
}

// A listing gives FindFirstFileExW's names in its order; an entry's record waits until asked.
TEST_F(FilesTest, ListingsReadRecordsOnlyWhenAsked) {
  tree.Make({"b.txt", "A.TXT", "a.txt", "c.TXT", "dir/", "dir/x", ".hidden"});
  fs::create_directory_symlink("dir", tree.root() / "link");
  chmod((tree.root() / "b.txt").c_str(), 0444);
  VormFolderListing listing;
  for (const wchar_t* pattern : {L"*", L"*.txt", L"A.TXT", L"C.txt", L"dir", L"none"}) {
    SetLastError(kErrorSentinel);
    const BOOL read = listing.Read((tree.wroot() + pattern).c_str(), 0);
    EXPECT_EQ(read ? Names(listing) : Err(GetLastError()), List(tree.wroot() + pattern)) << VormToUtf8(pattern);
  }

  struct Disarm {
    ~Disarm() { VormInjectFileFault(0, 0, 0); }
  } disarm;
  VormInjectFileFault(VORM_FAULT_STAT, 0, 0);  // counts the records read
  ASSERT_TRUE(listing.Read((tree.wroot() + L"*").c_str(), VormFolderListing::SkipDots));
  EXPECT_EQ(Names(listing), L".hidden|A.TXT|a.txt|b.txt|c.TXT|dir|link");
  const struct {
    const wchar_t* name;
    DWORD known;
    DWORD full;
  } kinds[] = {
      {L".hidden", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
      {L"b.txt", FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
      {L"dir", FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY},
      {L"link", FILE_ATTRIBUTE_REPARSE_POINT, FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY},
  };
  for (const auto& k : kinds) EXPECT_EQ(listing.GetKnownAttributes(IndexOf(listing, k.name)), k.known);
  EXPECT_EQ(VormFileFaultCalls(), 0u);
  WIN32_FIND_DATAW data;
  for (const auto& k : kinds) {
    ASSERT_TRUE(listing.GetData(IndexOf(listing, k.name), &data));
    EXPECT_EQ(data.dwFileAttributes, k.full);
    EXPECT_STREQ(data.cFileName, k.name);
  }
  const unsigned long records = VormFileFaultCalls();
  EXPECT_TRUE(listing.GetData(IndexOf(listing, L"b.txt"), &data));  // kept, not read again
  EXPECT_EQ(VormFileFaultCalls(), records);

  // An entry gone since the read keeps its name and what the listing knew.
  fs::remove(tree.root() / "a.txt");
  EXPECT_EQ(Outcome([&] { return listing.GetData(IndexOf(listing, L"a.txt"), &data); }),
            std::pair(FALSE, ERROR_FILE_NOT_FOUND));
  EXPECT_STREQ(data.cFileName, L"a.txt");
  EXPECT_EQ(data.dwFileAttributes, DWORD{FILE_ATTRIBUTE_ARCHIVE});

  // EveryFolder keeps the real sub-folders the pattern leaves out, not links.
  ASSERT_TRUE(listing.Read((tree.wroot() + L"*.txt").c_str(), VormFolderListing::EveryFolder));
  EXPECT_EQ(Names(listing), L"A.TXT|b.txt|c.TXT|dir");
  EXPECT_TRUE(listing.IsMatch(0));
  EXPECT_FALSE(listing.IsMatch(3));
  ASSERT_TRUE(listing.Read((tree.wroot() + L"c.txt").c_str(), VormFolderListing::EveryFolder));
  EXPECT_EQ(Names(listing), L"c.TXT|dir");
}

TEST_F(FilesTest, WorkInsideAnOpenFolder) {
  tree.Make({"t/ro.txt", "t/sub/f", "t/full/f", "t/empty/", "t/locked/", "outside/keep"});
  chmod((tree.root() / "t/ro.txt").c_str(), 0444);
  chmod((tree.root() / "t/locked").c_str(), 0555);
  fs::create_directory_symlink(tree.root() / "outside", tree.root() / "t/out");
  VormFolderListing t;
  ASSERT_TRUE(t.Open(P("t").c_str()));
  EXPECT_EQ(Names(t), L"empty|full|locked|out|ro.txt|sub");
  const auto at = [&](const wchar_t* name) { return IndexOf(t, name); };

  // A sub-folder swapped for a link after the read is never entered.
  fs::rename(tree.root() / "t/sub", tree.root() / "sub");
  fs::create_directory_symlink(tree.root() / "outside", tree.root() / "t/sub");
  VormFolderListing sub;
  EXPECT_EQ(Outcome([&] { return sub.OpenEntry(t, at(L"sub")); }), std::pair(FALSE, ERROR_DIRECTORY));
  EXPECT_EQ(sub.GetCount(), 0u);

  const struct {
    const char* what;
    std::function<BOOL()> call;
    DWORD error;
  } cases[] = {
      {"read-only file", [&] { return t.DeleteEntry(at(L"ro.txt")); }, ERROR_SUCCESS},
      {"file gone", [&] { return t.DeleteEntry(at(L"ro.txt")); }, ERROR_FILE_NOT_FOUND},
      {"folder as file", [&] { return t.DeleteEntry(at(L"empty")); }, ERROR_ACCESS_DENIED},
      {"read-only folder", [&] { return t.RemoveFolderEntry(at(L"locked")); }, ERROR_ACCESS_DENIED},
      {"full folder", [&] { return t.RemoveFolderEntry(at(L"full")); }, ERROR_DIR_NOT_EMPTY},
      {"link as folder", [&] { return t.RemoveFolderEntry(at(L"out")); }, ERROR_SUCCESS},
      {"swapped link", [&] { return t.RemoveFolderEntry(at(L"sub")); }, ERROR_SUCCESS},
      {"empty folder", [&] { return t.RemoveFolderEntry(at(L"empty")); }, ERROR_SUCCESS},
      {"bad index", [&] { return t.DeleteEntry(99); }, ERROR_INVALID_PARAMETER},
      {"not opened", [&] { return sub.DeleteEntry(0); }, ERROR_INVALID_HANDLE},
      {"open a file", [&] { return sub.Open(P("outside/keep").c_str()); }, ERROR_DIRECTORY},
      {"open missing", [&] { return sub.Open(P("none").c_str()); }, ERROR_FILE_NOT_FOUND},
      {"open missing path", [&] { return sub.Open(P("none/x").c_str()); }, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Outcome(c.call), std::pair(c.error == ERROR_SUCCESS ? TRUE : FALSE, c.error)) << c.what;
  }
  EXPECT_TRUE(fs::exists(tree.root() / "outside/keep"));
  EXPECT_TRUE(fs::exists(tree.root() / "sub/f"));
  EXPECT_TRUE(fs::is_directory(tree.root() / "t/locked"));
}

// The test hook counts the calls of the chosen kinds and fails exactly the chosen one.
TEST_F(FilesTest, FaultInjectionFailsTheNthCall) {
  tree.WriteFile("f", "abc");
  struct Disarm {
    ~Disarm() { VormInjectFileFault(0, 0, 0); }
  } disarm;
  HANDLE h = Open("f", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  VormInjectFileFault(VORM_FAULT_READ, 2, EIO);
  char buffer[4];
  DWORD read = 0;
  const std::pair<BOOL, DWORD> expected[] = {{TRUE, ERROR_SUCCESS}, {FALSE, ERROR_GEN_FAILURE}, {TRUE, ERROR_SUCCESS}};
  for (const auto& e : expected) {
    EXPECT_EQ(Outcome([&] { return ReadFile(h, buffer, 1, &read, nullptr); }), e);
  }
  EXPECT_EQ(VormFileFaultCalls(), 3u);
  CloseHandle(h);
  VormInjectFileFault(0, 0, 0);
  EXPECT_EQ(VormFileFaultCalls(), 0u);
}

}  // namespace
