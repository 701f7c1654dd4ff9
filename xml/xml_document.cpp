// VormXml: the document object, loading, saving and the parse-error report.
#include <atomic>
#include <cstring>
#include <cwchar>
#include <new>

#include <vorm/file_stream.h>
#include <vorm/platform/files.h>
#include <vorm/platform/user.h>
#include <vorm/platform/version.h>
#include <vorm/platform/window.h>
#include <vorm/xml.h>

#include "xml_internal.h"

namespace VormXml_details {

void PumpUntilComplete(IXMLDOMDocument2Ptr document, bool stopOnFailure) {
  MSG msg;
  for (;;) {
    LONG state = 0;
    if (stopOnFailure) {
      if (!document || FAILED(document->get_readyState(&state))) break;
    } else {
      state = document->GetreadyState();
    }
    if (state == 4) break;
    if (GetMessageW(&msg, nullptr, 0, 0) == -1) break;
    DispatchMessageW(&msg);
  }
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    // Taking a quit request out of the queue here would end nothing and leave the
    // caller's own message loop running forever.
    if (msg.message == WM_QUIT) break;
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) break;
    DispatchMessageW(&msg);
  }
}

CString LocalTimeText(__time64_t time, const wchar_t* format) {
  struct tm local;
  if (!format || _localtime64_s(&local, &time) != 0) return CString();
  wchar_t buffer[128];
  const size_t length = std::wcsftime(buffer, sizeof buffer / sizeof buffer[0], format, &local);
  return length == 0 ? CString() : CString(buffer, static_cast<int>(length));
}

}  // namespace VormXml_details

VormXml::VormXml(const CString& fileName, bool async, bool useStream, bool useFileStream)
    : m_bAsync(async), m_bUseStream(useStream), m_bUseFileStream(useFileStream), m_FileName(fileName) {
  CreateDocument();
}

VormXml::~VormXml() = default;

HRESULT VormXml::CreateDocument() {
  CoInitialize(nullptr);  // counted per thread; never undone here
  m_pDoc = nullptr;
  IUnknown* unknown = nullptr;
  HRESULT hr =
      CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&unknown));
  if (FAILED(hr)) return hr;
  hr = OleRun(unknown);  // the context allows out-of-process servers, which must be running
  if (SUCCEEDED(hr)) hr = unknown->QueryInterface(IID_IXMLDOMDocument2, reinterpret_cast<void**>(&m_pDoc));
  unknown->Release();
  return hr;
}

IXMLDOMDocument2Ptr VormXml::GetDocument() const { return m_pDoc; }

CString VormXml::GetFileName() const { return m_FileName; }

LONG VormXml::Load() {
  if (m_FileName.IsEmpty()) return 0;
  if (!m_bUseStream) return m_bAsync ? LoadAsync(m_pDoc, m_FileName) : LoadSync(m_pDoc, m_FileName);
  IStreamPtr stream;
  if (m_bUseFileStream) {
    auto* file = new (std::nothrow) VormFileStream;
    if (!file) return E_FAIL;
    stream.Attach(file);  // takes the creation reference; the stream closes the file when released
    if (!file->Open(m_FileName, true)) return E_FAIL;
  } else {
    const HRESULT hr = OpenStream(m_FileName, &stream);
    if (hr != 0) return hr;
  }
  return LoadFromStream(m_pDoc, stream);
}

LONG VormXml::Load(const CString& fileName, bool async, bool useStream, bool useFileStream) {
  m_FileName = fileName;
  m_bAsync = async;
  m_bUseStream = useStream;
  m_bUseFileStream = useFileStream;
  return Load();
}

HRESULT VormXml::Save(const CString& fileName) {
  if (fileName.IsEmpty()) return 0;
  return Save(m_pDoc, fileName);
}

HRESULT VormXml::Save(IXMLDOMDocument2Ptr document, const wchar_t* fileName) {
  return document->save(_variant_t(fileName));
}

namespace {

LONG LoadByName(IXMLDOMDocument2Ptr document, const wchar_t* fileName, bool async) {
  document->Putasync(async ? VARIANT_TRUE : VARIANT_FALSE);
  if (document->load(_variant_t(fileName)) && async) VormXml::WaitForReadyState(document);
  // A rejected load (missing file, parse error) is reported and returned like any other:
  // answering 0 would tell the caller that it worked.
  return VormXml::CheckParseError(document);
}

}  // namespace

LONG VormXml::LoadAsync(IXMLDOMDocument2Ptr document, const wchar_t* fileName) {
  return LoadByName(document, fileName, true);
}

