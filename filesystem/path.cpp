#include <vorm/path.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <string_view>
#include <vector>

#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/registry.h>
#include <vorm/platform/shell.h>
#include <vorm/platform/text.h>

namespace VormPath_details {

const wchar_t kBackslash[] = L"\\";
const wchar_t kSlash[] = L"/";

inline bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
// Component delimiters: both separators and the double quote.
inline bool IsDelimiter(wchar_t c) { return IsSeparator(c) || c == L'"'; }

// Calls f(view) for each non-empty run between delimiters of `text` (a private copy).
template <typename F>
void ForEachToken(std::wstring_view text, F&& f) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    while (i < n && IsDelimiter(text[i])) ++i;
    size_t start = i;
    while (i < n && !IsDelimiter(text[i])) ++i;
    if (i > start) f(text.substr(start, i - start));
  }
}

std::wstring FirstToken(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && IsDelimiter(text[i])) ++i;
  size_t start = i;
  while (i < text.size() && !IsDelimiter(text[i])) ++i;
  return std::wstring(text.substr(start, i - start));
}

std::wstring LastToken(std::wstring_view text) {
  size_t end = text.size();
  while (end > 0 && IsDelimiter(text[end - 1])) --end;
  size_t start = end;
  while (start > 0 && !IsDelimiter(text[start - 1])) --start;
  return std::wstring(text.substr(start, end - start));
}

