// A server thread: one worker thread that waits, alertably and without time-out, on the
// handles of its registered handlers and calls a handler's OnSignalled when its handle is
// signalled. Handlers are added and removed from any thread by asynchronous procedure calls
// (APCs) that the server thread applies itself, so its handle table (a
// VormSynchronizedSelector) is only ever touched by the server thread.
//
// Calling order: construct, Start, any number of AddHandler/RemoveHandler from any thread,
// then Stop (or destroy, which stops). A server thread runs once: Start after Stop starts
// nothing.
//
// Thread rules: Start, Stop, AddHandler and RemoveHandler may be called from any thread;
// handlers run only on the server thread, one at a time. A handler must not call Stop of its
// own server (Stop waits for the thread it runs on). Ownership: registered handlers stay the
// caller's, except that at shutdown the server thread destroys each handler whose handle is
// signalled (after a last OnSignalled and OnClose); the others stay the caller's.
#pragma once

#include <atomic>
#include <mutex>
#include <unordered_set>

#include <vorm/export.h>
#include <vorm/platform/sync.h>
#include <vorm/result_codes.h>
#include <vorm/selector.h>

// Base of the handlers a server thread calls. Thread rule: called on the server thread only.
// Ownership: the client's, except as the top of this file says for shutdown.
class VORM_API VormServerEventHandler {
 public:
  // `context` is the client's own value; the library never reads it. (Pointer-sized, so a
  // client can keep a pointer there.)
  explicit VormServerEventHandler(ULONG_PTR context);
  virtual ~VormServerEventHandler();
  // Stores the value and returns it.
  virtual ULONG_PTR SetContext(ULONG_PTR value);
  // The handle to wait on for this handler; asked when it is added and when it is removed.
  virtual HANDLE GetHandle() = 0;
  // The handle is signalled (or abandoned).
  virtual void OnSignalled() = 0;
  // Shutdown, after a last OnSignalled, just before the handler is destroyed. Empty here.
  virtual void OnClose();

 protected:
  ULONG_PTR m_context;
};

// A handler kind for clients that watch sockets; the library gives it no behaviour and never
// calls OnSocketEvent. Thread rule and ownership: as VormServerEventHandler.
class VORM_API VormSocket : public VormServerEventHandler {
 public:
  explicit VormSocket(ULONG_PTR context);
  ~VormSocket() override;
  virtual void OnSocketEvent(DWORD networkEvents) = 0;
};

// Thread rule: see the top of this file. Ownership: owns its thread and its handle.
class VORM_API VormServerThread {
 public:
  VormServerThread();
  // Stops a running thread first (see Stop), then frees what is left.
  virtual ~VormServerThread();
  VormServerThread(const VormServerThread&) = delete;
  VormServerThread& operator=(const VormServerThread&) = delete;

  // Creates and starts the thread and returns once it runs: VormOk, also when a thread
  // exists already (or has ended); VormThreadNotCreated when none could be made (Start may
  // be tried again).
  virtual DWORD Start();
  // Queues the handler's addition (its handle is read now, on the calling thread): VormOk
  // once queued - a handle already registered, or a 65th, is then refused on the server
  // thread, and that handler stays unregistered and the caller's; VormOutOfMemory;
  // VormFailed when the thread was never started or has ended.
  virtual DWORD AddHandler(VormServerEventHandler* handler);
  // Queues the removal of the handler's handle; same results. The removed handler is
  // neither called nor destroyed.
  virtual DWORD RemoveHandler(VormServerEventHandler* handler);
  // Asks the thread to stop and waits until it has ended (at once when it never started or
  // has ended). Writes 0 through `result` when not null; always returns VormFailed.
  virtual DWORD Stop(DWORD* result);
  // The body of the server thread: signals `started`, then waits and dispatches until
  // stopped, then the shutdown sweep. Returns 0.
  virtual DWORD Run(HANDLE started);
  // On the server thread: the selector's Add for the handler's handle.
  virtual DWORD OnAddHandler(VormServerEventHandler* handler);
  // On the server thread: the selector's Remove.
  virtual DWORD OnRemoveHandle(HANDLE handle);
  // Never called by the library.
  virtual void ExtensionHook();

  HANDLE GetThreadHandle() const { return m_thread.load(); }

  // Platform callbacks. ThreadProc's exit code is Run's result, or 0x8000FFFF when a
  // VormEllipsis left Run.
  static DWORD ThreadProc(LPVOID startBlock);
  // The APC routines; each takes a request made by AddHandler, RemoveHandler or Stop.
  static void AddHandlerProc(ULONG_PTR request);
  static void RemoveHandlerProc(ULONG_PTR request);
  static void StopProc(ULONG_PTR server);

 protected:
  CRITICAL_SECTION m_lock;  // serialises Start and Stop
  std::atomic<HANDLE> m_thread{nullptr};
  DWORD m_threadId = 0;
  bool m_running = false;  // server thread only
  VormSynchronizedSelector m_selector;

 private:
  struct Request;
  DWORD Queue(PAPCFUNC routine, VormServerEventHandler* handler);
  void Forget(Request* request);
  // Requests queued and not yet run: freed by the destructor when their APC never ran
  // (queued just as the thread stopped).
  std::mutex m_requestsLock;
  std::unordered_set<Request*> m_requests;
};
