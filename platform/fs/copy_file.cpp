// CopyFileW and CopyFileExW: a copy is written under a temporary name beside its target and
// renamed to the target only once complete, so no file under a target's name is ever partly
// written, whatever fails or stops the copy.
#include <cerrno>
#include <cstdint>
#include <vector>

#include <sys/random.h>
#include <unistd.h>

#include "platform/fs/fs_internal.h"
#include "platform/fs/sys_calls.h"

using namespace VormFiles_details;
using VormLastError_details::Fail;

namespace {

// Closes a descriptor on every path out.
struct Fd {
  int fd = -1;
  Fd() = default;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) Sys::Close(fd);
  }
  // Closes now and reports the outcome: a write can surface only here.
  int Close() {
    const int r = Sys::Close(fd);
    fd = -1;
    return r;
  }
};

std::string FolderOf(const std::string& native) {
  std::size_t slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : native.substr(0, slash);
}

// Suffixes for temporary names: unpredictable enough that another program cannot take them
// first by guessing (the creation is exclusive anyway), without a system call per copy. Each
// thread seeds its own sequence once.
std::uint64_t RandomWord() {
  static thread_local std::uint64_t state = [] {
    std::uint64_t seed = 0;
    if (getrandom(&seed, sizeof(seed), GRND_NONBLOCK) != static_cast<ssize_t>(sizeof(seed))) {
      seed = static_cast<std::uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull ^ reinterpret_cast<std::uintptr_t>(&seed);
    }
    return seed;
  }();
  // splitmix64
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Makes a fresh entry "<folder of target>/<prefix><random>" with `make(name)`, which returns
// -1 with errno on failure; returns its result and leaves the name in `name`.
template <class Make>
int MakeTemporary(const std::string& target, const char* prefix, std::string& name, Make&& make) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  const std::string folder = FolderOf(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder;
    name += '/';
    name += prefix;
    std::uint64_t r = RandomWord();
    for (int i = 0; i < 10; ++i, r /= 36) name += kDigits[r % 36];
    const int result = make(name);
    if (result >= 0 || errno != EEXIST) return result;
  }
  errno = EEXIST;
  return -1;
}

// Copies from `in` (at its start) to `out` (empty); returns 0 or errno.
int CopyData(int in, int out, off_t size) {
  off_t copied = 0;
  // The kernel's copy first: it can share extents or stay in the page cache. Sizes reported
  // as 0 (files of pseudo file systems) go through the buffer, which reads to the real end.
  bool kernel = size > 0;
  while (kernel) {
    const ssize_t n = Sys::CopyRange(in, out, static_cast<size_t>(1) << 30);
    if (n > 0) {
      copied += n;
      if (copied >= size) return 0;  // done, as far as the size read at the start goes
      continue;
    }
    if (n == 0) return 0;
    // Not supported between these files: carry on through a buffer from where it stopped.
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF ||
        errno == EPERM) {
      break;
    }
    return errno;
  }
  std::vector<char> buffer(static_cast<std::size_t>(128) * 1024);
  for (;;) {
    const ssize_t n = Sys::Read(in, buffer.data(), buffer.size());
    if (n < 0) return errno;
    if (n == 0) return 0;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = Sys::Write(out, buffer.data() + done, static_cast<size_t>(n - done));
      if (w <= 0) return w < 0 ? errno : EIO;
      done += w;
    }
  }
}

DWORD WriteError(int err) { return err == ENOENT ? ERROR_PATH_NOT_FOUND : VormErrorFromErrno(err); }

