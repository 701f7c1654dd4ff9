// Internal pieces shared by the file functions of the layer: path conversion, the error
// choice for missing paths, stat-to-attribute translation and the wildcard matcher.
// Stateless helpers; safe from any thread.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/types.h>

#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>

#include "platform/kernel/last_error.h"

namespace VormFiles_details {

// True for "X:..." where X is an ASCII letter: a drive path, which names nothing here.
bool IsDrivePath(const wchar_t* path);

// POSIX form of `path` (VormToOsPath: '\' -> '/', mapped characters back, UTF-8). On
// failure sets the last error and returns false: ERROR_INVALID_PARAMETER for null,
// ERROR_PATH_NOT_FOUND for empty or drive paths.
bool ToNative(const wchar_t* path, std::string& native);

// The platform's code for a failed call on `native` with `err`: a missing entry is
// ERROR_FILE_NOT_FOUND when its folder exists and ERROR_PATH_NOT_FOUND otherwise.
DWORD ErrorForPath(int err, const std::string& native);

// Last component of a POSIX path, ignoring trailing slashes ("a/b/" -> "b").
std::string_view LastComponent(std::string_view native);
// Names beginning with '.' are hidden, except "." and "..".
bool IsHiddenName(std::string_view name);

// What the layer reports about one file-system entry.
struct FileInfo {
  DWORD attributes = 0;
  DWORD reparseTag = 0;  // IO_REPARSE_TAG_SYMLINK for links
  FILETIME creation{};
  FILETIME lastAccess{};
  FILETIME lastWrite{};
  ULONGLONG size = 0;
};

// Fills `info` for `name` relative to `dirFd` (AT_FDCWD for the current folder; an empty
// name with dirFd an open descriptor describes that descriptor). Links are reported as
// reparse points carrying their target's attributes, times and size; a dangling link
// has the reparse-point attribute only, its own times and size 0. Returns 0 or errno.
int QueryInfo(int dirFd, const char* name, bool hidden, FileInfo& info);

// Removes the file or link `name` (a path relative to `dirFd`, or AT_FDCWD), whatever its
// mode: ERROR_SUCCESS, ERROR_ACCESS_DENIED for a folder, or the OS's reason.
DWORD UnlinkEntry(int dirFd, const char* name);
// RemoveDirectoryW's work on `name` relative to `dirFd`: an empty folder, or a link to one as
// a link; its refusals (read-only, the current folder, not empty, not a folder) as codes.
DWORD RemoveFolderAt(int dirFd, const char* name);

// What an open asks for. CreateFileW and the file classes open through OpenFile alone, so
// both follow one set of rules: the read-only attribute refuses writing and truncating
// whatever the process's privileges, folders open only when allowed, a new file is created
// exclusively, and the sharing rule is applied before anything is truncated. Plain values;
// OpenFile is safe from any thread, and the descriptor it returns is the caller's.
struct OpenRequest {
  enum class Share { None, Shared, Exclusive };
  bool read = false;
  bool write = false;
  DWORD disposition = OPEN_EXISTING;  // CREATE_NEW .. TRUNCATE_EXISTING
  bool allowFolder = false;           // FILE_FLAG_BACKUP_SEMANTICS
  bool readOnly = false;              // a new file is created read-only
  // The advisory whole-file lock taken with the open (the file classes' share modes):
  // Exclusive conflicts with every other locked open, Shared only with Exclusive.
  Share share = Share::None;
};
struct OpenResult {
  int fd = -1;  // the descriptor, or -1 with `error`
  DWORD error = ERROR_SUCCESS;
  bool existed = false;  // the file was there before
  bool folder = false;   // a folder was opened (allowFolder)
};
OpenResult OpenFile(const std::string& native, const OpenRequest& request);

// Splits a 64-bit value into a FILETIME or a high/low DWORD pair.
inline DWORD Low(ULONGLONG v) { return static_cast<DWORD>(v & 0xFFFFFFFFu); }
inline DWORD High(ULONGLONG v) { return static_cast<DWORD>(v >> 32); }

// A compiled wildcard pattern with the platform's rules. Matching is on names already
// folded the way the pattern was (upper-cased per code point unless case-sensitive).
// Immutable after construction; safe to share between threads.
class WildcardPattern {
 public:
  WildcardPattern(std::wstring_view pattern, bool caseSensitive);

  bool HasWildcards() const { return hasWildcards_; }
  bool CaseSensitive() const { return caseSensitive_; }
  // `name` must be folded like the pattern (see Fold).
  bool MatchFolded(const wchar_t* name, std::size_t length) const;
  wchar_t Fold(wchar_t c) const;

 private:
  enum class Kind : unsigned char { Literal, AnyOne, Star, StarBeforeDot, DotOrEnd };
  struct Token {
    Kind kind;
    wchar_t c;
  };
  std::vector<Token> tokens_;
  bool caseSensitive_ = false;
  bool hasWildcards_ = false;
  bool matchesAll_ = false;
};

// Runs `body`, turning an allocation failure into `failValue` with ERROR_NOT_ENOUGH_MEMORY:
// the layer's C-style functions never let an exception escape.
template <class R, class F>
R Guarded(R failValue, F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return VormLastError_details::Fail(ERROR_NOT_ENOUGH_MEMORY, std::move(failValue));
  }
}

}  // namespace VormFiles_details
