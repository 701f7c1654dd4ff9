// Folder listings: the entries of one folder read with getdents64 into pools of names, sorted
// the platform's way, with each entry's attribute record read only on demand; and the work
// done inside a folder opened for it (openat, unlinkat).
#include "platform/fs/listing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <unistd.h>

#include <vorm/platform/text.h>

#include "platform/fs/sys_calls.h"

using VormLastError_details::Fail;

namespace VormFiles_details {

namespace {

bool IsDotName(const char* n) { return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')); }

bool IsFileSystemRoot(int fd) {
  struct RootId {
    bool known = false;
    dev_t dev = 0;
    ino_t ino = 0;
  };
  static const RootId root = [] {
    struct stat st;
    RootId id;
    if (stat("/", &st) == 0) id = RootId{true, st.st_dev, st.st_ino};
    return id;
  }();
  struct stat self;
  return root.known && Sys::StatFd(fd, self) == 0 && self.st_dev == root.dev && self.st_ino == root.ino;
}

EntryKind KindOfType(unsigned char type) {
  switch (type) {
    case DT_REG: return EntryKind::File;
    case DT_DIR: return EntryKind::Folder;
    case DT_LNK: return EntryKind::Link;
    default: return EntryKind::Other;
  }
}

EntryKind KindOfRecord(const FileInfo& info) {
  if (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Link;
  if (info.attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::Folder;
  return (info.attributes & FILE_ATTRIBUTE_ARCHIVE) ? EntryKind::File : EntryKind::Other;
}

// Appends the OS name `name` as wide text, mapped like VormFromOsPath; returns its length.
std::size_t AppendWide(std::vector<wchar_t>& pool, const char* name, std::size_t len) {
  const bool plain = std::all_of(name, name + len, [](char c) {
    return static_cast<unsigned char>(c) < 0x80 && !VormIsOsOnlyChar(static_cast<wchar_t>(c));
  });
  if (plain) {  // plain ASCII widens byte for byte; everything else takes the full conversion
    pool.insert(pool.end(), name, name + len);
    return len;
  }
  const std::wstring wide = VormFromOsPath(std::string_view(name, len));
  pool.insert(pool.end(), wide.begin(), wide.end());
  return wide.size();
}

// Folded for sorting and matching like VormToUpper, ASCII without the call.
inline wchar_t UpperCase(wchar_t c) {
  if (static_cast<std::uint32_t>(c) < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
  return VormToUpper(c);
}

int Compare(const wchar_t* a, std::size_t na, const wchar_t* b, std::size_t nb) {
  const std::size_t n = std::min(na, nb);
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return static_cast<std::uint32_t>(a[i]) < static_cast<std::uint32_t>(b[i]) ? -1 : 1;
  }
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

// The getdents64 buffer, one per thread: reading a folder never nests.
char* EntryBuffer(std::size_t& size) {
  static thread_local std::unique_ptr<char[]> buffer;
  size = 32 * 1024;
  if (!buffer) buffer.reset(new char[size]);
  return buffer.get();
}

DWORD OpenError(int err, int dirFd, const char* name) {
  if (err == ELOOP || err == ENOTDIR) {
    // The last component is there but is no folder (for OpenEntry also: a link); a missing
    // folder on the way is a missing path.
    struct stat st;
    return Sys::StatAt(dirFd, name, st, AT_SYMLINK_NOFOLLOW) == 0 ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
  }
  if (dirFd == AT_FDCWD) return ErrorForPath(err, name);
  return err == ENOENT ? ERROR_FILE_NOT_FOUND : VormErrorFromErrno(err);
}

}  // namespace

void Listing::CloseFolder() {
  if (fd_ >= 0) Sys::Close(fd_);
  fd_ = -1;
}

void Listing::Clear() {
  CloseFolder();
  entries_.clear();
  names_.clear();
  osNames_.clear();
  pending_.clear();
  records_.clear();
  state_.clear();
  folder_.clear();
}

bool Listing::Hidden(std::size_t i) const {
  const Entry& e = entries_[i];
  return !e.dot && osNames_[e.osName] == '.';
}

DWORD Listing::KnownAttributes(std::size_t i) const {
  if (state_[i] == 0) return records_[i].attributes;
  DWORD a = 0;
  switch (entries_[i].kind) {
    case EntryKind::File: a = FILE_ATTRIBUTE_ARCHIVE; break;
    case EntryKind::Folder: a = FILE_ATTRIBUTE_DIRECTORY; break;
    case EntryKind::Link: a = FILE_ATTRIBUTE_REPARSE_POINT; break;
    case EntryKind::Other: break;
  }
  if (Hidden(i)) a |= FILE_ATTRIBUTE_HIDDEN;
  return a;
}

int Listing::Record(std::size_t i, const FileInfo*& info) const {
  info = &records_[i];
  if (state_[i] >= 0) return state_[i];
  int err;
  if (fd_ >= 0) {
    err = QueryInfo(fd_, OsName(i), Hidden(i), records_[i]);
  } else {
    std::string path = folder_;
    if (!path.empty() && path.back() != '/') path += '/';
    path += OsName(i);
    err = QueryInfo(AT_FDCWD, path.c_str(), Hidden(i), records_[i]);
  }
  if (err != 0) {
    // Listed but not readable now: what the directory stream said.
    records_[i] = FileInfo{};
    records_[i].attributes = KnownAttributes(i);
    if (records_[i].attributes == 0) records_[i].attributes = FILE_ATTRIBUTE_NORMAL;
  }
  state_[i] = err;
  return err;
}

void Listing::Fill(std::size_t i, WIN32_FIND_DATAW* out) const {
  const FileInfo* info = nullptr;
  Record(i, info);
  std::memset(out, 0, sizeof(*out));
  out->dwFileAttributes = info->attributes;
  out->ftCreationTime = info->creation;
  out->ftLastAccessTime = info->lastAccess;
  out->ftLastWriteTime = info->lastWrite;
  out->nFileSizeHigh = High(info->size);
  out->nFileSizeLow = Low(info->size);
  if (info->attributes & FILE_ATTRIBUTE_REPARSE_POINT) out->dwReserved0 = info->reparseTag;
  std::copy_n(Name(i), NameLength(i) + 1, out->cFileName);
}

// Adds the entry `name` when it fits and, unless it is a folder kept for EveryFolder, matches.
bool Listing::Add(const char* name, unsigned char type, int fd, DWORD flags, bool exact, bool atRoot,
                  const WildcardPattern& pattern) {
  const bool dot = IsDotName(name);
  if (dot && ((flags & VormFolderListing::SkipDots) || atRoot)) return false;
  if ((flags & VormFolderListing::FoldersOnly) && type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN) return false;
  const std::size_t osLength = std::strlen(name);
  const std::size_t start = names_.size();
  const std::size_t len = AppendWide(names_, name, osLength);
  if (len > MAX_PATH - 1) {  // cannot be represented in cFileName
    names_.resize(start);
    return false;
  }
  names_.push_back(L'\0');
  const std::size_t key = names_.size();
  names_.resize(key + len);
  for (std::size_t i = 0; i < len; ++i) names_[key + i] = UpperCase(names_[start + i]);
  const wchar_t* folded = pattern.CaseSensitive() ? names_.data() + start : names_.data() + key;
  const bool match = exact || pattern.MatchFolded(folded, len);

  Entry e{static_cast<std::uint32_t>(start),
          static_cast<std::uint32_t>(len),
          static_cast<std::uint32_t>(key),
          static_cast<std::uint32_t>(osNames_.size()),
          kNone,
          KindOfType(type),
          dot,
          match};
  if (type == DT_UNKNOWN || exact) {
    // The stream does not say (or the name was looked up directly): the record tells.
    FileInfo info;
    const int err = QueryInfo(fd, name, !dot && name[0] == '.', info);
    if (err == ENOENT || (err != 0 && exact)) {  // removed since it was listed, or not there
      names_.resize(start);
      return false;
    }
    if (err == 0) {
      e.kind = KindOfRecord(info);
      e.record = static_cast<std::uint32_t>(pending_.size());
      pending_.push_back(info);
    }
  }
  if (!match && !((flags & VormFolderListing::EveryFolder) && e.kind == EntryKind::Folder && !dot)) {
    names_.resize(start);
    if (e.record != kNone) pending_.pop_back();
    return false;
  }
  osNames_.insert(osNames_.end(), name, name + osLength + 1);
  entries_.push_back(e);
  return true;
}

// "." and ".." first, then by upper-cased name, ties by the name itself; then the records
// read while listing move to their sorted places.
void Listing::Sort() {
  const wchar_t* p = names_.data();
  std::sort(entries_.begin(), entries_.end(), [p](const Entry& a, const Entry& b) {
    if (a.dot != b.dot) return a.dot;
    if (a.dot) return a.length < b.length;
    int c = Compare(p + a.key, a.length, p + b.key, b.length);
    if (c == 0) c = Compare(p + a.name, a.length, p + b.name, b.length);
    return c < 0;
  });
  records_.assign(entries_.size(), FileInfo{});
  state_.assign(entries_.size(), -1);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].record == kNone) continue;
    records_[i] = pending_[entries_[i].record];
    state_[i] = 0;
  }
  pending_.clear();
}

DWORD Listing::Scan(int fd, std::wstring_view patternText, DWORD flags) {
  const bool caseSensitive = (flags & VormFolderListing::CaseSensitive) != 0;
  const WildcardPattern pattern(patternText, caseSensitive);
  const bool atRoot = !(flags & VormFolderListing::SkipDots) && IsFileSystemRoot(fd);

  if (!pattern.HasWildcards() && !(flags & VormFolderListing::EveryFolder) && patternText.size() <= MAX_PATH - 1) {
    // An exact name: looked up directly before the folder is scanned for a case-insensitive
    // match.
    const std::string exact = VormToOsPath(patternText);
    if (!exact.empty() && exact.find('/') == std::string::npos &&
        Add(exact.c_str(), DT_UNKNOWN, fd, flags, true, atRoot, pattern)) {
      Sort();
      return ERROR_SUCCESS;
    }
  }

  std::size_t size = 0;
  char* buffer = EntryBuffer(size);
  for (;;) {
    const ssize_t n = Sys::ReadEntries(fd, buffer, size);
    if (n < 0) return VormErrorFromErrno(errno);
    if (n == 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* record = reinterpret_cast<const dirent64*>(buffer + at);
      at += record->d_reclen;
      Add(record->d_name, record->d_type, fd, flags, false, atRoot, pattern);
    }
  }
  if (!pattern.HasWildcards()) {
    // A name without wildcards that is there as spelled names that entry only; its case
    // variants match only when it is not there.
    const std::size_t first =
        std::find_if(entries_.begin(), entries_.end(),
                     [&](const Entry& e) {
                       return e.match && std::wstring_view(names_.data() + e.name, e.length) == patternText;
                     }) -
        entries_.begin();
    if (first < entries_.size()) {
      for (std::size_t i = 0; i < entries_.size(); ++i) entries_[i].match = entries_[i].match && (i == first);
      if (!(flags & VormFolderListing::EveryFolder)) {
        entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [](const Entry& e) { return !e.match; }),
                       entries_.end());
      }
    }
  }
  Sort();
  return ERROR_SUCCESS;
}

