// The OS calls of the file layer, in one place: every file function of the layer reaches the
// kernel through these, so interrupted calls are retried in one way and the fault injection of
// files.h (VormInjectFileFault) sees every step a file or tree operation takes. Each has the
// POSIX contract of the call it wraps (-1 and errno on failure) and retries EINTR where the
// call may be retried. Stateless apart from the fault counter; safe from any thread.
#pragma once

#include <cstddef>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <vorm/platform/wintypes.h>

namespace VormFiles_details::Sys {

// True when the armed fault fires for a call of `kind` (a VORM_FAULT_* bit); errno is then
// the chosen error. Counts the call when fault injection is armed for `kind`.
bool Faulted(DWORD kind);

int OpenAt(int dirFd, const char* name, int flags, mode_t mode = 0);
inline int Open(const char* path, int flags, mode_t mode = 0) { return OpenAt(AT_FDCWD, path, flags, mode); }
// close(2); EINTR counts as closed, as Linux always releases the descriptor.
int Close(int fd);

ssize_t Read(int fd, void* buffer, std::size_t size);
ssize_t Write(int fd, const void* buffer, std::size_t size);
// copy_file_range between the current offsets of `in` and `out`.
ssize_t CopyRange(int in, int out, std::size_t size);
int Truncate(int fd, off_t length);
int TruncatePath(const char* path, off_t length);
int Sync(int fd);

// getdents64 into `buffer`: the bytes of whole records read, 0 at the end.
ssize_t ReadEntries(int fd, void* buffer, std::size_t size);

// fstatat(2); an empty name with AT_EMPTY_PATH describes `dirFd` itself.
int StatAt(int dirFd, const char* name, struct stat& out, int flags);
inline int Stat(const char* path, struct stat& out) { return StatAt(AT_FDCWD, path, out, 0); }
inline int LinkStat(const char* path, struct stat& out) { return StatAt(AT_FDCWD, path, out, AT_SYMLINK_NOFOLLOW); }
inline int StatFd(int fd, struct stat& out) { return StatAt(fd, "", out, AT_EMPTY_PATH); }
// statx(2) for the fields the layer reports; ENOSYS where the kernel has none.
int StatExtended(int dirFd, const char* name, int flags, struct statx& out);

int RenameAt(int fromDir, const char* from, int toDir, const char* to);
// Renames only when `to` does not exist (EEXIST otherwise); EINVAL where the file system
// cannot promise that.
int RenameNoReplace(const char* from, const char* to);
int Link(const char* existing, const char* name);
int UnlinkAt(int dirFd, const char* name, int flags);
inline int Unlink(const char* path) { return UnlinkAt(AT_FDCWD, path, 0); }
int MakeFolder(const char* path, mode_t mode);
int SymlinkAt(const char* target, int dirFd, const char* name);
ssize_t ReadLink(const char* path, char* buffer, std::size_t size);
int ChangeMode(const char* path, mode_t mode);
int SetTimes(int fd, const timespec times[2]);

}  // namespace VormFiles_details::Sys
