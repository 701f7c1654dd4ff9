#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/sync.h>
#include <vorm/platform/text.h>

#include "platform/fs/change_notify.h"
#include "support/temp_tree.h"

namespace {

namespace fs = std::filesystem;
using vorm_test::kErrorSentinel;

constexpr DWORD kLong = 10000;  // generous: a signal normally arrives within milliseconds

// A call's result and the last error it left, seeded with a sentinel first.
template <class Call>
auto Outcome(Call call) {
  SetLastError(kErrorSentinel);
  const auto result = call();
  return std::pair(result, GetLastError());
}

class ChangeNotify : public ::testing::Test {
 protected:
  HANDLE Watch(const std::string& rel, DWORD filter) {
    HANDLE h = FindFirstChangeNotificationW(tree.wpath(rel).c_str(), FALSE, filter);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << rel;
    handles.push_back(h);
    return h;
  }
  void TearDown() override {
    for (HANDLE h : handles) FindCloseChangeNotification(h);
  }
  fs::path R(const std::string& rel) const { return tree.root() / rel; }
  // Returns once the monitor has handled every change made before the call: one inotify
  // queue delivers in order, so a fresh change seen on a fresh handle comes after them all.
  void Barrier() {
    const std::string name = "barrier" + std::to_string(barriers++);
    fs::create_directory(R(name));
    HANDLE h = FindFirstChangeNotificationW(tree.wpath(name).c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::ofstream(R(name) / "x");
    EXPECT_EQ(WaitForSingleObject(h, kLong), WAIT_OBJECT_0);
    FindCloseChangeNotification(h);
  }
  static bool Signalled(HANDLE h, DWORD ms = 0) { return WaitForSingleObject(h, ms) == WAIT_OBJECT_0; }

  vorm_test::TempTree tree;
  std::vector<HANDLE> handles;
  int barriers = 0;
};

TEST_F(ChangeNotify, ArgumentsAndPathsThatCannotBeWatched) {
  tree.Make({"dir/", "file"});
  const struct {
    std::wstring path;
    BOOL subtree;
    DWORD filter;
    DWORD error;
  } cases[] = {
      {tree.wpath("file"), FALSE, 1, ERROR_DIRECTORY},
      {tree.wpath("missing"), FALSE, 1, ERROR_FILE_NOT_FOUND},
      {tree.wpath("missing/deeper"), FALSE, 1, ERROR_PATH_NOT_FOUND},
      {tree.wpath("file/deeper"), FALSE, 1, ERROR_PATH_NOT_FOUND},
      {tree.wpath("dir"), FALSE, 0, ERROR_INVALID_PARAMETER},
      {tree.wpath("dir"), FALSE, 0x200, ERROR_INVALID_PARAMETER},
      {tree.wpath("dir"), TRUE, 1, ERROR_NOT_SUPPORTED},
      {L"C:\\dir", FALSE, 1, ERROR_PATH_NOT_FOUND},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(
        Outcome([&] { return FindFirstChangeNotificationW(cases[i].path.c_str(), cases[i].subtree, cases[i].filter); }),
        std::pair(INVALID_HANDLE_VALUE, cases[i].error))
        << i;
  }
  HANDLE h = Watch("dir", FILE_NOTIFY_CHANGE_FILE_NAME);
  EXPECT_EQ(Outcome([&] { return CloseHandle(h); }), std::pair(FALSE, ERROR_INVALID_HANDLE));
  EXPECT_EQ(Outcome([&] { return FindNextChangeNotification(INVALID_HANDLE_VALUE); }),
            std::pair(FALSE, ERROR_INVALID_HANDLE));
  EXPECT_EQ(Outcome([&] { return FindNextChangeNotification(h); }), std::pair(TRUE, kErrorSentinel));
  EXPECT_EQ(Outcome([&] { return FindCloseChangeNotification(h); }), std::pair(TRUE, kErrorSentinel));
  handles.clear();
  EXPECT_EQ(Outcome([&] { return FindCloseChangeNotification(h); }), std::pair(FALSE, ERROR_INVALID_HANDLE));
}

// Each filter wakes for its own kind of change, on another thread's wait, and never for
// changes to the watched folder itself.
TEST_F(ChangeNotify, FiltersSelectTheChangesThatSignal) {
  tree.Make({"w/", "w/f.txt", "w/sub/"});
  const struct {
    const char* what;
    DWORD filter;
    std::function<void(const fs::path&)> change;
    bool signals;
  } cases[] = {
      {"create file", FILE_NOTIFY_CHANGE_FILE_NAME, [](const fs::path& w) { std::ofstream(w / "new"); }, true},
      {"create folder / file filter", FILE_NOTIFY_CHANGE_FILE_NAME,
       [](const fs::path& w) { fs::create_directory(w / "d2"); }, false},
      {"create folder", FILE_NOTIFY_CHANGE_DIR_NAME, [](const fs::path& w) { fs::create_directory(w / "d3"); }, true},
      {"rename file", FILE_NOTIFY_CHANGE_FILE_NAME, [](const fs::path& w) { fs::rename(w / "f.txt", w / "g.txt"); },
       true},
      {"write", FILE_NOTIFY_CHANGE_SIZE, [](const fs::path& w) { std::ofstream(w / "g.txt", std::ios::app) << "x"; },
       true},
      {"touch", FILE_NOTIFY_CHANGE_LAST_WRITE,
       [](const fs::path& w) { fs::last_write_time(w / "g.txt", fs::file_time_type::clock::now()); }, true},
      {"chmod / size filter", FILE_NOTIFY_CHANGE_SIZE,
       [](const fs::path& w) { fs::permissions(w / "g.txt", fs::perms::owner_read); }, false},
      {"chmod", FILE_NOTIFY_CHANGE_ATTRIBUTES,
       [](const fs::path& w) { fs::permissions(w / "g.txt", fs::perms::owner_all); }, true},
      {"the folder itself", 0x17F,
       [](const fs::path& w) { fs::permissions(w, fs::perms::owner_all | fs::perms::group_read); }, false},
      {"inside a sub-folder", 0x17F, [](const fs::path& w) { std::ofstream(w / "sub" / "deep"); }, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    HANDLE h = Watch("w", cases[i].filter);
    DWORD result = WAIT_TIMEOUT;
    std::thread waiter;
    if (cases[i].signals) waiter = std::thread([&] { result = WaitForSingleObject(h, kLong); });
    cases[i].change(R("w"));
    if (cases[i].signals) {
      waiter.join();
    } else {
      Barrier();
      result = WaitForSingleObject(h, 0);
    }
    EXPECT_EQ(result, cases[i].signals ? WAIT_OBJECT_0 : WAIT_TIMEOUT) << cases[i].what;
  }
}

// Signalled until re-armed; changes in between leave one pending signal, not a count.
TEST_F(ChangeNotify, ReArmingKeepsOnePendingSignal) {
  tree.Make({"w/"});
  HANDLE h = Watch("w", FILE_NOTIFY_CHANGE_FILE_NAME);
  EXPECT_FALSE(Signalled(h));
  std::ofstream(R("w/a"));
  ASSERT_TRUE(Signalled(h, kLong));
  EXPECT_TRUE(Signalled(h));  // a wait does not consume it
  std::ofstream(R("w/b"));
  std::ofstream(R("w/c"));
  Barrier();
  ASSERT_TRUE(FindNextChangeNotification(h));
  EXPECT_TRUE(Signalled(h));  // b and c came meanwhile
  ASSERT_TRUE(FindNextChangeNotification(h));
  Barrier();
  EXPECT_FALSE(Signalled(h));
}

// Two handles share one kernel watch; closing one leaves the other with its own filter.
// Deleting the folder signals once and ends the watch; closing still works.
TEST_F(ChangeNotify, SharedWatchesAndADeletedFolder) {
  tree.Make({"w/", "w/f"});
  HANDLE names = Watch("w", FILE_NOTIFY_CHANGE_FILE_NAME);
  HANDLE writes = Watch("w/", FILE_NOTIFY_CHANGE_SIZE);
  std::ofstream(R("w/f"), std::ios::app) << "x";
  ASSERT_TRUE(Signalled(writes, kLong));
  EXPECT_FALSE(Signalled(names));
  ASSERT_TRUE(FindCloseChangeNotification(names));
  handles.erase(handles.begin());
  FindNextChangeNotification(writes);
  std::ofstream(R("w/f"), std::ios::app) << "y";
  EXPECT_TRUE(Signalled(writes, kLong));

  HANDLE gone = Watch("w", FILE_NOTIFY_CHANGE_FILE_NAME);
  FindNextChangeNotification(writes);
  fs::remove_all(R("w"));
  Barrier();
  EXPECT_TRUE(Signalled(gone));
  EXPECT_TRUE(Signalled(writes));  // its filter has no names: the folder's end signals it
  FindNextChangeNotification(gone);
  FindNextChangeNotification(gone);  // the file's deletion and the folder's: at most two
  fs::create_directory(R("w"));
  std::ofstream(R("w/again"));
  Barrier();
  EXPECT_FALSE(Signalled(gone));
}

// The decoder reads only whole records: a cut record or a name running past the end stops
// it; an overflow record signals every filter and about the folder itself nothing but that.
TEST(ChangeNotifyDecoder, SyntheticBuffers) {
  using namespace VormChangeNotify_details;
  std::vector<unsigned char> buffer;
  // A record claiming `len` name bytes, of which `name` padded to at most 16 is written.
  auto add = [&](int wd, std::uint32_t mask, const std::string& name, std::uint32_t len) {
    RecordHeader h{wd, mask, 0, len};
    const auto* p = reinterpret_cast<const unsigned char*>(&h);
    buffer.insert(buffer.end(), p, p + sizeof h);
    std::string padded = name;
    padded.resize(std::min<std::uint32_t>(len, 16), '\0');
    buffer.insert(buffer.end(), padded.begin(), padded.end());
  };
  add(1, kCreate, "a", 16);
  add(-1, kOverflow, "", 0);
  add(2, kAttrib, "", 0);
  std::vector<Event> seen;
  EXPECT_EQ(DecodeEvents(buffer.data(), buffer.size(), [&](const Event& e) { seen.push_back(e); }), 3u);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_TRUE(seen[0].named);
  EXPECT_TRUE(Signals(FILE_NOTIFY_CHANGE_FILE_NAME, seen[0]));
  EXPECT_FALSE(Signals(FILE_NOTIFY_CHANGE_DIR_NAME, seen[0]));
  EXPECT_TRUE(Signals(FILE_NOTIFY_CHANGE_LAST_ACCESS, seen[1]));
  EXPECT_FALSE(Signals(0x17F, seen[2]));  // the folder itself

  // Cut anywhere inside the last record: that record is never visited, and nothing is read
  // past the end (a heap copy of exactly that size, under AddressSanitizer).
  for (size_t cut = 1; cut < sizeof(RecordHeader) + 16; ++cut) {
    std::vector<unsigned char> head(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(cut));
    const auto copy = std::make_unique<unsigned char[]>(cut);
    std::copy(head.begin(), head.end(), copy.get());
    EXPECT_EQ(DecodeEvents(copy.get(), cut, [](const Event&) {}), 0u) << cut;
  }
  buffer.clear();
  add(3, kModify, "x", 0x7FFFFFF0);  // a length far past the buffer
  EXPECT_EQ(DecodeEvents(buffer.data(), buffer.size(), [](const Event&) { ADD_FAILURE(); }), 0u);
}

}  // namespace
