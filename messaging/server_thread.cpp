// Server threads: one alertable wait on the handlers' handles; handler changes arrive as APCs.
#include <new>

#include <vorm/server_thread.h>

namespace {

// Lives on the stack of Start until the thread has signalled `started`.
struct StartBlock {
  HANDLE started;
  VormServerThread* server;
};

constexpr DWORD kEllipsisExitCode = 0x8000FFFF;

}  // namespace

// What travels with an add or remove APC. Thread rule: made by the caller, read once by the
// server thread. Ownership: the server thread's APC frees it (or the destructor, if it never ran).
struct VormServerThread::Request {
  VormServerThread* server;
  VormServerEventHandler* handler;
  HANDLE handle;
};

VormServerEventHandler::VormServerEventHandler(ULONG_PTR context) : m_context(context) {}
VormServerEventHandler::~VormServerEventHandler() = default;
ULONG_PTR VormServerEventHandler::SetContext(ULONG_PTR value) { return m_context = value; }
void VormServerEventHandler::OnClose() {}

VormSocket::VormSocket(ULONG_PTR context) : VormServerEventHandler(context) {}
VormSocket::~VormSocket() = default;

VormServerThread::VormServerThread() { InitializeCriticalSection(&m_lock); }

VormServerThread::~VormServerThread() {
  if (m_thread.load()) {
    DWORD scratch;
    Stop(&scratch);
    CloseHandle(m_thread.load());
  }
  // The thread has ended: APCs still queued for it will never run.
  for (Request* request : m_requests) delete request;
  DeleteCriticalSection(&m_lock);
}

DWORD VormServerThread::Start() {
  EnterCriticalSection(&m_lock);
  if (!m_thread.load()) {
    HANDLE started = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (started) {
      StartBlock block{started, this};
      HANDLE thread = CreateThread(nullptr, 0, &VormServerThread::ThreadProc, &block, CREATE_SUSPENDED, &m_threadId);
      m_thread.store(thread);
      if (thread && ResumeThread(thread) != 0) WaitForSingleObject(started, INFINITE);
      CloseHandle(started);
    }
  }
  const DWORD result = m_thread.load() ? VormOk : VormThreadNotCreated;
  LeaveCriticalSection(&m_lock);
  return result;
}

DWORD VormServerThread::ThreadProc(LPVOID startBlock) {
  const StartBlock block = *static_cast<StartBlock*>(startBlock);
  try {
    return block.server->Run(block.started);
  } catch (const VormEllipsis&) {
    return kEllipsisExitCode;
  }
}

DWORD VormServerThread::Run(HANDLE started) {
  m_running = true;
  SetEvent(started);
  while (m_running) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    if (m_selector.GetHandles(handles) == 0) {
      // Nothing to wait on (no records, or none enabled): sleep until a request comes.
      SleepEx(INFINITE, TRUE);
      continue;
    }
    HANDLE handle = nullptr;
    VormServerEventHandler* handler = nullptr;
    const DWORD result = m_selector.Wait(FALSE, INFINITE, TRUE, &handle, &handler);
    if ((result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0) && handler) {
      handler->OnSignalled();
    } else if (result == WAIT_FAILED) {
      // A handle that can no longer be waited on (closed while registered) would fail every
      // wait: disable it, so the thread sleeps instead of spinning. Its record stays for
      // RemoveHandler.
      const DWORD n = m_selector.GetHandles(handles);
      bool disabled = false;
      for (DWORD i = 0; i < n; ++i) {
        if (WaitForSingleObject(handles[i], 0) != WAIT_FAILED) continue;
        m_selector.SetEnabled(handles[i], false);
        disabled = true;
      }
      if (!disabled) SleepEx(INFINITE, TRUE);  // a failure with no culprit: wait for requests
    }
  }
  // Shutdown sweep: handlers whose handles are signalled get a last call and are destroyed.
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  const DWORD n = m_selector.GetHandles(handles);
  for (DWORD i = 0; i < n; ++i) {
    VormServerEventHandler* handler = nullptr;
    if (m_selector.Lookup(handles[i], &handler) != VormOk || !handler) continue;
    const DWORD state = WaitForSingleObject(handles[i], 0);
    if (state != WAIT_OBJECT_0 && state != WAIT_ABANDONED_0) continue;
    m_selector.Remove(handles[i], nullptr);
    handler->OnSignalled();
    handler->OnClose();
    delete handler;
  }
  return 0;
}

DWORD VormServerThread::Queue(PAPCFUNC routine, VormServerEventHandler* handler) {
  auto* request = new (std::nothrow) Request{this, handler, handler ? handler->GetHandle() : nullptr};
  if (!request) return VormOutOfMemory;
  try {
    std::lock_guard<std::mutex> guard(m_requestsLock);
    m_requests.insert(request);
  } catch (const std::bad_alloc&) {
    delete request;
    return VormOutOfMemory;
  }
  if (QueueUserAPC(routine, m_thread.load(), reinterpret_cast<ULONG_PTR>(request))) return VormOk;
  Forget(request);
  delete request;
  return VormFailed;
}

void VormServerThread::Forget(Request* request) {
  std::lock_guard<std::mutex> guard(m_requestsLock);
  m_requests.erase(request);
}

DWORD VormServerThread::AddHandler(VormServerEventHandler* handler) { return Queue(&AddHandlerProc, handler); }

DWORD VormServerThread::RemoveHandler(VormServerEventHandler* handler) { return Queue(&RemoveHandlerProc, handler); }

void VormServerThread::AddHandlerProc(ULONG_PTR request) {
  // Read the request and free it before calling anything.
  auto* r = reinterpret_cast<Request*>(request);
  VormServerThread* server = r->server;
  VormServerEventHandler* handler = r->handler;
  server->Forget(r);
  delete r;
  if (server && handler) server->OnAddHandler(handler);
}

void VormServerThread::RemoveHandlerProc(ULONG_PTR request) {
  auto* r = reinterpret_cast<Request*>(request);
  VormServerThread* server = r->server;
  HANDLE handle = r->handle;
  server->Forget(r);
  delete r;
  if (server && handle) server->OnRemoveHandle(handle);
}

void VormServerThread::StopProc(ULONG_PTR server) { reinterpret_cast<VormServerThread*>(server)->m_running = false; }

DWORD VormServerThread::OnAddHandler(VormServerEventHandler* handler) {
  return m_selector.Add(handler->GetHandle(), handler);
}

DWORD VormServerThread::OnRemoveHandle(HANDLE handle) { return m_selector.Remove(handle, nullptr); }

void VormServerThread::ExtensionHook() {}

DWORD VormServerThread::Stop(DWORD* result) {
  EnterCriticalSection(&m_lock);
  if (HANDLE thread = m_thread.load()) {
    QueueUserAPC(&StopProc, thread, reinterpret_cast<ULONG_PTR>(this));
    WaitForSingleObject(thread, INFINITE);
  }
  LeaveCriticalSection(&m_lock);
  if (result) *result = 0;
  return VormFailed;
}