LONG VormXml::LoadSync(IXMLDOMDocument2Ptr document, const wchar_t* fileName) {
  return LoadByName(document, fileName, false);
}

LONG VormXml::LoadFromStream(IXMLDOMDocument2Ptr document, IStream* stream) {
  IPersistStreamInitPtr persist(document);
  if (!persist) return 0;
  const HRESULT hr = persist->Load(stream);
  if (hr != 0) return hr;
  WaitForReadyState(document);
  return CheckParseError(document);
}

HRESULT VormXml::OpenStream(const wchar_t* fileName, IStream** stream) {
  if (!fileName || !stream) return E_POINTER;
  if (std::wcsncmp(fileName, L"http:", 5) == 0) return URLOpenBlockingStreamW(nullptr, fileName, 0, nullptr, stream);
  wchar_t full[MAX_PATH];
  const DWORD length = GetFullPathNameW(fileName, MAX_PATH, full, nullptr);
  // A name that does not fit would otherwise reach the URL moniker as whatever the buffer held.
  if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
  if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  return URLOpenBlockingStreamW(nullptr, full, 0, nullptr, stream);
}

void VormXml::WaitForReadyState(IXMLDOMDocument2Ptr document) { VormXml_details::PumpUntilComplete(document, false); }

LONG VormXml::CheckParseError(IXMLDOMDocument2Ptr document) {
  IXMLDOMParseErrorPtr error = document->GetparseError();
  if (!error) return E_FAIL;
  const LONG code = error->GeterrorCode();
  if (code != 0) ReportParseError(error);
  return code;
}

void VormXml::ReportParseError(IXMLDOMParseErrorPtr error) {
  const LONG line = error->Getline();
  const LONG position = error->Getlinepos();
  const _bstr_t reason = error->Getreason();
  const _bstr_t url = error->Geturl();
  CString text;
  if (line > 0)
    text.Format(L"Error on line %d, position %d in \"%s\".\n", line, position,
                !url ? L"" : static_cast<const wchar_t*>(url));
  MessageBoxW(nullptr, text, !reason ? L"" : static_cast<const wchar_t*>(reason), MB_OK);
}

HRESULT VormXml::SaveToMemory(IXMLDOMDocument2Ptr document, BYTE** data, ULONG* size) {
  if (!data || !size) return E_POINTER;
  IStreamPtr stream;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  if (FAILED(hr)) return hr;
  IPersistStreamInitPtr persist(document);
  if (!persist) return 0;
  hr = persist->Save(stream, TRUE);
  if (hr != 0) return hr;
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  ULARGE_INTEGER end;
  hr = stream->Seek(zero, STREAM_SEEK_CUR, &end);
  if (FAILED(hr)) return hr;
  *size = end.LowPart;
  BYTE* buffer = new (std::nothrow) BYTE[*size];
  if (!buffer) return E_OUTOFMEMORY;
  *data = buffer;
  HGLOBAL block = nullptr;
  hr = GetHGlobalFromStream(stream, &block);
  if (SUCCEEDED(hr) && *size > 0) {
    const void* bytes = GlobalLock(block);
    if (bytes) std::memcpy(buffer, bytes, *size);
    GlobalUnlock(block);
  }
  return hr;
}

HRESULT VormXml::LoadFromMemory(IXMLDOMDocument2Ptr document, const BYTE* data, ULONG size) {
  IStreamPtr stream;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  if (FAILED(hr)) return hr;
  ULONG written = 0;
  stream->Write(data, size, &written);  // a failed write leaves nothing to parse: a parse error below
  LARGE_INTEGER start;
  start.QuadPart = 0;
  hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
  if (FAILED(hr)) return hr;
  IPersistStreamInitPtr persist(document);
  if (!persist) return 0;
  hr = persist->Load(stream);
  if (hr != 0) return hr;
  // Bytes that do not parse are a failure, not a silent empty document.
  return document->GetparseError()->GeterrorCode();
}

BOOL VormXml::IsWindowsXPOrLater() {
  static std::atomic<int> cached{-1};  // two threads may both compute it; they agree
  const int known = cached.load();
  if (known != -1) return known;
  OSVERSIONINFOW info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExW(&info);
  const int answer = info.dwMajorVersion == 5 ? (info.dwMinorVersion != 0 ? 1 : 0) : (info.dwMajorVersion > 5 ? 1 : 0);
  cached.store(answer);
  return answer;
}
