#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vorm/platform/text.h>

#include "platform/fs/file_time.h"
#include "platform/fs/fs_internal.h"
#include "platform/fs/sys_calls.h"

using VormLastError_details::Fail;

namespace VormFiles_details {
namespace {

// The subset of stat data the layer reports.
struct RawStat {
  mode_t mode = 0;
  unsigned long long size = 0;
  timespec access{};
  timespec write{};
  timespec birth{};
  bool hasBirth = false;
};

FILETIME ToFileTime(const timespec& t) { return VormFileTimeFromUnix(t.tv_sec, t.tv_nsec); }

#if defined(STATX_BTIME)
// statx gives the birth time where the file system keeps one; kernels or sandboxes without
// it fall back to fstatat for the rest of the process.
bool g_noStatx = false;
#endif

int Stat(int dirFd, const char* name, bool follow, RawStat& out) {
  int flags = follow ? 0 : AT_SYMLINK_NOFOLLOW;
  if (*name == '\0') flags |= AT_EMPTY_PATH;
#if defined(STATX_BTIME)
  if (!__atomic_load_n(&g_noStatx, __ATOMIC_RELAXED)) {
    struct statx sx;
    if (Sys::StatExtended(dirFd, name, flags, sx) == 0) {
      out.mode = sx.stx_mode;
      out.size = sx.stx_size;
      out.access = {static_cast<time_t>(sx.stx_atime.tv_sec), static_cast<long>(sx.stx_atime.tv_nsec)};
      out.write = {static_cast<time_t>(sx.stx_mtime.tv_sec), static_cast<long>(sx.stx_mtime.tv_nsec)};
      out.hasBirth = (sx.stx_mask & STATX_BTIME) != 0;
      if (out.hasBirth) {
        out.birth = {static_cast<time_t>(sx.stx_btime.tv_sec), static_cast<long>(sx.stx_btime.tv_nsec)};
      }
      return 0;
    }
    if (errno != ENOSYS && errno != EPERM) return errno;
    __atomic_store_n(&g_noStatx, true, __ATOMIC_RELAXED);
  }
#endif
  struct stat st;
  if (Sys::StatAt(dirFd, name, st, flags) != 0) return errno;
  out.mode = st.st_mode;
  out.size = static_cast<unsigned long long>(st.st_size);
  out.access = st.st_atim;
  out.write = st.st_mtim;
  out.hasBirth = false;
  return 0;
}

// Attributes of a non-link entry from its type and mode bits.
DWORD AttributeBits(const RawStat& st) {
  DWORD a = 0;
  if (S_ISDIR(st.mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
  if (S_ISREG(st.mode)) a |= FILE_ATTRIBUTE_ARCHIVE;
  if ((st.mode & S_IWUSR) == 0) a |= FILE_ATTRIBUTE_READONLY;
  return a;
}

void FillData(const RawStat& st, FileInfo& info) {
  info.lastAccess = ToFileTime(st.access);
  info.lastWrite = ToFileTime(st.write);
  info.creation = st.hasBirth ? ToFileTime(st.birth) : info.lastWrite;
  info.size = S_ISDIR(st.mode) ? 0 : st.size;
}

}  // namespace

bool IsDrivePath(const wchar_t* path) {
  if (!path) return false;
  wchar_t c = path[0];
  return ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z')) && path[1] == L':';
}

bool ToNative(const wchar_t* path, std::string& native) {
  if (!path) return Fail(ERROR_INVALID_PARAMETER, false);
  if (*path == L'\0' || IsDrivePath(path)) return Fail(ERROR_PATH_NOT_FOUND, false);
  native = VormToOsPath(path);
  return true;
}

std::string_view LastComponent(std::string_view native) {
  while (native.size() > 1 && native.back() == '/') native.remove_suffix(1);
  std::size_t slash = native.rfind('/');
  return slash == std::string_view::npos ? native : native.substr(slash + 1);
}

bool IsHiddenName(std::string_view name) { return !name.empty() && name[0] == '.' && name != "." && name != ".."; }

DWORD ErrorForPath(int err, const std::string& native) {
  if (err == ENOTDIR) return ERROR_PATH_NOT_FOUND;
  if (err != ENOENT) return VormErrorFromErrno(err);
  // Missing: is it the entry itself or a folder on the way?
  std::string_view path(native);
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  std::size_t slash = path.rfind('/');
  std::string parent;
  if (slash == std::string_view::npos) {
    parent = ".";
  } else if (slash == 0) {
    parent = "/";
  } else {
    parent.assign(path.substr(0, slash));
  }
  struct stat st;
  if (Sys::Stat(parent.c_str(), st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

int QueryInfo(int dirFd, const char* name, bool hidden, FileInfo& info) {
  RawStat self;
  if (int err = Stat(dirFd, name, false, self)) return err;
  info = FileInfo{};
  if (S_ISLNK(self.mode)) {
    info.reparseTag = IO_REPARSE_TAG_SYMLINK;
    RawStat target;
    if (Stat(dirFd, name, true, target) == 0) {
      info.attributes = FILE_ATTRIBUTE_REPARSE_POINT | AttributeBits(target);
      FillData(target, info);
    } else {
      info.attributes = FILE_ATTRIBUTE_REPARSE_POINT;
      FillData(self, info);
      info.size = 0;
    }
  } else {
    info.attributes = AttributeBits(self);
    FillData(self, info);
  }
  if (hidden) info.attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (info.attributes == 0) info.attributes = FILE_ATTRIBUTE_NORMAL;
  return 0;
}

}  // namespace VormFiles_details

FILETIME VormFileTimeFromUnix(long long seconds, long nanoseconds) {
  using VormFileTime_details::kEpochDeltaSeconds;
  using VormFileTime_details::kTicksPerSecond;
  // Far outside any file time: clamp before the arithmetic can overflow.
  constexpr long long kFar = 1000000000000000LL;
  FILETIME ft{0, 0};
  if (seconds < -kFar) return ft;
  if (seconds > kFar) return FILETIME{0xFFFFFFFFu, 0xFFFFFFFFu};
  // Normalise the nanoseconds into [0, 1e9) before scaling.
  seconds += nanoseconds / 1000000000L;
  nanoseconds %= 1000000000L;
  if (nanoseconds < 0) {
    nanoseconds += 1000000000L;
    seconds -= 1;
  }
  if (seconds < -kEpochDeltaSeconds) return ft;
  unsigned long long since1601 = static_cast<unsigned long long>(seconds + kEpochDeltaSeconds);
  constexpr unsigned long long kPerSecond = static_cast<unsigned long long>(kTicksPerSecond);
  constexpr unsigned long long kMaxSeconds = ULLONG_MAX / kPerSecond - 1;
  unsigned long long ticks = since1601 > kMaxSeconds
                                 ? ULLONG_MAX
                                 : since1601 * kPerSecond + static_cast<unsigned long long>(nanoseconds / 100);
  ft.dwLowDateTime = VormFiles_details::Low(ticks);
  ft.dwHighDateTime = VormFiles_details::High(ticks);
  return ft;
}

std::string VormNativePath(const wchar_t* path) {
  return VormFiles_details::Guarded(std::string(), [&] {
    std::string native;
    DWORD saved = GetLastError();
    bool ok = VormFiles_details::ToNative(path, native);
    SetLastError(saved);
    return ok ? native : std::string();
  });
}
