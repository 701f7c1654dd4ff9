// Folder listing: FindFirstFileExW reads the matching entries of one folder into a sorted
// snapshot; FindNextFileW walks it.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vorm/platform/text.h>

#include "platform/fs/fs_internal.h"
#include "platform/kernel/handles.h"

using namespace VormFiles_details;
using VormLastError_details::Fail;

namespace {

struct Entry {
  std::uint32_t nameOffset;  // into FindObject::pool
  std::uint32_t nameLength;
  std::uint32_t keyOffset;   // upper-cased name, same length
  bool dotEntry;             // "." or ".."
  FileInfo info;
};

// A listing snapshot behind a find handle. Thread rule: one call at a time per handle.
// Ownership: the handle table.
class FindObject final : public VormKernelObject {
 public:
  FindObject() : VormKernelObject(VormObjectType::Find) {}
  bool ClosableByCloseHandle() const override { return false; }

  std::vector<Entry> entries;
  std::vector<wchar_t> pool;  // names and sort keys, back to back
  std::size_t next = 0;

  void Fill(std::size_t index, WIN32_FIND_DATAW* out) const {
    const Entry& e = entries[index];
    std::memset(out, 0, sizeof(*out));
    out->dwFileAttributes = e.info.attributes;
    out->ftCreationTime = e.info.creation;
    out->ftLastAccessTime = e.info.lastAccess;
    out->ftLastWriteTime = e.info.lastWrite;
    out->nFileSizeHigh = High(e.info.size);
    out->nFileSizeLow = Low(e.info.size);
    if (e.info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) out->dwReserved0 = e.info.reparseTag;
    std::copy_n(pool.data() + e.nameOffset, e.nameLength, out->cFileName);
    out->cFileName[e.nameLength] = L'\0';
  }

  // "." and ".." first, then by upper-cased name, ties by the name itself.
  void Sort() {
    const wchar_t* p = pool.data();
    std::sort(entries.begin(), entries.end(), [p](const Entry& a, const Entry& b) {
      if (a.dotEntry != b.dotEntry) return a.dotEntry;
      if (a.dotEntry) return a.nameLength < b.nameLength;
      int c = Compare(p + a.keyOffset, a.nameLength, p + b.keyOffset, b.nameLength);
      if (c == 0) c = Compare(p + a.nameOffset, a.nameLength, p + b.nameOffset, b.nameLength);
      return c < 0;
    });
  }

