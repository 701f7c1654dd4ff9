#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <list>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <vorm/path.h>
#include <vorm/platform/files.h>
#include <vorm/platform/registry.h>
#include <vorm/platform/text.h>

#include "support/temp_tree.h"

namespace {

std::wstring Text(const VormPath& p) { return std::wstring(static_cast<const wchar_t*>(p)); }

// Run as the helper of ModuleFileOfAnyLength (a copy of this program at a long path), the
// program writes its module file and folder and exits before any test runs.
const bool kModuleHelper = [] {
  const char* out = std::getenv("VORM_TEST_MODULE_OUT");
  if (!out) return false;
  std::ofstream(out) << VormToOsPath(VormPath(ModuleFile).GetText().str()) << '\n'
                     << VormToOsPath(VormPath(ModuleFolder).GetText().str());
  std::_Exit(0);
}();

struct EditCase {
  const char* op;
  const wchar_t* input;
  std::function<void(VormPath&)> edit;
  const wchar_t* expected;
};

TEST(VormPath, WorkedExamplesOfEditing) {
  const EditCase cases[] = {
      {"Canonicalize", L"C:/dir//sub\\file.txt", [](VormPath& p) { p.Canonicalize(); }, L"C:\\dir\\sub\\file.txt"},
      {"Canonicalize", L"\\\\server//share\\", [](VormPath& p) { p.Canonicalize(); }, L"\\\\server\\share\\"},
      {"Canonicalize", L"\"C:\\My Files\\a.txt\"", [](VormPath& p) { p.Canonicalize(); }, L"C:\\My Files\\a.txt"},
      {"Canonicalize", L"a\"b", [](VormPath& p) { p.Canonicalize(); }, L"a\\b"},
      {"Canonicalize", L"\\", [](VormPath& p) { p.Canonicalize(); }, L"\\"},
      {"Canonicalize", L"", [](VormPath& p) { p.Canonicalize(); }, L""},
      {"Canonicalize", L"./a/../b", [](VormPath& p) { p.Canonicalize(); }, L".\\a\\..\\b"},
      {"UseSlashes", L"C:\\dir\\file", [](VormPath& p) { p.UseSlashes(); }, L"C:/dir/file"},
      {"RemoveTrailingSeparators", L"C:\\dir\\\\", [](VormPath& p) { p.RemoveTrailingSeparators(); }, L"C:\\dir"},
      {"RemoveTrailingSeparators", L"C:\\", [](VormPath& p) { p.RemoveTrailingSeparators(); }, L"C:"},
      {"RemoveTrailingSeparators", L"\\\\", [](VormPath& p) { p.RemoveTrailingSeparators(); }, L""},
      {"RemoveLastComponent", L"C:\\dir\\file.txt", [](VormPath& p) { p.RemoveLastComponent(); }, L"C:\\dir\\"},
      {"RemoveLastComponent", L"C:\\dir\\sub\\", [](VormPath& p) { p.RemoveLastComponent(); }, L"C:\\dir\\"},
      {"RemoveLastComponent", L"\\\\server\\share", [](VormPath& p) { p.RemoveLastComponent(); }, L"\\\\server\\"},
      {"RemoveLastComponent", L"file.txt", [](VormPath& p) { p.RemoveLastComponent(); }, L""},
      {"RemoveLastComponent", L"\\file.txt", [](VormPath& p) { p.RemoveLastComponent(); }, L""},
      {"RemoveLastComponent", L"C:\\", [](VormPath& p) { p.RemoveLastComponent(); }, L""},
      {"RemoveLastComponent", L"/\\/", [](VormPath& p) { p.RemoveLastComponent(); }, L""},
      {"RemoveFirstComponent", L"C:\\dir\\sub\\", [](VormPath& p) { p.RemoveFirstComponent(); }, L"dir\\sub\\"},
      {"RemoveFirstComponent", L"\\\\server\\share\\x", [](VormPath& p) { p.RemoveFirstComponent(); }, L"share\\x"},
      {"RemoveFirstComponent", L"only\\", [](VormPath& p) { p.RemoveFirstComponent(); }, L""},
      {"Append", L"C:\\dir", [](VormPath& p) { p.Append(L"sub/file.txt"); }, L"C:\\dir\\sub\\file.txt"},
      {"Append", L"C:\\dir\\", [](VormPath& p) { p.Append(L"\\sub"); }, L"C:\\dir\\sub"},
      {"Append", L"", [](VormPath& p) { p.Append(L"\\sub"); }, L"\\sub"},
      {"Append", L"C:/dir//", [](VormPath& p) { p.Append(L""); }, L"C:\\dir\\"},
      {"SetRoot", L"C:\\dir\\a.doc", [](VormPath& p) { p.SetRoot(L"D:"); }, L"D:\\dir\\a.doc"},
      {"SetDirectory", L"C:\\old\\a.doc", [](VormPath& p) { p.SetDirectory(L"new"); }, L"C:\\new\\a.doc"},
      {"SetFileTitle", L"C:\\dir\\a.doc", [](VormPath& p) { p.SetFileTitle(L"b"); }, L"C:\\dir\\b.doc"},
      {"SetExtension", L"C:\\dir\\a.doc", [](VormPath& p) { p.SetExtension(L"txt"); }, L"C:\\dir\\a.txt"},
      {"SetExtension", L"C:\\dir\\a.doc", [](VormPath& p) { p.SetExtension(L".txt"); }, L"C:\\dir\\a.txt"},
      {"SetExtension", L"C:\\dir\\a.doc", [](VormPath& p) { p.SetExtension(L""); }, L"C:\\dir\\a."},
      {"AddTrailingSeparator", L"", [](VormPath& p) { p.AddTrailingSeparator(); }, L"\\"},
      {"AddTrailingBackslash", L"", [](VormPath& p) { p.AddTrailingBackslash(); }, L"\\"},
      {"AddTrailingBackslash", L"a/", [](VormPath& p) { p.AddTrailingBackslash(); }, L"a/\\"},
      {"AddTrailingBackslash", L"a\\", [](VormPath& p) { p.AddTrailingBackslash(); }, L"a\\"},
      {"RemoveTrailingBackslash", L"a//", [](VormPath& p) { p.RemoveTrailingBackslash(); }, L"a//"},
      {"RemoveTrailingBackslash", L"a\\\\", [](VormPath& p) { p.RemoveTrailingBackslash(); }, L"a\\"},
      {"Combine", L"", [](VormPath& p) { p.Combine(VormPath(L"C:\\a\\b"), VormPath(L"..\\c")); }, L"C:\\a\\c"},
      {"Combine", L"", [](VormPath& p) { p.Combine(VormPath(L"C:\\a\\b"), VormPath(L"\\x")); }, L"C:\\x"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    VormPath p(cases[i].input, 0);
    cases[i].edit(p);
    EXPECT_EQ(Text(p), cases[i].expected) << i << ": " << cases[i].op;
  }
}

TEST(VormPath, WorkedExamplesOfQueries) {
  const struct {
    const wchar_t* input;
    std::function<VormPath(const VormPath&)> query;
    const wchar_t* expected;
  } cases[] = {
      {L"\\\\server\\share", [](const VormPath& p) { return p.FirstComponent(); }, L"server"},
      {L"C:\\dir\\", [](const VormPath& p) { return p.LastComponent(); }, L"dir"},
      {L"\\\\", [](const VormPath& p) { return p.LastComponent(); }, L""},
      {L"C:\\dir\\sub\\file.txt", [](const VormPath& p) { return p.GetFolder(); }, L"C:\\dir\\sub\\"},
      {L"\\\\server\\share\\dir\\f.txt", [](const VormPath& p) { return p.GetFolder(); }, L"\\\\server\\share\\dir\\"},
      {L"C:\\dir\\sub\\file.tar.gz", [](const VormPath& p) { return p.GetRoot(); }, L"C:"},
      {L"C:\\dir\\sub\\file.tar.gz", [](const VormPath& p) { return p.GetDirectory(); }, L"\\dir\\sub\\"},
      {L"C:\\dir\\sub\\file.tar.gz", [](const VormPath& p) { return p.GetFileTitle(); }, L"file.tar"},
      {L"C:\\dir\\sub\\file.tar.gz", [](const VormPath& p) { return p.GetExtension(); }, L".gz"},
      {L"C:\\dir\\sub\\file.tar.gz", [](const VormPath& p) { return p.GetFileName(); }, L"file.tar.gz"},
      {L"C:\\dir\\.profile", [](const VormPath& p) { return p.GetFileTitle(); }, L""},
      {L"/home/me/a b.txt", [](const VormPath& p) { return p.GetFolder(); }, L"\\home\\me\\"},
      {L"C:\\a\\x\\f.txt", [](const VormPath& p) { return p.RelativeTo(VormPath(L"C:\\a\\b")); }, L".\\x\\f.txt"},
      {L"C:\\a\\f.txt", [](const VormPath& p) { return p.RelativeTo(VormPath(L"C:\\a\\b\\")); }, L"..\\f.txt"},
      {L"/tmp/a/f.txt", [](const VormPath& p) { return p.RelativeTo(VormPath(L"/tmp/x/")); }, L"..\\a\\f.txt"},
      {L"C:\\a\\f.txt", [](const VormPath& p) { return p.RelativeTo(VormPath(L"D:\\a\\")); }, L""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const VormPath result = cases[i].query(VormPath(cases[i].input, VormPath::SlashSeparator));
    EXPECT_EQ(Text(result), cases[i].expected) << i;
    EXPECT_STREQ(result.GetSeparator(), L"\\") << i;  // values come back as flags-0 copies
  }
}

TEST(VormPath, SplitAndComponents) {
  VormPath root, dir, title, ext;
  VormPath(L"\\\\server\\share\\dir\\file.txt", VormPath::SlashSeparator).Split(root, dir, title, ext);
  EXPECT_EQ(Text(root), L"//server/share/");
  EXPECT_EQ(Text(dir), L"dir/");
  EXPECT_EQ(Text(title), L"file");
  EXPECT_EQ(Text(ext), L".txt");
  EXPECT_STREQ(dir.GetSeparator(), L"/");

  const struct {
    const wchar_t* input;
    std::list<CString> expected;
  } cases[] = {
      {L"C:\\dir\\sub\\file.txt", {L"C:", L"dir", L"sub", L"file.txt"}},
      {L"\\\\server\\share\\dir\\f.txt", {L"\\\\server\\share\\", L"dir", L"f.txt"}},
      {L"C:\\file.txt", {L"C:", L"", L"file.txt"}},
      {L"", {}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    std::list<CString> out = {L"stale"};
    VormPath(cases[i].input).GetComponents(out);
    EXPECT_EQ(out, cases[i].expected) << i;
  }
}

TEST(VormPath, FlagsCopiesAndSeparators) {
  const struct {
    const wchar_t* input;
    int flags;
    const wchar_t* expected;
  } cases[] = {
      {L"C:\\Dir\\", VormPath::ToUpperCase | VormPath::StripTrailingSeparators, L"C:\\DIR"},
      {L"C:\\Dir", VormPath::ToLowerCase | VormPath::EnsureTrailingSeparator, L"c:\\dir\\"},
      {L"a\\\\b\\", VormPath::SlashSeparator | VormPath::CanonicalForm, L"a/b/"},
      {L"a", VormPath::SlashSeparator | VormPath::EnsureTrailingSeparator, L"a/"},
      {L"Ab", 0x30 | 0x0C, L"Ab"},
      {L"ÄÖ\\Straße", VormPath::ToLowerCase, L"äö\\straße"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Text(VormPath(cases[i].input, cases[i].flags)), cases[i].expected) << i;
  }

  VormPath slash(L"C:/dir", VormPath::SlashSeparator);
  EXPECT_STREQ(VormPath(slash).GetSeparator(), L"\\");  // a copy with flags 0
  VormPath assigned;
  assigned = slash;
  EXPECT_STREQ(assigned.GetSeparator(), L"/");
  assigned = L"x\\y";
  EXPECT_STREQ(assigned.GetSeparator(), L"/");
  EXPECT_EQ(Text(slash.Join(L"sub")), L"C:\\dir\\sub");
  EXPECT_EQ(Text(slash.Append(L"sub")), L"C:/dir/sub");
  EXPECT_EQ(Text(slash), L"C:/dir/sub");

  VormPath empty;
  EXPECT_FALSE(empty.IsUNC());
  EXPECT_FALSE(empty.HasTrailingSeparator());
  EXPECT_TRUE(VormPath(L"/\\srv").IsUNC());
  EXPECT_TRUE(VormPath(L"ab").CharAtIs(2, L""));
  EXPECT_FALSE(VormPath(L"ab").CharAtIs(2, L"b"));
  EXPECT_FALSE(VormPath(L"ab").CharAtIs(static_cast<unsigned>(-1), L""));
  EXPECT_TRUE(VormPath(L"ab").CharAtIs(1, L"bz"));
}

TEST(VormPath, LongTextsAreHandledWhole) {
  std::wstring longDir = L"/r";
  while (longDir.size() < 5000) longDir += L"/component";
  const VormPath p(longDir + L"/file.name.ext");
  EXPECT_EQ(Text(p.GetExtension()), L".ext");
  EXPECT_EQ(Text(p.GetFileTitle()), L"file.name");
  EXPECT_EQ(p.GetFolder().GetText().GetLength(), static_cast<int>(longDir.size() + 1));
  std::list<CString> parts;
  p.GetComponents(parts);
  EXPECT_EQ(parts.size(), 1 + (longDir.size() - 2) / 10 + 1);
  VormPath combined;
  combined.Combine(VormPath(longDir, VormPath::CanonicalForm), VormPath(L"..\\x"));
  EXPECT_EQ(combined.GetText().GetLength(), static_cast<int>(longDir.size() - 9 + 1));
  EXPECT_EQ(Text(p.RelativeTo(VormPath(longDir + L"/"))), L".\\file.name.ext");
  const std::wstring quotes(3000, L'"');
  VormPath q(quotes + L"a" + quotes, VormPath::CanonicalForm);
  EXPECT_EQ(Text(q), L"a");
}

// Part setters and joins given text that points into the path itself: the text is read
// before the path is rebuilt (checked under AddressSanitizer).
TEST(VormPath, ArgumentsMayPointIntoThePathItself) {
  const struct {
    void (*edit)(VormPath&);
    const wchar_t* expected;
  } cases[] = {
      {[](VormPath& p) { p.SetExtension(std::wcsrchr(p, L'.')); }, L"C:\\dir\\file.tar.gz"},
      {[](VormPath& p) { p.SetExtension(std::wcsrchr(p, L'f')); }, L"C:\\dir\\file.tar.file.tar.gz"},
      {[](VormPath& p) { p.SetFileTitle(std::wcsrchr(p, L'\\') + 1); }, L"C:\\dir\\file.tar.gz.gz"},
      {[](VormPath& p) { p.SetRoot(static_cast<const wchar_t*>(p) + 3); }, L"dir\\file.tar.gz\\dir\\file.tar.gz"},
      {[](VormPath& p) { p.SetDirectory(static_cast<const wchar_t*>(p) + 3); }, L"C:\\dir\\file.tar.gz\\file.tar.gz"},
      {[](VormPath& p) { p.Append(static_cast<const wchar_t*>(p) + 3); }, L"C:\\dir\\file.tar.gz\\dir\\file.tar.gz"},
      {[](VormPath& p) { p = p.Join(static_cast<const wchar_t*>(p) + 7); }, L"C:\\dir\\file.tar.gz\\file.tar.gz"},
      {[](VormPath& p) { p.Set(p, VormPath::SlashSeparator | VormPath::CanonicalForm); }, L"C:/dir/file.tar.gz"},
      {[](VormPath& p) { p = p.GetText(); }, L"C:\\dir\\file.tar.gz"},
      {[](VormPath& p) { p.Combine(p, VormPath(L"..\\x")); }, L"C:\\dir\\x"},
      {[](VormPath& p) { p = p.RelativeTo(p); }, L".\\file.tar.gz"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    VormPath p(L"C:\\dir\\file.tar.gz");
    cases[i].edit(p);
    EXPECT_EQ(Text(p), cases[i].expected) << i;
  }
}

class VormPathFiles : public ::testing::Test {
 protected:
  vorm_test::TempTree tree;
};

TEST_F(VormPathFiles, SpecialFolders) {
  VormPath module(ModuleFile);
  VormPath folder(ModuleFolder);
  EXPECT_FALSE(Text(module).empty());
  EXPECT_EQ(Text(folder) + Text(module.LastComponent()), Text(module));
  EXPECT_TRUE(VormPath(TempFolder).HasTrailingSeparator());

  setenv("TMPDIR", std::string(tree.root().string()).c_str(), 1);
  VormPath temp(TempFileName);
  EXPECT_EQ(Text(temp).rfind(tree.wroot() + L"~", 0), 0u) << Text(temp);
  EXPECT_FALSE(temp.Exists());
  unsetenv("TMPDIR");

  VormPath untouched(L"keep");
  untouched.SetSpecialFolder(static_cast<VormSpecialFolder>(-1));
  untouched.SetSpecialFolder(static_cast<VormSpecialFolder>(9));
  EXPECT_EQ(Text(untouched), L"keep");

  // Shell folders come from the registry store, with a backslash added.
  setenv("VORM_REGISTRY", (tree.root() / "registry.reg").c_str(), 1);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t desktop[] = L"C:\\Users\\me\\Desktop";
  ASSERT_EQ(RegSetValueExW(key, L"Desktop", 0, REG_SZ, reinterpret_cast<const BYTE*>(desktop), sizeof(desktop)),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(Text(VormPath(DesktopFolder)), L"C:\\Users\\me\\Desktop\\");
  VormPath favorites(L"before");
  favorites.SetSpecialFolder(FavoritesFolder);
  EXPECT_EQ(Text(favorites), L"before");
  unsetenv("VORM_REGISTRY");
}

TEST_F(VormPathFiles, ModuleFileOfAnyLength) {
  namespace fs = std::filesystem;
  const fs::path folder = tree.root() / std::string(100, 'a') / std::string(100, 'b') / std::string(60, 'c');
  const fs::path copy = folder / "module helper";
  fs::create_directories(folder);
  fs::copy_file("/proc/self/exe", copy);
  ASSERT_GT(copy.string().size(), 265u);
  const fs::path out = tree.root() / "module.txt";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("VORM_TEST_MODULE_OUT", out.c_str(), 1);
    execl(copy.c_str(), copy.c_str(), "--gtest_filter=-*", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::ifstream in(out);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, copy.string() + "\n" + folder.string() + "/");
}

TEST_F(VormPathFiles, AttributeDataAndAccess) {
  tree.Make({"sub/", "f.txt"});
  WIN32_FILE_ATTRIBUTE_DATA data{};
  const VormPath file(tree.wpath("f.txt"));
  ASSERT_TRUE(file.GetAttributeData(&data));
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(file.Exists());
  EXPECT_EQ(file.Access(6), 0);

  data = {};
  EXPECT_FALSE(VormPath(tree.wpath("sub")).GetAttributeData(&data));
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);  // stored though the call fails
  EXPECT_FALSE(VormPath(tree.wpath("missing")).GetAttributeData(&data));
  EXPECT_FALSE(VormPath(tree.wpath("missing")).Exists());
  EXPECT_EQ(VormGetFileAttributesEx(file, 1, &data), 0);
  EXPECT_EQ(VormGetFileAttributesEx(file, 0, nullptr), 0);
}

}  // namespace