void Listing::ReadAllRecords() {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const FileInfo* info = nullptr;
    if (Record(i, info) == ENOENT) continue;  // removed since it was listed
    entries_[kept] = entries_[i];
    records_[kept] = records_[i];
    state_[kept] = 0;
    ++kept;
  }
  entries_.resize(kept);
  records_.resize(kept);
  state_.resize(kept);
}

DWORD Listing::ReadPath(const wchar_t* fileName, DWORD flags) {
  Clear();
  const std::wstring_view full(fileName);
  if (full.empty()) return ERROR_PATH_NOT_FOUND;
  const std::size_t sep = full.find_last_of(L"\\/");
  const std::wstring_view pattern = sep == std::wstring_view::npos ? full : full.substr(sep + 1);
  const std::wstring folderText(sep == std::wstring_view::npos ? std::wstring_view(L".") : full.substr(0, sep + 1));
  if (IsDrivePath(fileName) || folderText.empty()) return ERROR_PATH_NOT_FOUND;
  folder_ = VormToOsPath(folderText);

  const int fd = Sys::Open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    return err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND : VormErrorFromErrno(err);
  }
  fd_ = fd;
  DWORD error = pattern.empty() ? ERROR_FILE_NOT_FOUND : Scan(fd, pattern, flags);
  if (error == ERROR_SUCCESS && (flags & kReadRecords)) ReadAllRecords();
  CloseFolder();
  if (error == ERROR_SUCCESS && entries_.empty()) error = ERROR_FILE_NOT_FOUND;
  if (error != ERROR_SUCCESS) Clear();
  return error;
}

