#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>
#include <vorm/file_events.h>
#include <vorm/platform/sync.h>
#include <vorm/platform/text.h>
#include <vorm/platform/window.h>
#include <vorm/result_codes.h>
#include <vorm/wnd_msg_server.h>

#include "support/temp_tree.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kLong = std::chrono::seconds(20);  // a report normally comes after ~0.5 s

// Records every call as "name" per watch id, in order.
class Sink : public VormFileEventSink {
 public:
  void OnFileNameChange(const DWORD& id) override { calls[id].push_back("name"); }
  void OnDirNameChange(const DWORD& id) override { calls[id].push_back("dir"); }
  void OnAttributesChange(const DWORD& id) override { calls[id].push_back("attributes"); }
  void OnSizeChange(const DWORD& id) override { calls[id].push_back("size"); }
  void OnLastWriteChange(const DWORD& id) override { calls[id].push_back("write"); }
  void OnLastAccessChange(const DWORD& id) override { calls[id].push_back("access"); }
  void OnWatchError(const DWORD& id, const DWORD& error) override {
    calls[id].push_back("error " + std::to_string(error));
  }
  void OnNoticeA(const DWORD& id) override { calls[id].push_back("noticeA"); }
  void OnNoticeB(const DWORD& id) override { calls[id].push_back("noticeB"); }

  std::map<DWORD, std::vector<std::string>> calls;
};

// Dispatches this thread's messages until `done` holds or the time runs out.
bool PumpUntil(const std::function<bool()>& done, Clock::duration limit = kLong) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (done()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left), QS_ALLINPUT, 0);
  }
}

using Calls = std::vector<std::string>;

class FileEvents : public ::testing::Test {
 protected:
  void SetUp() override { server = VormFileEventServer::Instance(); }
  void TearDown() override {
    for (DWORD id : ids) server->RemoveWatch(id);
  }
  DWORD Watch(const std::string& rel, DWORD filter) {
    DWORD id = 0;
    EXPECT_EQ(server->AddWatch(tree.wpath(rel).c_str(), filter, &sink, &id), S_OK) << rel;
    ids.push_back(id);
    return id;
  }
  fs::path R(const std::string& rel) const { return tree.root() / rel; }
  void Append(const std::string& rel, const std::string& text) { std::ofstream(R(rel), std::ios::app) << text; }
  bool Got(DWORD id, size_t count = 1) {
    return PumpUntil([&] { return sink.calls[id].size() >= count; });
  }
  // Returns once the watcher has taken every watch added so far: it answers requests in
  // order, and a watch on a missing path is answered with an error.
  void Sync() {
    const DWORD probe = Watch("missing-probe-" + std::to_string(probes++), FILE_NOTIFY_CHANGE_FILE_NAME);
    ASSERT_TRUE(Got(probe));
  }
  // Every report about changes made so far has been handled once the watch `marker`, whose
  // file was changed last and shares their folder, has been reported: one look at a folder
  // reports all of its watches.
  void Settle(DWORD marker, const std::string& markerFile) {
    const size_t before = sink.calls[marker].size();
    Append(markerFile, "m");
    EXPECT_TRUE(Got(marker, before + 1));
    PumpUntil([] { return true; });
  }

  VormFileEventServer* server = nullptr;
  vorm_test::TempTree tree;
  Sink sink;
  std::vector<DWORD> ids;
  int probes = 0;
};

TEST_F(FileEvents, BitsComeInAscendingOrder) {
  tree.Make({"d/f.txt", "d/other.txt"});
  const DWORD f = Watch("d/f.txt", 0x3F);
  const DWORD other = Watch("d/other.txt", 0x18);
  EXPECT_NE(f, 0u);
  EXPECT_NE(other, f);
  Sync();
  Append("d/f.txt", "grown");
  ASSERT_TRUE(Got(f));
  // The folder's name, attribute bits come without comparison; size before last write.
  EXPECT_EQ(sink.calls[f], (Calls{"name", "dir", "attributes", "size", "write"}));
  // A watch with filter 0x18 on another file of the folder: nothing, as its file is as it was.
  Settle(f, "d/f.txt");
  EXPECT_EQ(sink.calls[other], Calls{});
}

