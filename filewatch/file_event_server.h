// The implementation of the file event server. Thread rule: the receiving thread only (the
// thread of the first Instance() call); the watcher runs on its own thread. Ownership: owns
// the watcher and the sink table, never the sinks.
#pragma once

#include <unordered_map>

#include <vorm/file_events.h>
#include <vorm/wnd_msg_server.h>

#include "folder_watcher.h"

namespace VormFileEventServer_details {

class VormFileEventServerImpl : public VormFileEventServer, public VormWndMsgServer::Callback {
 public:
  // Registers for the server's eight message numbers and starts the watcher thread; on any
  // failure the server exists but does not run.
  VormFileEventServerImpl();
  ~VormFileEventServerImpl() override;
  VormFileEventServerImpl(const VormFileEventServerImpl&) = delete;
  VormFileEventServerImpl& operator=(const VormFileEventServerImpl&) = delete;

  HRESULT AddWatch(const wchar_t* path, DWORD filter, VormFileEventSink* sink, DWORD* id) override;
  HRESULT RemoveWatch(DWORD id) override;
  void Shutdown() override;
  LONG OnMessage(const VormWndMsgServer::Message* message) override;

 private:
  static constexpr UINT kFirstMessage = VormMsgFileChanged;
  static constexpr int kMessages = 8;

  void Start();
  void Stop();
  void HandleChange(DWORD id, WPARAM bits);
  VormFileEventSink* SinkOf(DWORD id) const;

  DWORD m_cookies[kMessages] = {};
  std::unordered_map<DWORD, VormFileEventSink*> m_sinks;
  VormFolderWatcher m_watcher;
  DWORD m_lastId = 0;  // ids come from this counter: never 0, never reused
};

}  // namespace VormFileEventServer_details
