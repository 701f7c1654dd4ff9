// The platform's file classes over POSIX descriptors and C streams.
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/mfc_file.h>
#include <vorm/platform/text.h>

#include "platform/fs/fs_internal.h"

using namespace VormFiles_details;
using VormLastError_details::Fail;

namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr long long kUnixEpochAsFileTime = 116444736000000000LL;
constexpr long long kTicksPerSecond = 10000000LL;
// Latest time the platform's time functions convert (3000-12-31 23:59:59 UTC).
constexpr __time64_t kMaxTime = 32535215999LL;

struct CauseEntry {
  DWORD code;
  int cause;
};

// The platform's classification of system error codes into file-exception causes.
constexpr CauseEntry kCauses[] = {
    {ERROR_FILE_NOT_FOUND, CFileException::fileNotFound},
    {ERROR_PATH_NOT_FOUND, CFileException::badPath},
    {ERROR_TOO_MANY_OPEN_FILES, CFileException::tooManyOpenFiles},
    {ERROR_ACCESS_DENIED, CFileException::accessDenied},
    {ERROR_INVALID_HANDLE, CFileException::fileNotFound},
    {ERROR_INVALID_DRIVE, CFileException::badPath},
    {ERROR_CURRENT_DIRECTORY, CFileException::removeCurrentDir},
    {ERROR_NOT_SAME_DEVICE, CFileException::badPath},
    {ERROR_NO_MORE_FILES, CFileException::fileNotFound},
    {ERROR_WRITE_PROTECT, CFileException::accessDenied},
    {ERROR_NOT_READY, CFileException::hardIO},
    {ERROR_SEEK, CFileException::badSeek},
    {ERROR_WRITE_FAULT, CFileException::accessDenied},
    {ERROR_READ_FAULT, CFileException::badSeek},
    {ERROR_SHARING_VIOLATION, CFileException::sharingViolation},
    {ERROR_LOCK_VIOLATION, CFileException::lockViolation},
    {ERROR_HANDLE_EOF, CFileException::endOfFile},
    {ERROR_HANDLE_DISK_FULL, CFileException::diskFull},
    {ERROR_FILE_EXISTS, CFileException::accessDenied},
    {ERROR_CANNOT_MAKE, CFileException::accessDenied},
    {ERROR_BUFFER_OVERFLOW, CFileException::badPath},
    {ERROR_DISK_FULL, CFileException::diskFull},
    {ERROR_INVALID_NAME, CFileException::badPath},
    {ERROR_NEGATIVE_SEEK, CFileException::badSeek},
    {ERROR_DIR_NOT_EMPTY, CFileException::removeCurrentDir},
    {ERROR_BAD_PATHNAME, CFileException::badPath},
    {ERROR_BUSY, CFileException::accessDenied},
    {ERROR_ALREADY_EXISTS, CFileException::accessDenied},
    {ERROR_FILENAME_EXCED_RANGE, CFileException::badPath},
    {ERROR_DIRECTORY, CFileException::badPath},
    {ERROR_OPERATION_ABORTED, CFileException::hardIO},
};

bool IsSep(wchar_t c) { return c == L'/' || c == L'\\'; }

// Absolute form of `name` as CFile::GetStatus reports it (see the header).
std::wstring FullName(const wchar_t* name) {
  std::wstring whole;
  if (!IsSep(name[0])) {
    std::vector<char> cwd(4096);
    while (!getcwd(cwd.data(), cwd.size())) {
      if (errno != ERANGE || cwd.size() > (1u << 20)) return std::wstring();
      cwd.resize(cwd.size() * 2);
    }
    whole = VormFromOsPath(cwd.data());
    whole += L'/';
  }
  whole += name;
  std::vector<std::wstring> parts;
  size_t i = 0;
  while (i < whole.size()) {
    while (i < whole.size() && IsSep(whole[i])) ++i;
    size_t start = i;
    while (i < whole.size() && !IsSep(whole[i])) ++i;
    std::wstring part = whole.substr(start, i - start);
    if (part.empty() || part == L".") continue;
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(part));
  }
  std::wstring out;
  for (const std::wstring& p : parts) {
    out += L'/';
    out += p;
  }
  return out.empty() ? std::wstring(L"/") : out;
}

bool GetLocalTm(__time64_t t, struct tm& out) { return _localtime64_s(&out, &t) == 0; }

bool GetGmtTm(__time64_t t, struct tm& out) {
  if (t < 0 || t > kMaxTime) return false;
  time_t tt = static_cast<time_t>(t);
  return gmtime_r(&tt, &out) != nullptr;
}