TEST_F(FileEvents, SizeTimesAndAttributes) {
  tree.Make({"d/f.txt", "d/g.txt", "d/marker"});
  tree.WriteFile("d/f.txt", "a long text to cut");
  const DWORD size = Watch("d/f.txt", FILE_NOTIFY_CHANGE_SIZE);
  const DWORD write = Watch("d/g.txt", FILE_NOTIFY_CHANGE_LAST_WRITE);
  const DWORD attributes = Watch("d/marker", FILE_NOTIFY_CHANGE_ATTRIBUTES);
  Sync();
  // One look at the folder reports its watches in the order they came, the attribute watch
  // last: once it is reported, so is everything that look found.
  fs::resize_file(R("d/f.txt"), 3);  // shrinking is a size change
  ASSERT_TRUE(Got(attributes, 1));
  EXPECT_EQ(sink.calls[size], Calls{"size"});

  // A last-write time set back is no change; chmod is an attribute change.
  utimbuf old{1000000000, 1000000000};
  ASSERT_EQ(utime(R("d/g.txt").c_str(), &old), 0);
  ASSERT_TRUE(Got(attributes, 2));
  EXPECT_EQ(sink.calls[write], Calls{});
  chmod(R("d/marker").c_str(), 0600);
  EXPECT_TRUE(Got(attributes, 3));

  // An editor's save: a temporary file written beside the target and renamed over it.
  tree.WriteFile("d/.g.txt.swp", "saved");
  fs::rename(R("d/.g.txt.swp"), R("d/g.txt"));
  ASSERT_TRUE(Got(write));
  EXPECT_EQ(sink.calls[write], Calls{"write"});
}

TEST_F(FileEvents, FileNameFilterFiresForAnyActivityOfTheFolder) {
  tree.Make({"d/f.txt"});
  const DWORD f = Watch("d/f.txt", FILE_NOTIFY_CHANGE_FILE_NAME);
  Sync();
  tree.WriteFile("d/new.txt", "x");
  ASSERT_TRUE(Got(f));
  EXPECT_EQ(sink.calls[f].front(), "name");
}

// Two watches share their folder's handle; removing one leaves the other; a report queued
// for a removed watch reaches no sink; the server's own thread messages reach no sink.
TEST_F(FileEvents, SharedFolderRemovalAndForeignMessages) {
  tree.Make({"d/a", "d/b"});
  const DWORD a = Watch("d/a", FILE_NOTIFY_CHANGE_SIZE);
  const DWORD b = Watch("d/b", FILE_NOTIFY_CHANGE_SIZE);
  Sync();
  Append("d/a", "1");
  Append("d/b", "1");
  ASSERT_TRUE(PumpUntil([&] { return !sink.calls[a].empty() && !sink.calls[b].empty(); }));
  EXPECT_EQ(server->RemoveWatch(a), S_OK);
  Append("d/a", "2");
  Append("d/b", "2");
  ASSERT_TRUE(Got(b, 2));
  EXPECT_EQ(sink.calls[a], Calls{"size"});

  VormWndMsgServer* window = VormWndMsgServer::Instance();
  for (UINT message : {VormMsgAddRequest, VormMsgRemoveRequest, VormMsgCheckHandle}) {
    EXPECT_TRUE(window->Post(message, 0, b));
  }
  EXPECT_TRUE(window->Post(VormMsgNoticeA, 0, b));
  EXPECT_TRUE(window->Post(VormMsgNoticeB, 0, b));
  EXPECT_TRUE(window->Post(VormMsgFileChanged, FILE_NOTIFY_CHANGE_ATTRIBUTES, a));  // removed: nothing
  EXPECT_TRUE(window->Post(VormMsgFileChanged, FILE_NOTIFY_CHANGE_ATTRIBUTES, b));
  EXPECT_TRUE(server->RemoveWatch(b) == S_OK);  // queued reports for b are dropped too
  PumpUntil([] { return true; });
  EXPECT_EQ(sink.calls[a], Calls{"size"});
  EXPECT_EQ(sink.calls[b], (Calls{"size", "size"}));

  EXPECT_EQ(server->RemoveWatch(0xDEAD), S_OK);
  DWORD id = 7;
  EXPECT_EQ(server->AddWatch(tree.wpath("d/a").c_str(), 0x10, nullptr, &id), E_POINTER);
  EXPECT_EQ(server->AddWatch(tree.wpath("d/a").c_str(), 0x10, &sink, nullptr), E_POINTER);
  EXPECT_EQ(id, 7u);
}

