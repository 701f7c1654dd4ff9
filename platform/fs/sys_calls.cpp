#include "platform/fs/sys_calls.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

#include <dirent.h>
#include <sys/file.h>
#include <unistd.h>

#include <vorm/platform/files.h>

namespace VormFiles_details::Sys {

namespace {

// The armed fault. Kinds 0 is the resting state: one relaxed load per call, nothing counted.
std::atomic<DWORD> g_kinds{0};
std::atomic<unsigned long> g_countdown{0};  // calls left until the fault; 0: none pending
std::atomic<unsigned long> g_calls{0};
std::atomic<int> g_error{0};

// Calls `body` again while a signal interrupts it.
template <class F>
auto Retrying(F&& body) {
  for (;;) {
    auto result = body();
    if (!(result < 0 && errno == EINTR)) return result;
  }
}

}  // namespace

bool Faulted(DWORD kind) {
  if ((g_kinds.load(std::memory_order_relaxed) & kind) == 0) return false;
  g_calls.fetch_add(1, std::memory_order_relaxed);
  unsigned long left = g_countdown.load(std::memory_order_relaxed);
  while (left != 0 && !g_countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
  }
  if (left != 1) return false;
  errno = g_error.load(std::memory_order_relaxed);
  return true;
}

int OpenAt(int dirFd, const char* name, int flags, mode_t mode) {
  if (Faulted(VORM_FAULT_OPEN)) return -1;
  return Retrying([&] { return openat(dirFd, name, flags, mode); });
}

int Close(int fd) {
  if (Faulted(VORM_FAULT_CLOSE)) {
    close(fd);  // the descriptor goes either way, as with a real failure
    return -1;
  }
  const int r = close(fd);
  return (r != 0 && errno == EINTR) ? 0 : r;
}

ssize_t Read(int fd, void* buffer, std::size_t size) {
  if (Faulted(VORM_FAULT_READ)) return -1;
  return Retrying([&] { return read(fd, buffer, size); });
}

ssize_t Write(int fd, const void* buffer, std::size_t size) {
  if (Faulted(VORM_FAULT_WRITE)) return -1;
  return Retrying([&] { return write(fd, buffer, size); });
}

ssize_t CopyRange(int in, int out, std::size_t size) {
  if (Faulted(VORM_FAULT_WRITE)) return -1;
  return Retrying([&] { return copy_file_range(in, nullptr, out, nullptr, size, 0); });
}

int Truncate(int fd, off_t length) {
  if (Faulted(VORM_FAULT_WRITE)) return -1;
  return Retrying([&] { return ftruncate(fd, length); });
}

int TruncatePath(const char* path, off_t length) {
  if (Faulted(VORM_FAULT_WRITE)) return -1;
  return Retrying([&] { return truncate(path, length); });
}

int Sync(int fd) {
  if (Faulted(VORM_FAULT_WRITE)) return -1;
  return Retrying([&] { return fsync(fd); });
}

ssize_t ReadEntries(int fd, void* buffer, std::size_t size) {
  if (Faulted(VORM_FAULT_LIST)) return -1;
  return Retrying([&] { return getdents64(fd, buffer, size); });
}

int StatAt(int dirFd, const char* name, struct stat& out, int flags) {
  if (Faulted(VORM_FAULT_STAT)) return -1;
  return fstatat(dirFd, name, &out, flags);
}

int StatExtended(int dirFd, const char* name, int flags, struct statx& out) {
  if (Faulted(VORM_FAULT_STAT)) return -1;
  return statx(dirFd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &out);
}

int RenameAt(int fromDir, const char* from, int toDir, const char* to) {
  if (Faulted(VORM_FAULT_RENAME)) return -1;
  return renameat(fromDir, from, toDir, to);
}

int RenameNoReplace(const char* from, const char* to) {
  if (Faulted(VORM_FAULT_RENAME)) return -1;
  return renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

int Link(const char* existing, const char* name) {
  if (Faulted(VORM_FAULT_RENAME)) return -1;
  return link(existing, name);
}

int UnlinkAt(int dirFd, const char* name, int flags) {
  if (Faulted(VORM_FAULT_UNLINK)) return -1;
  return unlinkat(dirFd, name, flags);
}

int MakeFolder(const char* path, mode_t mode) {
  if (Faulted(VORM_FAULT_MKDIR)) return -1;
  return mkdir(path, mode);
}

int SymlinkAt(const char* target, int dirFd, const char* name) {
  if (Faulted(VORM_FAULT_LINK)) return -1;
  return symlinkat(target, dirFd, name);
}

ssize_t ReadLink(const char* path, char* buffer, std::size_t size) {
  if (Faulted(VORM_FAULT_LINK)) return -1;
  return readlink(path, buffer, size);
}

int ChangeMode(const char* path, mode_t mode) {
  if (Faulted(VORM_FAULT_ATTRIBUTES)) return -1;
  return chmod(path, mode);
}

int SetTimes(int fd, const timespec times[2]) {
  if (Faulted(VORM_FAULT_ATTRIBUTES)) return -1;
  return futimens(fd, times);
}

}  // namespace VormFiles_details::Sys

void VormInjectFileFault(DWORD kinds, unsigned long nth, int error) {
  using namespace VormFiles_details::Sys;
  g_kinds.store(0, std::memory_order_relaxed);
  g_calls.store(0, std::memory_order_relaxed);
  g_countdown.store(kinds ? nth : 0, std::memory_order_relaxed);
  g_error.store(error, std::memory_order_relaxed);
  g_kinds.store(kinds, std::memory_order_release);
}

unsigned long VormFileFaultCalls() { return VormFiles_details::Sys::g_calls.load(std::memory_order_relaxed); }
