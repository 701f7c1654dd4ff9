#include <cwchar>
#include <string>

#include <gtest/gtest.h>

#include <vorm/platform/kernel.h>
#include <vorm/platform/shell.h>

#include "support/temp_tree.h"

namespace {

using vorm_test::kErrorSentinel;

TEST(ShellPathTest, Canonicalize) {
  const struct {
    const wchar_t *in, *out;
  } cases[] = {
      {L"A:\\name_1\\.\\name_2\\..\\name_3", L"A:\\name_1\\name_3"},
      {L"A:\\name_1\\.\\name_2\\.\\name_3\\..\\name_4\\..", L"A:\\name_1\\name_2"},
      {L"C:\\..\\..\\x", L"C:\\x"},
      {L"C:", L"C:\\"},
      {L"C:\\dir\\", L"C:\\dir\\"},
      {L"\\\\srv\\share\\..\\x", L"\\\\srv\\share\\x"},
      {L"\\\\srv\\share\\", L"\\\\srv\\share\\"},
      {L"\\\\srv\\share\\..", L"\\\\srv\\share"},
      {L"\\..", L"\\"},
      {L"a\\..\\..\\b", L"\\b"},
      {L"/tmp/../x", L"/tmp/../x"},  // '/' is an ordinary character here
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    wchar_t out[MAX_PATH];
    EXPECT_TRUE(PathCanonicalizeW(out, cases[i].in)) << "case " << i;
    EXPECT_STREQ(out, cases[i].out) << "case " << i;
  }
}

TEST(ShellPathTest, Combine) {
  const struct {
    const wchar_t *dir, *file, *out;
  } cases[] = {
      {L"C:", L"One\\Two\\Three", L"C:\\One\\Two\\Three"},
      {L"C:\\dir\\", L"sub\\f.txt", L"C:\\dir\\sub\\f.txt"},
      {L"C:\\dir\\sub", L"\\x", L"C:\\x"},
      {L"\\\\srv\\share\\dir", L"\\x", L"\\\\srv\\share\\x"},
      {L"\\tmp\\dir", L"\\x", L"\\x"},
      {L"C:\\dir", L"..\\..\\..\\x", L"C:\\x"},
      {L"C:\\dir", L"D:\\x", L"D:\\x"},
      {L"C:\\dir", L"\\\\srv\\share", L"\\\\srv\\share"},
      {L"C:\\dir", L"", L"C:\\dir"},
      {L"", L"a\\.\\b", L"a\\b"},
      {nullptr, L"a\\.\\b", L"a\\b"},
      {L"C:\\a\\b", nullptr, L"C:\\a\\b"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    wchar_t out[MAX_PATH];
    EXPECT_EQ(PathCombineW(out, cases[i].dir, cases[i].file), out) << "case " << i;
    EXPECT_STREQ(out, cases[i].out) << "case " << i;
    std::wstring whole;  // the unbounded engine agrees
    EXPECT_TRUE(VormPathCombine(cases[i].dir ? cases[i].dir : L"", cases[i].file ? cases[i].file : L"", whole));
    EXPECT_EQ(whole, cases[i].out) << "case " << i;
  }
}

TEST(ShellPathTest, CombineLimitsAndAliasing) {
  wchar_t out[MAX_PATH] = L"junk";
  SetLastError(kErrorSentinel);
  EXPECT_EQ(PathCombineW(out, nullptr, nullptr), nullptr);
  EXPECT_EQ(out[0], L'\0');
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(PathCombineW(nullptr, L"a", L"b"), nullptr);

  // 259 characters fit with the terminator; 260 do not.
  const std::wstring dir = L"C:\\" + std::wstring(250, L'd');
  EXPECT_NE(PathCombineW(out, dir.c_str(), L"12345"), nullptr);
  EXPECT_EQ(std::wstring(out).size(), 259u);
  wcscpy(out, L"junk");
  SetLastError(kErrorSentinel);
  EXPECT_EQ(PathCombineW(out, dir.c_str(), L"123456"), nullptr);
  EXPECT_EQ(out[0], L'\0');
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
  // Long inputs are read whole; a result that shrinks back under the limit is fine.
  const std::wstring huge(4096, L'x');
  EXPECT_EQ(PathCombineW(out, huge.c_str(), huge.c_str()), nullptr);
  EXPECT_NE(PathCombineW(out, (L"C:\\" + huge + L"\\..\\y").c_str(), L"z"), nullptr);
  EXPECT_STREQ(out, L"C:\\y\\z");

  wchar_t buf[MAX_PATH] = L"C:\\dir";  // the output may be the first input
  EXPECT_EQ(PathCombineW(buf, buf, L"..\\x"), buf);
  EXPECT_STREQ(buf, L"C:\\x");
}

TEST(ShellPathTest, RelativePath) {
  constexpr DWORD D = FILE_ATTRIBUTE_DIRECTORY, F = FILE_ATTRIBUTE_NORMAL;
  const struct {
    const wchar_t* from;
    DWORD fromAttr;
    const wchar_t* to;
    DWORD toAttr;
    const wchar_t* out;
  } cases[] = {
      {L"c:\\a\\b\\path", D, L"c:\\a\\x\\y\\file", F, L"..\\..\\x\\y\\file"},
      {L"\\FolderA\\FolderB\\FolderC", D, L"\\FolderA\\FolderD\\FolderE", D, L"..\\..\\FolderD\\FolderE"},
      {L"c:\\a", D, L"C:\\A\\b\\f.txt", F, L".\\b\\f.txt"},
      {L"c:\\a\\", D, L"c:\\a", D, L"."},
      {L"c:\\a\\b", D, L"c:\\a", D, L".."},
      {L"\\tmp\\x", D, L"\\home\\y", D, L"..\\..\\home\\y"},
      {L"\\\\srv\\sh\\a", D, L"\\\\SRV\\SH\\b", D, L"..\\b"},
      // Different roots have no relative path (null: fails).
      {L"c:\\FolderA\\FolderB", D, L"a:\\FolderA\\FolderD", D, nullptr},
      {L"\\\\s1\\sh\\a", D, L"\\\\s2\\sh\\a", D, nullptr},
      {L"c:\\a", D, L"\\a", D, nullptr},
      {L"one\\a", D, L"two\\a", D, nullptr},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    wchar_t out[MAX_PATH] = L"junk";
    const BOOL ok = PathRelativePathToW(out, cases[i].from, cases[i].fromAttr, cases[i].to, cases[i].toAttr);
    EXPECT_EQ(ok != FALSE, cases[i].out != nullptr) << "case " << i;
    EXPECT_STREQ(out, cases[i].out ? cases[i].out : L"") << "case " << i;
  }
}

TEST(ShellPathTest, RelativePathLimits) {
  wchar_t out[MAX_PATH] = L"junk";
  EXPECT_FALSE(PathRelativePathToW(out, nullptr, 0, L"a", 0));
  EXPECT_EQ(out[0], L'\0');
  EXPECT_FALSE(PathRelativePathToW(nullptr, L"a", 0, L"a", 0));

  // 130 levels up need 389 characters: refused, buffer emptied; the unbounded form works.
  std::wstring deep = L"c:\\r";
  for (int i = 0; i < 130; ++i) deep += L"\\d";
  wcscpy(out, L"junk");
  SetLastError(kErrorSentinel);
  EXPECT_FALSE(PathRelativePathToW(out, deep.c_str(), FILE_ATTRIBUTE_DIRECTORY, L"c:\\r\\x", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(out[0], L'\0');
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
  std::wstring whole;
  EXPECT_TRUE(VormPathRelativePathTo(deep, true, L"c:\\r\\x", false, whole));
  EXPECT_EQ(whole.size(), 130u * 3 + 1);
}

}  // namespace
