// The shell's folder-selection dialog and the pieces of the shell namespace it uses: item
// identifier lists, the shell allocator, the desktop folder's name parsing.
//
// The namespace here is the file system: the desktop (the empty item list) is the root
// folder "/", and every other item list names one absolute path. Item lists are allocated
// with the task allocator (SHGetMalloc's Free or CoTaskMemFree releases them).
//
// The dialog itself goes through a replaceable provider (VormFolderDialogProvider) that
// plays the user: it moves the selection, sees what the dialog's callback made of it (OK
// enabled or not, the status text) and presses OK or Cancel. Default provider: when both
// standard input and standard error are terminals, a line-based chooser on them (see
// VormMakeTerminalFolderDialogProvider); otherwise, or when the environment variable
// VORM_FOLDER_DIALOG is "cancel", it cancels at once, as a user closing the dialog would.
//
// Thread rules: the functions may be called from any thread; a dialog runs modally on the
// thread that called SHBrowseForFolderW, and its provider and callback run there.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include <vorm/platform/com.h>
#include <vorm/platform/window.h>
#include <vorm/platform/wintypes.h>

// ---- Item identifier lists --------------------------------------------------------------
// An item list is a run of SHITEMIDs, each `cb` bytes long including `cb` itself, ended by
// a zero `cb`. Here a non-empty list holds one item whose bytes are the UTF-8 path.
#pragma pack(push, 1)
struct SHITEMID {
  WORD cb;
  BYTE abID[1];
};
struct ITEMIDLIST {
  SHITEMID mkid;
};
#pragma pack(pop)
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;
using PIDLIST_RELATIVE = ITEMIDLIST*;

// The path of an item list into `path` (MAX_PATH characters): "/" for the desktop. FALSE,
// with `path` emptied when it is not null, for a null list, a list this layer did not make,
// or a path of MAX_PATH characters or more.
VORM_API BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, wchar_t* path);
// Frees an item list (null allowed).
VORM_API void ILFree(PIDLIST_RELATIVE list);

// ---- The shell allocator ----------------------------------------------------------------
struct VORM_API IMalloc : IUnknown {
  static constexpr IID kIid = {0x00000002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  virtual void* Alloc(SIZE_T bytes) = 0;
  virtual void* Realloc(void* block, SIZE_T bytes) = 0;
  virtual void Free(void* block) = 0;
  // Sizes and ownership are not tracked: (SIZE_T)-1 and -1 ("cannot tell").
  virtual SIZE_T GetSize(void* block) = 0;
  virtual int DidAlloc(void* block) = 0;
  virtual void HeapMinimize() = 0;

 protected:
  ~IMalloc() = default;
};
inline constexpr IID IID_IMalloc = IMalloc::kIid;

// The task allocator, AddRef'd for the caller: S_OK, E_INVALIDARG for null.
VORM_API HRESULT SHGetMalloc(IMalloc** allocator);

// ---- The desktop folder -----------------------------------------------------------------
struct IBindCtx;

// The subset of the shell folder interface the library uses.
struct VORM_API IShellFolder : IUnknown {
  static constexpr IID kIid = {0x000214E6, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  // The item list of `displayName`, a folder or file that exists, absolute or relative to
  // the current folder ('\' or '/' separators, "." and ".." resolved). S_OK with a new list
  // in *list (and, when asked, the characters eaten: all of them, and *attributes 0);
  // E_INVALIDARG for a null name or list pointer; HRESULT_FROM_WIN32 of the error for a
  // name that does not exist (*list null).
  //   "/tmp/data/" => the list of "/tmp/data"
  virtual HRESULT ParseDisplayName(HWND owner, IBindCtx* bindContext, LPWSTR displayName, ULONG* eaten,
                                   PIDLIST_RELATIVE* list, ULONG* attributes) = 0;

 protected:
  ~IShellFolder() = default;
};
inline constexpr IID IID_IShellFolder = IShellFolder::kIid;

// The desktop folder, AddRef'd for the caller: S_OK, E_INVALIDARG for null.
VORM_API HRESULT SHGetDesktopFolder(IShellFolder** folder);

// ---- The dialog -------------------------------------------------------------------------
// Dialog callback: (dialog window, notification, notification's value, BROWSEINFOW::lParam).
using BFFCALLBACK = int (*)(HWND dialog, UINT message, LPARAM param, LPARAM data);

struct BROWSEINFOW {
  HWND hwndOwner;
  PCIDLIST_ABSOLUTE pidlRoot;  // null: the desktop
  LPWSTR pszDisplayName;       // MAX_PATH characters: receives the chosen folder's name
  LPCWSTR lpszTitle;
  UINT ulFlags;
  BFFCALLBACK lpfn;
  LPARAM lParam;
  int iImage;
};
using LPBROWSEINFOW = BROWSEINFOW*;

constexpr UINT BIF_RETURNONLYFSDIRS = 0x0001;
constexpr UINT BIF_DONTGOBELOWDOMAIN = 0x0002;
constexpr UINT BIF_STATUSTEXT = 0x0004;
constexpr UINT BIF_RETURNFSANCESTORS = 0x0008;
constexpr UINT BIF_EDITBOX = 0x0010;
constexpr UINT BIF_VALIDATE = 0x0020;
constexpr UINT BIF_NEWDIALOGSTYLE = 0x0040;

// Notifications to the callback.
constexpr UINT BFFM_INITIALIZED = 1;  // param 0
constexpr UINT BFFM_SELCHANGED = 2;   // param: the new selection's item list (valid during the call)
// Messages the callback sends to the dialog window (SendMessageW).
constexpr UINT BFFM_ENABLEOK = WM_USER + 101;        // lParam: nonzero enables OK, 0 disables it
constexpr UINT BFFM_SETSELECTIONW = WM_USER + 103;   // wParam TRUE: lParam is a path; FALSE: an item list
constexpr UINT BFFM_SETSTATUSTEXTW = WM_USER + 104;  // lParam: the text (null = empty)
constexpr UINT BFFM_SETOKTEXT = WM_USER + 105;       // lParam: the OK button's text
constexpr UINT BFFM_SETEXPANDED = WM_USER + 106;     // accepted; nothing is shown expanded

// Runs the dialog modally. Returns the chosen folder's item list (the caller frees it) and
// writes its last component into pszDisplayName when that is not null; null for Cancel or a
// null `info`.
VORM_API PIDLIST_ABSOLUTE SHBrowseForFolderW(LPBROWSEINFOW info);

// One run of the dialog, as its provider sees and drives it. Thread rule: the dialog's
// thread. Ownership: the dialog; the provider only borrows it during Run.
class VORM_API VormFolderDialog {
 public:
  virtual ~VormFolderDialog() = default;

