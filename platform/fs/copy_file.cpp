// CopyFileW and CopyFileExW: file copies that never destroy the target before the new
// content is complete.
#include <cerrno>
#include <cstdint>
#include <vector>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs/fs_internal.h"

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
    if (fd >= 0) close(fd);
  }
};

std::string FolderOf(const std::string& native) {
  std::size_t slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : native.substr(0, slash);
}

std::uint64_t RandomWord() {
  std::uint64_t value = 0;
  if (getrandom(&value, sizeof(value), GRND_NONBLOCK) != static_cast<ssize_t>(sizeof(value))) {
    value = static_cast<std::uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull ^ reinterpret_cast<std::uintptr_t>(&value);
  }
  return value;
}

// Creates a fresh file "<folder>/.~copy<random>" with `mode`; returns its descriptor (or -1
// with errno) and its name.
int CreateTemporary(const std::string& folder, mode_t mode, std::string& name) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder;
    name += "/.~copy";
    std::uint64_t r = RandomWord();
    for (int i = 0; i < 10; ++i, r /= 36) name += kDigits[r % 36];
    int fd = OpenRetrying(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
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
    ssize_t n = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(1) << 30, 0);
    if (n > 0) {
      copied += n;
      if (copied >= size) return 0;  // done, as far as the size read at the start goes
      continue;
    }
    if (n == 0) return 0;
    if (errno == EINTR) continue;
    // Not supported between these files: carry on through a buffer from where it stopped.
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF ||
        errno == EPERM) {
      break;
    }
    return errno;
  }
  std::vector<char> buffer(static_cast<std::size_t>(128) * 1024);
  for (;;) {
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return w < 0 ? errno : EIO;
      done += w;
    }
  }
}

// Writes the data and the last-write time of `in` into the new file `out`; returns 0 or errno.
int Fill(int in, const struct stat& source, int out) {
  if (int err = CopyData(in, out, source.st_size)) return err;
  const timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
  if (futimens(out, times) != 0) return errno;
  return 0;
}

DWORD WriteError(int err) { return err == ENOENT ? ERROR_PATH_NOT_FOUND : VormErrorFromErrno(err); }

// Checks the existing entry at `target` before it is replaced.
bool MayReplace(const std::string& target, const struct stat& source) {
  struct stat st;
  if (stat(target.c_str(), &st) == 0) {
    if (st.st_dev == source.st_dev && st.st_ino == source.st_ino) return Fail(ERROR_SHARING_VIOLATION, false);
    if (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0) return Fail(ERROR_ACCESS_DENIED, false);
  } else if (lstat(target.c_str(), &st) != 0) {
    return Fail(ErrorForPath(errno, target), false);
  }  // else a dangling link, replaced like a file
  return true;
}

// Writes the copy under a temporary name beside `target` and renames it over the target.
bool Replace(int in, const struct stat& source, const std::string& target, mode_t mode) {
  std::string temp;
  Fd out(CreateTemporary(FolderOf(target), mode, temp));
  if (out.fd < 0) return Fail(WriteError(errno), false);
  int err = Fill(in, source, out.fd);
  if (err == 0 && close(out.fd) != 0) err = errno;
  out.fd = -1;
  if (err == 0 && rename(temp.c_str(), target.c_str()) != 0) err = errno == EISDIR ? EACCES : errno;
  if (err != 0) {
    unlink(temp.c_str());
    return Fail(VormErrorFromErrno(err), false);
  }
  return true;
}

bool CopyRegular(const std::string& from, const std::string& to, bool failIfExists) {
  // O_NONBLOCK: a FIFO must not wait for a writer; it is refused just below.
  Fd in(OpenRetrying(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  if (in.fd < 0) {
    int err = errno;
    return Fail(err == EISDIR ? ERROR_ACCESS_DENIED : ErrorForPath(err, from), false);
  }
  struct stat source;
  if (fstat(in.fd, &source) != 0) return Fail(VormErrorFromErrno(errno), false);
  if (!S_ISREG(source.st_mode)) return Fail(ERROR_ACCESS_DENIED, false);
  const mode_t mode = source.st_mode & 0777;

  Fd out(OpenRetrying(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (out.fd < 0) {
    int err = errno;
    if (err != EEXIST) return Fail(err == EISDIR ? ERROR_ACCESS_DENIED : ErrorForPath(err, to), false);
    if (failIfExists) return Fail(ERROR_FILE_EXISTS, false);
    if (!MayReplace(to, source)) return false;
    return Replace(in.fd, source, to, mode);
  }
  int err = Fill(in.fd, source, out.fd);
  if (err == 0 && close(out.fd) != 0) err = errno;
  out.fd = -1;
  if (err != 0) {
    unlink(to.c_str());  // the file was ours: no half copy stays behind
    return Fail(VormErrorFromErrno(err), false);
  }
  return true;
}

bool CopyLink(const std::string& from, const std::string& to, bool failIfExists) {
  std::vector<char> text(256);
  for (;;) {
    ssize_t n = readlink(from.c_str(), text.data(), text.size());
    if (n < 0) return Fail(ErrorForPath(errno, from), false);
    if (static_cast<std::size_t>(n) < text.size()) {
      text.resize(static_cast<std::size_t>(n));
      break;
    }
    text.resize(text.size() * 2);
  }
  text.push_back('\0');
  if (symlink(text.data(), to.c_str()) == 0) return true;
  if (errno != EEXIST) return Fail(ErrorForPath(errno, to), false);
  if (failIfExists) return Fail(ERROR_FILE_EXISTS, false);
  struct stat st;
  if (lstat(to.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) && (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0)) {
    return Fail(ERROR_ACCESS_DENIED, false);
  }
  // A new link under a temporary name, renamed over the target.
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = FolderOf(to) + "/.~link";
    std::uint64_t r = RandomWord();
    for (int i = 0; i < 10; ++i, r /= 36) temp += kDigits[r % 36];
    if (symlink(text.data(), temp.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return Fail(WriteError(errno), false);
    }
    if (rename(temp.c_str(), to.c_str()) != 0) {
      int err = errno;
      unlink(temp.c_str());
      return Fail(err == EISDIR ? ERROR_ACCESS_DENIED : VormErrorFromErrno(err), false);
    }
    return true;
  }
  return Fail(ERROR_FILE_EXISTS, false);
}

BOOL Copy(const wchar_t* existingFileName, const wchar_t* newFileName, DWORD flags) {
  return Guarded(FALSE, [&] {
    std::string from, to;
    if (!ToNative(existingFileName, from) || !ToNative(newFileName, to)) return FALSE;
    const bool failIfExists = (flags & COPY_FILE_FAIL_IF_EXISTS) != 0;
    bool ok;
    struct stat st;
    if ((flags & COPY_FILE_COPY_SYMLINK) && lstat(from.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
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

BOOL CopyFileExW(const wchar_t* existingFileName, const wchar_t* newFileName, void* /*progressRoutine*/,
                 void* /*data*/, BOOL* /*cancel*/, DWORD copyFlags) {
  return Copy(existingFileName, newFileName, copyFlags);
}