// strftime with the platform's '#' flag (numbers without leading zeros).
CString FormatTm(const struct tm& tm, const wchar_t* format) {
  if (!format) return CString();
  static const wchar_t kKnown[] = L"aAbBcdHIjmMpSUwWxXyYzZCDeFgGhnrRtTuV";
  static const wchar_t kNumeric[] = L"dHIjmMSUwWyY";
  std::wstring out;
  for (const wchar_t* p = format; *p; ++p) {
    if (*p != L'%') {
      out += *p;
      continue;
    }
    const wchar_t* start = p;
    bool alt = false;
    if (p[1] == L'#') {
      alt = true;
      ++p;
    }
    wchar_t c = p[1];
    if (c == L'%') {
      out += L'%';
      ++p;
      continue;
    }
    if (c == L'\0' || !std::wcschr(kKnown, c)) {
      // Not a conversion: copied as written.
      out.append(start, static_cast<size_t>(p - start) + 1);
      continue;
    }
    ++p;
    wchar_t conversion[3] = {L'%', c, L'\0'};
    wchar_t buf[128];
    size_t n = std::wcsftime(buf, sizeof buf / sizeof buf[0], conversion, &tm);
    std::wstring piece(buf, n);
    if (alt && std::wcschr(kNumeric, c)) {
      size_t zeros = 0;
      while (zeros + 1 < piece.size() && piece[zeros] == L'0') ++zeros;
      piece.erase(0, zeros);
    }
    out += piece;
  }
  return CString(std::move(out));
}

const wchar_t* CauseText(int cause) {
  switch (cause) {
    case CFileException::none: return L"No error occurred";
    case CFileException::fileNotFound: return L"was not found";
    case CFileException::badPath: return L"contains an invalid path";
    case CFileException::tooManyOpenFiles: return L"could not be opened because there are too many open files";
    case CFileException::accessDenied: return L"could not be accessed: access was denied";
    case CFileException::invalidFile: return L"is not a valid file";
    case CFileException::removeCurrentDir: return L"could not be removed because it is the current folder";
    case CFileException::directoryFull: return L"could not be created because the folder is full";
    case CFileException::badSeek: return L"could not be positioned";
    case CFileException::hardIO: return L"met a hardware I/O error";
    case CFileException::sharingViolation: return L"could not be accessed: it is in use";
    case CFileException::lockViolation: return L"could not be accessed: a part of it is locked";
    case CFileException::diskFull: return L"could not be written: the disk is full";
    case CFileException::endOfFile: return L"ended unexpectedly";
    default: return L"met an unexpected error";
  }
}

bool CopyOut(const std::wstring& text, wchar_t* buffer, UINT maxChars) {
  if (!buffer || maxChars == 0) return false;
  size_t n = text.size() < maxChars - 1 ? text.size() : maxChars - 1;
  std::wmemcpy(buffer, text.data(), n);
  buffer[n] = L'\0';
  return !text.empty();
}

int CloseRetrying(int fd) {
  // close() must not be retried on EINTR on Linux: the descriptor is gone either way.
  int r = close(fd);
  return (r != 0 && errno == EINTR) ? 0 : r;
}

}  // namespace

// ---- exceptions -------------------------------------------------------------------------

void CException::Delete() {
  if (m_bAutoDelete) delete this;
}

BOOL CException::GetErrorMessage(wchar_t* buffer, UINT maxChars, UINT* helpContext) const {
  if (helpContext) *helpContext = 0;
  if (buffer && maxChars > 0) buffer[0] = L'\0';
  return FALSE;
}

int CFileException::OsErrorToException(LONG osError) {
  for (const CauseEntry& e : kCauses) {
    if (static_cast<LONG>(e.code) == osError) return e.cause;
  }
  return genericException;
}

void CFileException::ThrowOsError(LONG osError, const wchar_t* fileName) {
  if (osError != 0) AfxThrowFileException(OsErrorToException(osError), osError, fileName);
}

BOOL CFileException::GetErrorMessage(wchar_t* buffer, UINT maxChars, UINT* helpContext) const {
  if (helpContext) *helpContext = 0;
  std::wstring text = m_strFileName.IsEmpty() ? std::wstring(L"An unnamed file") : m_strFileName.str();
  text += L' ';
  text += CauseText(m_cause);
  text += L'.';
  return CopyOut(text, buffer, maxChars) ? TRUE : FALSE;
}

