// The file event server: tells a client, on the thread that pumps window messages, when a
// watched file or folder changes. Clients call Instance() on their receiving thread (in
// practice the user-interface thread), add watches there, pump messages, and get one sink
// call per change bit, in ascending bit order, about half a second after the change.
//
// Thread rules: everything here runs on the receiving thread, the thread of the first
// Instance() call (which also owns the window message server's hidden window). Sinks are
// called there while it dispatches window messages, one at a time. The folder work runs on
// one internal watcher thread that reports only by posting window messages. Ownership: the
// server never owns or destroys a sink; remove a watch before destroying its sink.
//
//   VormFileEventServer* server = VormFileEventServer::Instance();
//   DWORD id = 0;
//   server->AddWatch(L"/data/survey/site.xml", FILE_NOTIFY_CHANGE_LAST_WRITE, &sink, &id);  // S_OK
//   ... pump messages: ~500 ms after site.xml is written, sink.OnLastWriteChange(id)
//   server->RemoveWatch(id);  // no further calls for id, not even for reports already queued
#pragma once

#include <vorm/export.h>
#include <vorm/platform/com.h>
#include <vorm/platform/files.h>
#include <vorm/platform/wintypes.h>

// Message numbers of the server and its watcher thread (window: to the hidden window of
// the window message server; thread: to the watcher thread). Any code that posts
// VormMsgNoticeA or VormMsgNoticeB to the hidden window with a live watch id as LPARAM
// reaches the sink's OnNoticeA / OnNoticeB.
inline constexpr UINT VormMsgFileChanged = 0x8800;    // window: WPARAM change bits, LPARAM id
inline constexpr UINT VormMsgAddRequest = 0x8801;     // thread: LPARAM the request
inline constexpr UINT VormMsgNoticeA = 0x8802;        // window: LPARAM id
inline constexpr UINT VormMsgRemoveRequest = 0x8804;  // thread: LPARAM id
inline constexpr UINT VormMsgNoticeB = 0x8805;        // window: LPARAM id
inline constexpr UINT VormMsgWatchError = 0x8806;     // window: WPARAM error code, LPARAM id
inline constexpr UINT VormMsgCheckHandle = 0x8807;    // thread, to itself: LPARAM change handle

// Implemented by clients. Each call names the watch; called on the receiving thread. A
// VormEllipsis thrown by a call ends the handling of that report (later bits of it are not
// called); other exceptions leave through the client's DispatchMessageW.
class VORM_API VormFileEventSink {
 public:
  virtual void OnFileNameChange(const DWORD& id) = 0;    // 0x01: an entry of the folder renamed, made, removed
  virtual void OnDirNameChange(const DWORD& id) = 0;     // 0x02: the same for a sub-folder
  virtual void OnAttributesChange(const DWORD& id) = 0;  // 0x04
  virtual void OnSizeChange(const DWORD& id) = 0;        // 0x08: grown or shrunk
  virtual void OnLastWriteChange(const DWORD& id) = 0;   // 0x10: a later last-write time
  virtual void OnLastAccessChange(const DWORD& id) = 0;  // 0x20: a later last-access time
  // The watch could not be set up: `error` is the platform's code, for example
  // ERROR_FILE_NOT_FOUND (2) or ERROR_PATH_NOT_FOUND (3) for a missing path, and
  // ERROR_NOT_ENOUGH_QUOTA (1816) when the folder would be a 64th one watched at once or the
  // system's limit of watched folders is reached. The id stays valid until RemoveWatch.
  virtual void OnWatchError(const DWORD& id, const DWORD& error) = 0;
  virtual void OnNoticeA(const DWORD& id) = 0;  // VormMsgNoticeA posted for the id
  virtual void OnNoticeB(const DWORD& id) = 0;  // VormMsgNoticeB posted for the id

 protected:
  virtual ~VormFileEventSink();
};

class VORM_API VormFileEventServer {
 public:
  // The single server, created and started on the first call, on the calling thread.
  static VormFileEventServer* Instance();

  // Watches `path` (a file, or a folder for changes of its entries) for the changes `filter`
  // names (FILE_NOTIFY_CHANGE_* bits; only 0x01..0x20 are reported). S_OK and a new id
  // (never 0, never reused in the process run). E_POINTER for a null path, sink or id;
  // E_FAIL when the server is not running (after Shutdown); E_OUTOFMEMORY; the HRESULT of
  // the platform's error when the request cannot reach the watcher. A path that cannot be
  // watched is reported later through the sink's OnWatchError.
  //   Bits reported, each after a fresh look at the path: 0x01, 0x02, 0x04 whenever the
  //   folder changed that way; 0x08 when the size differs; 0x10 / 0x20 only when the time
  //   moved forward (a last-write time set back is not reported).
  virtual HRESULT AddWatch(const wchar_t* path, DWORD filter, VormFileEventSink* sink, DWORD* id) = 0;
  // S_OK, also for an id never handed out. No sink call for `id` follows, even for reports
  // already queued.
  virtual HRESULT RemoveWatch(DWORD id) = 0;
  virtual ~VormFileEventServer();
  // Stops the watcher thread for the rest of the process run; later AddWatch calls fail.
  virtual void Shutdown() = 0;
};
