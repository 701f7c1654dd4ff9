// Handles to open files: CreateFileW and the calls that take its handles.
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs/fs_internal.h"
#include "platform/fs/sys_calls.h"
#include "platform/kernel/handles.h"

using namespace VormFiles_details;
using VormLastError_details::Fail;

namespace {

// An open file or folder. Thread rule: one call at a time per handle. Ownership: the handle
// table; the descriptor is closed with the object.
class FileObject final : public VormKernelObject {
 public:
  FileObject(int fd, bool canRead, bool canWrite, bool isFolder)
      : VormKernelObject(VormObjectType::File), fd(fd), canRead(canRead), canWrite(canWrite), isFolder(isFolder) {}
  ~FileObject() override { Sys::Close(fd); }

  const int fd;
  const bool canRead;
  const bool canWrite;
  const bool isFolder;
};

std::shared_ptr<FileObject> LookupFile(HANDLE handle) {
  auto file = VormHandles_details::LookupAs<FileObject>(handle, VormObjectType::File);
  if (!file) return Fail(ERROR_INVALID_HANDLE, std::shared_ptr<FileObject>());
  return file;
}

// A handle for `fd`, which the new object owns from here on; NULL (fd closed) on failure.
HANDLE RegisterFile(int fd, bool canRead, bool canWrite, bool isFolder) {
  std::shared_ptr<FileObject> file;
  try {
    file = std::make_shared<FileObject>(fd, canRead, canWrite, isFolder);
  } catch (const std::bad_alloc&) {
    Sys::Close(fd);
    return Fail(ERROR_NOT_ENOUGH_MEMORY, HANDLE{});
  }
  return VormHandles_details::Register(std::move(file));
}

HANDLE Create(const wchar_t* fileName, DWORD access, DWORD disposition, DWORD flagsAndAttributes) {
  std::string native;
  if (!ToNative(fileName, native)) return INVALID_HANDLE_VALUE;
  OpenRequest request;
  request.read = (access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE)) != 0;
  request.write = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
  request.disposition = disposition;
  request.allowFolder = (flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0;
  request.readOnly = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
      (disposition == TRUNCATE_EXISTING && !request.write)) {
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  const OpenResult opened = OpenFile(native, request);
  if (opened.fd < 0) return Fail(opened.error, INVALID_HANDLE_VALUE);
  HANDLE h = RegisterFile(opened.fd, request.read && !opened.folder, request.write && !opened.folder, opened.folder);
  if (!h) return INVALID_HANDLE_VALUE;
  const bool reportExisting = opened.existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

}  // namespace

HANDLE CreateFileW(const wchar_t* fileName, DWORD access, DWORD /*shareMode*/, SECURITY_ATTRIBUTES* /*security*/,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
  return Guarded(INVALID_HANDLE_VALUE, [&] { return Create(fileName, access, disposition, flagsAndAttributes); });
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
  if (read) *read = 0;
  auto file = LookupFile(handle);
  if (!file) return FALSE;
  if (overlapped || (!buffer && toRead > 0)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (file->isFolder) return Fail(ERROR_INVALID_FUNCTION, FALSE);
  if (!file->canRead) return Fail(ERROR_ACCESS_DENIED, FALSE);
  DWORD done = 0;
  char* out = static_cast<char*>(buffer);
  while (done < toRead) {
    ssize_t n = Sys::Read(file->fd, out + done, toRead - done);
    if (n < 0) {
      if (read) *read = done;
      return Fail(VormErrorFromErrno(errno), FALSE);
    }
    if (n == 0) break;  // end of file
    done += static_cast<DWORD>(n);
  }
  if (read) *read = done;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
  if (written) *written = 0;
  auto file = LookupFile(handle);
  if (!file) return FALSE;
  if (overlapped || (!buffer && toWrite > 0)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (file->isFolder) return Fail(ERROR_INVALID_FUNCTION, FALSE);
  if (!file->canWrite) return Fail(ERROR_ACCESS_DENIED, FALSE);
  DWORD done = 0;
  const char* in = static_cast<const char*>(buffer);
  while (done < toWrite) {
    ssize_t n = Sys::Write(file->fd, in + done, toWrite - done);
    if (n <= 0) {
      if (written) *written = done;
      return Fail(n < 0 ? VormErrorFromErrno(errno) : ERROR_WRITE_FAULT, FALSE);
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL GetFileTime(HANDLE handle, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
  auto file = LookupFile(handle);
  if (!file) return FALSE;
  FileInfo info;
  if (int err = QueryInfo(file->fd, "", false, info)) return Fail(VormErrorFromErrno(err), FALSE);
  if (creation) *creation = info.creation;
  if (lastAccess) *lastAccess = info.lastAccess;
  if (lastWrite) *lastWrite = info.lastWrite;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

DWORD GetFileSize(HANDLE handle, DWORD* sizeHigh) {
  auto file = LookupFile(handle);
  if (!file) return INVALID_FILE_SIZE;
  FileInfo info;
  if (int err = QueryInfo(file->fd, "", false, info)) return Fail(VormErrorFromErrno(err), INVALID_FILE_SIZE);
  if (sizeHigh) *sizeHigh = High(info.size);
  SetLastError(ERROR_SUCCESS);
  return Low(info.size);
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* distanceHigh, DWORD method) {
  auto file = LookupFile(handle);
  if (!file) return INVALID_SET_FILE_POINTER;
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
  if (whence < 0) return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
  long long move =
      distanceHigh ? static_cast<long long>((static_cast<unsigned long long>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                            static_cast<DWORD>(distance))
                   : static_cast<long long>(distance);
  off_t base = whence == SEEK_SET ? 0 : lseek(file->fd, 0, whence);
  if (base < 0) return Fail(VormErrorFromErrno(errno), INVALID_SET_FILE_POINTER);
  if ((move < 0 && base + move < 0) || (move > 0 && move > static_cast<long long>(INT64_MAX) - base)) {
    return Fail(move < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
  }
  long long target = base + move;
  if (!distanceHigh && target > 0xFFFFFFFFLL) {  // the position could not be reported
    return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
  }
  off_t pos = lseek(file->fd, static_cast<off_t>(target), SEEK_SET);
  if (pos < 0) return Fail(VormErrorFromErrno(errno), INVALID_SET_FILE_POINTER);
  ULONGLONG upos = static_cast<ULONGLONG>(pos);
  if (distanceHigh) *distanceHigh = static_cast<LONG>(High(upos));
  SetLastError(ERROR_SUCCESS);
  return Low(upos);
}

namespace VormFiles_details {

OpenResult OpenFile(const std::string& native, const OpenRequest& request) {
  OpenResult result;
  const auto fail = [&result](DWORD error) {
    if (result.fd >= 0) Sys::Close(result.fd);
    result.fd = -1;
    result.error = error;
    return result;
  };
  const DWORD disposition = request.disposition;
  const bool truncate = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  const int accessFlags = request.write ? (request.read ? O_RDWR : O_WRONLY) : O_RDONLY;

  // The existing entry decides folder handling and the read-only attribute check, which the
  // OS would not apply to a privileged process.
  struct stat st;
  const bool exists = Sys::Stat(native.c_str(), st) == 0;
  if (exists) {
    if (disposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
    if (S_ISDIR(st.st_mode)) {
      if (!request.allowFolder || truncate) return fail(ERROR_ACCESS_DENIED);
      result.fd = Sys::Open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (result.fd < 0) return fail(ErrorForPath(errno, native));
      result.existed = result.folder = true;
      return result;
    }
    if ((request.write || truncate) && (st.st_mode & S_IWUSR) == 0) return fail(ERROR_ACCESS_DENIED);
  } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
    return fail(ErrorForPath(errno, native));
  }

  result.existed = exists;
  bool created = false;
  if (!exists) {
    // Created exclusively, so a file that appeared meanwhile is reported, not clobbered.
    const mode_t mode = request.readOnly ? 0444 : 0666;
    result.fd = Sys::Open(native.c_str(), accessFlags | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
    created = result.fd >= 0;
    if (!created && (errno != EEXIST || disposition == CREATE_NEW)) {
      return fail(errno == EEXIST ? ERROR_FILE_EXISTS : ErrorForPath(errno, native));
    }
    result.existed = !created;
  }
  if (!created) {
    // Without read or write access the handle only queries, which needs no permission. A
    // FIFO is opened without waiting for its other end.
    const bool fifo = exists && S_ISFIFO(st.st_mode);
    const int flags = (!request.read && !request.write && !truncate) ? O_PATH : accessFlags;
    result.fd = Sys::Open(native.c_str(), flags | O_CLOEXEC | O_NOCTTY | (fifo ? O_NONBLOCK : 0));
    if (result.fd < 0) return fail(errno == EISDIR ? ERROR_ACCESS_DENIED : ErrorForPath(errno, native));
    if (fifo) fcntl(result.fd, F_SETFL, fcntl(result.fd, F_GETFL) & ~O_NONBLOCK);
  }
  struct stat opened;
  if (Sys::StatFd(result.fd, opened) == 0 && S_ISDIR(opened.st_mode) && !request.allowFolder) {
    return fail(ERROR_ACCESS_DENIED);
  }

  // The sharing rule, before anything is truncated: an exclusive open conflicts with every
  // other locked open of the file, a shared one only with an exclusive one. File systems
  // without locks open unshared.
  if (request.share != OpenRequest::Share::None) {
    const int op = request.share == OpenRequest::Share::Exclusive ? LOCK_EX : LOCK_SH;
    int r;
    do {
      r = flock(result.fd, op | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0 && errno == EWOULDBLOCK) return fail(ERROR_SHARING_VIOLATION);
  }
  if (truncate && !created) {
    const int t = request.write ? Sys::Truncate(result.fd, 0) : Sys::TruncatePath(native.c_str(), 0);
    if (t != 0) return fail(VormErrorFromErrno(errno));
  }
  return result;
}

}  // namespace VormFiles_details
