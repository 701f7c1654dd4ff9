// The platform's file classes over POSIX descriptors and C streams: CFile opens through the
// layer's one open function (OpenFile, the one CreateFileW uses), CStdioFile adds a C stream.
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include <unistd.h>

#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/mfc_file.h>
#include <vorm/platform/text.h>

#include "platform/fs/fs_internal.h"
#include "platform/fs/sys_calls.h"

using namespace VormFiles_details;
using VormLastError_details::Fail;

namespace {

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

}  // namespace

CFile::CFile(const wchar_t* fileName, UINT openFlags) {
  CFileException error;
  if (!Open(fileName, openFlags, &error)) AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
}

CFile::~CFile() {
  if (m_fd >= 0) Sys::Close(m_fd);
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
  const UINT access = openFlags & 0x3;
  const UINT share = openFlags & 0x70;
  if (access == 0x3 || share > shareDenyNone) {
    osError = ERROR_INVALID_PARAMETER;
    return -1;
  }
  OpenRequest request;
  request.read = access != modeWrite;
  request.write = access != modeRead;
  request.disposition = !(openFlags & modeCreate)           ? OPEN_EXISTING
                        : (openFlags & modeNoTruncate) != 0 ? OPEN_ALWAYS
                                                            : CREATE_ALWAYS;
  request.share =
      (share == shareCompat || share == shareExclusive) ? OpenRequest::Share::Exclusive : OpenRequest::Share::Shared;
  const OpenResult opened = OpenFile(native, request);
  osError = opened.error;
  return opened.fd;
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
  if (fd >= 0 && Sys::Close(fd) != 0) {
    DWORD code = VormErrorFromErrno(errno);
    AfxThrowFileException(CFileException::OsErrorToException(static_cast<LONG>(code)), static_cast<LONG>(code), name);
  }
}

void CFile::Abort() {
  if (m_fd >= 0) Sys::Close(m_fd);
  m_fd = -1;
  m_strFileName.Empty();
}

UINT CFile::Read(void* buffer, UINT count) {
  if (m_fd < 0) ThrowErrno(EBADF);
  if (count == 0) return 0;
  if (!buffer) ThrowErrno(EINVAL);
  const ssize_t n = Sys::Read(m_fd, buffer, count);
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
    const ssize_t n = Sys::Write(m_fd, p, left);
    if (n < 0) ThrowErrno(errno);
    p += n;
    left -= static_cast<size_t>(n);
  }
}

void CFile::Flush() {
  if (m_fd < 0) return;
  if (Sys::Sync(m_fd) != 0 && errno != EINVAL && errno != EROFS) ThrowErrno(errno);
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
  if (Sys::StatFd(m_fd, st) != 0) ThrowErrno(errno);
  return static_cast<ULONGLONG>(st.st_size);
}

void CFile::SetLength(ULONGLONG length) {
  if (m_fd < 0) ThrowErrno(EBADF);
  if (Sys::Truncate(m_fd, static_cast<off_t>(length)) != 0) ThrowErrno(errno);
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
    Sys::Close(fd);
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
