#include "file_event_server.h"

#include <new>

#include <vorm/result_codes.h>

namespace VormFileEventServer_details {

namespace {

BOOL PostReport(UINT message, WPARAM wParam, LPARAM lParam) {
  return VormWndMsgServer::Instance()->Post(message, wParam, lParam);
}

// The sink operations of the change bits, in the order a report calls them.
constexpr struct {
  DWORD bit;
  void (VormFileEventSink::*call)(const DWORD&);
} kBitCalls[] = {
    {FILE_NOTIFY_CHANGE_FILE_NAME, &VormFileEventSink::OnFileNameChange},
    {FILE_NOTIFY_CHANGE_DIR_NAME, &VormFileEventSink::OnDirNameChange},
    {FILE_NOTIFY_CHANGE_ATTRIBUTES, &VormFileEventSink::OnAttributesChange},
    {FILE_NOTIFY_CHANGE_SIZE, &VormFileEventSink::OnSizeChange},
    {FILE_NOTIFY_CHANGE_LAST_WRITE, &VormFileEventSink::OnLastWriteChange},
    {FILE_NOTIFY_CHANGE_LAST_ACCESS, &VormFileEventSink::OnLastAccessChange},
};

}  // namespace

VormFileEventServerImpl::VormFileEventServerImpl() : m_watcher(&PostReport) {
  try {
    Start();
  } catch (const VormEllipsis&) {
  }
}

VormFileEventServerImpl::~VormFileEventServerImpl() {
  try {
    Stop();
  } catch (const VormEllipsis&) {
  }
}

void VormFileEventServerImpl::Start() {
  if (m_watcher.IsRunning()) return;
  VormWndMsgServer* messages = VormWndMsgServer::Instance();
  for (int i = 0; i < kMessages; ++i) {
    if (FAILED(messages->Register(kFirstMessage + i, &m_cookies[i], this))) return;
  }
  m_watcher.StartThread();
}

void VormFileEventServerImpl::Stop() {
  m_watcher.StopThread();
  for (DWORD& cookie : m_cookies) {
    if (cookie != 0) VormWndMsgServer::Instance()->Unregister(cookie);
    cookie = 0;
  }
}

HRESULT VormFileEventServerImpl::AddWatch(const wchar_t* path, DWORD filter, VormFileEventSink* sink, DWORD* id) {
  if (!path || !sink || !id) return E_POINTER;
  try {
    if (!m_watcher.IsRunning() || m_lastId == 0xFFFFFFFF) return E_FAIL;
    auto* request = new (std::nothrow) VormFileWatchRequest;
    if (!request) return E_OUTOFMEMORY;
    request->path = VormPath(path, VormPath::BackslashSeparator);
    request->filter = filter;
    request->id = ++m_lastId;
    // The sink is entered first, so that nothing can fail once the watcher holds the request;
    // the watcher's reports are handled on this thread only after this call returns.
    m_sinks[request->id] = sink;
    if (!m_watcher.PostToThread(VormMsgAddRequest, 0, reinterpret_cast<LPARAM>(request))) {
      const DWORD error = GetLastError();
      m_sinks.erase(request->id);
      delete request;
      if (error == 0) return E_FAIL;
      return static_cast<HRESULT>(error) < 0 ? static_cast<HRESULT>(error)
                                             : static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
    }
    *id = request->id;
    return S_OK;
  } catch (const VormEllipsis&) {
    return E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT VormFileEventServerImpl::RemoveWatch(DWORD id) {
  try {
    m_sinks.erase(id);
    if (m_watcher.IsRunning() && id != 0) m_watcher.PostToThread(VormMsgRemoveRequest, 0, id);
    return S_OK;
  } catch (const VormEllipsis&) {
    return E_FAIL;
  }
}

void VormFileEventServerImpl::Shutdown() {
  try {
    Stop();
  } catch (const VormEllipsis&) {
  }
}

VormFileEventSink* VormFileEventServerImpl::SinkOf(DWORD id) const {
  const auto it = m_sinks.find(id);
  return it == m_sinks.end() ? nullptr : it->second;
}

LONG VormFileEventServerImpl::OnMessage(const VormWndMsgServer::Message* message) {
  try {
    if (!message || message->lParam <= 0 || static_cast<ULONG_PTR>(message->lParam) > 0xFFFFFFFFu) return 0;
    const DWORD id = static_cast<DWORD>(message->lParam);
    VormFileEventSink* sink = SinkOf(id);
    if (!sink) return 0;
    switch (message->message) {
      case VormMsgFileChanged: HandleChange(id, message->wParam); break;
      case VormMsgNoticeA: sink->OnNoticeA(id); break;
      case VormMsgNoticeB: sink->OnNoticeB(id); break;
      case VormMsgWatchError: sink->OnWatchError(id, static_cast<DWORD>(message->wParam)); break;
      default: break;
    }
  } catch (const VormEllipsis&) {
  }
  return 0;
}

void VormFileEventServerImpl::HandleChange(DWORD id, WPARAM bits) {
  for (const auto& [bit, call] : kBitCalls) {
    if (!(bits & bit)) continue;
    // Looked up before each call: a sink that removes its watch gets no further call.
    VormFileEventSink* sink = SinkOf(id);
    if (!sink) return;
    (sink->*call)(id);
  }
}

}  // namespace VormFileEventServer_details

VormFileEventSink::~VormFileEventSink() = default;

VormFileEventServer::~VormFileEventServer() = default;

VormFileEventServer* VormFileEventServer::Instance() {
  static VormFileEventServer_details::VormFileEventServerImpl server;
  return &server;
}
