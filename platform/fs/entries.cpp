// Creating and removing entries by name: DeleteFileW, CreateDirectoryW, RemoveDirectoryW,
// SetFileAttributesW, the C runtime's _wchdir and _wremove, and file identities.
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs/fs_internal.h"
#include "platform/fs/sys_calls.h"

using namespace VormFiles_details;
using VormLastError_details::Fail;

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

bool Succeed() {
  SetLastError(ERROR_SUCCESS);
  return true;
}

// Whether `st` is the process's current folder.
bool IsCurrentFolder(const struct stat& st) {
  struct stat cwd;
  return Sys::Stat(".", cwd) == 0 && cwd.st_dev == st.st_dev && cwd.st_ino == st.st_ino;
}

// The code for a failed call on `name` relative to `dirFd`: a single name in an open folder
// is missing itself; a path may miss a folder on the way.
DWORD ErrorAt(int err, int dirFd, const char* name) {
  if (dirFd == AT_FDCWD) return ErrorForPath(err, name);
  return err == ENOENT ? ERROR_FILE_NOT_FOUND : VormErrorFromErrno(err);
}

bool DeleteFileNative(const std::string& native) {
  struct stat st;
  if (Sys::LinkStat(native.c_str(), st) != 0) return Fail(ErrorForPath(errno, native), false);
  if (!S_ISLNK(st.st_mode)) {
    // Folders and read-only files are refused before the OS is asked: a privileged
    // process would otherwise remove a read-only file the platform protects.
    if (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0) return Fail(ERROR_ACCESS_DENIED, false);
  }
  const DWORD error = UnlinkEntry(AT_FDCWD, native.c_str());
  return error == ERROR_SUCCESS ? Succeed() : Fail(error, false);
}

bool RemoveDirectoryNative(std::string native) {
  // A link goes as a link, and "link/" would name its target: trailing slashes are cut.
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  const DWORD error = RemoveFolderAt(AT_FDCWD, native.c_str());
  return error == ERROR_SUCCESS ? Succeed() : Fail(error, false);
}

bool SetAttributesNative(const std::string& native, DWORD attributes) {
  struct stat st;
  if (Sys::Stat(native.c_str(), st) != 0) return Fail(ErrorForPath(errno, native), false);
  mode_t mode = st.st_mode & 07777;
  mode_t wanted = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~kWriteBits)
                  : (mode & S_IWUSR)                     ? mode
                                                         : (mode | S_IWUSR);
  if (wanted != mode && Sys::ChangeMode(native.c_str(), wanted) != 0) return Fail(ErrorForPath(errno, native), false);
  return Succeed();
}

// errno for a failed CRT call from the platform code it set.
int ErrnoFor(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_NOT_ENOUGH_MEMORY: return ENOMEM;
    case ERROR_INVALID_PARAMETER: return EINVAL;
    default: return EACCES;
  }
}

// Runs a file function on the native form of `path`.
template <class F>
BOOL ByName(const wchar_t* path, F&& body) {
  return Guarded(FALSE, [&] {
    std::string native;
    if (!ToNative(path, native)) return FALSE;
    return body(native) ? TRUE : FALSE;
  });
}

}  // namespace

BOOL DeleteFileW(const wchar_t* fileName) { return ByName(fileName, DeleteFileNative); }

BOOL CreateDirectoryW(const wchar_t* pathName, SECURITY_ATTRIBUTES* /*security*/) {
  return ByName(pathName, [](const std::string& native) {
    if (Sys::MakeFolder(native.c_str(), 0777) == 0) return Succeed();
    int err = errno;
    if (err == EEXIST) return Fail(ERROR_ALREADY_EXISTS, false);
    return Fail(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND : VormErrorFromErrno(err), false);
  });
}

BOOL RemoveDirectoryW(const wchar_t* pathName) { return ByName(pathName, RemoveDirectoryNative); }

namespace VormFiles_details {

DWORD UnlinkEntry(int dirFd, const char* name) {
  if (Sys::UnlinkAt(dirFd, name, 0) == 0) return ERROR_SUCCESS;
  const int err = errno;
  return err == EISDIR ? ERROR_ACCESS_DENIED : ErrorAt(err, dirFd, name);
}

DWORD RemoveFolderAt(int dirFd, const char* name) {
  struct stat st;
  if (Sys::StatAt(dirFd, name, st, AT_SYMLINK_NOFOLLOW) != 0) return ErrorAt(errno, dirFd, name);
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    if (Sys::StatAt(dirFd, name, target, 0) == 0 && !S_ISDIR(target.st_mode)) return ERROR_DIRECTORY;
    return Sys::UnlinkAt(dirFd, name, 0) == 0 ? ERROR_SUCCESS : ErrorAt(errno, dirFd, name);
  }
  if (!S_ISDIR(st.st_mode)) return ERROR_DIRECTORY;
  if ((st.st_mode & S_IWUSR) == 0) return ERROR_ACCESS_DENIED;
  if (IsCurrentFolder(st)) return ERROR_SHARING_VIOLATION;
  if (Sys::UnlinkAt(dirFd, name, AT_REMOVEDIR) == 0) return ERROR_SUCCESS;
  const int err = errno;
  return err == EEXIST || err == ENOTEMPTY ? ERROR_DIR_NOT_EMPTY : ErrorAt(err, dirFd, name);
}

}  // namespace VormFiles_details

BOOL SetFileAttributesW(const wchar_t* fileName, DWORD attributes) {
  return ByName(fileName, [attributes](const std::string& native) { return SetAttributesNative(native, attributes); });
}

int _wchdir(const wchar_t* path) {
  if (SetCurrentDirectoryW(path)) return 0;
  errno = ErrnoFor(GetLastError());
  return -1;
}

int _wremove(const wchar_t* path) {
  if (DeleteFileW(path)) return 0;
  errno = ErrnoFor(GetLastError());
  if (errno == ENOTDIR) errno = ENOENT;
  return -1;
}

BOOL VormGetFileId(const wchar_t* path, ULONGLONG* volume, ULONGLONG* index) {
  return ByName(path, [&](const std::string& native) {
    struct stat st;
    if (Sys::Stat(native.c_str(), st) != 0) return Fail(ErrorForPath(errno, native), false);
    if (volume) *volume = static_cast<ULONGLONG>(st.st_dev);
    if (index) *index = static_cast<ULONGLONG>(st.st_ino);
    return Succeed();
  });
}

BOOL VormGetFilePermissions(const wchar_t* path, DWORD* bits) {
  return ByName(path, [&](const std::string& native) {
    struct stat st;
    if (Sys::Stat(native.c_str(), st) != 0) return Fail(ErrorForPath(errno, native), false);
    if (bits) *bits = static_cast<DWORD>(st.st_mode & 07777);
    return Succeed();
  });
}

BOOL VormSetFilePermissions(const wchar_t* path, DWORD bits) {
  return ByName(path, [bits](const std::string& native) {
    if (Sys::ChangeMode(native.c_str(), static_cast<mode_t>(bits & 07777)) != 0)
      return Fail(ErrorForPath(errno, native), false);
    return Succeed();
  });
}
