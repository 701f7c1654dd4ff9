#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/browse_folder.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/shell_browse.h>
#include <vorm/platform/text.h>

#include "support/temp_tree.h"

namespace {

using vorm_test::TempTree;

// What a scripted user saw of the dialog after one of its steps.
struct Seen {
  std::wstring selection;
  bool okEnabled;
  std::wstring status;
};

// Plays the user: records the dialog as it opened, then runs the script, which may select
// folders (each recorded) and answers OK (true) or Cancel.
class ScriptedUser : public VormFolderDialogProvider {
 public:
  explicit ScriptedUser(std::vector<std::wstring> selections, bool ok) : selections_(std::move(selections)), ok_(ok) {}

  bool Run(VormFolderDialog& dialog) override {
    title = dialog.Title();
    root = dialog.Root();
    flags = dialog.Flags();
    dialog.Initialize();
    Record(dialog);
    for (const std::wstring& s : selections_) {
      dialog.Select(s.c_str());
      Record(dialog);
    }
    return ok_;
  }
  void Record(const VormFolderDialog& d) { seen.push_back({d.Selection(), d.OkEnabled(), d.StatusText()}); }

  std::wstring title, root;
  UINT flags = 0;
  std::vector<Seen> seen;

 private:
  std::vector<std::wstring> selections_;
  bool ok_;
};

// Refuses folders named "locked".
class NoLockedFolders : public VormBrowseForDirectory {
 public:
  BOOL ValidateSelection(const wchar_t* path, CString& message) override {
    asked.push_back(path);
    const std::wstring p(path);
    if (p.size() < 6 || p.compare(p.size() - 6, 6, L"locked") != 0) return TRUE;
    message = L"This folder is locked.";
    return FALSE;
  }
  std::vector<std::wstring> asked;
};

class BrowseFolder : public ::testing::Test {
 protected:
  void SetUp() override { tree.Make({"data/survey/", "data/locked/", "other/"}); }
  void TearDown() override { VormSetFolderDialogProvider(previous); }

  std::shared_ptr<ScriptedUser> Install(std::vector<std::wstring> selections, bool ok = true) {
    auto user = std::make_shared<ScriptedUser>(std::move(selections), ok);
    auto old = VormSetFolderDialogProvider(user);
    if (!previous) previous = old;
    return user;
  }
  // The temporary root joined with `rel` (no trailing separator).
  std::wstring B(const std::wstring& rel = L"") const {
    std::wstring root = tree.wroot();
    root.pop_back();
    return root + rel;
  }

