// Tree operations while the OS refuses one step at a time: each copy, move and delete runs
// once to count its steps, then once per step with that step failing.
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/file_ops.h>
#include <vorm/platform/files.h>
#include <vorm/platform/text.h>

#include "support/hostile_tree.h"
#include "support/temp_tree.h"

namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;
using vorm_test::TreeContents;

// Counts the failures an operation reports.
class Failures : public VormTreeObserver {
 public:
  void OnItem(Action, const wchar_t*, const wchar_t*, DWORD error) override { count += error != 0; }
  int count = 0;
};

// Disarms the fault injection whatever a test does.
struct Disarm {
  ~Disarm() { VormInjectFileFault(0, 0, 0); }
};

bool Within(const Paths& part, const Paths& whole) {
  return std::all_of(part.begin(), part.end(),
                     [&](const std::string& item) { return std::binary_search(whole.begin(), whole.end(), item); });
}

class FileFaults : public ::testing::Test {
 protected:
  // A fresh source tree with sentinels beside and above it; its contents.
  Paths Build() {
    fs::remove_all(work());
    tree.Make({"work/src/a.txt", "work/src/d/b.txt", "work/src/d/e/c.txt", "work/src/empty/"});
    tree.WriteFile("work/src/big.bin", std::string(300 * 1024, 'x') + "end");
    tree.WriteFile("work/src/d/ro.txt", "read only");
    fs::permissions(src() / "d/ro.txt", fs::perms::owner_read | fs::perms::group_read);
    fs::create_symlink("a.txt", src() / "d/link");
    fs::create_directory_symlink("../empty", src() / "d/folder-link");
    vorm_test::MakeSentinels(src());
    return TreeContents(src());
  }
  fs::path work() const { return tree.root() / "work"; }
  fs::path src() const { return work() / "src"; }
  fs::path dst() const { return work() / "dst"; }
  std::wstring W(const fs::path& p) const { return VormFromOsPath(p.string()); }

  // Runs `operation` on a fresh tree with step 1, 2, ... failing in turn (errno cycling
  // through `errors`) until a run takes no failing step; `check` sees each outcome.
  void EveryStep(const std::function<int(VormTreeObserver*)>& operation,
                 const std::function<void(const Paths& original, int result, size_t step)>& check) {
    Disarm disarm;
    Build();
    VormInjectFileFault(VORM_FAULT_ALL, 0, 0);
    Failures none;
    ASSERT_EQ(operation(&none), 0);
    const unsigned long steps = VormFileFaultCalls();
    ASSERT_GT(steps, 20u);
    const int errors[] = {EIO, ENOSPC, EACCES, EROFS};
    for (unsigned long step = 1; step <= steps; ++step) {
      const Paths original = Build();
      VormInjectFileFault(VORM_FAULT_ALL, step, errors[step % std::size(errors)]);
      Failures failures;
      const int result = operation(&failures);
      VormInjectFileFault(0, 0, 0);
      SCOPED_TRACE("step " + std::to_string(step) + " of " + std::to_string(steps));
      EXPECT_TRUE(vorm_test::SentinelsIntact(src()));
      // Every failure is reported, and nothing is reported that did not fail.
      EXPECT_EQ(result != 0, failures.count > 0) << failures.count;
      check(original, result, step);
      if (::testing::Test::HasFailure()) return;  // one failing step tells enough
    }
  }

  vorm_test::TempTree tree;
};

TEST_F(FileFaults, CopyNeverLeavesAPartialFile) {
  EveryStep([&](VormTreeObserver* o) { return VormCopyTree(W(src()).c_str(), W(dst()).c_str(), TRUE, o); },
            [&](const Paths& original, int result, size_t) {
              EXPECT_EQ(TreeContents(src()), original);
              // Whatever reached the target is whole: no truncated file, no temporary left.
              const Paths copied = fs::exists(dst()) ? TreeContents(dst()) : Paths{};
              EXPECT_TRUE(Within(copied, original));
              if (result == 0) {
                EXPECT_EQ(copied, original);
              }
            });
}

TEST_F(FileFaults, FailedMoveKeepsTheSource) {
  EveryStep([&](VormTreeObserver* o) { return VormMoveTree(W(src()).c_str(), W(dst()).c_str(), TRUE, o); },
            [&](const Paths& original, int result, size_t) {
              const Paths moved = fs::exists(dst()) ? TreeContents(dst()) : Paths{};
              const Paths left = fs::exists(fs::symlink_status(src())) ? TreeContents(src()) : Paths{};
              EXPECT_TRUE(Within(moved, original));
              EXPECT_TRUE(Within(left, original));
              // The source is removed only once the target is whole.
              if (moved != original) {
                EXPECT_EQ(left, original);
              }
              if (result == 0) {
                EXPECT_EQ(moved, original);
                EXPECT_FALSE(fs::exists(fs::symlink_status(src())));
              }
            });
}

TEST_F(FileFaults, DeleteReportsWhatItLeaves) {
  EveryStep([&](VormTreeObserver* o) { return VormDeleteTree(W(src()).c_str(), o); },
            [&](const Paths& original, int result, size_t) {
              const bool gone = !fs::exists(fs::symlink_status(src()));
              if (!gone) {
                EXPECT_TRUE(Within(TreeContents(src()), original));
              }
              EXPECT_EQ(result == 0, gone);
            });
}

}  // namespace
