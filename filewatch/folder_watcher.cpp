#include "folder_watcher.h"

#include <algorithm>
#include <new>

#include <vorm/file_events.h>
#include <vorm/platform/sync.h>
#include <vorm/result_codes.h>

namespace VormFolderWatcher_details {

// What the new thread needs before it signals that its queue exists.
struct StartRecord {
  HANDLE ready;
  VormFolderWatcher* watcher;
};

constexpr DWORD kCheckDelay = 500;  // lets a burst of changes settle before a look
constexpr DWORD kStopTimeout = 10000;

ULONGLONG Ticks(DWORD high, DWORD low) { return (static_cast<ULONGLONG>(high) << 32) | low; }

}  // namespace VormFolderWatcher_details

using namespace VormFolderWatcher_details;

VormFolderWatcher::VormFolderWatcher(VormReportPoster post) : m_post(post) {}

VormFolderWatcher::~VormFolderWatcher() { StopThread(); }

bool VormFolderWatcher::StartThread() {
  if (m_thread) return false;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!ready) return false;
  auto* start = new (std::nothrow) StartRecord{ready, this};
  if (!start) {
    CloseHandle(ready);
    return false;
  }
  unsigned id = 0;
  const uintptr_t thread = _beginthreadex(nullptr, 0, &VormFolderWatcher::ThreadProc, start, CREATE_SUSPENDED, &id);
  if (!thread) {
    delete start;
    CloseHandle(ready);
    return false;
  }
  m_thread = reinterpret_cast<HANDLE>(thread);
  m_threadId = id;
  bool started = true;
  if (ResumeThread(m_thread) == static_cast<DWORD>(-1)) {
    TerminateThread(m_thread, static_cast<DWORD>(-1));
    CloseHandle(m_thread);
    m_thread = nullptr;
    m_threadId = 0;
    started = false;
  } else {
    WaitForSingleObject(ready, INFINITE);
  }
  CloseHandle(ready);
  delete start;
  return started;
}

bool VormFolderWatcher::StopThread() {
  if (!m_thread) return false;
  PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
  if (WaitForSingleObject(m_thread, kStopTimeout) == WAIT_TIMEOUT) TerminateThread(m_thread, 0);
  CloseHandle(m_thread);
  m_thread = nullptr;
  m_threadId = 0;
  return true;
}

BOOL VormFolderWatcher::PostToThread(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!m_threadId) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  return PostThreadMessageW(m_threadId, message, wParam, lParam);
}

unsigned VormFolderWatcher::ThreadProc(void* start) {
  const auto* record = static_cast<const StartRecord*>(start);
  if (!record || !record->ready || !record->watcher) return 0;
  VormFolderWatcher* watcher = record->watcher;
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before anyone posts
  SetEvent(record->ready);                         // `record` belongs to the starter from here
  const unsigned result = watcher->WatchLoop();
  watcher->ReleaseAll();
  return result;
}

unsigned VormFolderWatcher::WatchLoop() {
  try {
    MSG msg;
    for (;;) {
      const DWORD count = static_cast<DWORD>(m_handles.size());
      if (count != 0) {
        const DWORD result = MsgWaitForMultipleObjectsEx(count, m_handles.data(), INFINITE, QS_ALLEVENTS, 0);
        if (result < WAIT_OBJECT_0 + count) {
          OnHandleSignalled(result - WAIT_OBJECT_0);
          continue;
        }
        // Messages are waiting (or the wait failed: then the messages alone are waited for,
        // never a loop that spins).
      }
      do {
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) return 0;
        DispatchRequest(msg);
        // A busy queue must not starve the folders: look at them once per message.
        if (!m_handles.empty()) {
          OnHandleSignalled(
              WaitForMultipleObjectsEx(static_cast<DWORD>(m_handles.size()), m_handles.data(), FALSE, 0, FALSE));
        }
      } while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    }
  } catch (const VormEllipsis&) {
    return 0;
  }
}

void VormFolderWatcher::DispatchRequest(const MSG& msg) {
  if (msg.lParam == 0) return;
  switch (msg.message) {
    case VormMsgAddRequest: AddRequest(reinterpret_cast<VormFileWatchRequest*>(msg.lParam)); break;
    case VormMsgRemoveRequest: RemoveRequest(static_cast<DWORD>(msg.lParam)); break;
    case VormMsgCheckHandle: {
      const HANDLE handle = reinterpret_cast<HANDLE>(msg.lParam);
      Sleep(kCheckDelay);
      // Changes from here on queue a check of their own.
      if (auto it = m_entries.find(handle); it != m_entries.end()) it->second.checkQueued = false;
      CheckHandle(handle);
      break;
    }
    default: break;
  }
}

