// The folder watcher: one thread that holds every active watch of the file event server,
// waits on one change-notification handle per watched folder and on its message queue, and
// after a folder's activity re-reads the watched paths of that folder and posts change
// reports to the receiving thread through the window message server.
//
// Thread rules: StartThread and StopThread on the receiving thread; PostToThread from any
// thread; everything else on the watcher thread, which owns the request records, the change
// handles and the tables. Reports leave only as posted window messages.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <vorm/path.h>
#include <vorm/platform/files.h>
#include <vorm/platform/window.h>

// One watch. Made by AddWatch, owned by the watcher thread once posted to it.
struct VormFileWatchRequest {
  VormPath path;                         // the watched path, backslash separator
  WIN32_FILE_ATTRIBUTE_DATA baseline{};  // what the last look saw
  HANDLE changeHandle = nullptr;         // the folder's handle once attached
  DWORD filter = 0;                      // FILE_NOTIFY_CHANGE_* bits of the client
  DWORD id = 0;                          // the watch identifier the client holds
};

// One open change-notification handle and the watches of its folder.
struct VormChangeHandleEntry {
  HANDLE handle = nullptr;
  DWORD filter = 0;                           // the filter the handle was opened with: its watches' filters together
  std::list<VormFileWatchRequest*> requests;  // attachment order, no duplicates
  std::wstring folder;                        // the folder key
  bool checkQueued = false;                   // a check is queued already: a burst queues no more
};

// Where the watcher's reports go; the window message server's Post in the library.
using VormReportPoster = BOOL (*)(UINT message, WPARAM wParam, LPARAM lParam);

class VormFolderWatcher {
 public:
  // The wait takes the change handles and the message queue: at most this many folders.
  static constexpr size_t kMaxFolders = 63;

  explicit VormFolderWatcher(VormReportPoster post);
  ~VormFolderWatcher();  // stops a running thread
  VormFolderWatcher(const VormFolderWatcher&) = delete;
  VormFolderWatcher& operator=(const VormFolderWatcher&) = delete;

  bool StartThread();
  // WM_QUIT, up to 10000 ms for the thread to end, then forced termination. False when no
  // thread ran. Records and handles the thread still held are released as it ends.
  bool StopThread();
  bool IsRunning() const { return m_thread != nullptr && m_threadId != 0; }
  // PostThreadMessageW to the watcher; FALSE with ERROR_INVALID_THREAD_ID without a thread.
  BOOL PostToThread(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static unsigned ThreadProc(void* start);
  unsigned WatchLoop();
  void DispatchRequest(const MSG& msg);
  void AddRequest(VormFileWatchRequest* request);
  void CreateChangeHandle(VormFileWatchRequest* request, const std::wstring& folder, DWORD filter);
  // A watch whose filter asks for more than the folder's handle was opened with: the folder
  // gets a handle with both filters in its place, so no watch misses its kind of change.
  void WidenFilter(VormChangeHandleEntry& entry, DWORD filter);
  void RemoveRequest(DWORD id);
  void OnHandleSignalled(DWORD index);
  void CheckHandle(HANDLE handle);
  void CheckRequest(VormFileWatchRequest& request);
  // Closes every handle and releases every record (and requests still queued).
  void ReleaseAll();

  VormReportPoster m_post;
  std::vector<HANDLE> m_handles;  // the wait array, in opening order
  std::unordered_map<HANDLE, VormChangeHandleEntry> m_entries;
  std::map<std::wstring, HANDLE> m_folders;  // folder key (case-sensitive) -> handle
  // Every record the thread holds, attached or not, by watch id.
  std::unordered_map<DWORD, std::unique_ptr<VormFileWatchRequest>> m_requests;
  DWORD m_threadId = 0;
  HANDLE m_thread = nullptr;
};