TEST_F(FileEvents, NoticesReachTheSink) {
  tree.Make({"d/a"});
  const DWORD a = Watch("d/a", FILE_NOTIFY_CHANGE_SIZE);
  VormWndMsgServer::Instance()->Post(VormMsgNoticeA, 0, a);
  VormWndMsgServer::Instance()->Post(VormMsgNoticeB, 0, a);
  ASSERT_TRUE(Got(a, 2));
  EXPECT_EQ(sink.calls[a], (Calls{"noticeA", "noticeB"}));
}

TEST_F(FileEvents, PathsThatCannotBeWatched) {
  tree.Make({"d/marker"});
  const DWORD missing = Watch("missing.txt", FILE_NOTIFY_CHANGE_LAST_WRITE);
  const DWORD deeper = Watch("no/such/folder/", FILE_NOTIFY_CHANGE_LAST_WRITE);
  ASSERT_TRUE(PumpUntil([&] { return !sink.calls[missing].empty() && !sink.calls[deeper].empty(); }));
  // Folders are watched up to the limit of one wait; the next is refused as over quota.
  std::vector<DWORD> folders;
  for (int i = 0; i < 63; ++i) {
    tree.Make({"many/" + std::to_string(i) + "/"});
    folders.push_back(Watch("many/" + std::to_string(i), FILE_NOTIFY_CHANGE_FILE_NAME));
  }
  tree.Make({"many/last/"});
  const DWORD last = Watch("many/last", FILE_NOTIFY_CHANGE_FILE_NAME);
  ASSERT_TRUE(Got(last));
  EXPECT_EQ(sink.calls[last], Calls{"error 1816"});
  EXPECT_EQ(sink.calls[missing], Calls{"error 2"});  // exactly one report
  EXPECT_EQ(sink.calls[deeper], Calls{"error 3"});
  for (DWORD id : folders) EXPECT_EQ(sink.calls[id], Calls{}) << id;
}

// A burst of writes queues no pile of checks: the watcher still takes a later request
// within seconds. A watched folder that goes away reports nothing more and still closes.
TEST_F(FileEvents, BurstsAndVanishingFolders) {
  tree.Make({"d/f", "gone/x"});
  const DWORD f = Watch("d/f", FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
  const DWORD folder = Watch("gone", FILE_NOTIFY_CHANGE_FILE_NAME);
  const DWORD inside = Watch("gone/x", FILE_NOTIFY_CHANGE_LAST_WRITE);
  Sync();
  {
    std::ofstream out(R("d/f"), std::ios::app);
    for (int i = 0; i < 1000; ++i) out << i << std::flush;
  }
  fs::remove_all(R("gone"));
  EXPECT_EQ(server->RemoveWatch(f), S_OK);
  const auto start = Clock::now();
  const DWORD probe = Watch("missing", FILE_NOTIFY_CHANGE_FILE_NAME);  // answered in queue order
  ASSERT_TRUE(Got(probe));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  tree.Make({"d/marker"});
  const DWORD marker = Watch("d/marker", FILE_NOTIFY_CHANGE_SIZE);
  Sync();
  Settle(marker, "d/marker");  // the look the deletion queued has been taken by now
  // The folder made again under the same name is not the one watched.
  fs::create_directories(R("gone"));
  tree.WriteFile("gone/x", "again");
  Settle(marker, "d/marker");
  EXPECT_EQ(sink.calls[folder], Calls{});
  EXPECT_EQ(sink.calls[inside], Calls{});
  EXPECT_EQ(server->RemoveWatch(folder), S_OK);
  EXPECT_EQ(server->RemoveWatch(inside), S_OK);
}

// Last: the server stays stopped for the rest of the process.
TEST_F(FileEvents, ZzShutdownStopsTheServer) {
  tree.Make({"d/a"});
  server->Shutdown();
  DWORD id = 0;
  EXPECT_EQ(server->AddWatch(tree.wpath("d/a").c_str(), 0x10, &sink, &id), E_FAIL);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(server->RemoveWatch(5), S_OK);
  server->Shutdown();  // twice is harmless
}

}  // namespace