// Runs a platform folder query that answers with the length written, or with the size it
// needs (the folder queries) or the size it was given (GetModuleFileNameW, which cuts the
// text to fit): the buffer starts at 261 characters and at least doubles until the text fits.
template <typename Query>
bool QueryFolder(std::wstring& out, Query query) {
  constexpr size_t kLimit = size_t{1} << 20;  // far beyond any path the OS can hand out
  std::vector<wchar_t> buffer(MAX_PATH + 1, L'\0');
  for (;;) {
    DWORD n = query(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return false;
    if (n < buffer.size()) {
      out.assign(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
      return true;
    }
    const size_t grown = std::max(static_cast<size_t>(n) + 1, buffer.size() * 2);
    if (grown > kLimit) return false;
    buffer.assign(grown, L'\0');
  }
}

// The XDG desktop folder: $XDG_DESKTOP_DIR, else $HOME/Desktop.
bool XdgDesktop(std::wstring& out) {
  if (const char* dir = std::getenv("XDG_DESKTOP_DIR"); dir && *dir) {
    out = VormFromUtf8(dir);
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    out = VormFromUtf8(home) + L"/Desktop";
  } else {
    return false;
  }
  if (!IsSeparator(out.back())) out += L'/';
  return true;
}

// The four parts of Split, for the operations built on it.
struct Parts {
  VormPath root, dir, title, ext;
  explicit Parts(const VormPath& path) { path.Split(root, dir, title, ext); }
};

}  // namespace VormPath_details

using namespace VormPath_details;

// ---------------------------------------------------------------- construction

VormPath::VormPath(const wchar_t* text, int flags) : m_text(text), m_separator(kBackslash) { ApplyFlags(flags); }

VormPath::VormPath(const CString& text, int flags) : m_text(text), m_separator(kBackslash) { ApplyFlags(flags); }

VormPath::VormPath(const std::wstring& text, int flags) : m_text(text), m_separator(kBackslash) { ApplyFlags(flags); }

VormPath::VormPath(const VormPath& other, int flags) : m_text(other.m_text), m_separator(kBackslash) {
  ApplyFlags(flags);
}

VormPath::VormPath(VormPath&& other) noexcept : m_text(std::move(other.m_text)), m_separator(kBackslash) {}

VormPath::VormPath(VormSpecialFolder folder, int flags) : m_separator(kBackslash) {
  SetSpecialFolder(folder);
  ApplyFlags(flags);
}

VormPath& VormPath::operator=(const VormPath& other) {
  m_text = other.m_text;
  m_separator = other.m_separator;
  return *this;
}

VormPath& VormPath::operator=(VormPath&& other) noexcept {
  m_text = std::move(other.m_text);
  m_separator = other.m_separator;
  return *this;
}

VormPath& VormPath::operator=(const CString& text) {
  m_text = text;
  return *this;
}

VormPath& VormPath::operator=(const std::wstring& text) {
  m_text = text;
  return *this;
}

VormPath& VormPath::operator=(const wchar_t* text) {
  m_text = text;
  return *this;
}

void VormPath::Assign(const wchar_t* text) { m_text = text; }

void VormPath::Set(const VormPath& other, int flags) {
  *this = other;
  ApplyFlags(flags);
}

void VormPath::Set(const std::wstring& text, int flags) {
  m_text = text;
  ApplyFlags(flags);
}

void VormPath::Set(const wchar_t* text, int flags) {
  m_text = text;
  ApplyFlags(flags);
}

void VormPath::Set(VormSpecialFolder folder, int flags) {
  SetSpecialFolder(folder);
  ApplyFlags(flags);
}

// ---------------------------------------------------------------- tests

bool VormPath::IsUNC() const { return m_text.GetLength() >= 2 && IsSeparator(m_text[0]) && IsSeparator(m_text[1]); }

bool VormPath::HasTrailingSeparator() const { return !m_text.IsEmpty() && IsSeparator(m_text[m_text.GetLength() - 1]); }

BOOL VormPath::CharAtIs(unsigned index, const wchar_t* text) const {
  const unsigned length = static_cast<unsigned>(m_text.GetLength());
  if (index > length) return FALSE;
  const wchar_t wanted = text ? text[0] : L'\0';
  return m_text.GetString()[index] == wanted ? TRUE : FALSE;
}

bool VormPath::Exists() const { return _waccess(m_text, 0) == 0; }

int VormPath::Access(int mode) const { return _waccess(m_text, mode); }

bool VormPath::GetAttributeData(WIN32_FILE_ATTRIBUTE_DATA* data) const {
  return VormGetFileAttributesEx(m_text, 0, data) != 0;
}

// ---------------------------------------------------------------- editing

void VormPath::ApplyFlags(int flags) {
  m_separator = (flags & 0x03) == SlashSeparator ? kSlash : kBackslash;
  switch (flags & 0x30) {
    case ToUpperCase: m_text.MakeUpper(); break;
    case ToLowerCase: m_text.MakeLower(); break;
    default: break;
  }
  switch (flags & 0x0C) {
    case EnsureTrailingSeparator: AddTrailingSeparator(); break;
    case StripTrailingSeparators: RemoveTrailingSeparators(); break;
    default: break;
  }
  if (flags & CanonicalForm) Canonicalize();
}

void VormPath::Canonicalize() {
  // Tokens are read from the text and the result built beside it; the text is never cut
  // in place.
  const std::wstring& copy = m_text.str();
  const wchar_t sep = m_separator[0];
  std::wstring result;
  result.reserve(copy.size() + 2);
  if (IsUNC()) {
    result += sep;
    result += sep;
  } else if (!copy.empty() && IsSeparator(copy[0])) {
    result += sep;
  }
  bool first = true;
  ForEachToken(copy, [&](std::wstring_view token) {
    if (!first) result += sep;
    result += token;
    first = false;
  });
  if (copy.size() >= 2 && IsSeparator(copy.back())) result += sep;
  m_text.str() = std::move(result);
}

void VormPath::UseSlashes() {
  m_separator = kSlash;
  Canonicalize();
}

void VormPath::UseBackslashes() {
  m_separator = kBackslash;
  Canonicalize();
}

void VormPath::AddTrailingSeparator() {
  if (!HasTrailingSeparator()) m_text += m_separator;
}

void VormPath::RemoveTrailingSeparators() {
  std::wstring& t = m_text.str();
  size_t i = 0;
  while (i < t.size() && IsSeparator(t[i])) ++i;
  if (i == t.size()) {
    t.clear();
    return;
  }
  size_t end = t.size();
  while (end > i && IsSeparator(t[end - 1])) --end;
  t.resize(end);
}

void VormPath::AddTrailingBackslash() {
  const int last = m_text.ReverseFind(L'\\');
  if (last < 0 || last != m_text.GetLength() - 1) m_text += L'\\';
}

void VormPath::RemoveTrailingBackslash() {
  if (!m_text.IsEmpty() && m_text[m_text.GetLength() - 1] == L'\\') m_text.str().pop_back();
}

void VormPath::RemoveLastComponent() {
  std::wstring& t = m_text.str();
  const size_t n = t.size();
  size_t i = 0;
  while (i < n && IsSeparator(t[i])) ++i;
  size_t cut = 0;
  while (i < n) {
    while (i < n && !IsSeparator(t[i])) ++i;
    const size_t run = i;
    while (i < n && IsSeparator(t[i])) ++i;
    if (i > run && i < n) cut = i;
  }
  t.resize(cut);
}

void VormPath::RemoveFirstComponent() {
  const bool trailing = HasTrailingSeparator();
  const std::wstring& copy = m_text.str();
  std::wstring result;
  size_t k = 0;
  ForEachToken(copy, [&](std::wstring_view token) {
    if (k > 1) result += m_separator;
    if (k > 0) result += token;
    ++k;
  });
  if (trailing && !result.empty()) result += m_separator;
  m_text.str() = std::move(result);
}

VormPath VormPath::Append(const wchar_t* tail) {
  // The tail is copied before this text changes: it may point into it.
  VormPath scratch(tail ? tail : L"", BackslashSeparator);
  scratch.m_separator = m_separator;
  Canonicalize();
  scratch.Canonicalize();
  if (m_text.IsEmpty()) {
    *this = scratch;
  } else if (!scratch.m_text.IsEmpty()) {
    AddTrailingSeparator();
    const std::wstring& s = scratch.m_text.str();
    size_t i = 0;
    while (i < s.size() && IsSeparator(s[i])) ++i;
    m_text.str().append(s, i, std::wstring::npos);
  }
  return VormPath(*this, 0);
}

VormPath VormPath::Append(const std::wstring& tail) { return Append(tail.c_str()); }

void VormPath::Combine(VormPath first, VormPath second) {
  // The shell's combination, on the whole text: the platform entry point is bound to
  // MAX_PATH, the string engine behind it is not.
  std::wstring result;
  m_text.str() = VormPathCombine(first.m_text.str(), second.m_text.str(), result) ? result : std::wstring();
}

// The part setters take their argument as a copy first: it may point into this path's own
// text (p.SetExtension(wcsrchr(p, L'.'))), which the rebuild replaces.
void VormPath::SetRoot(const wchar_t* root) {
  const std::wstring value(root ? root : L"");
  auto [r, d, t, e] = Parts(*this);
  m_text = value;
  Append(d.Join(t.m_text + e.m_text));
}

void VormPath::SetDirectory(const wchar_t* dir) {
  const std::wstring value(dir ? dir : L"");
  auto [r, d, t, e] = Parts(*this);
  *this = r.Join(value).Join(t.m_text + e.m_text);
}

void VormPath::SetFileTitle(const wchar_t* title) {
  const std::wstring value(title ? title : L"");
  auto [r, d, t, e] = Parts(*this);
  *this = r.Join(d.m_text.str()).Join(value + e.m_text.str());
}

void VormPath::SetExtension(const wchar_t* ext) {
  const std::wstring value(ext ? ext : L"");
  auto [r, d, t, e] = Parts(*this);
  *this = r.Join(d.m_text.str()).Join(t.m_text.str());
  if (value.empty() || value[0] != L'.') m_text += L'.';
  m_text += value;
}

void VormPath::SetSpecialFolder(VormSpecialFolder folder) {
  std::wstring value;
  bool ok = false;
  switch (static_cast<unsigned>(folder)) {
    case ModuleFile:
    case ModuleFolder:
      ok = QueryFolder(value, [](wchar_t* b, DWORD n) { return GetModuleFileNameW(nullptr, b, n); });
      break;
    case WindowsFolder: ok = QueryFolder(value, [](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); }); break;
    case SystemFolder: ok = QueryFolder(value, [](wchar_t* b, DWORD n) { return GetSystemDirectoryW(b, n); }); break;
    case TempFolder:
    case TempFileName: ok = QueryFolder(value, [](wchar_t* b, DWORD n) { return GetTempPathW(n, b); }); break;
    case CurrentFolder: ok = QueryFolder(value, [](wchar_t* b, DWORD n) { return GetCurrentDirectoryW(n, b); }); break;
    case DesktopFolder:
    case FavoritesFolder: {
      wchar_t buffer[MAX_PATH + 2] = {};
      ok = ReadShellFolder(folder == DesktopFolder ? L"Desktop" : L"Favorites", buffer);
      if (ok)
        value = buffer;
      else if (folder == DesktopFolder)
        ok = XdgDesktop(value);
      break;
    }
    default: return;  // out of range: nothing changes
  }
  if (!ok) return;
  if (folder == TempFileName) {
    // No unique name (a missing or full temp folder): the text becomes empty, so a caller
    // that goes on to create the file fails plainly instead of using the folder itself.
    wchar_t* name = _wtempnam(value.c_str(), L"~");
    value = name ? name : L"";
    std::free(name);
  }
  m_text.str() = std::move(value);
  if (folder == ModuleFolder) RemoveLastComponent();
}

