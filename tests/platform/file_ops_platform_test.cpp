#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>

#include "support/temp_tree.h"

namespace {

namespace fs = std::filesystem;
using vorm_test::kErrorSentinel;

mode_t Mode(const fs::path& p) {
  struct stat st {};
  lstat(p.c_str(), &st);
  return st.st_mode & 07777;
}

class FileOpsPlatform : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.Make({"a.txt", "ro.txt", "dir/x.txt", "empty/"});
    chmod(R("ro.txt").c_str(), 0444);
    fs::create_directory_symlink(R("dir"), R("dirlink"));
    fs::create_symlink(R("a.txt"), R("filelink"));
  }
  std::wstring W(const std::string& rel) const { return tree.wpath(rel); }
  fs::path R(const std::string& rel) const { return tree.root() / rel; }
  vorm_test::TempTree tree;
};

// Result and last error of each function's failure paths, and a success clearing the error.
TEST_F(FileOpsPlatform, ErrorCodes) {
  const fs::path before = fs::current_path();
  fs::current_path(R("empty"));
  struct {
    const char* what;
    std::function<BOOL()> call;
    DWORD error;
  } cases[] = {
      {"copy missing", [&] { return CopyFileW(W("no").c_str(), W("b").c_str(), FALSE); }, ERROR_FILE_NOT_FOUND},
      {"copy missing dir", [&] { return CopyFileW(W("no/a").c_str(), W("b").c_str(), FALSE); }, ERROR_PATH_NOT_FOUND},
      {"copy exists", [&] { return CopyFileW(W("a.txt").c_str(), W("ro.txt").c_str(), TRUE); }, ERROR_FILE_EXISTS},
      {"copy onto ro", [&] { return CopyFileW(W("a.txt").c_str(), W("ro.txt").c_str(), FALSE); }, ERROR_ACCESS_DENIED},
      {"copy onto dir", [&] { return CopyFileW(W("a.txt").c_str(), W("dir").c_str(), FALSE); }, ERROR_ACCESS_DENIED},
      {"copy to no dir", [&] { return CopyFileW(W("a.txt").c_str(), W("no/b").c_str(), FALSE); }, ERROR_PATH_NOT_FOUND},
      {"copy self", [&] { return CopyFileW(W("a.txt").c_str(), W("filelink").c_str(), FALSE); },
       ERROR_SHARING_VIOLATION},
      {"copy", [&] { return CopyFileW(W("a.txt").c_str(), W("b").c_str(), TRUE); }, ERROR_SUCCESS},
      {"delete ro", [&] { return DeleteFileW(W("ro.txt").c_str()); }, ERROR_ACCESS_DENIED},
      {"delete dir", [&] { return DeleteFileW(W("dir").c_str()); }, ERROR_ACCESS_DENIED},
      {"delete missing", [&] { return DeleteFileW(W("no").c_str()); }, ERROR_FILE_NOT_FOUND},
      {"delete", [&] { return DeleteFileW(W("b").c_str()); }, ERROR_SUCCESS},
      {"mkdir exists", [&] { return CreateDirectoryW(W("a.txt").c_str(), nullptr); }, ERROR_ALREADY_EXISTS},
      {"mkdir no parent", [&] { return CreateDirectoryW(W("no/d").c_str(), nullptr); }, ERROR_PATH_NOT_FOUND},
      {"mkdir", [&] { return CreateDirectoryW(W("new").c_str(), nullptr); }, ERROR_SUCCESS},
      {"rmdir full", [&] { return RemoveDirectoryW(W("dir").c_str()); }, ERROR_DIR_NOT_EMPTY},
      {"rmdir file", [&] { return RemoveDirectoryW(W("a.txt").c_str()); }, ERROR_DIRECTORY},
      {"rmdir current", [&] { return RemoveDirectoryW(W("empty").c_str()); }, ERROR_SHARING_VIOLATION},
      {"rmdir missing", [&] { return RemoveDirectoryW(W("no").c_str()); }, ERROR_FILE_NOT_FOUND},
      {"rmdir", [&] { return RemoveDirectoryW(W("new").c_str()); }, ERROR_SUCCESS},
      {"attrib missing", [&] { return SetFileAttributesW(W("no").c_str(), 0); }, ERROR_FILE_NOT_FOUND},
      {"attrib", [&] { return SetFileAttributesW(W("a.txt").c_str(), FILE_ATTRIBUTE_HIDDEN); }, ERROR_SUCCESS},
  };
  for (const auto& c : cases) {
    SetLastError(kErrorSentinel);
    EXPECT_EQ(c.call(), c.error == ERROR_SUCCESS ? TRUE : FALSE) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
  fs::current_path(before);
  EXPECT_EQ(tree.ReadFile("a.txt"), "a.txt");
  EXPECT_TRUE(fs::exists(R("ro.txt")));
}

TEST_F(FileOpsPlatform, CopyKeepsDataTimeAndReadOnly) {
  std::string big(3 * 1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
  tree.WriteFile("big", big);
  tree.WriteFile("zero", "");
  const auto stamp = fs::last_write_time(R("ro.txt")) - std::chrono::hours(50);
  fs::last_write_time(R("big"), stamp);
  for (const char* name : {"big", "zero", "ro.txt"}) {
    const std::string to = std::string(name) + ".copy";
    ASSERT_TRUE(CopyFileW(W(name).c_str(), W(to).c_str(), TRUE)) << name;
    EXPECT_EQ(tree.ReadFile(to), tree.ReadFile(name)) << name;
    EXPECT_EQ(Mode(R(to)), Mode(R(name))) << name;
  }
  EXPECT_EQ(fs::last_write_time(R("big.copy")), stamp);
  // Replacing: complete before the old target goes; a failed copy leaves it untouched.
  ASSERT_TRUE(CopyFileW(W("big").c_str(), W("a.txt").c_str(), FALSE));
  EXPECT_EQ(tree.ReadFile("a.txt"), big);
  EXPECT_FALSE(CopyFileW(W("dir").c_str(), W("a.txt").c_str(), FALSE));
  EXPECT_EQ(tree.ReadFile("a.txt"), big);
  EXPECT_EQ(std::distance(fs::directory_iterator(tree.root()), {}), 11);  // no temporary left
}

TEST_F(FileOpsPlatform, AttributesAndRuntime) {
  // Read-only clears every write bit; clearing it gives back the owner's only.
  chmod(R("a.txt").c_str(), 0664);
  EXPECT_TRUE(SetFileAttributesW(W("a.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_EQ(Mode(R("a.txt")), 0444u);
  EXPECT_TRUE(SetFileAttributesW(W("a.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(Mode(R("a.txt")), 0644u);
  EXPECT_TRUE(SetFileAttributesW(W("empty").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
  SetLastError(kErrorSentinel);
  EXPECT_FALSE(RemoveDirectoryW(W("empty").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  errno = 0;
  EXPECT_EQ(_wremove(W("ro.txt").c_str()), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(_wremove(W("no").c_str()), -1);
  EXPECT_EQ(errno, ENOENT);
}

// With any one step of a copy failing, the target holds its old content or the new, never a
// part, and no temporary stays behind.
TEST_F(FileOpsPlatform, CopyIsWholeOrNothingWhateverStepFails) {
  struct Disarm {
    ~Disarm() { VormInjectFileFault(0, 0, 0); }
  } disarm;
  const std::string data(200 * 1024, 'n');
  tree.WriteFile("new", data);
  for (const BOOL replace : {TRUE, FALSE}) {
    const std::string target = replace ? "a.txt" : "fresh";
    VormInjectFileFault(VORM_FAULT_ALL, 0, 0);
    ASSERT_TRUE(CopyFileW(W("new").c_str(), W("probe").c_str(), FALSE));
    const unsigned long steps = VormFileFaultCalls() + 2;  // a replacement looks at the target
    for (unsigned long step = 1; step <= steps; ++step) {
      if (replace) tree.WriteFile(target, "old");
      VormInjectFileFault(VORM_FAULT_ALL, step, EIO);
      const BOOL copied = CopyFileW(W("new").c_str(), W(target).c_str(), FALSE);
      VormInjectFileFault(0, 0, 0);
      const std::string now = fs::exists(R(target)) ? tree.ReadFile(target) : "(none)";
      EXPECT_EQ(now, copied ? data : replace ? "old" : "(none)") << target << " step " << step;
      for (const auto& entry : fs::directory_iterator(tree.root())) {
        EXPECT_NE(entry.path().filename().string().rfind(".~", 0), 0u) << entry.path();
      }
      fs::remove(R("fresh"));
    }
  }
}

}  // namespace