  // What the caller asked for.
  virtual HWND Window() const = 0;           // the dialog window the callback sees
  virtual const wchar_t* Title() const = 0;  // never null
  virtual UINT Flags() const = 0;
  virtual std::wstring Root() const = 0;  // absolute; "/" for the desktop

  // Acting as the user. Initialize sends BFFM_INITIALIZED (a provider calls it first, once);
  // when the callback set no selection then, the root becomes the selection as Select
  // makes it. Select makes an existing folder at or below the root the selection, enables OK and
  // sends BFFM_SELCHANGED. Select returns false, changing nothing, for anything else.
  virtual void Initialize() = 0;
  virtual bool Select(const wchar_t* folder) = 0;

  // What the dialog shows: the selection (absolute, empty before any), whether OK can be
  // pressed, the status line and the OK button's text.
  virtual std::wstring Selection() const = 0;
  virtual bool OkEnabled() const = 0;
  virtual std::wstring StatusText() const = 0;
  virtual std::wstring OkText() const = 0;
};

// Plays the user of the dialog. Thread rule: called on the dialog's thread; ownership:
// shared with whoever installed it.
class VORM_API VormFolderDialogProvider {
 public:
  virtual ~VormFolderDialogProvider() = default;
  // Drives `dialog` and returns true for OK (the current selection is chosen; refused when
  // OK is disabled or nothing is selected) or false for Cancel.
  virtual bool Run(VormFolderDialog& dialog) = 0;
};

// Installs a provider and returns the one it replaces; null reinstalls the default.
VORM_API std::shared_ptr<VormFolderDialogProvider> VormSetFolderDialogProvider(
    std::shared_ptr<VormFolderDialogProvider> provider);

// The line-based chooser the default provider uses on a terminal, reading lines from `in`
// and writing to `out`. It shows the title, the root and the selection (the initial one,
// else the root); then each line is one command:
//   a path         selects that folder (relative to the selection, or absolute)
//   ls             lists the selection's subfolders
//   (empty line)   OK, when it is enabled
//   q, or the end of the input: Cancel
// After each selection it shows the status text and whether OK is disabled.
VORM_API std::shared_ptr<VormFolderDialogProvider> VormMakeTerminalFolderDialogProvider(FILE* in, FILE* out);