// ---------------------------------------------------------------- queries

VormPath VormPath::FirstComponent() const { return VormPath(FirstToken(m_text.str()), 0); }

VormPath VormPath::LastComponent() const { return VormPath(LastToken(m_text.str()), 0); }

VormPath VormPath::Join(const wchar_t* tail) const {
  VormPath copy(*this, 0);
  copy.Append(tail);
  return copy;
}

VormPath VormPath::Join(const std::wstring& tail) const { return Join(tail.c_str()); }

VormPath VormPath::GetRoot() const { return VormPath(Parts(*this).root, 0); }

VormPath VormPath::GetDirectory() const { return VormPath(Parts(*this).dir, 0); }

VormPath VormPath::GetFolder() const {
  const Parts parts(*this);
  return parts.root.Join(parts.dir.m_text.str());
}

VormPath VormPath::GetFileName() const {
  const Parts parts(*this);
  return VormPath(parts.title.m_text + parts.ext.m_text, BackslashSeparator);
}

VormPath VormPath::GetFileTitle() const { return VormPath(Parts(*this).title, 0); }

VormPath VormPath::GetExtension() const { return VormPath(Parts(*this).ext, 0); }

VormPath VormPath::RelativeTo(VormPath base) const {
  const VormPath folder = base.GetFolder();
  const VormPath self(*this, BackslashSeparator | CanonicalForm);
  std::wstring related;
  if (!VormPathRelativePathTo(folder.m_text.str(), true, self.m_text.str(), false, related)) return VormPath();
  VormPath result(related, CanonicalForm);
  if (!result.m_text.IsEmpty() && result.CharAtIs(0, m_separator)) {
    VormPath dot(L".", 0);
    dot.Append(result.m_text.str());
    result = dot;
  }
  return VormPath(result, 0);
}