  TempTree tree;
  std::shared_ptr<VormFolderDialogProvider> previous;
};

TEST_F(BrowseFolder, ChosenFolderComesBackWithTrailingSeparator) {
  auto user = Install({B(L"/data/survey")});
  VormBrowseForDirectory browse;
  VormPath backslash(L"unchanged");
  ASSERT_TRUE(browse.Browse(backslash, nullptr, L"Pick a folder", nullptr, nullptr));
  EXPECT_EQ(std::wstring(backslash), B(L"/data/survey\\"));
  EXPECT_EQ(user->title, L"Pick a folder");
  EXPECT_EQ(user->flags, 0x4Du);
  // No root and no initial folder: rooted at the desktop, the root itself selected.
  EXPECT_EQ(user->root, L"/");
  EXPECT_EQ(user->seen[0].selection, L"/");

  VormPath slash(L"", VormPath::SlashSeparator);
  ASSERT_TRUE(browse.Browse(slash, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(std::wstring(slash), B(L"/data/survey/"));
  Install({L"/"});
  ASSERT_TRUE(browse.Browse(slash, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(std::wstring(slash), L"/");

  Install({B(L"/other")}, false);  // cancel leaves the result unchanged
  EXPECT_FALSE(browse.Browse(slash, nullptr, L"t", nullptr, nullptr));
  EXPECT_EQ(std::wstring(slash), L"/");
}

TEST_F(BrowseFolder, InitialFolderIsPreselectedAndRootLimitsSelection) {
  auto user = Install({B(L"/other")});
  VormBrowseForDirectory browse;
  VormPath result;
  ASSERT_TRUE(browse.Browse(result, B(L"/data/survey").c_str(), nullptr, nullptr, B(L"/data/").c_str()));
  EXPECT_EQ(user->root, B(L"/data"));
  EXPECT_EQ(user->seen[0].selection, B(L"/data/survey"));
  EXPECT_EQ(user->seen[1].selection, B(L"/data/survey")) << "a folder outside the root cannot be selected";
  EXPECT_EQ(std::wstring(result), B(L"/data/survey\\"));

  // A missing initial folder and an unparsable root are ignored.
  user = Install({});
  ASSERT_TRUE(browse.Browse(result, B(L"/missing").c_str(), nullptr, nullptr, B(L"/nowhere").c_str()));
  EXPECT_EQ(user->root, L"/");
  EXPECT_EQ(user->seen[0].selection, L"/");
}

TEST_F(BrowseFolder, ValidationDisablesOkAndShowsItsMessage) {
  // OK pressed at the end while disabled: nothing is chosen.
  auto user = Install({B(L"/data/locked"), B(L"/data/survey"), B(L"/data/locked")});
  NoLockedFolders browse;
  VormPath result(L"before");
  EXPECT_FALSE(browse.Browse(result, nullptr, nullptr, nullptr, B().c_str()));
  EXPECT_EQ(std::wstring(result), L"before");
  ASSERT_EQ(user->seen.size(), 4u);
  EXPECT_TRUE(user->seen[0].okEnabled);
  EXPECT_FALSE(user->seen[1].okEnabled);
  EXPECT_EQ(user->seen[1].status, L"This folder is locked.");
  EXPECT_TRUE(user->seen[2].okEnabled);
  EXPECT_EQ(user->seen[2].status, L"") << "the status line always shows the latest verdict";
  EXPECT_FALSE(user->seen[3].okEnabled);
  EXPECT_EQ(browse.asked, (std::vector<std::wstring>{B(), B(L"/data/locked"), B(L"/data/survey"), B(L"/data/locked")}));

  // The class's own validation never disables OK.
  Install({B(L"/data/locked")});
  VormBrowseForDirectory plain;
  EXPECT_TRUE(plain.Browse(result, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(std::wstring(result), B(L"/data/locked\\"));
}

TEST_F(BrowseFolder, CallbackAnsweringEveryChangeWithASelectionEnds) {
  static std::wstring target;
  target = B(L"/other");
  BFFCALLBACK pingPong = [](HWND dialog, UINT message, LPARAM, LPARAM) -> int {
    if (message == BFFM_SELCHANGED)
      SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(target.c_str()));
    return 0;
  };
  Install({});
  VormBrowseForDirectory browse(pingPong);
  VormPath result;
  EXPECT_TRUE(browse.Browse(result, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(std::wstring(result), target + L"\\");
}

TEST(ShellNamespace, ItemListsAndDesktopParsing) {
  TempTree tree;
  tree.Make({"d/"});
  IShellFolder* desktop = nullptr;
  ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
  std::wstring name = tree.wpath("d") + L"/./";
  PIDLIST_RELATIVE list = nullptr;
  ULONG eaten = 0;
  ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, name.data(), &eaten, &list, nullptr), S_OK);
  EXPECT_EQ(eaten, name.size());
  wchar_t path[MAX_PATH];
  ASSERT_TRUE(SHGetPathFromIDListW(list, path));
  EXPECT_EQ(std::wstring(path), tree.wpath("d"));
  ILFree(list);

  desktop->Release();
}

TEST(ShellNamespace, TerminalChooserFollowsTypedCommands) {
  TempTree tree;
  tree.Make({"a/b/", "a/c/"});
  std::string script = VormToUtf8(tree.wpath("a")) + "\nls\nnope\nb\n\n";
  FILE* in = fmemopen(script.data(), script.size(), "r");
  char* outText = nullptr;
  size_t outSize = 0;
  FILE* out = open_memstream(&outText, &outSize);
  auto old = VormSetFolderDialogProvider(VormMakeTerminalFolderDialogProvider(in, out));
  wchar_t name[MAX_PATH];
  BROWSEINFOW info = {};
  info.lpszTitle = L"Choose";
  info.pszDisplayName = name;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  VormSetFolderDialogProvider(old);
  std::fclose(in);
  std::fclose(out);
  const std::string shown(outText, outSize);
  std::free(outText);

  ASSERT_NE(chosen, nullptr);
  wchar_t path[MAX_PATH];
  ASSERT_TRUE(SHGetPathFromIDListW(chosen, path));
  EXPECT_EQ(std::wstring(path), tree.wpath("a/b"));
  EXPECT_STREQ(name, L"b");
  ILFree(chosen);
  EXPECT_NE(shown.find("Choose\n"), std::string::npos);
  EXPECT_NE(shown.find("  b\n  c\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("No such folder below the root: nope"), std::string::npos) << shown;
}

}  // namespace
