// VormFileStream: a read-only or write-only IStream over a file handle.
#include <cwchar>

#include <vorm/file_stream.h>
#include <vorm/platform/codepage.h>
#include <vorm/platform/files.h>
#include <vorm/platform/sync.h>

VormFileStream::VormFileStream() : m_hFile(nullptr), m_bRead(true), m_cRef(1) {}

VormFileStream::~VormFileStream() {
  if (m_hFile && m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
}

bool VormFileStream::Open(const wchar_t* name, bool forReading) {
  m_bRead = forReading;
  if (!name) return false;
  // The ANSI name must fit 99 bytes plus its terminator.
  char ansi[100];
  const int length = static_cast<int>(std::wcslen(name));
  const int bytes = length == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, name, length, ansi, 99, nullptr, nullptr);
  if (length > 0 && bytes == 0) return false;
  ansi[bytes] = '\0';
  if (m_hFile && m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);  // a second Open replaces the first
  m_hFile = CreateFileA(ansi, forReading ? GENERIC_READ : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        forReading ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return m_hFile != INVALID_HANDLE_VALUE;
}

HRESULT VormFileStream::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IStream) {
    *object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG VormFileStream::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

ULONG VormFileStream::Release() {
  const LONG left = InterlockedDecrement(&m_cRef);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT VormFileStream::Read(void* pv, ULONG cb, ULONG* read) {
  if (!m_bRead) return E_FAIL;
  DWORD got = 0;
  const BOOL ok = ReadFile(m_hFile, pv, cb, &got, nullptr);
  if (read) *read = got;
  if (!ok) return E_FAIL;
  return got == 0 ? S_FALSE : S_OK;
}

HRESULT VormFileStream::Write(const void* pv, ULONG cb, ULONG* written) {
  if (m_bRead) return E_FAIL;
  DWORD done = 0;
  const BOOL ok = WriteFile(m_hFile, pv, cb, &done, nullptr);
  if (written) *written = done;
  return ok ? S_OK : E_FAIL;
}

HRESULT VormFileStream::Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) { return E_FAIL; }
HRESULT VormFileStream::SetSize(ULARGE_INTEGER) { return E_FAIL; }
HRESULT VormFileStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) { return E_FAIL; }
HRESULT VormFileStream::Commit(DWORD) { return E_FAIL; }
HRESULT VormFileStream::Revert() { return E_FAIL; }
HRESULT VormFileStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_FAIL; }
HRESULT VormFileStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_FAIL; }
HRESULT VormFileStream::Stat(STATSTG*, DWORD) { return E_FAIL; }
HRESULT VormFileStream::Clone(IStream**) { return E_FAIL; }