 private:
  static int Compare(const wchar_t* a, std::size_t na, const wchar_t* b, std::size_t nb) {
    std::size_t n = std::min(na, nb);
    for (std::size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return static_cast<std::uint32_t>(a[i]) < static_cast<std::uint32_t>(b[i]) ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
  }
};

// Closes a descriptor or DIR stream on every path out.
struct DirCloser {
  int fd = -1;
  DIR* dir = nullptr;
  ~DirCloser() {
    if (dir) {
      closedir(dir);
    } else if (fd >= 0) {
      close(fd);
    }
  }
};

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
  return root.known && fstat(fd, &self) == 0 && self.st_dev == root.dev && self.st_ino == root.ino;
}

bool IsDotName(const char* n) { return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')); }

// Appends the OS name `name` to the pool as wide text, mapped like VormFromOsPath; returns
// its length.
std::size_t AppendWide(std::vector<wchar_t>& pool, const char* name) {
  std::size_t len = std::strlen(name);
  bool plain = std::all_of(name, name + len, [](char c) {
    return static_cast<unsigned char>(c) < 0x80 && !VormIsOsOnlyChar(static_cast<wchar_t>(c));
  });
  if (plain) {
    // Plain ASCII widens byte for byte; everything else takes the full conversion.
    pool.insert(pool.end(), name, name + len);
    return len;
  }
  std::wstring wide = VormFromOsPath(std::string_view(name, len));
  pool.insert(pool.end(), wide.begin(), wide.end());
  return wide.size();
}

// Adds one entry when its name fits and matches; `name` is the entry's UTF-8 name.
void AddEntry(FindObject& find, const WildcardPattern& pattern, int dirFd, const char* name, unsigned char dType) {
  std::vector<wchar_t>& pool = find.pool;
  std::size_t start = pool.size();
  std::size_t len = AppendWide(pool, name);
  if (len > MAX_PATH - 1) {  // cannot be represented in cFileName
    pool.resize(start);
    return;
  }
  std::size_t keyStart = pool.size();
  for (std::size_t i = 0; i < len; ++i) pool.push_back(VormToUpper(pool[start + i]));
  if (pattern.CaseSensitive() ? !pattern.MatchFolded(pool.data() + start, len)
                              : !pattern.MatchFolded(pool.data() + keyStart, len)) {
    pool.resize(start);
    return;
  }
  bool dot = IsDotName(name);
  FileInfo info;
  int err = QueryInfo(dirFd, name, !dot && IsHiddenName(name), info);
  if (err == ENOENT) {  // removed since it was listed
    pool.resize(start);
    return;
  }
  if (err != 0) {
    // Listed but not readable: report what the directory entry says.
    info = FileInfo{};
    info.attributes = dType == DT_DIR ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (!dot && IsHiddenName(name)) info.attributes |= FILE_ATTRIBUTE_HIDDEN;
  }
  find.entries.push_back(Entry{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(len),
                               static_cast<std::uint32_t>(keyStart), dot, info});
}

HANDLE StartFind(const wchar_t* fileName, void* findData, bool foldersOnly, DWORD additionalFlags) {
  std::wstring_view full(fileName);
  if (full.empty()) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  std::size_t sep = full.find_last_of(L"\\/");
  std::wstring_view patternText = sep == std::wstring_view::npos ? full : full.substr(sep + 1);
  std::wstring folderText(sep == std::wstring_view::npos ? std::wstring_view(L".") : full.substr(0, sep + 1));

  std::string folder;
  if (IsDrivePath(fileName) || !ToNative(folderText.c_str(), folder)) {
    return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  }

  DirCloser closer;
  closer.fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (closer.fd < 0) {
    int err = errno;
    return Fail(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND : VormErrorFromErrno(err), INVALID_HANDLE_VALUE);
  }
  if (patternText.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);

  bool atRoot = IsFileSystemRoot(closer.fd);
  WildcardPattern pattern(patternText, (additionalFlags & FIND_FIRST_EX_CASE_SENSITIVE) != 0);
  auto find = std::make_shared<FindObject>();

  if (!pattern.HasWildcards()) {
    // An exact name: look it up directly before scanning for a case-insensitive match.
    std::string exact = VormToOsPath(patternText);
    bool dot = IsDotName(exact.c_str());
    FileInfo info;
    if (patternText.size() <= MAX_PATH - 1 && !(dot && atRoot) &&
        QueryInfo(closer.fd, exact.c_str(), !dot && IsHiddenName(exact), info) == 0) {
      find->pool.assign(patternText.begin(), patternText.end());
      find->entries.push_back(Entry{0, static_cast<std::uint32_t>(patternText.size()), 0, dot, info});
    }
  }

  if (find->entries.empty()) {
    // The stream takes the descriptor over; entries are still looked up relative to it.
    if (!(closer.dir = fdopendir(closer.fd))) return Fail(VormErrorFromErrno(errno), INVALID_HANDLE_VALUE);
    find->pool.reserve(1024);
    while (true) {
      errno = 0;
      dirent* de = readdir(closer.dir);
      if (!de) {
        if (errno != 0) return Fail(VormErrorFromErrno(errno), INVALID_HANDLE_VALUE);
        break;
      }
      if (atRoot && IsDotName(de->d_name)) continue;
      // The folders-only hint: entries the directory stream already knows to be something
      // other than a folder or a link are left out without a stat. Callers filter anyway.
      if (foldersOnly && de->d_type != DT_DIR && de->d_type != DT_LNK && de->d_type != DT_UNKNOWN) continue;
      AddEntry(*find, pattern, closer.fd, de->d_name, de->d_type);
    }
    find->Sort();
  }

  if (find->entries.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  find->Fill(0, static_cast<WIN32_FIND_DATAW*>(findData));
  find->next = 1;
  HANDLE handle = VormHandles_details::Register(find);
  if (!handle) return INVALID_HANDLE_VALUE;
  SetLastError(ERROR_SUCCESS);
  return handle;
}

}  // namespace

HANDLE FindFirstFileExW(const wchar_t* fileName, FINDEX_INFO_LEVELS infoLevel, void* findData,
                        FINDEX_SEARCH_OPS searchOp, void* searchFilter, DWORD additionalFlags) {
  if (!fileName || !findData || searchFilter ||
      (infoLevel != FindExInfoStandard && infoLevel != FindExInfoBasic) ||
      (searchOp != FindExSearchNameMatch && searchOp != FindExSearchLimitToDirectories)) {
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  return Guarded(INVALID_HANDLE_VALUE, [&] { return StartFind(fileName, findData, searchOp == FindExSearchLimitToDirectories, additionalFlags);
  });
}

HANDLE FindFirstFileW(const wchar_t* fileName, WIN32_FIND_DATAW* findData) {
  return FindFirstFileExW(fileName, FindExInfoStandard, findData, FindExSearchNameMatch, nullptr, 0);
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* findData) {
  auto object = VormHandles_details::LookupAs<FindObject>(find, VormObjectType::Find);
  if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!findData) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (object->next >= object->entries.size()) return Fail(ERROR_NO_MORE_FILES, FALSE);
  object->Fill(object->next++, findData);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  if (!VormHandles_details::Remove(find, VormObjectType::Find)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
