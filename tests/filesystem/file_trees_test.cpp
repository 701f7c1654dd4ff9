#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/file_match.h>
#include <vorm/file_trees.h>
#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>

#include "support/hostile_tree.h"
#include "support/temp_tree.h"

namespace {

std::wstring Text(const VormPath& p) { return std::wstring(static_cast<const wchar_t*>(p)); }

// Relative paths of every item of a walk, in order.
std::vector<std::wstring> Walk(VormFileMatch& walker, const std::wstring& root, const wchar_t* pattern = L"*",
                               int filter = 0) {
  std::vector<std::wstring> items;
  for (walker.Find(root.c_str(), pattern, filter); walker.HasMatch(); walker.FindNext()) {
    items.push_back(Text(walker.GetRelativePath()));
    if (items.size() > 1000) break;  // a runaway walk fails the test instead of hanging it
  }
  return items;
}

using Items = std::vector<std::wstring>;

class FileTrees : public ::testing::Test {
 protected:
  void SetUp() override { tree.Make({"a/a1/", "a/a2/", "b/", "a/f1.txt", "a/a2/g.TXT", "top.txt", "b/.hidden"}); }
  vorm_test::TempTree tree;
};

TEST_F(FileTrees, WalkOrders) {
  VormBFSDirectoryTree bfs;
  VormDFSDirectoryTree dfs;
  VormBFSFileTree bfsFiles;
  VormDFSFileTree dfsFiles;
  EXPECT_EQ(Walk(bfs, tree.wroot()), (Items{L"", L"a", L"b", L"a\\a1", L"a\\a2"}));
  EXPECT_EQ(Walk(dfs, tree.wroot()), (Items{L"a\\a1", L"a\\a2", L"a", L"b", L""}));
  EXPECT_EQ(Walk(bfsFiles, tree.wroot(), L"*.txt"), (Items{L"top.txt", L"a\\f1.txt", L"a\\a2\\g.TXT"}));
  EXPECT_EQ(Walk(dfsFiles, tree.wroot(), L"*.txt"), (Items{L"a\\a2\\g.TXT", L"a\\f1.txt", L"top.txt"}));
  // Filter 0 yields sub-folders as entries; 0x20 leaves them out.
  EXPECT_EQ(Walk(bfsFiles, tree.wroot(), L"*", 0),
            (Items{L"a", L"b", L"top.txt", L"a\\a1", L"a\\a2", L"a\\f1.txt", L"b\\.hidden", L"a\\a2\\g.TXT"}));
  EXPECT_EQ(Walk(dfsFiles, tree.wroot(), L"*", 0x20),
            (Items{L"a\\a2\\g.TXT", L"a\\f1.txt", L"b\\.hidden", L"top.txt"}));
}

TEST_F(FileTrees, RootItemAndPaths) {
  const std::wstring root = tree.wroot() + L"/";  // doubled separator at the end
  VormBFSDirectoryTree bfs;
  bfs.Find(root.c_str(), L"*", 0);
  EXPECT_EQ(Text(bfs.GetPath()), Text(VormPath(root, VormPath::CanonicalForm)));
  EXPECT_EQ(Text(bfs.GetBaseFolder()), root);

  VormDFSDirectoryTree dfs;
  std::wstring last;
  for (dfs.Find(root.c_str(), L"*", 0); dfs.HasMatch(); dfs.FindNext()) last = Text(dfs.GetPath());
  EXPECT_EQ(last, root);  // the root last, as passed
  EXPECT_EQ(Text(dfs.GetPath()), L"");

  VormDFSFileTree files;
  files.Find(tree.wroot().c_str(), L"g.txt", 0);
  ASSERT_TRUE(files.HasMatch());
  EXPECT_EQ(Text(files.GetPath()), Text(VormPath(tree.wpath("a/a2/g.TXT"), VormPath::CanonicalForm)));
  EXPECT_EQ(Text(files.GetBaseFolder()), tree.wroot());
}

TEST_F(FileTrees, PatternsAndEdgeRoots) {
  tree.Make({"a/ax/deep/", "ab/"});
  VormBFSDirectoryTree bfs;
  VormDFSDirectoryTree dfs;
  // BFS applies the pattern to the root's sub-folders only; DFS at every level.
  EXPECT_EQ(Walk(bfs, tree.wroot(), L"a*"), (Items{L"", L"a", L"ab", L"a\\a1", L"a\\a2", L"a\\ax", L"a\\ax\\deep"}));
  EXPECT_EQ(Walk(dfs, tree.wroot(), L"a*"), (Items{L"a\\a1", L"a\\a2", L"a\\ax", L"a", L"ab", L""}));

  // A root without sub-folders, and a missing root, yield just the root.
  EXPECT_EQ(Walk(bfs, tree.wpath("b")), (Items{L""}));
  EXPECT_EQ(Walk(dfs, tree.wpath("b")), (Items{L""}));
  EXPECT_EQ(Walk(dfs, tree.wpath("missing")), (Items{L""}));
  VormBFSFileTree files;
  EXPECT_EQ(Walk(files, tree.wpath("missing")), (Items{}));
}

TEST_F(FileTrees, LinksAreNotEntered) {
  tree.Make({"outside/keep.txt"});
  namespace fs = std::filesystem;
  fs::create_directory_symlink(tree.root(), tree.root() / "a" / "loop");  // a cycle
  fs::create_directory_symlink(tree.root() / "outside", tree.root() / "b" / "out");
  fs::create_directory_symlink(tree.root() / "nowhere", tree.root() / "b" / "dangling");
  VormBFSDirectoryTree bfs;
  VormDFSDirectoryTree dfs;
  VormBFSFileTree files;
  EXPECT_EQ(Walk(bfs, tree.wroot()), (Items{L"", L"a", L"b", L"outside", L"a\\a1", L"a\\a2"}));
  EXPECT_EQ(Walk(dfs, tree.wroot()), (Items{L"a\\a1", L"a\\a2", L"a", L"b", L"outside", L""}));
  // The links are entries of their folders, never folders to search.
  EXPECT_EQ(Walk(files, tree.wpath("b"), L"*", 0), (Items{L".hidden", L"dangling", L"out"}));
  // The root itself is entered even through a link.
  EXPECT_EQ(Walk(files, tree.wpath("b/out"), L"*", 0), (Items{L"keep.txt"}));
}

TEST_F(FileTrees, MatcherProtocol) {
  VormBasicFileMatcher m;
  EXPECT_FALSE(m.FindNext());  // closed
  m.SetSkipDots(FALSE);
  EXPECT_EQ(Walk(m, tree.wpath("a"), L"*", 0), (Items{L".", L"..", L"a1", L"a2", L"f1.txt"}));
  m.SetSkipDots(TRUE);
  EXPECT_EQ(Walk(m, tree.wpath("a"), L"*", 0x20), (Items{L"f1.txt"}));
  EXPECT_EQ(Walk(m, tree.wpath("a"), L"*", 0x3), (Items{}));
  EXPECT_EQ(Walk(m, tree.wpath("a"), L"*", 0x100), (Items{}));  // archived files are not NORMAL
  EXPECT_EQ(Walk(m, tree.wpath("b"), L"*", 0x40), (Items{L".hidden"}));
  EXPECT_EQ(Walk(m, tree.wpath("missing"), L"*", 0), (Items{}));

  const std::wstring odd = tree.wroot() + L"/a//";
  m.Find(odd.c_str(), L"A?", 0x2090);
  ASSERT_TRUE(m.HasMatch());
  EXPECT_EQ(Text(m.GetRelativePath()), L"a1");
  EXPECT_EQ(Text(m.GetBaseFolder()), odd);
  EXPECT_EQ(Text(m.GetPath()), Text(VormPath(odd, VormPath::CanonicalForm).Join(L"a1")));
  m.FindNext();
  m.FindNext();
  EXPECT_FALSE(m.HasMatch());
  EXPECT_EQ(Text(m.GetPath()), odd);
  EXPECT_EQ(Text(m.GetRelativePath()), L"");

  const struct {
    int filter;
    DWORD attributes;
    BOOL expected;
  } filters[] = {
      {0, 0xFFFF, TRUE},
      {0x10, FILE_ATTRIBUTE_DIRECTORY, TRUE},
      {0x10, FILE_ATTRIBUTE_ARCHIVE, FALSE},
      {0x2090, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, FALSE},
      {0x2090, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY, TRUE},
      {0x3 << 14, 0, FALSE},
      {0x1 << 8, FILE_ATTRIBUTE_NORMAL, TRUE},
      {0x2 << 10, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, FALSE},
  };
  for (size_t i = 0; i < std::size(filters); ++i) {
    EXPECT_EQ(VormBasicFileMatcher::MatchesFilter(filters[i].filter, filters[i].attributes), filters[i].expected) << i;
  }
}

// Names that the path grammar would read as steps, separators, drives or wildcards are
// single entries: every walker yields each entry once, and its path leads back to the bytes
// on disk. Nothing outside the tree is ever listed.
TEST_F(FileTrees, HostileNamesAreEntriesOfTheirFolders) {
  namespace fs = std::filesystem;
  const fs::path root = tree.root() / "outer" / "inner" / "T";
  const std::vector<std::string> contents = vorm_test::MakeHostileTree(root);
  vorm_test::MakeSentinels(root);
  // What each walker must yield: the relative paths of every entry, or of the real folders.
  std::vector<std::string> entries, folders{""};
  for (std::string item : contents) {
    item = item.substr(0, std::min(item.find("->"), item.find('=')));
    if (item.back() == '/') {
      item.pop_back();
      folders.push_back(item);
    }
    entries.push_back(item);
  }
  std::sort(entries.begin(), entries.end());
  std::sort(folders.begin(), folders.end());

  VormBFSDirectoryTree bfs;
  VormDFSDirectoryTree dfs;
  VormBFSFileTree bfsFiles;
  VormDFSFileTree dfsFiles;
  const struct {
    VormFileMatch* walker;
    int filter;
    const std::vector<std::string>* expected;
  } walks[] = {{&bfs, 0x10, &folders}, {&dfs, 0x10, &folders}, {&bfsFiles, 0, &entries}, {&dfsFiles, 0, &entries}};
  const std::wstring wroot = VormFromOsPath(root.string());
  for (size_t i = 0; i < std::size(walks); ++i) {
    std::vector<std::string> seen;
    VormFileMatch& walker = *walks[i].walker;
    for (walker.Find(wroot.c_str(), L"*", walks[i].filter); walker.HasMatch() && seen.size() < 1000;
         walker.FindNext()) {
      const std::string relative = VormToOsPath(walker.GetRelativePath().GetText().str());
      seen.push_back(relative);
      const std::string path = VormToOsPath(walker.GetPath().GetText().str());
      EXPECT_EQ(path, relative.empty() ? root.string() : (root / relative).string()) << i;
      EXPECT_TRUE(fs::exists(fs::symlink_status(path))) << i << " " << path;
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, *walks[i].expected) << i;
  }
}

// A walk reads no entry's record unless the caller or the filter needs it, and names the first
// folder it could not read while going on without it.
TEST_F(FileTrees, RecordsOnlyWhenAskedAndReadErrorsKept) {
  struct Disarm {
    ~Disarm() { VormInjectFileFault(0, 0, 0); }
  } disarm;
  VormBFSFileTree files;
  VormInjectFileFault(VORM_FAULT_STAT, 0, 0);
  EXPECT_EQ(Walk(files, tree.wroot(), L"*", 0x20).size(), 4u);
  EXPECT_EQ(VormFileFaultCalls(), 0u);
  // Read-only must be clear (0x800): each file's record is read once.
  EXPECT_EQ(Walk(files, tree.wroot(), L"*", 0x800 | 0x20).size(), 4u);
  EXPECT_EQ(VormFileFaultCalls(), 4u);
  VormInjectFileFault(VORM_FAULT_STAT, 0, 0);
  for (files.Find(tree.wroot().c_str(), L"*.txt", 0); files.HasMatch(); files.FindNext()) {
    EXPECT_EQ(files.GetFindData()->dwFileAttributes, DWORD{FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_EQ(files.GetFindData()->dwFileAttributes, files.GetKnownAttributes());
  }
  EXPECT_EQ(VormFileFaultCalls(), 3u);

  // The root's listing fails: nothing below it is walked, and the walkers say so.
  VormBFSDirectoryTree bfs;
  VormDFSDirectoryTree dfs;
  VormDFSFileTree dfsFiles;
  VormFileMatch* walkers[] = {&bfs, &dfs, &files, &dfsFiles};
  const VormReadError* errors[] = {&bfs.GetReadError(), &dfs.GetReadError(), &files.GetReadError(),
                                   &dfsFiles.GetReadError()};
  for (size_t i = 0; i < std::size(walkers); ++i) {
    VormInjectFileFault(VORM_FAULT_LIST, 1, EIO);
    const Items items = Walk(*walkers[i], tree.wroot());
    EXPECT_LE(items.size(), 1u) << i;
    EXPECT_EQ(errors[i]->code, DWORD{ERROR_GEN_FAILURE}) << i;
    VormInjectFileFault(0, 0, 0);
    EXPECT_EQ(Walk(*walkers[i], tree.wroot()).size(), i < 2 ? 5u : 8u) << i;
    EXPECT_EQ(errors[i]->code, 0u) << i;
  }
}

}  // namespace
