// Conversions, names and the call guard of the DOM.
#include <charconv>
#include <cmath>
#include <cstdint>

#include <vorm/platform/text.h>

#include "platform/text/utf8_codec.h"
#include "platform/xmldom/dom_node.h"

namespace VormXmlDom_details {

namespace {
thread_local bool t_described = false;
}  // namespace

void BeginCall() { t_described = false; }

HRESULT EndCall(HRESULT hr) {
  if (FAILED(hr) && !t_described) SetErrorInfo(0, nullptr);
  return hr;
}

HRESULT Fail(HRESULT hr, const wchar_t* description) {
  VormSetErrorInfo(hr, description);
  t_described = description != nullptr;
  return hr;
}

std::string Utf8(const wchar_t* text, size_t length) {
  return text ? VormToUtf8(std::wstring_view(text, length)) : std::string();
}

HRESULT NewBstr(std::wstring_view text, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT NewBstr(std::string_view utf8, BSTR* out) { return NewBstr(std::wstring_view(VormFromUtf8(utf8)), out); }

namespace {

template <class T>
std::string Decimal(T value) {
  char buffer[64];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

std::string RealText(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d < 0 ? "-INF" : "INF";
  return Decimal(d);  // shortest text that reads back to the same double
}

bool NameStart(std::uint32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || (c >= 0xC0 && c <= 0xD6) ||
         (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
         (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool NameChar(std::uint32_t c) {
  return NameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 || (c >= 0x300 && c <= 0x36F) ||
         (c >= 0x203F && c <= 0x2040);
}

}  // namespace

HRESULT VariantText(const VARIANT& value, std::string& out) {
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL: out.clear(); return S_OK;
    case VT_BSTR: out = Utf8(value.bstrVal); return S_OK;
    case VT_BOOL: out = value.boolVal ? "true" : "false"; return S_OK;
    case VT_R8: out = RealText(value.dblVal); return S_OK;
    case VT_R4: out = std::isfinite(value.fltVal) ? Decimal(value.fltVal) : RealText(value.fltVal); return S_OK;
    case VT_I1: out = Decimal(static_cast<int>(value.cVal)); return S_OK;
    case VT_I2: out = Decimal(value.iVal); return S_OK;
    case VT_I4: out = Decimal(value.lVal); return S_OK;
    case VT_INT: out = Decimal(value.intVal); return S_OK;
    case VT_I8: out = Decimal(value.llVal); return S_OK;
    case VT_UI1: out = Decimal(static_cast<unsigned>(value.bVal)); return S_OK;
    case VT_UI2: out = Decimal(value.uiVal); return S_OK;
    case VT_UI4: out = Decimal(value.ulVal); return S_OK;
    case VT_UINT: out = Decimal(value.uintVal); return S_OK;
    case VT_UI8: out = Decimal(value.ullVal); return S_OK;
    default: return Fail(DISP_E_TYPEMISMATCH, L"The value cannot be stored as text.");
  }
}

bool IsXmlName(std::string_view utf8) {
  // Qualified names: at most one colon, neither first nor last.
  if (utf8.empty() || utf8.front() == ':' || utf8.back() == ':') return false;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t i = 0;
  int colons = 0;
  bool first = true;
  while (i < utf8.size()) {
    std::uint32_t c = 0;
    i += vorm_text_details::DecodeUtf8(p + i, utf8.size() - i, c);
    if (first ? !NameStart(c) : !NameChar(c)) return false;
    if (c == ':' && ++colons > 1) return false;
    first = false;
  }
  return true;
}

}  // namespace VormXmlDom_details
