// VormPath: a path value. It is a wide text plus the separator the path writes whenever it
// rebuilds itself. Almost every operation is pure string work on the text and never touches
// the file system; only Exists, Access, GetAttributeData and SetSpecialFolder ask the
// platform something. A VormPath is a plain value without locks: distinct objects may be
// used from different threads, one object from one thread at a time.
//
// Separators. Backslash and slash both count as separators for every test and scan. Splitting
// into components cuts at runs of any of '\', '/' and '"', so a double quote never survives
// tokenising. Whenever the text is rebuilt, every separator written is the path's own.
//
// Copies. The copying constructor takes flags like every other constructor, so a copy made
// with flags 0 carries the backslash separator whatever the original's; every path handed
// back by value is such a copy. Assignment from another VormPath copies text and separator;
// assignment from plain text keeps the separator.
//
//   VormPath p(L"C:/dir//sub\\file.txt", VormPath::CanonicalForm)  => C:\dir\sub\file.txt
//   VormPath(L"C:\\dir\\file", VormPath::SlashSeparator | CanonicalForm) => C:/dir/file
//
// Long texts. Linux paths reach 4096 bytes, so the split-based operations (Split, the Get/Set
// part operations, GetComponents) and the joining operations Combine and RelativeTo work on
// the whole text, however long; nothing is cut at MAX_PATH and no buffer is overrun. The
// special-folder queries start with a 261-character buffer and retry with the size the
// platform asks for.
#pragma once

#include <list>
#include <string>

#include <vorm/export.h>
#include <vorm/platform/cstring.h>
#include <vorm/platform/wintypes.h>

// Folders SetSpecialFolder knows. Any other value, negative ones included, leaves the
// text unchanged.
enum VormSpecialFolder {
  ModuleFile = 0,       // full file name of the running executable
  ModuleFolder = 1,     // its folder, with a trailing separator
  WindowsFolder = 2,    // GetWindowsDirectoryW
  SystemFolder = 3,     // GetSystemDirectoryW
  TempFolder = 4,       // GetTempPathW (with a trailing separator)
  CurrentFolder = 5,    // GetCurrentDirectoryW
  DesktopFolder = 6,    // user shell folder "Desktop" (registry, else the XDG desktop folder)
  FavoritesFolder = 7,  // user shell folder "Favorites" (registry only)
  TempFileName = 8      // a unique name "~..." in the temp folder; empty when none can be made
};

class VORM_API VormPath {
 public:
  // Flags, applied in this order: separator (mask 0x03; 1 = slash, anything else =
  // backslash), case (mask 0x30), trailing separator (mask 0x0C), canonical form (0x40).
  enum Flags {
    SlashSeparator = 0x01,
    BackslashSeparator = 0x02,
    StripTrailingSeparators = 0x04,
    EnsureTrailingSeparator = 0x08,
    ToLowerCase = 0x10,
    ToUpperCase = 0x20,
    CanonicalForm = 0x40
  };

  VormPath(const wchar_t* text = L"", int flags = 0);
  VormPath(const CString& text, int flags = 0);
  VormPath(const std::wstring& text, int flags = 0);
  // The copying constructor: text copied, then the flags applied (they choose the separator).
  VormPath(const VormPath& other, int flags = 0);
  // Same meaning as a copy with flags 0, without copying the text.
  VormPath(VormPath&& other) noexcept;
  VormPath(VormSpecialFolder folder, int flags = 0);

  VormPath& operator=(const VormPath& other);  // text and separator
  VormPath& operator=(VormPath&& other) noexcept;
  VormPath& operator=(const CString& text);  // text only
  VormPath& operator=(const std::wstring& text);
  VormPath& operator=(const wchar_t* text);
  void Assign(const wchar_t* text);
  void Set(const VormPath& other, int flags);
  void Set(const std::wstring& text, int flags);
  void Set(const wchar_t* text, int flags);
  void Set(VormSpecialFolder folder, int flags);

  operator const wchar_t*() const { return m_text.GetString(); }
  const CString& GetText() const { return m_text; }
  // The separator this path writes: L"\\" or L"/".
  const wchar_t* GetSeparator() const { return m_separator; }

  // Tests and file-system queries.
  bool IsUNC() const;                 // "\\x", "//x", "\/x" => true
  bool HasTrailingSeparator() const;  // last character '\' or '/'; false when empty
  // False when index > length; else whether the character at index (the terminator at
  // index == length) equals text[0].
  BOOL CharAtIs(unsigned index, const wchar_t* text) const;
  bool Exists() const;         // _waccess(text, 0) == 0
  int Access(int mode) const;  // _waccess(text, mode)
  bool GetAttributeData(WIN32_FILE_ATTRIBUTE_DATA* data) const;

