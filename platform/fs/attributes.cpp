// Attribute queries by name: GetFileAttributesW, GetFileAttributesExW and _waccess.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs/fs_internal.h"

using namespace VormFiles_details;
using VormLastError_details::Fail;

namespace {

// Fills `info` for `path`; on failure sets the last error and returns false.
bool InfoForPath(const wchar_t* path, FileInfo& info) {
  std::string native;
  if (!ToNative(path, native)) return false;
  if (int err = QueryInfo(AT_FDCWD, native.c_str(), IsHiddenName(LastComponent(native)), info)) {
    return Fail(ErrorForPath(err, native), false);
  }
  return true;
}

}  // namespace

DWORD GetFileAttributesW(const wchar_t* fileName) {
  return Guarded(INVALID_FILE_ATTRIBUTES, [&] {
    FileInfo info;
    if (!InfoForPath(fileName, info)) return INVALID_FILE_ATTRIBUTES;
    SetLastError(ERROR_SUCCESS);
    return info.attributes;
  });
}

BOOL GetFileAttributesExW(const wchar_t* fileName, GET_FILEEX_INFO_LEVELS infoLevel, void* out) {
  if (infoLevel != GetFileExInfoStandard || !out) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return Guarded(FALSE, [&] {
    FileInfo info;
    if (!InfoForPath(fileName, info)) return FALSE;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    data.dwFileAttributes = info.attributes;
    data.ftCreationTime = info.creation;
    data.ftLastAccessTime = info.lastAccess;
    data.ftLastWriteTime = info.lastWrite;
    data.nFileSizeHigh = High(info.size);
    data.nFileSizeLow = Low(info.size);
    std::memcpy(out, &data, sizeof(data));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

int _waccess(const wchar_t* path, int mode) {
  return Guarded(-1, [&] {
    if (mode != 0 && mode != 2 && mode != 4 && mode != 6) {
      errno = EINVAL;
      return Fail(ERROR_INVALID_PARAMETER, -1);
    }
    FileInfo info;
    if (!path || !InfoForPath(path, info)) {
      if (!path) SetLastError(ERROR_INVALID_PARAMETER);
      errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
      return -1;
    }
    // Every existing folder grants every mode; a file's write access follows its
    // read-only attribute, and the OS has the last word on what it refuses.
    if (!(info.attributes & FILE_ATTRIBUTE_DIRECTORY) && mode != 0) {
      std::string native;
      ToNative(path, native);
      bool wantWrite = (mode & 2) != 0;
      int osMode = (wantWrite ? W_OK : 0) | ((mode & 4) ? R_OK : 0);
      if ((wantWrite && (info.attributes & FILE_ATTRIBUTE_READONLY)) || access(native.c_str(), osMode) != 0) {
        errno = EACCES;
        return Fail(ERROR_ACCESS_DENIED, -1);
      }
    }
    SetLastError(ERROR_SUCCESS);
    return 0;
  });
}
