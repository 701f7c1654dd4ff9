#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <vorm/file_ops.h>
#include <vorm/file_trees.h>
#include <vorm/platform/files.h>
#include <vorm/platform/text.h>

#include "support/hostile_tree.h"
#include "support/temp_tree.h"

namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;
using vorm_test::RunUnprivileged;
const auto Contents = vorm_test::TreeContents;

bool ReadOnly(const fs::path& p) { return (fs::status(p).permissions() & fs::perms::owner_write) == fs::perms::none; }
void MakeReadOnly(const fs::path& p) {
  fs::permissions(p, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

// `folder` becomes one the unprivileged user cannot change; `owned` entries become theirs.
void LockFolder(const fs::path& root, const fs::path& folder, const std::vector<fs::path>& owned) {
  fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec);
  for (const fs::path& p : owned) {
    if (geteuid() == 0) {
      EXPECT_EQ(lchown(p.c_str(), 65534, 65534), 0);
    }
  }
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
}

class FileOps : public ::testing::Test {
 protected:
  std::wstring W(const std::string& rel) const { return tree.wpath(rel); }
  fs::path R(const std::string& rel) const { return tree.root() / rel; }
  vorm_test::TempTree tree;
};

TEST_F(FileOps, CopyAndDeleteFile) {
  tree.Make({"a.txt", "b.txt", "dir/"});
  struct {
    const char* from;
    const char* to;
    BOOL failIfExists;
    int expected;
    const char* toContent;  // afterwards; null: must not exist
  } cases[] = {
      {"missing", "new.txt", FALSE, 1, nullptr},
      {"a.txt", "b.txt", TRUE, 1, "b.txt"},
      {"a.txt", "b.txt", FALSE, 0, "a.txt"},
      {"a.txt", "c.txt", TRUE, 0, "a.txt"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(VormCopyFile(W(cases[i].from).c_str(), W(cases[i].to).c_str(), cases[i].failIfExists), cases[i].expected)
        << i;
    if (cases[i].toContent) {
      EXPECT_EQ(tree.ReadFile(cases[i].to), cases[i].toContent) << i;
    } else {
      EXPECT_FALSE(fs::exists(R(cases[i].to))) << i;
    }
  }
  MakeReadOnly(R("c.txt"));
  EXPECT_EQ(VormDeleteFile(W("c.txt").c_str()), 0);
  EXPECT_FALSE(fs::exists(R("c.txt")));
  EXPECT_EQ(VormDeleteFile(W("c.txt").c_str()), 1);
  EXPECT_EQ(VormDeleteFile(W("dir").c_str()), 1);
  EXPECT_TRUE(fs::is_directory(R("dir")));

  // A link is deleted as a link; its read-only target keeps its state.
  MakeReadOnly(R("a.txt"));
  fs::create_symlink(R("a.txt"), R("link"));
  EXPECT_EQ(VormDeleteFile(W("link").c_str()), 0);
  EXPECT_FALSE(fs::is_symlink(R("link")));
  EXPECT_TRUE(ReadOnly(R("a.txt")));
}

TEST_F(FileOps, CreatePath) {
  tree.Make({"file"});
  struct {
    const char* path;
    int expected;
    const char* folder;  // must exist afterwards
  } cases[] = {
      {"a/b", 0, "a/b"},        {"a/b", 0, "a/b"},        {"a/b.txt", 0, "a/b.txt"},
      {"x//y\\z/", 0, "x/y/z"}, {"file/sub", 1, nullptr}, {"file", 1, nullptr},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(VormCreatePath(W(cases[i].path).c_str()), cases[i].expected) << i;
    if (cases[i].folder) {
      EXPECT_TRUE(fs::is_directory(R(cases[i].folder))) << i;
    }
  }
  EXPECT_EQ(VormCreatePath(L"C:\\vorm"), 1);
  EXPECT_EQ(VormCreatePath(nullptr), 1);
}

TEST_F(FileOps, CopyAndDeleteMatches) {
  tree.Make({"src/a.txt", "src/b.txt", "src/c.txt", "src/sub/", "dst/b.txt"});
  VormBasicFileMatcher m;
  m.Find(W("src").c_str(), L"*.txt", 0);
  EXPECT_EQ(VormCopyFiles(m, W("dst").c_str(), TRUE), 1);  // stops at b.txt
  EXPECT_EQ(Contents(R("dst")), (Paths{"a.txt=src/a.txt", "b.txt=dst/b.txt"}));
  m.Find(W("src").c_str(), L"*.txt", 0);
  EXPECT_EQ(VormCopyFiles(m, W("none").c_str(), FALSE), 1);  // folders are not created

  VormBFSDirectoryTree folders;
  folders.Find(W("src").c_str(), L"*", 0x10);
  EXPECT_EQ(VormCreatePaths(folders, W("made").c_str()), 0);
  EXPECT_EQ(Contents(R("made")), (Paths{"sub/"}));

  m.Find(W("src").c_str(), L"*", 0);  // the folder fails, every file is still deleted
  EXPECT_EQ(VormDeleteFiles(m), 1);
  EXPECT_EQ(Contents(R("src")), (Paths{"sub/"}));
}

TEST_F(FileOps, CopyAndMoveTree) {
  tree.Make({"src/a.txt", "src/.hidden", "src/d/e/f.txt", "src/empty/", "outside/keep.txt"});
  MakeReadOnly(R("src/d/e/f.txt"));
  fs::create_symlink(R("outside/keep.txt"), R("src/d/file-link"));
  fs::create_directory_symlink(R("outside"), R("src/d/folder-link"));
  fs::create_directory_symlink("..", R("src/d/up"));  // a cycle
  fs::create_symlink("nowhere", R("src/dangling"));
  const Paths original = Contents(R("src"));

  EXPECT_EQ(VormCopyTree(W("src").c_str(), W("copy").c_str(), TRUE), 0);
  EXPECT_EQ(Contents(R("copy")), original);
  EXPECT_TRUE(ReadOnly(R("copy/d/e/f.txt")));
  // Copying again replaces files and links, up to the read-only file, which is protected.
  EXPECT_EQ(VormCopyTree(W("src").c_str(), W("copy").c_str(), FALSE), 1);
  EXPECT_EQ(Contents(R("copy")), original);

  // An existing target with failIfExists stops the copy there; later files are not copied.
  tree.Make({"partial/a.txt"});
  EXPECT_EQ(VormCopyTree(W("src").c_str(), W("partial").c_str(), TRUE), 1);
  EXPECT_FALSE(fs::exists(R("partial/d/e/f.txt")));
  EXPECT_TRUE(fs::is_directory(R("partial/d/e")));  // folders come first

  // Missing sources and copies into the source itself create nothing.
  EXPECT_EQ(VormCopyTree(W("missing").c_str(), W("x").c_str(), FALSE), 1);
  EXPECT_EQ(VormCopyTree(W("src").c_str(), W("src/d/inner").c_str(), FALSE), 1);
  fs::create_directory_symlink(R("src"), R("via"));
  EXPECT_EQ(VormCopyTree(W("src").c_str(), W("via/d/new").c_str(), FALSE), 1);
  EXPECT_EQ(VormMoveTree(W("src").c_str(), W("src").c_str(), FALSE), 1);
  EXPECT_FALSE(fs::exists(R("x")));
  EXPECT_EQ(Contents(R("src")), original);

  EXPECT_EQ(VormMoveTree(W("src").c_str(), W("partial").c_str(), TRUE), 1);  // failed copy: source kept
  EXPECT_EQ(Contents(R("src")), original);
  EXPECT_EQ(VormMoveTree(W("src").c_str(), W("moved").c_str(), TRUE), 0);
  EXPECT_FALSE(fs::exists(R("src")));
  EXPECT_EQ(Contents(R("moved")), original);
  EXPECT_EQ(Contents(R("outside")), (Paths{"keep.txt=outside/keep.txt"}));
}

TEST_F(FileOps, DeleteTree) {
  tree.Make({"t/a.txt", "t/d/e/f.txt", "t/empty/", "outside/keep.txt", "outside/ro.txt"});
  MakeReadOnly(R("t/d/e/f.txt"));
  MakeReadOnly(R("outside/ro.txt"));
  fs::create_directory_symlink(R("outside"), R("t/d/folder-link"));
  fs::create_directory_symlink(R("outside"), R("t/root-link"));
  fs::create_symlink(R("outside/ro.txt"), R("t/d/e/file-link"));
  fs::create_symlink("nowhere", R("t/dangling"));
  EXPECT_EQ(VormDeleteTree(W("t").c_str()), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(R("t"))));
  EXPECT_EQ(Contents(R("outside")), (Paths{"keep.txt=outside/keep.txt", "ro.txt=outside/ro.txt"}));
  EXPECT_TRUE(ReadOnly(R("outside/ro.txt")));
  EXPECT_EQ(VormDeleteTree(W("t").c_str()), 0);  // missing counts as removed

  // The current folder leaves a tree it lies in, and one whose name merely begins with the
  // tree's; another current folder stays.
  const fs::path before = fs::current_path();
  struct {
    const char* current;
    const char* expected;
  } cases[] = {{"DATA/sub", ""}, {"DATA2", ""}, {"other", "other"}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    tree.Make({"DATA/sub/f.txt", "DATA2/", "other/"});
    fs::current_path(R(cases[i].current));
    EXPECT_EQ(VormDeleteTree(W("DATA").c_str()), 0) << i;
    EXPECT_EQ(fs::current_path(), fs::canonical(R(cases[i].expected))) << i;
    EXPECT_FALSE(fs::exists(R("DATA"))) << i;
  }
  // A relative tree is the folder it names now, however the current folder moves.
  const struct {
    const char* current;
    const wchar_t* folder;
    const char* expected;
  } relative[] = {{"DATA/sub", L"..", ""},
                  {"DATA", L".", ""},
                  {"DATA/sub", L"../../DATA", ""},
                  {"", L"DATA", ""},
                  {"other", L"../DATA/", "other"}};
  for (size_t i = 0; i < std::size(relative); ++i) {
    tree.Make({"DATA/sub/f.txt", "DATA/g.txt", "other/"});
    fs::current_path(R(relative[i].current));
    EXPECT_EQ(VormDeleteTree(relative[i].folder), 0) << i;
    EXPECT_EQ(fs::current_path(), fs::canonical(R(relative[i].expected))) << i;
    EXPECT_FALSE(fs::exists(R("DATA"))) << i;
    EXPECT_TRUE(fs::exists(R("other"))) << i;
  }
  fs::current_path(before);

  // A read-only file that cannot be deleted keeps its exact mode and its folders; the rest
  // goes.
  tree.Make({"u/a.txt", "u/locked/f.txt", "u/free/g.txt"});
  fs::permissions(R("u/locked/f.txt"), static_cast<fs::perms>(0464));
  LockFolder(tree.root(), R("u/locked"), {R("u"), R("u/a.txt"), R("u/locked/f.txt"), R("u/free"), R("u/free/g.txt")});
  const std::wstring u = W("u"), f = W("u/locked/f.txt");
  int code = RunUnprivileged([&] { return VormDeleteFile(f.c_str()) * 2 + VormDeleteTree(u.c_str()); });
  if (code == 77) GTEST_SKIP() << "cannot run a child process as an unprivileged user";
  EXPECT_EQ(code, 3);
  EXPECT_EQ(Contents(R("u")), (Paths{"locked/", "locked/f.txt=u/locked/f.txt"}));
  EXPECT_EQ(fs::status(R("u/locked/f.txt")).permissions(), static_cast<fs::perms>(0464));
}

// Collects what an operation reports, as "action path [-> target] [error]" relative to a base.
class Recorder : public VormTreeObserver {
 public:
  Recorder(std::string base, bool dry) : base_(std::move(base)), dry_(dry) {}
  bool DryRun() const override { return dry_; }
  void OnItem(Action action, const wchar_t* path, const wchar_t* target, DWORD error) override {
    static const char* const kNames[] = {"mkdir", "copy", "delete", "rmdir"};
    std::string line = std::string(kNames[action]) + " " + Rel(path);
    if (target) line += " -> " + Rel(target);
    if (error) line += " error " + std::to_string(error);
    items.push_back(line);
  }
  Paths items;

 private:
  std::string Rel(const wchar_t* p) const {
    std::string s = VormToOsPath(p);
    return s.rfind(base_, 0) == 0 ? s.substr(base_.size()) : s;
  }
  std::string base_;
  bool dry_;
};

TEST_F(FileOps, ObserversSeeEveryItemAndDryRunsChangeNothing) {
  tree.Make({"src/a.txt", "src/d/b.txt", "dst/a.txt"});
  const std::string base = tree.root().string() + "/";
  Recorder dry(base, true);
  EXPECT_EQ(VormMoveTree(W("src").c_str(), W("new").c_str(), FALSE, &dry), 0);
  EXPECT_EQ(dry.items,
            (Paths{"mkdir new", "mkdir new/d", "copy src/a.txt -> new/a.txt", "copy src/d/b.txt -> new/d/b.txt",
                   "delete src/a.txt", "delete src/d/b.txt", "rmdir src/d", "rmdir src"}));
  EXPECT_FALSE(fs::exists(R("new")));
  EXPECT_EQ(Contents(R("src")), (Paths{"a.txt=src/a.txt", "d/", "d/b.txt=src/d/b.txt"}));

  // A copy reports the file that stopped it; a delete reports each failure and goes on.
  Recorder copy(base, false);
  EXPECT_EQ(VormCopyTree(W("src").c_str(), W("dst").c_str(), TRUE, &copy), 1);
  EXPECT_EQ(copy.items, (Paths{"mkdir dst/d", "copy src/a.txt -> dst/a.txt error 80"}));
  Recorder removal(base, false);
  EXPECT_EQ(VormDeleteTree(W("dst").c_str(), &removal), 0);
  EXPECT_EQ(removal.items, (Paths{"delete dst/a.txt", "rmdir dst/d", "rmdir dst"}));
}

// Copies, moves and deletes a tree of hostile names below `base` and compares with `cp -a`.
void HostileTreeRoundTrip(const fs::path& base) {
  const fs::path tree = base / "outer/inner/T";
  const Paths original = vorm_test::MakeHostileTree(tree);
  vorm_test::MakeSentinels(tree);
  const auto W = [](const fs::path& p) { return VormFromOsPath(p.string()); };
  const fs::path reference = base / "outer/inner/cp", copy = base / "outer/inner/D", moved = base / "moved";
  ASSERT_EQ(std::system(("cp -a '" + tree.string() + "' '" + reference.string() + "'").c_str()), 0);
  ASSERT_EQ(Contents(reference), original);

  EXPECT_EQ(VormCopyTree(W(tree).c_str(), W(copy).c_str(), TRUE), 0);
  EXPECT_EQ(Contents(copy), original);
  EXPECT_TRUE(ReadOnly(copy / "read\\only"));
  EXPECT_EQ(VormMoveTree(W(copy).c_str(), W(moved).c_str(), TRUE), 0);
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(Contents(moved), original);
  EXPECT_EQ(VormDeleteTree(W(moved).c_str()), 0);
  EXPECT_FALSE(fs::exists(moved));
  EXPECT_EQ(VormDeleteTree(W(tree).c_str()), 0);
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_TRUE(vorm_test::SentinelsIntact(tree));
  EXPECT_EQ(Contents(reference), original);
}

TEST_F(FileOps, HostileNamesNeverLeaveTheTree) {
  HostileTreeRoundTrip(R("own"));
  // The same as an unprivileged user, in a folder of theirs.
  fs::permissions(tree.root(), static_cast<fs::perms>(0755));
  fs::create_directory(R("user"));
  if (geteuid() == 0) {
    ASSERT_EQ(chown(R("user").c_str(), 65534, 65534), 0);
  }
  const int code = RunUnprivileged([&] {
    HostileTreeRoundTrip(R("user"));
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  if (code == 77) GTEST_SKIP() << "cannot run a child process as an unprivileged user";
  EXPECT_EQ(code, 0);
}

// A folder swapped for a link while its tree is removed is never entered: the link goes, what
// it points to stays.
TEST_F(FileOps, DeleteNeverEntersAFolderSwappedForALink) {
  tree.Make({"t/a.txt", "t/b/inner.txt", "outside/keep.txt"});
  struct Swapper : VormTreeObserver {
    explicit Swapper(const fs::path& root) : root(root) {}
    void OnItem(Action, const wchar_t* path, const wchar_t*, DWORD) override {
      if (swapped || VormToOsPath(path).find("a.txt") == std::string::npos) return;
      fs::rename(root / "t/b", root / "b");  // after a.txt, before b is read
      fs::create_directory_symlink(root / "outside", root / "t/b");
      swapped = true;
    }
    fs::path root;
    bool swapped = false;
  } swapper(tree.root());
  EXPECT_EQ(VormDeleteTree(W("t").c_str(), &swapper), 0);
  EXPECT_TRUE(swapper.swapped);
  EXPECT_FALSE(fs::exists(fs::symlink_status(R("t"))));
  EXPECT_EQ(Contents(R("outside")), (Paths{"keep.txt=outside/keep.txt"}));
  EXPECT_EQ(Contents(R("b")), (Paths{"inner.txt=t/b/inner.txt"}));
}

}  // namespace