  // Editing in place.
  void ApplyFlags(int flags);
  // Rebuilds the text from its components: runs of separators collapse to one, quotes
  // vanish, a leading separator or UNC pair and a trailing separator survive; "." and ".."
  // are ordinary components.
  //   "C:/dir//sub\file.txt" => "C:\dir\sub\file.txt";  "\\server//share\" => "\\server\share\"
  void Canonicalize();
  void UseSlashes();
  void UseBackslashes();
  void AddTrailingSeparator();
  //   "C:\dir\\" => "C:\dir";  "C:\" => "C:";  "\\" => ""
  void RemoveTrailingSeparators();
  // Looks at the backslash only: "" => "\", "a/" => "a/\", "a\" unchanged.
  void AddTrailingBackslash();
  void RemoveTrailingBackslash();
  //   "C:\dir\file.txt" => "C:\dir\";  "\\server\share" => "\\server\";  "file.txt" => ""
  void RemoveLastComponent();
  //   "C:\dir\sub\" => "dir\sub\";  "\\server\share\x" => "share\x"
  void RemoveFirstComponent();
  // Canonicalises both, joins with one separator and returns a copy of the result:
  //   "C:\dir" + "sub/file.txt" => "C:\dir\sub\file.txt";  "" + "\sub" => "\sub"
  VormPath Append(const wchar_t* tail);
  VormPath Append(const std::wstring& tail);
  // The shell's combination of two paths (only '\' separates; ".." resolved, a second path
  // starting with '\' restarts at the first's root). Empty when the shell cannot combine.
  void Combine(VormPath first, VormPath second);
  //   "C:\dir\a.doc": SetRoot("D:") => "D:\dir\a.doc";  SetDirectory("new") => "C:\new\a.doc"
  //   SetFileTitle("b") => "C:\dir\b.doc";  SetExtension("txt" or ".txt") => "C:\dir\a.txt"
  void SetRoot(const wchar_t* root);
  void SetDirectory(const wchar_t* dir);
  void SetFileTitle(const wchar_t* title);
  void SetExtension(const wchar_t* ext);
  void SetSpecialFolder(VormSpecialFolder folder);

  // Queries returning new paths (backslash separator).
  VormPath FirstComponent() const;  // "\\server\share" => "server"
  VormPath LastComponent() const;   // "C:\dir\" => "dir"
  VormPath Join(const wchar_t* tail) const;
  VormPath Join(const std::wstring& tail) const;
  //   "C:\dir\sub\file.tar.gz": root "C:", directory "\dir\sub\", title "file.tar", ext ".gz"
  //   "\\server\share\dir\f.txt": root "\\server\share\", directory "dir\"
  VormPath GetRoot() const;
  VormPath GetDirectory() const;
  VormPath GetFolder() const;  // root joined with directory: "C:\dir\sub\file.txt" => "C:\dir\sub\"
  VormPath GetFileName() const;
  VormPath GetFileTitle() const;
  VormPath GetExtension() const;
  // This path relative to the folder of `base` (read as a file path: "C:\a\b" relates to
  // "C:\a\"). A result starting with a separator gets a leading ".". Empty when the two
  // cannot be related. The text is related in its canonical backslash form, so slash paths
  // relate like backslash paths.
  VormPath RelativeTo(VormPath base) const;

  // Splitting: drive, directory, title and extension as the platform splits them; each
  // output gets this path's separator. Split also moves a UNC server and share into root.
  void SplitRaw(VormPath& drive, VormPath& dir, VormPath& title, VormPath& ext) const;
  void Split(VormPath& root, VormPath& dir, VormPath& title, VormPath& ext) const;
  //   "C:\dir\sub\file.txt" => "C:", "dir", "sub", "file.txt";  "C:\file.txt" => "C:", "", "file.txt"
  void GetComponents(std::list<CString>& out) const;

  // Reads a user shell folder ("Desktop", "Favorites") into `buffer` (at least MAX_PATH+1
  // characters) with a trailing separator. False when there is none.
  static bool ReadShellFolder(const wchar_t* name, wchar_t* buffer);

 private:
  CString m_text;
  const wchar_t* m_separator;
};

// The platform's WIN32_FILE_ATTRIBUTE_DATA for a file, read by opening the file: nonzero on
// success; 0 for a null `data`, an `infoLevel` other than 0, a missing path, or anything that
// cannot be opened for reading (a folder included, though its attributes are stored).
VORM_API BOOL VormGetFileAttributesEx(const wchar_t* path, int infoLevel, WIN32_FILE_ATTRIBUTE_DATA* data);
