// The folder dialog, item lists, the shell allocator and the desktop folder.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include <unistd.h>

#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/mfc_file.h>
#include <vorm/platform/shell_browse.h>
#include <vorm/platform/text.h>

#include "platform/user/provider_slot.h"
#include "platform/user/windowing.h"

namespace {

// ---- item lists ---------------------------------------------------------------------------

// The item list of an absolute path: empty for "/" (the desktop), else one item holding
// the UTF-8 path. Null when out of memory or when the path does not fit one item.
PIDLIST_ABSOLUTE MakeList(const std::wstring& path) {
  std::string bytes = path == L"/" ? std::string() : VormToUtf8(path);
  size_t itemSize = bytes.empty() ? 0 : bytes.size() + sizeof(WORD);
  if (itemSize > 0xFFFF) return nullptr;
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(itemSize + sizeof(WORD)));
  if (!block) return nullptr;
  WORD cb = static_cast<WORD>(itemSize);
  WORD end = 0;
  if (itemSize) {
    std::memcpy(block, &cb, sizeof cb);
    std::memcpy(block + sizeof cb, bytes.data(), bytes.size());
  }
  std::memcpy(block + itemSize, &end, sizeof end);
  return reinterpret_cast<PIDLIST_ABSOLUTE>(block);
}

// The path an item list of this layer names.
bool ReadList(PCIDLIST_ABSOLUTE list, std::wstring& path) {
  if (!list) return false;
  const auto* block = reinterpret_cast<const BYTE*>(list);
  WORD cb;
  std::memcpy(&cb, block, sizeof cb);
  if (cb == 0) {
    path = L"/";
    return true;
  }
  if (cb <= sizeof(WORD)) return false;
  WORD next;
  std::memcpy(&next, block + cb, sizeof next);
  if (next != 0 || block[sizeof(WORD)] != '/') return false;
  path = VormFromUtf8(std::string_view(reinterpret_cast<const char*>(block + sizeof(WORD)), cb - sizeof(WORD)));
  return true;
}

// The absolute name of an existing entry, and whether it is a folder.
bool Resolve(const wchar_t* name, std::wstring& full, bool& isFolder) {
  CFileStatus status;
  if (!name || !CFile::GetStatus(name, status)) return false;
  full = status.m_szFullName;
  isFolder = (status.m_attribute & CFile::directory) != 0;
  return true;
}