void VormFolderWatcher::AddRequest(VormFileWatchRequest* request) {
  std::unique_ptr<VormFileWatchRequest>& held = m_requests[request->id];
  held.reset(request);
  // The folder key keeps the path's case: on this file system another case names another
  // folder. A file's key is its folder; a folder, or a path that cannot be read, is its own.
  const VormPath key(request->path, 0);
  std::wstring folder = key.GetText().str();
  request->baseline = WIN32_FILE_ATTRIBUTE_DATA{};
  if (GetFileAttributesExW(request->path, GetFileExInfoStandard, &request->baseline) &&
      !(request->baseline.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    folder = key.GetFolder().GetText().str();
  }
  if (auto it = m_folders.find(folder); it != m_folders.end()) {
    VormChangeHandleEntry& entry = m_entries[it->second];
    if (std::find(entry.requests.begin(), entry.requests.end(), request) == entry.requests.end()) {
      entry.requests.push_back(request);
    }
    if (request->filter & ~entry.filter) WidenFilter(entry, request->filter);
    request->changeHandle = entry.handle;
    return;
  }
  if (m_handles.size() >= kMaxFolders) {
    m_post(VormMsgWatchError, ERROR_NOT_ENOUGH_QUOTA, request->id);  // one wait holds no more
    return;
  }
  CreateChangeHandle(request, folder, request->filter);
}

void VormFolderWatcher::CreateChangeHandle(VormFileWatchRequest* request, const std::wstring& folder, DWORD filter) {
  const HANDLE handle = FindFirstChangeNotificationW(folder.c_str(), FALSE, filter);
  if (handle == INVALID_HANDLE_VALUE) {
    m_post(VormMsgWatchError, GetLastError(), request->id);
    return;
  }
  VormChangeHandleEntry entry;
  entry.handle = handle;
  entry.filter = filter;
  entry.requests.push_back(request);
  entry.folder = folder;
  m_handles.push_back(handle);
  m_entries.emplace(handle, std::move(entry));
  m_folders.emplace(folder, handle);
  request->changeHandle = handle;
}

void VormFolderWatcher::WidenFilter(VormChangeHandleEntry& entry, DWORD filter) {
  const HANDLE fresh = FindFirstChangeNotificationW(entry.folder.c_str(), FALSE, entry.filter | filter);
  if (fresh == INVALID_HANDLE_VALUE) return;  // the folder keeps its narrower handle
  const HANDLE old = entry.handle;
  // A change the old handle caught, or a check queued for it, is looked at under the new one.
  const bool owed = entry.checkQueued || WaitForSingleObject(old, 0) == WAIT_OBJECT_0;
  auto node = m_entries.extract(old);
  node.key() = fresh;
  VormChangeHandleEntry& moved = m_entries.insert(std::move(node)).position->second;
  moved.handle = fresh;
  moved.filter |= filter;
  moved.checkQueued = false;
  for (VormFileWatchRequest* request : moved.requests) request->changeHandle = fresh;
  *std::find(m_handles.begin(), m_handles.end(), old) = fresh;
  m_folders[moved.folder] = fresh;
  FindCloseChangeNotification(old);
  if (owed) moved.checkQueued = PostToThread(VormMsgCheckHandle, 0, reinterpret_cast<LPARAM>(fresh)) != FALSE;
}

void VormFolderWatcher::RemoveRequest(DWORD id) {
  auto held = m_requests.find(id);
  if (held == m_requests.end()) return;
  VormFileWatchRequest* request = held->second.get();
  if (auto it = m_entries.find(request->changeHandle); it != m_entries.end()) {
    VormChangeHandleEntry& entry = it->second;
    entry.requests.remove(request);
    if (entry.requests.empty()) {
      m_handles.erase(std::find(m_handles.begin(), m_handles.end(), entry.handle));
      FindCloseChangeNotification(entry.handle);
      m_folders.erase(entry.folder);
      m_entries.erase(it);
    }
  }
  m_requests.erase(held);
}

void VormFolderWatcher::OnHandleSignalled(DWORD index) {
  if (index >= m_handles.size()) return;
  const HANDLE handle = m_handles[index];
  FindNextChangeNotification(handle);
  VormChangeHandleEntry& entry = m_entries[handle];
  // One queued check per folder at a time: a burst of changes cannot pile up checks that
  // would hold every other request behind their delays.
  if (!entry.checkQueued) {
    entry.checkQueued = PostToThread(VormMsgCheckHandle, 0, reinterpret_cast<LPARAM>(handle)) != FALSE;
  }
}

void VormFolderWatcher::CheckHandle(HANDLE handle) {
  auto it = m_entries.find(handle);
  if (it == m_entries.end()) return;
  for (VormFileWatchRequest* request : it->second.requests) CheckRequest(*request);
}

void VormFolderWatcher::CheckRequest(VormFileWatchRequest& request) {
  WIN32_FILE_ATTRIBUTE_DATA now{};
  if (!GetFileAttributesExW(request.path, GetFileExInfoStandard, &now)) return;
  WIN32_FILE_ATTRIBUTE_DATA& base = request.baseline;
  const DWORD filter = request.filter;
  DWORD bits = filter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES);
  if ((filter & FILE_NOTIFY_CHANGE_SIZE) &&
      (now.nFileSizeHigh != base.nFileSizeHigh || now.nFileSizeLow != base.nFileSizeLow)) {
    base.nFileSizeHigh = now.nFileSizeHigh;
    base.nFileSizeLow = now.nFileSizeLow;
    bits |= FILE_NOTIFY_CHANGE_SIZE;
  }
  // Times only count when they move forward: a time set back is not a change to report.
  const auto later = [&](FILETIME& kept, const FILETIME& seen, DWORD bit) {
    if ((filter & bit) &&
        Ticks(seen.dwHighDateTime, seen.dwLowDateTime) > Ticks(kept.dwHighDateTime, kept.dwLowDateTime)) {
      kept = seen;
      bits |= bit;
    }
  };
  later(base.ftLastWriteTime, now.ftLastWriteTime, FILE_NOTIFY_CHANGE_LAST_WRITE);
  later(base.ftLastAccessTime, now.ftLastAccessTime, FILE_NOTIFY_CHANGE_LAST_ACCESS);
  if (bits != 0) m_post(VormMsgFileChanged, bits, request.id);
}

void VormFolderWatcher::ReleaseAll() {
  for (HANDLE handle : m_handles) FindCloseChangeNotification(handle);
  m_handles.clear();
  m_entries.clear();
  m_folders.clear();
  m_requests.clear();
  // Requests posted after the quit message never reached the loop: they are ours to free.
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == VormMsgAddRequest && msg.lParam) delete reinterpret_cast<VormFileWatchRequest*>(msg.lParam);
  }
}
