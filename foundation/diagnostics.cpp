// Debugger output, LOG lines, error texts and boxes, the HKEY_LOCAL_MACHINE reader.
#include <vorm/diagnostics.h>

#include <cstdarg>
#include <mutex>
#include <set>
#include <string>

#include <vorm/platform/kernel.h>
#include <vorm/platform/registry.h>
#include <vorm/platform/text.h>
#include <vorm/platform/user.h>

const wchar_t* const VormHeapDebugFlagNames[4] = {
    L"SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags",
    L"DoHeapCheck",
    L"DoCheckMemory",
    L"AlwaysBreakInVormAssert",
};

namespace VormDiagnostics_details {

// Buffer sizes of the two debugger texts, terminator included.
constexpr size_t kLogMessageChars = 1024;
constexpr size_t kDebugPrintChars = 2048;
// The LOG line puts the thread field in columns 99..110 whenever the header leaves room.
constexpr size_t kThreadFieldEnd = 110;
constexpr size_t kThreadFieldChars = 12;

// The COM error sites whose box was switched off ("<file>#<line>"). Several threads may
// show boxes at once, so the set is guarded; the box itself is shown outside the lock.
class SuppressedSites {
 public:
  bool Contains(const std::wstring& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return keys_.count(key) != 0;
  }
  void Add(std::wstring key) {
    std::lock_guard<std::mutex> lock(mutex_);
    keys_.insert(std::move(key));
  }

 private:
  std::mutex mutex_;
  std::set<std::wstring> keys_;
};

// Made on the first COM error box, destroyed when the process exits.
SuppressedSites& Sites() {
  static SuppressedSites sites;
  return sites;
}

// Opens HKEY_LOCAL_MACHINE\<subkey> for reading and queries one value; the out-parameters
// are whatever RegQueryValueExW leaves in them. TRUE only when both calls succeed.
BOOL VormReadRegistryValue(const CString& subkey, CString valueName, DWORD* type, BYTE* data, DWORD* dataSize) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return FALSE;
  const LONG result = RegQueryValueExW(key, valueName, nullptr, type, data, dataSize);
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

}  // namespace VormDiagnostics_details

using namespace VormDiagnostics_details;

void VormDebugPrint(const wchar_t* format, ...) {
  // Zero-filled, so a text cut at the last-but-one character is still terminated.
  wchar_t text[kDebugPrintChars] = {};
  va_list args;
  va_start(args, format);
  _vsnwprintf(text, kDebugPrintChars - 1, format, args);
  va_end(args);
  OutputDebugStringW(text);
}

void VormDebugNoop(...) {}

void VormLog(const wchar_t* file, int line, const wchar_t* format, ...) {
  wchar_t message[kLogMessageChars] = {};
  va_list args;
  va_start(args, format);
  _vsnwprintf(message, kLogMessageChars - 1, format, args);
  va_end(args);

  std::wstring text = VormFormat(L"%s(%d): LOG ", file, line);
  // Full stops fill up to the thread field when the header leaves room for it.
  if (text.size() + kThreadFieldChars <= kThreadFieldEnd) {
    text.append(kThreadFieldEnd - kThreadFieldChars - text.size(), L'.');
  }
  text += VormFormat(L"TID=%8.8X", static_cast<unsigned>(GetCurrentThreadId()));
  text += L' ';
  text += message;
  text += L'\n';
  OutputDebugStringW(text.c_str());
}

CString VormSystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                 code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  CString text;
  if (buffer) {
    text = buffer;
    LocalFree(buffer);
  }
  return text;
}

CString VormComErrorText(const _com_error& error) {
  if (IErrorInfo* info = error.ErrorInfo()) {
    BSTR description = nullptr;
    const HRESULT hr = info->GetDescription(&description);
    info->Release();
    CString text(SUCCEEDED(hr) ? description : nullptr);
    SysFreeString(description);
    if (!text.IsEmpty()) return text;
  }
  return VormSystemErrorText(static_cast<DWORD>(error.Error()));
}

int VormSystemErrorBox(DWORD code) { return MessageBoxW(nullptr, VormSystemErrorText(code), L"", MB_OKCANCEL); }

int VormComErrorBox(const _com_error& error, const wchar_t* file, int line) {
  SuppressedSites& sites = Sites();
  std::wstring key = VormFormat(L"%s#%d", file, line);
  if (sites.Contains(key)) return IDOK;
  const int answer = MessageBoxW(nullptr, VormComErrorText(error), L"", MB_OKCANCEL);
  if (answer == IDOK && GetAsyncKeyState(VK_SHIFT) < 0) sites.Add(std::move(key));
  return answer;
}

BOOL VormReadRegistryDword(const CString& subkey, CString valueName, DWORD* value) {
  // A null buffer would turn the query into a size query that "succeeds" without reading.
  if (!value) return FALSE;
  DWORD type = REG_DWORD;
  DWORD size = sizeof(DWORD);
  return VormReadRegistryValue(subkey, std::move(valueName), &type, reinterpret_cast<BYTE*>(value), &size);
}