void AfxThrowFileException(int cause, LONG osError, const wchar_t* fileName) {
  throw new CFileException(cause, osError, fileName);
}

// ---- CTime --------------------------------------------------------------------------------

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int dst) {
  struct tm tm {};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = dst < 0 ? -1 : (dst > 0 ? 1 : 0);
  time_t t = mktime(&tm);
  m_time = t == static_cast<time_t>(-1) ? 0 : static_cast<__time64_t>(t);
}

CTime::CTime(const FILETIME& fileTime) {
  long long ticks = static_cast<long long>((static_cast<ULONGLONG>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime);
  if (ticks == 0) return;  // "not set" stays not set
  long long since = ticks - kUnixEpochAsFileTime;
  long long seconds = since / kTicksPerSecond;
  if (since % kTicksPerSecond < 0) --seconds;  // round down before 1970
  m_time = seconds;
}

CTime CTime::GetCurrentTime() { return CTime(_time64(nullptr)); }

namespace {
int LocalPart(__time64_t t, int tm::*field, int offset) {
  struct tm tm;
  return GetLocalTm(t, tm) ? tm.*field + offset : 0;
}
}  // namespace

int CTime::GetYear() const { return LocalPart(m_time, &tm::tm_year, 1900); }
int CTime::GetMonth() const { return LocalPart(m_time, &tm::tm_mon, 1); }
int CTime::GetDay() const { return LocalPart(m_time, &tm::tm_mday, 0); }
int CTime::GetHour() const { return LocalPart(m_time, &tm::tm_hour, 0); }
int CTime::GetMinute() const { return LocalPart(m_time, &tm::tm_min, 0); }
int CTime::GetSecond() const { return LocalPart(m_time, &tm::tm_sec, 0); }
int CTime::GetDayOfWeek() const { return LocalPart(m_time, &tm::tm_wday, 1); }

CString CTime::Format(const wchar_t* format) const {
  struct tm tm;
  return GetLocalTm(m_time, tm) ? FormatTm(tm, format) : CString();
}

CString CTime::FormatGmt(const wchar_t* format) const {
  struct tm tm;
  return GetGmtTm(m_time, tm) ? FormatTm(tm, format) : CString();
}

// ---- CFile --------------------------------------------------------------------------------

CFile::CFile(const wchar_t* fileName, UINT openFlags) {
  CFileException error;
  if (!Open(fileName, openFlags, &error)) AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CFile::~CFile() {
  if (m_fd >= 0) CloseRetrying(m_fd);
}

void CFile::FillException(CFileException* error, DWORD osError, const wchar_t* fileName) {
  SetLastError(osError);
  if (!error) return;
  error->m_lOsError = static_cast<LONG>(osError);
  error->m_cause = CFileException::OsErrorToException(error->m_lOsError);
  error->m_strFileName = fileName;
}

void CFile::ThrowErrno(int err) const {
  DWORD code = VormErrorFromErrno(err);
  AfxThrowFileException(CFileException::OsErrorToException(static_cast<LONG>(code)), static_cast<LONG>(code),
                        m_strFileName);
}

int CFile::OpenDescriptor(const wchar_t* fileName, UINT openFlags, DWORD& osError) {
  std::string native;
  if (!ToNative(fileName, native)) {
    osError = GetLastError();
    return -1;
  }
  UINT access = openFlags & 0x3;
  UINT share = openFlags & 0x70;
  if (access == 0x3 || share > shareDenyNone) {
    osError = ERROR_INVALID_PARAMETER;
    return -1;
  }
  bool wantWrite = access != modeRead;
  bool create = (openFlags & modeCreate) != 0;
  bool truncate = create && (openFlags & modeNoTruncate) == 0;

  // The existing entry decides the folder case and the read-only attribute, which the OS
  // would not apply to a privileged process.
  struct stat st;
  if (stat(native.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode) || ((st.st_mode & S_IWUSR) == 0 && (wantWrite || truncate))) {
      osError = ERROR_ACCESS_DENIED;
      return -1;
    }
  }

  int flags = (access == modeRead ? O_RDONLY : access == modeWrite ? O_WRONLY : O_RDWR) | O_CLOEXEC | O_NOCTTY;
  if (create) flags |= O_CREAT;
  int fd;
  do {
    fd = open(native.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    osError = ErrorForPath(errno, native);
    return -1;
  }
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    CloseRetrying(fd);
    osError = ERROR_ACCESS_DENIED;
    return -1;
  }

  // Sharing, before anything is truncated: an exclusive open conflicts with every other
  // open, the others only with an exclusive one. File systems without locks open unshared.
  int lockOp = (share == shareCompat || share == shareExclusive) ? LOCK_EX : LOCK_SH;
  int r;
  do {
    r = flock(fd, lockOp | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0 && errno == EWOULDBLOCK) {
    CloseRetrying(fd);
    osError = ERROR_SHARING_VIOLATION;
    return -1;
  }

  if (truncate) {
    int t = wantWrite ? ftruncate(fd, 0) : ::truncate(native.c_str(), 0);
    if (t != 0) {
      int err = errno;
      CloseRetrying(fd);
      osError = VormErrorFromErrno(err);
      return -1;
    }
  }
  osError = ERROR_SUCCESS;
  return fd;
}

BOOL CFile::Open(const wchar_t* fileName, UINT openFlags, CFileException* error) {
  if (m_fd >= 0) Abort();
  DWORD osError = ERROR_SUCCESS;
  int fd = OpenDescriptor(fileName, openFlags & ~static_cast<UINT>(typeText | typeBinary), osError);
  if (fd < 0) {
    FillException(error, osError, fileName);
    return FALSE;
  }
  m_fd = fd;
  m_strFileName = fileName;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

void CFile::Close() {
  int fd = m_fd;
  m_fd = -1;
  CString name = m_strFileName;
  m_strFileName.Empty();
  if (fd >= 0 && CloseRetrying(fd) != 0) {
    DWORD code = VormErrorFromErrno(errno);
    AfxThrowFileException(CFileException::OsErrorToException(static_cast<LONG>(code)), static_cast<LONG>(code), name);
  }
}

void CFile::Abort() {
  if (m_fd >= 0) CloseRetrying(m_fd);
  m_fd = -1;
  m_strFileName.Empty();
}

UINT CFile::Read(void* buffer, UINT count) {
  if (m_fd < 0) ThrowErrno(EBADF);
  if (count == 0) return 0;
  if (!buffer) ThrowErrno(EINVAL);
  ssize_t n;
  do {
    n = read(m_fd, buffer, count);
  } while (n < 0 && errno == EINTR);
  if (n < 0) ThrowErrno(errno);
  return static_cast<UINT>(n);
}

void CFile::Write(const void* buffer, UINT count) {
  if (m_fd < 0) ThrowErrno(EBADF);
  if (count == 0) return;
  if (!buffer) ThrowErrno(EINVAL);
  const char* p = static_cast<const char*>(buffer);
  size_t left = count;
  while (left > 0) {
    ssize_t n = write(m_fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno);
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
}

void CFile::Flush() {
  if (m_fd < 0) return;
  if (fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS) ThrowErrno(errno);
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
  if (m_fd < 0) ThrowErrno(EBADF);
  if (from > end) ThrowErrno(EINVAL);
  int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
  off_t pos = lseek(m_fd, static_cast<off_t>(offset), whence);
  if (pos < 0) {
    if (errno == EINVAL) {
      AfxThrowFileException(CFileException::badSeek, static_cast<LONG>(ERROR_NEGATIVE_SEEK), m_strFileName);
    }
    ThrowErrno(errno);
  }
  return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetPosition() const {
  if (m_fd < 0) ThrowErrno(EBADF);
  off_t pos = lseek(m_fd, 0, SEEK_CUR);
  if (pos < 0) ThrowErrno(errno);
  return static_cast<ULONGLONG>(pos);
}

ULONGLONG CFile::GetLength() const {
  if (m_fd < 0) ThrowErrno(EBADF);
  struct stat st;
  if (fstat(m_fd, &st) != 0) ThrowErrno(errno);
  return static_cast<ULONGLONG>(st.st_size);
}

void CFile::SetLength(ULONGLONG length) {
  if (m_fd < 0) ThrowErrno(EBADF);
  if (ftruncate(m_fd, static_cast<off_t>(length)) != 0) ThrowErrno(errno);
}

CString CFile::GetFileName() const {
  const std::wstring& s = m_strFileName.str();
  size_t cut = s.find_last_of(L"/\\");
  return CString(cut == std::wstring::npos ? s : s.substr(cut + 1));
}

CString CFile::GetFileTitle() const {
  CString name = GetFileName();
  int dot = name.ReverseFind(L'.');
  return dot > 0 ? name.Left(dot) : name;
}

BOOL CFile::GetStatus(CFileStatus& status) const {
  if (m_strFileName.IsEmpty()) return FALSE;
  return GetStatus(m_strFileName, status);
}

BOOL CFile::GetStatus(const wchar_t* fileName, CFileStatus& status) {
  status.m_szFullName[0] = L'\0';
  if (!fileName || !*fileName) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    std::wstring full = FullName(fileName);
    if (full.empty()) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    if (full.size() >= MAX_PATH) return Fail(ERROR_FILENAME_EXCED_RANGE, FALSE);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    // The platform resolves a name before it looks for the file: "a/x/../f" is "a/f" even
    // when "x" does not exist.
    if (!GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &data)) return FALSE;
    std::wmemcpy(status.m_szFullName, full.c_str(), full.size() + 1);
    status.m_attribute = static_cast<BYTE>(data.dwFileAttributes & ~FILE_ATTRIBUTE_NORMAL);
    status.m_size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    status.m_mtime = CTime(data.ftLastWriteTime);
    status.m_ctime = CTime(data.ftCreationTime);
    status.m_atime = CTime(data.ftLastAccessTime);
    if (status.m_ctime.GetTime() == 0) status.m_ctime = status.m_mtime;
    if (status.m_atime.GetTime() == 0) status.m_atime = status.m_mtime;
    return TRUE;
  });
}

// ---- CStdioFile ---------------------------------------------------------------------------

CStdioFile::CStdioFile(const wchar_t* fileName, UINT openFlags) {
  CFileException error;
  if (!Open(fileName, openFlags, &error)) AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CStdioFile::~CStdioFile() {
  if (m_pStream) CloseStream(false);
}

BOOL CStdioFile::Open(const wchar_t* fileName, UINT openFlags, CFileException* error) {
  if (m_pStream) CloseStream(false);
  if (m_fd >= 0) CFile::Abort();
  if ((openFlags & 0x3) == 0x3) {
    FillException(error, ERROR_INVALID_PARAMETER, fileName);
    return FALSE;
  }

  char mode[4] = {};
  int n = 0;
  if (openFlags & modeCreate) {
    mode[n++] = (openFlags & modeNoTruncate) ? 'a' : 'w';
  } else if (openFlags & modeWrite) {
    mode[n++] = 'a';
  } else {
    mode[n++] = 'r';
  }
  bool plus = (mode[0] == 'r' && (openFlags & modeReadWrite)) || (mode[0] != 'r' && !(openFlags & modeWrite));
  if (plus) mode[n++] = '+';
  // The descriptor gets the access the stream's mode needs.
  UINT access = plus ? modeReadWrite : (mode[0] == 'r' ? modeRead : modeWrite);
  UINT flags = (openFlags & ~static_cast<UINT>(0x3 | typeText | typeBinary)) | access;

  DWORD osError = ERROR_SUCCESS;
  int fd = OpenDescriptor(fileName, flags, osError);
  if (fd < 0) {
    FillException(error, osError, fileName);
    return FALSE;
  }
  FILE* stream = fdopen(fd, mode);
  if (!stream) {
    int err = errno;
    CloseRetrying(fd);
    FillException(error, VormErrorFromErrno(err), fileName);
    return FALSE;
  }
  m_pStream = stream;
  m_fd = fd;
  m_text = (openFlags & typeBinary) == 0;
  m_pending.clear();
  m_strFileName = fileName;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

void CStdioFile::CloseStream(bool throwOnError) {
  FILE* stream = m_pStream;
  m_pStream = nullptr;
  m_fd = -1;  // owned by the stream
  m_pending.clear();
  CString name = m_strFileName;
  m_strFileName.Empty();
  if (stream && std::fclose(stream) != 0 && throwOnError) {
    DWORD code = VormErrorFromErrno(errno);
    AfxThrowFileException(CFileException::OsErrorToException(static_cast<LONG>(code)), static_cast<LONG>(code), name);
  }
}

void CStdioFile::Close() {
  if (m_pStream) {
    CloseStream(true);
  } else {
    CFile::Close();
  }
}

void CStdioFile::Abort() {
  if (m_pStream) {
    CloseStream(false);
  } else {
    CFile::Abort();
  }
}

void CStdioFile::WriteString(const wchar_t* text) {
  if (!m_pStream) ThrowErrno(EBADF);
  if (!text || !*text) return;
  std::string bytes = VormToUtf8(text);
  if (std::fwrite(bytes.data(), 1, bytes.size(), m_pStream) != bytes.size()) ThrowErrno(errno ? errno : EIO);
}

wint_t CStdioFile::NextChar() {
  if (!m_pending.empty()) {
    wchar_t c = m_pending.front();
    m_pending.erase(0, 1);
    return static_cast<wint_t>(c);
  }
  int c = std::getc(m_pStream);
  if (c == EOF) {
    if (std::ferror(m_pStream)) ThrowErrno(errno ? errno : EIO);
    return WEOF;
  }
  if (c < 0x80) {
    if (c == '\r' && m_text) {
      int next = std::getc(m_pStream);
      if (next == '\n') return L'\n';
      if (next != EOF) std::ungetc(next, m_pStream);
    }
    return static_cast<wint_t>(c);
  }
  // One UTF-8 sequence: the lead byte and the continuation bytes it announces, stopping
  // early at a byte that cannot continue it. Decoding the sequence alone gives what
  // decoding the whole text would.
  int expect = (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 1;
  std::string seq(1, static_cast<char>(c));
  while (static_cast<int>(seq.size()) < expect) {
    int d = std::getc(m_pStream);
    if (d == EOF) break;
    if ((d & 0xC0) != 0x80) {
      std::ungetc(d, m_pStream);
      break;
    }
    seq += static_cast<char>(d);
  }
  std::wstring decoded = VormFromUtf8(seq);
  if (decoded.empty()) return WEOF;
  m_pending.append(decoded, 1, std::wstring::npos);
  return static_cast<wint_t>(decoded[0]);
}

wchar_t* CStdioFile::ReadString(wchar_t* buffer, UINT maxChars) {
  if (!m_pStream) ThrowErrno(EBADF);
  if (!buffer || maxChars < 2) return nullptr;
  UINT n = 0;
  while (n + 1 < maxChars) {
    wint_t c = NextChar();
    if (c == WEOF) break;
    buffer[n++] = static_cast<wchar_t>(c);
    if (c == L'\n') break;
  }
  buffer[n] = L'\0';
  return n == 0 ? nullptr : buffer;
}

BOOL CStdioFile::ReadString(CString& line) {
  if (!m_pStream) ThrowErrno(EBADF);
  line.Empty();
  std::wstring& s = line.str();
  bool any = false;
  for (;;) {
    wint_t c = NextChar();
    if (c == WEOF) return any ? TRUE : FALSE;
    any = true;
    if (c == L'\n') return TRUE;
    s += static_cast<wchar_t>(c);
  }
}

UINT CStdioFile::Read(void* buffer, UINT count) {
  if (!m_pStream) return CFile::Read(buffer, count);
  if (count == 0) return 0;
  if (!buffer) ThrowErrno(EINVAL);
  size_t n = std::fread(buffer, 1, count, m_pStream);
  if (n < count && std::ferror(m_pStream)) ThrowErrno(errno ? errno : EIO);
  return static_cast<UINT>(n);
}

void CStdioFile::Write(const void* buffer, UINT count) {
  if (!m_pStream) {
    CFile::Write(buffer, count);
    return;
  }
  if (count == 0) return;
  if (!buffer) ThrowErrno(EINVAL);
  if (std::fwrite(buffer, 1, count, m_pStream) != count) ThrowErrno(errno ? errno : EIO);
}

void CStdioFile::Flush() {
  if (!m_pStream) return;
  if (std::fflush(m_pStream) != 0) ThrowErrno(errno ? errno : EIO);
}

ULONGLONG CStdioFile::Seek(LONGLONG offset, UINT from) {
  if (!m_pStream) return CFile::Seek(offset, from);
  if (from > end) ThrowErrno(EINVAL);
  int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
  m_pending.clear();
  if (fseeko(m_pStream, static_cast<off_t>(offset), whence) != 0) {
    if (errno == EINVAL) {
      AfxThrowFileException(CFileException::badSeek, static_cast<LONG>(ERROR_NEGATIVE_SEEK), m_strFileName);
    }
    ThrowErrno(errno);
  }
  return GetPosition();
}

ULONGLONG CStdioFile::GetPosition() const {
  if (!m_pStream) return CFile::GetPosition();
  off_t pos = ftello(m_pStream);
  if (pos < 0) ThrowErrno(errno);
  return static_cast<ULONGLONG>(pos);
}

ULONGLONG CStdioFile::GetLength() const {
  if (!m_pStream) return CFile::GetLength();
  if (std::fflush(m_pStream) != 0) ThrowErrno(errno ? errno : EIO);
  return CFile::GetLength();
}
