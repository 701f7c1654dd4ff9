// The last error, the thread id and the errno translation used by every platform call.
#include <cerrno>

#include <vorm/platform/kernel.h>

#include "platform/kernel/thread_record.h"

namespace {

struct ErrnoEntry {
  int err;
  DWORD code;
};

// The one errno -> platform code table of the layer.
constexpr ErrnoEntry kErrnoTable[] = {
    {0, ERROR_SUCCESS},
    {EPERM, ERROR_ACCESS_DENIED},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ESRCH, ERROR_FILE_NOT_FOUND},
    {EINTR, ERROR_OPERATION_ABORTED},
    {EIO, ERROR_GEN_FAILURE},
    {ENXIO, ERROR_FILE_NOT_FOUND},
    {E2BIG, ERROR_INVALID_PARAMETER},
    {EBADF, ERROR_INVALID_HANDLE},
    {EAGAIN, ERROR_SHARING_VIOLATION},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EACCES, ERROR_ACCESS_DENIED},
    {EFAULT, ERROR_NOACCESS},
    {EBUSY, ERROR_BUSY},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ENODEV, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EFBIG, ERROR_DISK_FULL},
    {ENOSPC, ERROR_DISK_FULL},
    {ESPIPE, ERROR_SEEK},
    {EROFS, ERROR_WRITE_PROTECT},
    {EMLINK, ERROR_CANNOT_MAKE},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ERANGE, ERROR_INSUFFICIENT_BUFFER},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ENOSYS, ERROR_CALL_NOT_IMPLEMENTED},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EOVERFLOW, ERROR_FILENAME_EXCED_RANGE},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {ETIMEDOUT, ERROR_TIMEOUT},
    {EDQUOT, ERROR_DISK_FULL},
    {ECANCELED, ERROR_OPERATION_ABORTED},
};
}  // namespace

// The value lives in the thread's record, with the rest of what the layer keeps per thread.
DWORD GetLastError() { return VormThreadRecord::Current().lastError; }

void SetLastError(DWORD code) { VormThreadRecord::Current().lastError = code; }

DWORD GetCurrentThreadId() { return VormThreadRecord::Current().Id(); }

DWORD VormErrorFromErrno(int err) {
  for (const ErrnoEntry& e : kErrnoTable) {
    if (e.err == err) return e.code;
  }
  return ERROR_GEN_FAILURE;
}