std::wstring LastComponent(const std::wstring& path) {
  if (path == L"/") return path;
  size_t cut = path.find_last_of(L'/');
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// ---- the allocator and the desktop folder ------------------------------------------------

// Process-wide objects that live as long as the library: reference counts are kept for
// the platform's sake but never free them.
class TaskMalloc final : public IMalloc {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = (iid == IUnknown::kIid || iid == IMalloc::kIid) ? static_cast<IMalloc*>(this) : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  void* Alloc(SIZE_T bytes) override { return CoTaskMemAlloc(bytes); }
  void* Realloc(void* block, SIZE_T bytes) override { return CoTaskMemRealloc(block, bytes); }
  void Free(void* block) override { CoTaskMemFree(block); }
  SIZE_T GetSize(void*) override { return static_cast<SIZE_T>(-1); }
  int DidAlloc(void*) override { return -1; }
  void HeapMinimize() override {}
};

class DesktopFolder final : public IShellFolder {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = (iid == IUnknown::kIid || iid == IShellFolder::kIid) ? static_cast<IShellFolder*>(this) : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT ParseDisplayName(HWND, IBindCtx*, LPWSTR displayName, ULONG* eaten, PIDLIST_RELATIVE* list,
                           ULONG* attributes) override {
    if (!list) return E_INVALIDARG;
    *list = nullptr;
    if (!displayName) return E_INVALIDARG;
    std::wstring full;
    bool isFolder = false;
    if (!Resolve(displayName, full, isFolder)) {
      DWORD code = GetLastError();
      return code ? HRESULT_FROM_WIN32(code) : E_FAIL;
    }
    *list = MakeList(full);
    if (!*list) return E_OUTOFMEMORY;
    if (eaten) *eaten = static_cast<ULONG>(std::wcslen(displayName));
    if (attributes) *attributes = 0;
    return S_OK;
  }
};

TaskMalloc g_malloc;
DesktopFolder g_desktop;

// ---- the dialog ---------------------------------------------------------------------------

class Dialog final : public VormFolderDialog {
 public:
  explicit Dialog(const BROWSEINFOW& info) : info_(info) {
    if (!info.pidlRoot || !ReadList(info.pidlRoot, root_)) root_ = L"/";
  }

  void Attach(HWND window) { window_ = window; }

  HWND Window() const override { return window_; }
  const wchar_t* Title() const override { return info_.lpszTitle ? info_.lpszTitle : L""; }
  UINT Flags() const override { return info_.ulFlags; }
  std::wstring Root() const override { return root_; }

  void Initialize() override {
    if (initialized_) return;
    initialized_ = true;
    Notify(BFFM_INITIALIZED, 0);
    if (selection_.empty()) Select(root_.c_str());
  }

  bool Select(const wchar_t* folder) override {
    std::wstring full;
    bool isFolder = false;
    if (!Resolve(folder, full, isFolder) || !isFolder || !BelowRoot(full)) return false;
    selection_ = full;
    okEnabled_ = true;
    // A callback that answers each change with a new selection must not recurse forever.
    if (depth_ >= kMaxDepth) return true;
    PIDLIST_ABSOLUTE list = MakeList(full);
    if (!list) return true;
    ++depth_;
    Notify(BFFM_SELCHANGED, reinterpret_cast<LPARAM>(list));
    --depth_;
    CoTaskMemFree(list);
    return true;
  }

  std::wstring Selection() const override { return selection_; }
  bool OkEnabled() const override { return okEnabled_; }
  std::wstring StatusText() const override { return status_; }
  std::wstring OkText() const override { return okText_; }

  // Messages sent to the dialog window.
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case BFFM_ENABLEOK: okEnabled_ = lParam != 0; return 0;
      case BFFM_SETSELECTIONW: {
        std::wstring path;
        if (wParam) {
          if (lParam) Select(reinterpret_cast<const wchar_t*>(lParam));
        } else if (ReadList(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path)) {
          Select(path.c_str());
        }
        return 0;
      }
      case BFFM_SETSTATUSTEXTW: status_ = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L""; return 0;
      case BFFM_SETOKTEXT: okText_ = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"OK"; return 0;
      default: return 0;
    }
  }

 private:
  static constexpr int kMaxDepth = 8;

  bool BelowRoot(const std::wstring& full) const {
    if (root_ == L"/" || full == root_) return true;
    return full.size() > root_.size() && full.compare(0, root_.size(), root_) == 0 && full[root_.size()] == L'/';
  }

  void Notify(UINT message, LPARAM param) {
    if (info_.lpfn) info_.lpfn(window_, message, param, info_.lParam);
  }

  const BROWSEINFOW& info_;
  HWND window_ = nullptr;
  std::wstring root_;
  std::wstring selection_;
  std::wstring status_;
  std::wstring okText_ = L"OK";
  bool okEnabled_ = false;
  bool initialized_ = false;
  int depth_ = 0;
};

// ---- providers ----------------------------------------------------------------------------

class TerminalProvider final : public VormFolderDialogProvider {
 public:
  TerminalProvider(FILE* in, FILE* out) : in_(in), out_(out) {}

  bool Run(VormFolderDialog& dialog) override {
    if (!in_ || !out_) return false;
    if (*dialog.Title()) Print(std::wstring(dialog.Title()) + L"\n");
    Print(L"Root: " + dialog.Root() + L"\n");
    Print(L"Type a folder to select it, 'ls' to list subfolders, an empty line for OK, 'q' to cancel.\n");
    dialog.Initialize();
    for (;;) {
      std::wstring state = L"Folder: " + dialog.Selection();
      if (!dialog.StatusText().empty()) state += L"  [" + dialog.StatusText() + L"]";
      if (!dialog.OkEnabled()) state += L"  (OK disabled)";
      Print(state + L"\n> ");
      std::string line;
      if (!ReadLine(line)) return false;
      if (line == "q") return false;
      if (line.empty()) {
        if (dialog.OkEnabled() && !dialog.Selection().empty()) return true;
        Print(L"OK is disabled for this folder.\n");
        continue;
      }
      if (line == "ls") {
        List(dialog.Selection());
        continue;
      }
      std::wstring target = VormFromOsPath(line);
      if (target[0] != L'/' && target[0] != L'\\') target = dialog.Selection() + L"/" + target;
      if (!dialog.Select(target.c_str())) Print(L"No such folder below the root: " + VormFromUtf8(line) + L"\n");
    }
  }

