// VormBrowseForDirectory: the folder-selection dialog (SHBrowseForFolderW) with an optional
// root folder, an optional preselected folder and a title; the chosen folder comes back as
// a VormPath with a trailing separator. A derived class can veto folders while the user
// moves through the tree: ValidateSelection is asked for every new selection and can
// disable OK and put a message in the dialog's status line.
//
// On this platform the dialog is played by the installed folder-dialog provider
// (shell_browse.h); the default one asks on a terminal when there is one and otherwise
// cancels.
//
// Thread rule: the dialog is modal and runs on the calling thread; an object brackets its
// life with CoInitialize/CoUninitialize on the thread that made it and must not be shared
// between threads. Ownership: the object owns the item lists it makes during Browse and
// frees them before Browse returns.
#pragma once

#include <vorm/export.h>
#include <vorm/path.h>
#include <vorm/platform/cstring.h>
#include <vorm/platform/shell_browse.h>
#include <vorm/platform/wintypes.h>

class VORM_API VormBrowseForDirectory {
 public:
  // A null callback means the class's own BrowseCallback.
  explicit VormBrowseForDirectory(BFFCALLBACK callback = nullptr);
  virtual ~VormBrowseForDirectory();
  VormBrowseForDirectory(const VormBrowseForDirectory&) = delete;
  VormBrowseForDirectory& operator=(const VormBrowseForDirectory&) = delete;

  // Shows the dialog. `initialFolder` is preselected when it exists; `rootFolder` roots the
  // dialog when the shell can parse it (else the dialog starts at the desktop); either may
  // be null. TRUE when a folder was chosen: `result` then holds its path followed by
  // `result`'s own separator; FALSE for Cancel, with `result` unchanged.
  //   "/data/survey" chosen, result a backslash path => "/data/survey\"
  //   the same, result made with VormPath::SlashSeparator => "/data/survey/"
  virtual BOOL Browse(VormPath& result, const wchar_t* initialFolder, const wchar_t* title, HWND owner,
                      const wchar_t* rootFolder);
  // Asked for each newly selected folder: FALSE disables OK; `message` goes to the status
  // line. This version accepts every folder and leaves `message` empty.
  virtual BOOL ValidateSelection(const wchar_t* path, CString& message);

  // The dialog callback: `data` is the VormBrowseForDirectory. Preselects the initial
  // folder when the dialog starts; on each selection change asks ValidateSelection, sends
  // BFFM_ENABLEOK (disabled) on a veto and always sends the status text. Returns 0.
  static int BrowseCallback(HWND dialog, UINT message, LPARAM param, LPARAM data);

 private:
  BFFCALLBACK m_callback;
  CString m_initialFolder;
  CString m_rootFolder;
  LPITEMIDLIST m_initialList;
  LPITEMIDLIST m_rootList;
};
