// The window message server: one hidden window, a table from message number to callbacks.
#include <algorithm>
#include <atomic>
#include <new>
#include <span>

#include <vorm/result_codes.h>
#include <vorm/wnd_msg_server.h>

namespace VormWndMsgServer_details {
namespace {

constexpr const wchar_t* kClassName = L"VormWnd59A9E57ED6664f9e943F19730E161AEE";

// The server holding the class registration, and with it the hidden window: the one the
// window procedure serves. Set before the window is created, so the creation messages
// already reach the right server (not a recursive first Instance() call).
std::atomic<VormWndMsgServerImpl*> g_windowServer{nullptr};

}  // namespace

VormWndMsgServerImpl::VormWndMsgServerImpl() { CreateHiddenWindow(); }

VormWndMsgServerImpl::~VormWndMsgServerImpl() { DestroyHiddenWindow(); }

VormWndMsgServerImpl* VormWndMsgServerImpl::Instance() {
  static VormWndMsgServerImpl server;
  return &server;
}

void VormWndMsgServerImpl::CreateHiddenWindow() {
  m_instance = GetModuleHandleW(nullptr);
  if (!m_instance) return;
  if (!m_classAtom) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &VormWndMsgServerImpl::WndProc;
    windowClass.hInstance = m_instance;
    windowClass.lpszClassName = kClassName;
    VormWndMsgServerImpl* none = nullptr;
    // Claim the window procedure first; a second server finds the class taken and stays
    // without a window.
    if (!g_windowServer.compare_exchange_strong(none, this)) return;
    m_classAtom = RegisterClassW(&windowClass);
    if (!m_classAtom) {
      g_windowServer.store(nullptr);
      return;
    }
  }
  m_hwnd = CreateWindowExW(0, MAKEINTATOM(m_classAtom), L"", 0, 0, 0, 1, 1, nullptr, nullptr, m_instance, nullptr);
}

void VormWndMsgServerImpl::DestroyHiddenWindow() {
  if (m_hwnd) {
    DestroyWindow(m_hwnd);
    m_hwnd = nullptr;
  }
  if (m_classAtom) {
    UnregisterClassW(MAKEINTATOM(m_classAtom), m_instance);
    m_classAtom = 0;
    m_instance = nullptr;
    VormWndMsgServerImpl* self = this;
    g_windowServer.compare_exchange_strong(self, nullptr);
  }
  m_table.clear();
}

HRESULT VormWndMsgServerImpl::Register(const UINT& message, DWORD* cookie, Callback* callback) {
  if (!callback || !cookie) return E_POINTER;
  HRESULT result = S_OK;
  try {
    m_table[message].push_back({callback, m_lastCookie + 1});
    *cookie = ++m_lastCookie;
  } catch (const VormEllipsis&) {
    result = E_FAIL;
  } catch (const std::bad_alloc&) {
    result = E_OUTOFMEMORY;
  }
  // A number without registrations has no entry, also after a failed registration.
  auto entry = m_table.find(message);
  if (entry != m_table.end() && entry->second.empty()) m_table.erase(entry);
  return result;
}

HRESULT VormWndMsgServerImpl::Unregister(const DWORD& cookie) {
  if (cookie == 0) return E_INVALIDARG;
  for (auto entry = m_table.begin(); entry != m_table.end(); ++entry) {
    std::vector<Registration>& list = entry->second;
    for (auto it = list.begin(); it != list.end(); ++it) {
      if (it->cookie != cookie) continue;
      list.erase(it);
      if (list.empty()) m_table.erase(entry);
      ++m_removals;
      return S_OK;
    }
  }
  return E_FAIL;
}

bool VormWndMsgServerImpl::IsRegistered(UINT message, DWORD cookie) const {
  auto entry = m_table.find(message);
  if (entry == m_table.end()) return false;
  for (const Registration& r : entry->second) {
    if (r.cookie == cookie) return true;
  }
  return false;
}

HWND VormWndMsgServerImpl::GetHwnd() { return m_hwnd; }

BOOL VormWndMsgServerImpl::Post(UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageW(m_hwnd, message, wParam, lParam);
}

LRESULT VormWndMsgServerImpl::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageW(m_hwnd, message, wParam, lParam);
}

LRESULT VormWndMsgServerImpl::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return HandleMessage(g_windowServer.load(), window, message, wParam, lParam);
}

LRESULT VormWndMsgServerImpl::HandleMessage(VormWndMsgServerImpl* server, HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (server) {
    auto entry = server->m_table.find(message);
    if (entry != server->m_table.end()) {
      // Callbacks may register and unregister while they run: work from a copy (on the stack
      // for the usual few), and skip a registration that an earlier callback has removed.
      constexpr size_t kOnStack = 8;
      Registration onStack[kOnStack];
      std::vector<Registration> onHeap;
      const std::vector<Registration>& live = entry->second;
      const Registration* snapshot = onStack;
      const size_t count = live.size();
      if (count <= kOnStack) {
        std::copy(live.begin(), live.end(), onStack);
      } else {
        try {
          onHeap = live;
        } catch (const std::bad_alloc&) {
          return 0;
        }
        snapshot = onHeap.data();
      }
      const Message record{window, message, wParam, lParam, {0, 0, 0}};
      const DWORD before = server->m_lastCookie + server->m_removals;
      for (const Registration& r : std::span<const Registration>(snapshot, count)) {
        if (server->m_lastCookie + server->m_removals != before && !server->IsRegistered(message, r.cookie)) continue;
        try {
          r.callback->OnMessage(&record);
        } catch (const VormEllipsis&) {
          // one callback's failure does not keep the message from the others
        }
      }
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace VormWndMsgServer_details

VormWndMsgServer::~VormWndMsgServer() = default;
VormWndMsgServer::Callback::~Callback() = default;

VormWndMsgServer* VormWndMsgServer::Instance() { return VormWndMsgServer_details::VormWndMsgServerImpl::Instance(); }
