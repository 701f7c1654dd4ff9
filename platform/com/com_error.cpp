// _com_error and the compiler support's error hook.
#include <cwchar>

#include <vorm/platform/com.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>

_com_error::_com_error(HRESULT hr, IErrorInfo* info, bool addRef) noexcept : hr_(hr), info_(info) {
  if (info_ && addRef) info_->AddRef();
}

_com_error::_com_error(const _com_error& other) noexcept : hr_(other.hr_), info_(other.info_) {
  if (info_) info_->AddRef();
}

_com_error& _com_error::operator=(const _com_error& other) noexcept {
  if (this == &other) return *this;
  if (other.info_) other.info_->AddRef();
  if (info_) info_->Release();
  hr_ = other.hr_;
  info_ = other.info_;
  LocalFree(message_);
  message_ = nullptr;
  return *this;
}

_com_error::~_com_error() {
  if (info_) info_->Release();
  LocalFree(message_);
}

IErrorInfo* _com_error::ErrorInfo() const noexcept {
  if (info_) info_->AddRef();
  return info_;
}

namespace {

_bstr_t Detail(IErrorInfo* info, HRESULT (IErrorInfo::*get)(BSTR*)) {
  BSTR text = nullptr;
  if (info && SUCCEEDED((info->*get)(&text))) return _bstr_t(text, false);
  return _bstr_t();
}

}  // namespace

_bstr_t _com_error::Description() const { return Detail(info_, &IErrorInfo::GetDescription); }

_bstr_t _com_error::Source() const { return Detail(info_, &IErrorInfo::GetSource); }

const wchar_t* _com_error::ErrorMessage() const {
  if (message_) return message_;
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(hr_), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (length > 0 && text) {
    // The system texts end with a line break; the message is shown without it.
    DWORD n = length;
    if (n > 0 && text[n - 1] == L'\n') text[--n] = L'\0';
    if (n > 0 && text[n - 1] == L'\r') text[--n] = L'\0';
    message_ = text;
    return message_;
  }
  LocalFree(text);
  const WORD wCode = WCode();
  const std::wstring fallback = wCode != 0 ? VormFormat(L"IDispatch error #%d", static_cast<int>(wCode))
                                           : VormFormat(L"Unknown error 0x%0lX", static_cast<DWORD>(hr_));
  message_ = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, (fallback.size() + 1) * sizeof(wchar_t)));
  if (!message_) return L"";
  std::wmemcpy(message_, fallback.c_str(), fallback.size() + 1);
  return message_;
}

HRESULT _com_error::WCodeToHRESULT(WORD wCode) noexcept {
  return wCode >= 0xFE00 ? static_cast<HRESULT>(0x8004FFFF) : static_cast<HRESULT>(0x80040200u + wCode);
}

WORD _com_error::HRESULTToWCode(HRESULT hr) noexcept {
  const auto u = static_cast<DWORD>(hr);
  return (u >= 0x80040200u && u <= 0x8004FFFFu) ? static_cast<WORD>(u - 0x80040200u) : 0;
}

void _com_issue_error(HRESULT hr) { throw _com_error(hr); }

void _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID iid) {
  IErrorInfo* info = nullptr;
  ISupportErrorInfo* support = nullptr;
  if (object && SUCCEEDED(object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)))) {
    if (support->InterfaceSupportsErrorInfo(iid) == S_OK && GetErrorInfo(0, &info) != S_OK) info = nullptr;
    support->Release();
  }
  throw _com_error(hr, info);  // takes over the reference GetErrorInfo handed out
}

HRESULT VormSetErrorInfo(HRESULT hr, const wchar_t* description, const wchar_t* source) {
  if (!description) {
    SetErrorInfo(0, nullptr);
    return hr;
  }
  ICreateErrorInfo* create = nullptr;
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    create->SetDescription(const_cast<wchar_t*>(description));
    if (source) create->SetSource(const_cast<wchar_t*>(source));
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    create->Release();
  }
  SetErrorInfo(0, info);  // null (out of memory) clears the slot
  if (info) info->Release();
  return hr;
}