DWORD Listing::OpenPath(const wchar_t* path) {
  Clear();
  if (!path) return ERROR_INVALID_PARAMETER;
  if (*path == L'\0' || IsDrivePath(path)) return ERROR_PATH_NOT_FOUND;
  folder_ = VormToOsPath(path);
  return OpenFolder(AT_FDCWD, folder_.c_str(), 0);
}

DWORD Listing::OpenEntry(const Listing& parent, std::size_t index) {
  Clear();
  if (const DWORD error = parent.CheckEntry(index)) return error;
  return OpenFolder(parent.fd_, parent.OsName(index), O_NOFOLLOW);
}

DWORD Listing::OpenFolder(int dirFd, const char* name, int flags) {
  fd_ = Sys::OpenAt(dirFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags);
  const DWORD error = fd_ < 0 ? OpenError(errno, dirFd, name) : Scan(fd_, L"*", VormFolderListing::SkipDots);
  if (error != ERROR_SUCCESS) Clear();
  return error;
}

DWORD Listing::CheckEntry(std::size_t i) const {
  if (fd_ < 0) return ERROR_INVALID_HANDLE;
  return i < Count() ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

DWORD Listing::DeleteEntry(std::size_t i) const {
  if (const DWORD error = CheckEntry(i)) return error;
  return UnlinkEntry(fd_, OsName(i));
}

DWORD Listing::RemoveFolderEntry(std::size_t i) const {
  if (const DWORD error = CheckEntry(i)) return error;
  return RemoveFolderAt(fd_, OsName(i));
}

}  // namespace VormFiles_details

