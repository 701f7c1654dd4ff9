// vorm watch: the file event server's reports as lines, until interrupted.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>
#include <string>

#include <vorm/file_events.h>
#include <vorm/file_match.h>
#include <vorm/platform/console.h>
#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/sync.h>
#include <vorm/platform/window.h>

#include "cli.h"
#include "commands.h"

namespace vorm_cli {

namespace {

// A folder's own last-write time moves when its entries come and go; its files are watched
// for size and last write. (The name and attribute bits would fire for any activity of the
// folder, so they are not asked for.)
constexpr DWORD kFolderFilter = FILE_NOTIFY_CHANGE_LAST_WRITE;
constexpr DWORD kFileFilter = FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

std::string Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(text) + "." + std::to_string(1000 + millis).substr(1);
}

// Collects the bits of each report (one sink call a bit) into one line per watch.
class Printer : public VormFileEventSink {
 public:
  std::map<DWORD, std::string> paths;    // watch id -> path as the OS spells it
  std::set<DWORD> folders;               // ids that watch a folder
  std::map<DWORD, std::string> pending;  // changes of the report being delivered
  std::set<DWORD> rescan;                // folders whose entries changed
  DWORD probe = 0;                       // the readiness probe's id
  bool ready = false;

  void Add(DWORD id, const char* change) {
    std::string& line = pending[id];
    if (!line.empty()) line += ',';
    line += change;
  }
  void OnFileNameChange(const DWORD& id) override { Add(id, "names"); }
  void OnDirNameChange(const DWORD& id) override { Add(id, "folders"); }
  void OnAttributesChange(const DWORD& id) override { Add(id, "attributes"); }
  void OnSizeChange(const DWORD& id) override { Add(id, "size"); }
  void OnLastWriteChange(const DWORD& id) override {
    Add(id, folders.count(id) ? "entries" : "last-write");
    if (folders.count(id)) rescan.insert(id);
  }
  void OnLastAccessChange(const DWORD& id) override { Add(id, "last-access"); }
  void OnWatchError(const DWORD& id, const DWORD& error) override {
    if (id == probe) {
      ready = true;
      return;
    }
    Fail("watch", paths[id], error);
  }
  void OnNoticeA(const DWORD&) override {}
  void OnNoticeB(const DWORD&) override {}

  void Flush() {
    for (const auto& [id, changes] : pending)
      std::printf("%s %s %s\n", Now().c_str(), paths[id].c_str(), changes.c_str());
    std::fflush(stdout);
    pending.clear();
  }
};

class Watcher {
 public:
  explicit Watcher(VormFileEventServer* server) : server_(server) {}
  ~Watcher() {
    for (const auto& [id, path] : printer_.paths) server_->RemoveWatch(id);
  }

  bool Watch(const std::string& path, DWORD filter, bool folder) {
    if (watched_.count(path)) return true;
    DWORD id = 0;
    const HRESULT hr = server_->AddWatch(Wide(path).c_str(), filter, &printer_, &id);
    if (FAILED(hr)) return false;
    watched_.insert(path);
    printer_.paths[id] = path;
    if (folder) printer_.folders.insert(id);
    return true;
  }

  // Watches the folder and each file in it (new files too, on every rescan).
  bool WatchFolder(const std::string& folder) {
    if (!Watch(folder, kFolderFilter, true)) return false;
    VormBasicFileMatcher files;
    files.SetSkipDots(TRUE);
    for (files.Find(Wide(folder).c_str(), L"*", 0x20); files.HasMatch(); files.FindNext()) {
      Watch(Os(files.GetPath()), kFileFilter, false);
    }
    return true;
  }

  // Dispatches reports until a quit message; the probe's answer says all watches stand.
  void Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      DispatchMessageW(&msg);
      if (printer_.ready && !announced_) {
        announced_ = true;
        std::fprintf(stderr, "vorm: watching %zu paths; Ctrl-C ends\n", watched_.size());
      }
      printer_.Flush();
      const std::set<DWORD> rescan = std::move(printer_.rescan);
      printer_.rescan.clear();
      for (DWORD id : rescan) WatchFolder(printer_.paths[id]);
    }
  }

  void Probe(const std::string& missing) {
    DWORD id = 0;
    if (SUCCEEDED(server_->AddWatch(Wide(missing).c_str(), FILE_NOTIFY_CHANGE_LAST_WRITE, &printer_, &id))) {
      printer_.probe = id;
    }
  }

 private:
  VormFileEventServer* server_;
  Printer printer_;
  std::set<std::string> watched_;
  bool announced_ = false;
};

std::atomic<DWORD> g_loopThread{0};

BOOL StopLoop(DWORD) {
  PostThreadMessageW(g_loopThread.load(), WM_QUIT, 0, 0);
  return TRUE;
}

}  // namespace

int WatchCommand(const Words& words) {
  const Args args = Parse(words, {}, {});
  if (!args.error.empty()) return UsageError("watch", args.error);
  if (args.operands.empty()) return UsageError("watch", "watch takes at least one FOLDER");
  for (const std::string& folder : args.operands) {
    const DWORD attributes = GetFileAttributesW(Wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Fail("watch", folder, GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Fail("watch", folder, ERROR_DIRECTORY);
  }
  // Ctrl+C, a closed terminal and SIGTERM ask the message loop to end.
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue, before any post
  g_loopThread = GetCurrentThreadId();
  if (!SetConsoleCtrlHandler(&StopLoop, TRUE)) return Fail("watch", "the console's control events", GetLastError());

  VormFileEventServer* server = VormFileEventServer::Instance();
  int result = kOk;
  {
    Watcher watcher(server);
    for (const std::string& folder : args.operands) {
      if (!watcher.WatchFolder(folder))
        result = Complain("cannot watch '" + folder + "': the file event server is not running");
    }
    if (result == kOk) {
      watcher.Probe(args.operands[0] + "/.vorm-watch-ready-probe-that-does-not-exist");
      watcher.Run();
    }
  }
  server->Shutdown();
  SetConsoleCtrlHandler(&StopLoop, FALSE);
  return result;
}

}  // namespace vorm_cli
