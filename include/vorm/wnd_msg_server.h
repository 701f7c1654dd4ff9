// The window message server: the library's way of getting work from background threads onto
// one chosen thread, the one that pumps window messages (in practice the host's user-interface
// thread). It owns one hidden window. Receivers register a Callback for a message number;
// anyone posts or sends that message to the window; when the window's thread dispatches it,
// the server calls every callback registered for the number, in registration order.
//
// Thread rules: the server is one process-wide object, made by the first Instance() call on
// the thread that will own the window and run every callback (make that call before other
// threads use the server). Post may be called from any thread; Send from another thread
// waits until the window's thread has handled the message. Register and Unregister belong
// on the window's thread (the table has no lock). Ownership: the server never owns or
// destroys callbacks; unregister a callback before destroying it.
//
//   DWORD cookie;
//   server->Register(0x8800, &cookie, &receiver);   // => S_OK, cookie 1 for the first ever
//   server->Post(0x8800, 7, 0);                      // any thread
//   ... the window's thread: GetMessageW / DispatchMessageW => receiver.OnMessage(...)
//   server->Unregister(cookie);                      // => S_OK; again => E_FAIL
#pragma once

#include <unordered_map>
#include <vector>

#include <vorm/export.h>
#include <vorm/platform/com.h>
#include <vorm/platform/window.h>

// Thread rule and ownership: see above.
class VORM_API VormWndMsgServer {
 public:
  // What a callback receives: the window, the message and its parameters. The reserved
  // fields are zero.
  struct Message {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    ULONG_PTR reserved[3];
  };

  // Implemented by receivers; called on the window's thread. Ownership: the receiver's.
  class VORM_API Callback {
   public:
    // The result is ignored. A VormEllipsis thrown here is caught, and the other callbacks
    // of the message are still called; other exceptions leave through DispatchMessageW.
    virtual LONG OnMessage(const Message* message) = 0;
    virtual ~Callback();
  };

  // The single server, made on the first call (see the thread rules).
  static VormWndMsgServer* Instance();

  virtual ~VormWndMsgServer();
  // S_OK and a new cookie (never 0, never reused in a process run); the same callback may
  // be registered many times, each registration called separately. E_POINTER for a null
  // callback (the cookie is not written), also for a null cookie pointer; E_FAIL when a
  // VormEllipsis is raised while registering; E_OUTOFMEMORY when the table cannot grow.
  virtual HRESULT Register(const UINT& message, DWORD* cookie, Callback* callback) = 0;
  // S_OK; E_INVALIDARG for cookie 0; E_FAIL when no registration holds the cookie.
  virtual HRESULT Unregister(const DWORD& cookie) = 0;
  // The hidden window; null when it could not be made.
  virtual HWND GetHwnd() = 0;
  // PostMessageW / SendMessageW to the hidden window, results unchanged.
  virtual BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

namespace VormWndMsgServer_details {

// The implementation. Thread rule: as VormWndMsgServer. Ownership: owns its window and
// class registration, never the callbacks.
class VORM_API VormWndMsgServerImpl : public VormWndMsgServer {
 public:
  // Registers the window class (unless another server holds it: then there is no window)
  // and creates the hidden window on the calling thread.
  VormWndMsgServerImpl();
  // Destroys the window (from its own thread) and unregisters the class.
  ~VormWndMsgServerImpl() override;
  VormWndMsgServerImpl(const VormWndMsgServerImpl&) = delete;
  VormWndMsgServerImpl& operator=(const VormWndMsgServerImpl&) = delete;

  // The same object as VormWndMsgServer::Instance().
  static VormWndMsgServerImpl* Instance();

  HRESULT Register(const UINT& message, DWORD* cookie, Callback* callback) override;
  HRESULT Unregister(const DWORD& cookie) override;
  HWND GetHwnd() override;
  BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The window procedure of the class: HandleMessage with the server whose window it is.
  static LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Calls the callbacks of `message` in registration order, then returns DefWindowProcW's
  // answer. A callback unregistered by an earlier one during the same dispatch is not
  // called; one registered during it is called from the next message on.
  static LRESULT HandleMessage(VormWndMsgServerImpl* server, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  struct Registration {
    Callback* callback;
    DWORD cookie;
  };

  void CreateHiddenWindow();
  void DestroyHiddenWindow();
  bool IsRegistered(UINT message, DWORD cookie) const;

  HWND m_hwnd = nullptr;
  ATOM m_classAtom = 0;
  HINSTANCE m_instance = nullptr;
  std::unordered_map<UINT, std::vector<Registration>> m_table;
  DWORD m_lastCookie = 0;
  DWORD m_removals = 0;  // with m_lastCookie: tells a dispatch that the table has changed
};

}  // namespace VormWndMsgServer_details