 private:
  void Print(const std::wstring& text) {
    std::string bytes = VormToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), out_);
    std::fflush(out_);
  }

  bool ReadLine(std::string& line) {
    line.clear();
    int c;
    while ((c = std::fgetc(in_)) != EOF && c != '\n') line += static_cast<char>(c);
    if (c == EOF && line.empty()) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

  void List(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    std::wstring pattern = folder + (folder == L"/" ? L"*" : L"/*");
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
      std::wstring name = data.cFileName;
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") {
        Print(L"  " + name + L"\n");
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }

  FILE* in_;
  FILE* out_;
};

// Cancels unless it has a terminal to ask on.
class DefaultProvider final : public VormFolderDialogProvider {
 public:
  bool Run(VormFolderDialog& dialog) override {
    const char* choice = std::getenv("VORM_FOLDER_DIALOG");
    if (choice && std::strcmp(choice, "cancel") == 0) return false;
    if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) return false;
    TerminalProvider terminal(stdin, stderr);
    return terminal.Run(dialog);
  }
};

vorm_user_details::ProviderSlot<VormFolderDialogProvider, DefaultProvider> g_provider;

}  // namespace

BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, wchar_t* path) {
  if (path) path[0] = L'\0';
  std::wstring text;
  if (!path || !ReadList(list, text) || text.size() >= MAX_PATH) return FALSE;
  std::wmemcpy(path, text.c_str(), text.size() + 1);
  return TRUE;
}

void ILFree(PIDLIST_RELATIVE list) { CoTaskMemFree(list); }

HRESULT SHGetMalloc(IMalloc** allocator) {
  if (!allocator) return E_INVALIDARG;
  *allocator = &g_malloc;
  return S_OK;
}

HRESULT SHGetDesktopFolder(IShellFolder** folder) {
  if (!folder) return E_INVALIDARG;
  *folder = &g_desktop;
  return S_OK;
}

PIDLIST_ABSOLUTE SHBrowseForFolderW(LPBROWSEINFOW info) {
  if (!info) return nullptr;
  Dialog dialog(*info);
  HWND window = VormWindow_details::Create([&dialog](UINT m, WPARAM w, LPARAM l) { return dialog.Handle(m, w, l); });
  if (!window) return nullptr;
  dialog.Attach(window);
  bool ok = false;
  try {
    std::shared_ptr<VormFolderDialogProvider> provider = g_provider.Get();
    ok = provider->Run(dialog);
  } catch (...) {
    ok = false;  // a provider that fails has cancelled
  }
  VormWindow_details::Destroy(window);
  if (!ok || !dialog.OkEnabled() || dialog.Selection().empty()) return nullptr;

  std::wstring chosen = dialog.Selection();
  PIDLIST_ABSOLUTE list = MakeList(chosen);
  if (list && info->pszDisplayName) {
    std::wstring name = LastComponent(chosen);
    size_t n = name.size() < MAX_PATH - 1 ? name.size() : MAX_PATH - 1;
    std::wmemcpy(info->pszDisplayName, name.c_str(), n);
    info->pszDisplayName[n] = L'\0';
  }
  return list;
}

std::shared_ptr<VormFolderDialogProvider> VormSetFolderDialogProvider(
    std::shared_ptr<VormFolderDialogProvider> provider) {
  return g_provider.Set(std::move(provider));
}

std::shared_ptr<VormFolderDialogProvider> VormMakeTerminalFolderDialogProvider(FILE* in, FILE* out) {
  return std::make_shared<TerminalProvider>(in, out);
}