// ---------------------------------------------------------------- splitting

void VormPath::SplitRaw(VormPath& drive, VormPath& dir, VormPath& title, VormPath& ext) const {
  // Buffers sized to the whole text, so a long path splits whole instead of being cut.
  const size_t size = static_cast<size_t>(m_text.GetLength()) + 1;
  std::vector<wchar_t> d(size > _MAX_DRIVE ? size : _MAX_DRIVE), p(size), t(size), x(size);
  VormSplitPath(m_text, d.data(), d.size(), p.data(), p.size(), t.data(), t.size(), x.data(), x.size());
  drive.Assign(d.data());
  dir.Assign(p.data());
  title.Assign(t.data());
  ext.Assign(x.data());
  drive.m_separator = dir.m_separator = title.m_separator = ext.m_separator = m_separator;
}

void VormPath::Split(VormPath& root, VormPath& dir, VormPath& title, VormPath& ext) const {
  SplitRaw(root, dir, title, ext);
  if (!dir.IsUNC()) return;
  // A UNC path comes out with an empty drive: move server and share into the root.
  root.m_text = CString(m_separator) + m_separator + dir.FirstComponent().m_text;
  dir.RemoveFirstComponent();
  root.Append(dir.FirstComponent().m_text.str());
  dir.RemoveFirstComponent();
  root.AddTrailingSeparator();
}

void VormPath::GetComponents(std::list<CString>& out) const {
  out.clear();
  auto [r, d, t, e] = Parts(*this);
  if (!r.m_text.IsEmpty()) out.push_back(r.m_text);
  while (!d.m_text.IsEmpty()) {
    out.push_back(d.FirstComponent().m_text);
    d.RemoveFirstComponent();
  }
  CString name = t.m_text + e.m_text;
  if (!name.IsEmpty()) out.push_back(name);
}

// ---------------------------------------------------------------- platform queries

bool VormPath::ReadShellFolder(const wchar_t* name, wchar_t* buffer) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                    0xF003F, &key) != ERROR_SUCCESS) {
    return false;
  }
  wchar_t value[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH * sizeof(wchar_t);
  DWORD type = 0;
  const bool ok = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (!ok) return false;
  value[MAX_PATH - 1] = L'\0';  // a value stored without its terminator still ends here
  size_t length = wcslen(value);
  const wchar_t* last = wcsrchr(value, L'\\');
  if (!last || last != value + length - 1 || length == 0) value[length++] = L'\\';
  value[length] = L'\0';
  wmemcpy(buffer, value, length + 1);
  return true;
}

BOOL VormGetFileAttributesEx(const wchar_t* path, int infoLevel, WIN32_FILE_ATTRIBUTE_DATA* data) {
  if (!data || infoLevel != 0) return 0;
  data->dwFileAttributes = GetFileAttributesW(path);
  if (data->dwFileAttributes == INVALID_FILE_ATTRIBUTES) return 0;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BOOL result = GetFileTime(file, &data->ftCreationTime, &data->ftLastAccessTime, &data->ftLastWriteTime);
  data->nFileSizeLow = GetFileSize(file, &data->nFileSizeHigh);
  if (data->nFileSizeLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) result = 0;
  CloseHandle(file);
  return result ? 1 : 0;
}