// ---------------------------------------------------------------------------------------
// VormFolderListing
// ---------------------------------------------------------------------------------------

using VormFiles_details::Guarded;

namespace {

BOOL Outcome(DWORD error) {
  if (error != ERROR_SUCCESS) return Fail(error, FALSE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // namespace

VormFolderListing::VormFolderListing() = default;

VormFolderListing::~VormFolderListing() = default;

BOOL VormFolderListing::Read(const wchar_t* fileName, DWORD flags) {
  return Guarded(FALSE, [&] {
    if (!m_impl) m_impl = std::make_unique<Impl>();
    if (!fileName) {
      m_impl->Clear();
      return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    return Outcome(m_impl->ReadPath(fileName, flags & 0xF));
  });
}

BOOL VormFolderListing::Open(const wchar_t* path) {
  return Guarded(FALSE, [&] {
    if (!m_impl) m_impl = std::make_unique<Impl>();
    return Outcome(m_impl->OpenPath(path));
  });
}

BOOL VormFolderListing::OpenEntry(const VormFolderListing& parent, size_t index) {
  return Guarded(FALSE, [&] {
    if (!m_impl) m_impl = std::make_unique<Impl>();
    if (!parent.m_impl || &parent == this) {
      m_impl->Clear();
      return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    return Outcome(m_impl->OpenEntry(*parent.m_impl, index));
  });
}

void VormFolderListing::Clear() {
  if (m_impl) m_impl->Clear();
}

size_t VormFolderListing::GetCount() const { return m_impl ? m_impl->Count() : 0; }

const wchar_t* VormFolderListing::GetName(size_t index) const { return index < GetCount() ? m_impl->Name(index) : L""; }

size_t VormFolderListing::GetNameLength(size_t index) const {
  return index < GetCount() ? m_impl->NameLength(index) : 0;
}

DWORD VormFolderListing::GetKnownAttributes(size_t index) const {
  return index < GetCount() ? m_impl->KnownAttributes(index) : 0;
}

bool VormFolderListing::IsMatch(size_t index) const { return index < GetCount() && m_impl->IsMatch(index); }

BOOL VormFolderListing::GetData(size_t index, WIN32_FIND_DATAW* data) const {
  if (!data || index >= GetCount()) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return Guarded(FALSE, [&] {
    const VormFiles_details::FileInfo* info = nullptr;
    const int err = m_impl->Record(index, info);
    m_impl->Fill(index, data);
    return Outcome(err == 0 ? ERROR_SUCCESS : err == ENOENT ? ERROR_FILE_NOT_FOUND : VormErrorFromErrno(err));
  });
}

BOOL VormFolderListing::DeleteEntry(size_t index) const {
  if (!m_impl) return Fail(ERROR_INVALID_HANDLE, FALSE);
  return Guarded(FALSE, [&] { return Outcome(m_impl->DeleteEntry(index)); });
}

BOOL VormFolderListing::RemoveFolderEntry(size_t index) const {
  if (!m_impl) return Fail(ERROR_INVALID_HANDLE, FALSE);
  return Guarded(FALSE, [&] { return Outcome(m_impl->RemoveFolderEntry(index)); });
}