// The code for a target name that cannot take the copy, checked before any data moves: an
// existing one with failIfExists, the source itself (`source` given: a file copy), a folder
// or a read-only file. A dangling link is replaced like a file. `exists` tells whether
// anything is there.
DWORD CheckTarget(const std::string& target, bool failIfExists, const struct stat* source, bool* exists = nullptr) {
  struct stat st;
  const bool there = Sys::LinkStat(target.c_str(), st) == 0;
  if (exists) *exists = there;
  if (!there) return errno == ENOENT ? ERROR_SUCCESS : ErrorForPath(errno, target);
  if (failIfExists) return ERROR_FILE_EXISTS;
  // A file copy looks through a link at the target; a link copy replaces a link as it is.
  if (!S_ISLNK(st.st_mode) || (source && Sys::Stat(target.c_str(), st) == 0)) {
    if (source && st.st_dev == source->st_dev && st.st_ino == source->st_ino) return ERROR_SHARING_VIOLATION;
    if (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0) return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

// Gives the complete temporary `temp` the target's name. With `noReplace` an entry that
// appeared at the target meanwhile is kept and the copy fails with ERROR_FILE_EXISTS.
DWORD Commit(const std::string& temp, const std::string& target, bool noReplace) {
  if (!noReplace) {
    if (Sys::RenameAt(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str()) == 0) return ERROR_SUCCESS;
    return errno == EISDIR ? ERROR_ACCESS_DENIED : VormErrorFromErrno(errno);
  }
  if (Sys::RenameNoReplace(temp.c_str(), target.c_str()) == 0) return ERROR_SUCCESS;
  if (errno == EINVAL || errno == ENOSYS) {
    // A file system that cannot promise not to replace: a hard link fails on an existing name.
    if (Sys::Link(temp.c_str(), target.c_str()) == 0) {
      Sys::Unlink(temp.c_str());
      return ERROR_SUCCESS;
    }
  }
  return errno == EEXIST ? ERROR_FILE_EXISTS : VormErrorFromErrno(errno);
}

bool CopyRegular(const std::string& from, const std::string& to, bool failIfExists) {
  // O_NONBLOCK: a FIFO must not wait for a writer; it is refused just below.
  Fd in(Sys::Open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (in.fd < 0) {
    const int err = errno;
    return Fail(err == EISDIR ? ERROR_ACCESS_DENIED : ErrorForPath(err, from), false);
  }
  struct stat source;
  if (Sys::StatFd(in.fd, source) != 0) return Fail(VormErrorFromErrno(errno), false);
  if (!S_ISREG(source.st_mode)) return Fail(ERROR_ACCESS_DENIED, false);
  if (const DWORD error = CheckTarget(to, failIfExists, &source)) return Fail(error, false);

  std::string temp;
  Fd out(MakeTemporary(to, ".~copy", temp, [&](const std::string& name) {
    return Sys::Open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, source.st_mode & 0777);
  }));
  if (out.fd < 0) return Fail(WriteError(errno), false);
  int err = CopyData(in.fd, out.fd, source.st_size);
  const timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
  if (err == 0 && Sys::SetTimes(out.fd, times) != 0) err = errno;
  if (out.Close() != 0 && err == 0) err = errno;
  const DWORD error = err != 0 ? VormErrorFromErrno(err) : Commit(temp, to, failIfExists);
  if (error == ERROR_SUCCESS) return true;
  Sys::Unlink(temp.c_str());
  return Fail(error, false);
}

bool CopyLink(const std::string& from, const std::string& to, bool failIfExists) {
  std::vector<char> text(256);
  for (;;) {
    const ssize_t n = Sys::ReadLink(from.c_str(), text.data(), text.size());
    if (n < 0) return Fail(ErrorForPath(errno, from), false);
    if (static_cast<std::size_t>(n) < text.size()) {
      text.resize(static_cast<std::size_t>(n));
      break;
    }
    text.resize(text.size() * 2);
  }
  text.push_back('\0');
  bool exists = false;
  if (const DWORD error = CheckTarget(to, failIfExists, nullptr, &exists)) return Fail(error, false);
  // A link is made whole in one call; only replacing one goes through a temporary name.
  if (!exists) {
    if (Sys::SymlinkAt(text.data(), AT_FDCWD, to.c_str()) == 0) return true;
    return Fail(errno == EEXIST ? ERROR_FILE_EXISTS : WriteError(errno), false);
  }
  std::string temp;
  if (MakeTemporary(to, ".~link", temp, [&](const std::string& name) {
        return Sys::SymlinkAt(text.data(), AT_FDCWD, name.c_str());
      }) != 0) {
    return Fail(WriteError(errno), false);
  }
  if (const DWORD error = Commit(temp, to, false)) {
    Sys::Unlink(temp.c_str());
    return Fail(error, false);
  }
  return true;
}

BOOL Copy(const wchar_t* existingFileName, const wchar_t* newFileName, DWORD flags) {
  return Guarded(FALSE, [&] {
    std::string from, to;
    if (!ToNative(existingFileName, from) || !ToNative(newFileName, to)) return FALSE;
    const bool failIfExists = (flags & COPY_FILE_FAIL_IF_EXISTS) != 0;
    bool ok;
    struct stat st;
    if ((flags & COPY_FILE_COPY_SYMLINK) && Sys::LinkStat(from.c_str(), st) == 0 && S_ISLNK(st.st_mode)) {
      ok = CopyLink(from, to, failIfExists);
    } else {
      ok = CopyRegular(from, to, failIfExists);
    }
    if (!ok) return FALSE;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

}  // namespace

BOOL CopyFileW(const wchar_t* existingFileName, const wchar_t* newFileName, BOOL failIfExists) {
  return Copy(existingFileName, newFileName, failIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0);
}

BOOL CopyFileExW(const wchar_t* existingFileName, const wchar_t* newFileName, void* /*progressRoutine*/, void* /*data*/,
                 BOOL* /*cancel*/, DWORD copyFlags) {
  return Copy(existingFileName, newFileName, copyFlags);
}
