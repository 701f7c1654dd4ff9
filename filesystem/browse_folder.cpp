// The folder-selection dialog.
#include <vorm/browse_folder.h>
#include <vorm/platform/com.h>
#include <vorm/platform/files.h>

namespace VormBrowseForDirectory_details {
namespace {

// The desktop folder's item list for `name`, or null when it cannot be parsed.
LPITEMIDLIST Parse(IShellFolder* desktop, HWND owner, const CString& name) {
  BSTR text = name.AllocSysString();
  if (!text) return nullptr;
  PIDLIST_RELATIVE list = nullptr;
  ULONG eaten = 0;
  if (FAILED(desktop->ParseDisplayName(owner, nullptr, text, &eaten, &list, nullptr))) list = nullptr;
  SysFreeString(text);
  return list;
}

constexpr UINT kDialogFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_RETURNFSANCESTORS | BIF_NEWDIALOGSTYLE;
constexpr int kPathBufferChars = 520;

}  // namespace
}  // namespace VormBrowseForDirectory_details

using namespace VormBrowseForDirectory_details;

VormBrowseForDirectory::VormBrowseForDirectory(BFFCALLBACK callback)
    : m_callback(callback), m_initialList(nullptr), m_rootList(nullptr) {
  CoInitialize(nullptr);
}

VormBrowseForDirectory::~VormBrowseForDirectory() { CoUninitialize(); }

BOOL VormBrowseForDirectory::Browse(VormPath& result, const wchar_t* initialFolder, const wchar_t* title, HWND owner,
                                    const wchar_t* rootFolder) {
  if (!m_callback) m_callback = &VormBrowseForDirectory::BrowseCallback;

  IShellFolder* desktop = nullptr;
  if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop) {
    if (initialFolder && _waccess(initialFolder, 0) == 0) {
      m_initialFolder = initialFolder;
      m_initialList = Parse(desktop, owner, m_initialFolder);
    }
    if (rootFolder) {
      m_rootFolder = rootFolder;
      m_rootList = Parse(desktop, owner, m_rootFolder);
    }
    desktop->Release();
  }

  wchar_t path[kPathBufferChars] = {};
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pidlRoot = m_rootList;
  info.pszDisplayName = path;
  info.lpszTitle = title;
  info.ulFlags = kDialogFlags;
  info.lpfn = m_callback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);

  BOOL answer = FALSE;
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
    if (chosen) {
      // A chosen item without a file-system path leaves `result` as it was.
      if (SHGetPathFromIDListW(chosen, path)) {
        result = path;
        result.AddTrailingSeparator();
        answer = TRUE;
      }
      allocator->Free(chosen);
    }
    allocator->Free(m_rootList);
    allocator->Free(m_initialList);
    m_rootList = nullptr;
    m_initialList = nullptr;
    allocator->Release();
  }
  return answer;
}

BOOL VormBrowseForDirectory::ValidateSelection(const wchar_t*, CString& message) {
  (void)message;
  return TRUE;
}

int VormBrowseForDirectory::BrowseCallback(HWND dialog, UINT message, LPARAM param, LPARAM data) {
  auto* self = reinterpret_cast<VormBrowseForDirectory*>(data);
  if (!self) return 0;
  if (message == BFFM_INITIALIZED) {
    if (self->m_initialList)
      SendMessageW(dialog, BFFM_SETSELECTIONW, FALSE, reinterpret_cast<LPARAM>(self->m_initialList));
  } else if (message == BFFM_SELCHANGED) {
    CString text;
    wchar_t path[MAX_PATH];
    if (param && SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(param), path)) {
      if (!self->ValidateSelection(path, text)) SendMessageW(dialog, BFFM_ENABLEOK, 0, 0);
    }
    SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(static_cast<const wchar_t*>(text)));
  }
  return 0;
}
