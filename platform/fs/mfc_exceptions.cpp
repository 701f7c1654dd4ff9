// The platform's exception classes: CException, CFileException and its classification of
// system error codes into causes.
#include <cwchar>
#include <string>

#include <vorm/platform/mfc_file.h>

namespace {

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

}  // namespace

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
