// VARIANT lifetime, VariantChangeType and _variant_t.
//
// Every conversion goes through one intermediate: a value that is an exact integer (kept
// in 128 bits, wide enough for any 64-bit source and for rounding checks) or a double.
// Text is parsed into an exact decimal first, so "9223372036854775807" reaches VT_I8
// without passing through a double.
#include <charconv>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string>

#include <vorm/platform/text.h>
#include <vorm/platform/variant.h>

namespace {

using Int128 = __int128;

struct Value {
  bool real = false;
  Int128 i = 0;
  double d = 0.0;
};

bool KnownScalar(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
    case VT_BSTR: return true;
    default: return false;
  }
}

// Types VariantClear knows how to free (or that own nothing).
bool ClearableType(VARTYPE vt) {
  return KnownScalar(vt) || vt == VT_ERROR || vt == VT_DATE || vt == VT_UNKNOWN || vt == VT_DISPATCH || vt == VT_CY;
}

// ---- text to number -----------------------------------------------------------------------

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f'; }

// A number read from text: either the bits of a "&H"/"&O" literal, or sign * digits * 10^exp.
struct ParsedNumber {
  bool radix = false;         // &H / &O form
  bool radixTooLong = false;  // more digits than 64 bits hold
  unsigned long long bits = 0;
  bool negative = false;
  std::string digits;  // significant digits, no leading zeros ("" is zero)
  long long exp10 = 0;
};

bool ParseRadix(const wchar_t* p, const wchar_t* end, ParsedNumber& out) {
  const unsigned base = (p[1] == L'H' || p[1] == L'h') ? 16 : 8;
  p += 2;
  if (p == end) return false;
  unsigned long long bits = 0;
  for (; p != end; ++p) {
    unsigned d;
    if (*p >= L'0' && *p <= L'9')
      d = static_cast<unsigned>(*p - L'0');
    else if (base == 16 && *p >= L'a' && *p <= L'f')
      d = static_cast<unsigned>(*p - L'a' + 10);
    else if (base == 16 && *p >= L'A' && *p <= L'F')
      d = static_cast<unsigned>(*p - L'A' + 10);
    else
      return false;
    if (d >= base) return false;
    if (bits > (~0ULL >> (base == 16 ? 4 : 3))) out.radixTooLong = true;
    bits = bits * base + d;
  }
  out.radix = true;
  out.bits = bits;
  return true;
}

// false: not a number (DISP_E_TYPEMISMATCH).
bool ParseNumber(const wchar_t* text, size_t length, ParsedNumber& out) {
  const wchar_t* p = text;
  const wchar_t* end = text + length;
  while (p != end && IsBlank(*p)) ++p;
  while (end != p && IsBlank(end[-1])) --end;
  if (end - p >= 2 && p[0] == L'&' && (p[1] == L'H' || p[1] == L'h' || p[1] == L'O' || p[1] == L'o'))
    return ParseRadix(p, end, out);
  if (p != end && *p == L'(') {
    if (end[-1] != L')') return false;
    ++p;
    --end;
    out.negative = true;
  } else if (p != end && (*p == L'+' || *p == L'-')) {
    out.negative = *p == L'-';
    ++p;
  }
  bool anyDigit = false;
  bool thousands = true;  // ',' allowed only among the integer digits
  bool fraction = false;
  long long scale = 0;
  for (; p != end; ++p) {
    const wchar_t c = *p;
    if (c >= L'0' && c <= L'9') {
      anyDigit = true;
      if (!out.digits.empty() || c != L'0') out.digits.push_back(static_cast<char>(c));
      if (fraction) --scale;
    } else if (c == L',' && thousands && anyDigit && !fraction) {
      continue;
    } else if (c == L'.' && !fraction) {
      fraction = true;
      thousands = false;
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  if (p != end && (*p == L'e' || *p == L'E')) {
    ++p;
    bool negExp = false;
    if (p != end && (*p == L'+' || *p == L'-')) negExp = *p++ == L'-';
    if (p == end) return false;
    long long e = 0;
    for (; p != end && *p >= L'0' && *p <= L'9'; ++p) {
      if (e < 100000000) e = e * 10 + (*p - L'0');
    }
    scale += negExp ? -e : e;
  }
  if (p != end) return false;
  // Drop trailing zeros into the exponent so "1000" and "1e3" look alike.
  while (!out.digits.empty() && out.digits.back() == '0') {
    out.digits.pop_back();
    ++scale;
  }
  out.exp10 = out.digits.empty() ? 0 : scale;
  return true;
}

// Exact integer value of a parsed decimal, rounded half to even. false: beyond 2^126.
bool RoundToInteger(const ParsedNumber& n, Int128& out) {
  const long long count = static_cast<long long>(n.digits.size());
  const long long integerDigits = count + n.exp10;
  if (integerDigits > 38) return false;
  Int128 v = 0;
  for (long long k = 0; k < integerDigits; ++k) v = v * 10 + (k < count ? n.digits[static_cast<size_t>(k)] - '0' : 0);
  // The first dropped digit and whether anything non-zero follows it decide the rounding.
  const long long first = integerDigits < 0 ? -1 : integerDigits;
  if (first >= 0 && first < count) {
    const int dropped = n.digits[static_cast<size_t>(first)] - '0';
    const bool rest = first + 1 < count;  // trailing zeros were stripped, so any rest is non-zero
    if (dropped > 5 || (dropped == 5 && (rest || (v & 1)))) ++v;
  }
  out = n.negative ? -v : v;
  return true;
}

// false: too large for a double.
bool ToDouble(const ParsedNumber& n, double& out) {
  if (n.radix) {
    out = static_cast<double>(n.bits);
    return true;
  }
  if (n.digits.empty()) {
    out = n.negative ? -0.0 : 0.0;
    return true;
  }
  std::string text = n.digits + "e" + std::to_string(n.exp10);
  double d = 0.0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), d, std::chars_format::scientific);
  if (r.ec == std::errc::result_out_of_range) {
    // Too small reads as zero; too large overflows.
    if (n.exp10 + static_cast<long long>(n.digits.size()) < 0) {
      out = 0.0;
      return true;
    }
    return false;
  }
  out = n.negative ? -d : d;
  return true;
}

// ---- the intermediate ---------------------------------------------------------------------

HRESULT FromText(BSTR text, VARTYPE target, Value& v) {
  const size_t length = SysStringLen(text);
  if (target == VT_BOOL) {
    const std::wstring_view s(text ? text : L"", length);
    if (s == L"#TRUE#" || (s.size() == 4 && VormCompareNoCase(s, L"true") == 0)) {
      v.i = -1;
      return S_OK;
    }
    if (s == L"#FALSE#" || (s.size() == 5 && VormCompareNoCase(s, L"false") == 0)) {
      v.i = 0;
      return S_OK;
    }
  }
  ParsedNumber n;
  if (!text || !ParseNumber(text, length, n)) return DISP_E_TYPEMISMATCH;
  const bool integerTarget = target != VT_R4 && target != VT_R8 && target != VT_BOOL;
  if (n.radix) {
    if (n.radixTooLong) return DISP_E_OVERFLOW;
    v.i = static_cast<Int128>(n.bits);
    return S_OK;
  }
  if (integerTarget) return RoundToInteger(n, v.i) ? S_OK : DISP_E_OVERFLOW;
  if (!ToDouble(n, v.d)) return DISP_E_OVERFLOW;
  v.real = true;
  return S_OK;
}

HRESULT Load(const VARIANT& src, VARTYPE target, Value& v) {
  switch (src.vt) {
    case VT_EMPTY: v.i = 0; return S_OK;
    case VT_I1: v.i = src.cVal; return S_OK;
    case VT_I2: v.i = src.iVal; return S_OK;
    case VT_I4: v.i = src.lVal; return S_OK;
    case VT_INT: v.i = src.intVal; return S_OK;
    case VT_I8: v.i = src.llVal; return S_OK;
    case VT_UI1: v.i = src.bVal; return S_OK;
    case VT_UI2: v.i = src.uiVal; return S_OK;
    case VT_UI4: v.i = src.ulVal; return S_OK;
    case VT_UINT: v.i = src.uintVal; return S_OK;
    case VT_UI8: v.i = src.ullVal; return S_OK;
    case VT_BOOL: v.i = src.boolVal ? -1 : 0; return S_OK;
    case VT_R4:
      v.real = true;
      v.d = src.fltVal;
      return S_OK;
    case VT_R8:
      v.real = true;
      v.d = src.dblVal;
      return S_OK;
    case VT_BSTR: return FromText(src.bstrVal, target, v);
    default: return DISP_E_TYPEMISMATCH;
  }
}

// Bounds of an integer target; for the unsigned ones also the width whose bit pattern a
// radix literal may fill.
struct Range {
  Int128 min;
  Int128 max;
  Int128 patternMax;  // &H literals up to this read as two's complement of the width
};

Range RangeOf(VARTYPE vt) {
  switch (vt) {
    case VT_I1: return {-128, 127, 0xFF};
    case VT_I2: return {-32768, 32767, 0xFFFF};
    case VT_I4:
    case VT_INT: return {INT32_MIN, INT32_MAX, 0xFFFFFFFF};
    case VT_I8: return {INT64_MIN, INT64_MAX, static_cast<Int128>(UINT64_MAX)};
    case VT_UI1: return {0, 0xFF, 0xFF};
    case VT_UI2: return {0, 0xFFFF, 0xFFFF};
    case VT_UI4:
    case VT_UINT: return {0, UINT32_MAX, UINT32_MAX};
    default: return {0, static_cast<Int128>(UINT64_MAX), static_cast<Int128>(UINT64_MAX)};  // VT_UI8
  }
}

HRESULT ToInteger(const Value& v, VARTYPE vt, bool radixSource, Int128& out) {
  const Range r = RangeOf(vt);
  if (v.real) {
    if (std::isnan(v.d)) return DISP_E_OVERFLOW;
    const double rounded = std::nearbyint(v.d);  // the default rounding mode: half to even
    if (!(rounded >= -1.8e19 && rounded <= 1.9e19)) return DISP_E_OVERFLOW;
    out = static_cast<Int128>(rounded);
  } else {
    out = v.i;
    // "&HFFFF" read as VT_I2 is the bit pattern -1.
    if (radixSource && r.min < 0 && out > r.max && out <= r.patternMax) out -= r.patternMax + 1;
  }
  return (out < r.min || out > r.max) ? DISP_E_OVERFLOW : S_OK;
}

bool IsRadixText(const VARIANT& src) {
  if (src.vt != VT_BSTR || !src.bstrVal) return false;
  const wchar_t* p = src.bstrVal;
  while (IsBlank(*p)) ++p;
  return p[0] == L'&' && p[1] != L'\0';
}

HRESULT StoreText(const VARIANT& src, unsigned short flags, VARIANT& out) {
  std::wstring text;
  switch (src.vt) {
    case VT_EMPTY: break;
    case VT_BOOL:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
        text = src.boolVal ? L"True" : L"False";
      else
        text = src.boolVal ? L"-1" : L"0";
      break;
    case VT_R4: text = VormFormat(L"%.7G", static_cast<double>(src.fltVal)); break;
    case VT_R8: text = VormFormat(L"%.15G", src.dblVal); break;
    default: {
      Value v;
      const HRESULT hr = Load(src, VT_I8, v);
      if (FAILED(hr)) return hr;
      const bool negative = v.i < 0;
      unsigned __int128 u = negative ? static_cast<unsigned __int128>(-v.i) : static_cast<unsigned __int128>(v.i);
      do {
        text.insert(text.begin(), static_cast<wchar_t>(L'0' + static_cast<int>(u % 10)));
        u /= 10;
      } while (u != 0);
      if (negative) text.insert(text.begin(), L'-');
    }
  }
  out.vt = VT_BSTR;
  out.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return out.bstrVal ? S_OK : E_OUTOFMEMORY;
}

// Converts into `out` (not yet holding anything).
HRESULT Convert(const VARIANT& src, unsigned short flags, VARTYPE vt, VARIANT& out) {
  VariantInit(&out);
  if (vt == VT_EMPTY) return S_OK;
  if (src.vt == VT_NULL) {
    if (vt != VT_NULL) return DISP_E_TYPEMISMATCH;
    out.vt = VT_NULL;
    return S_OK;
  }
  if (vt == VT_NULL) return DISP_E_TYPEMISMATCH;
  if (vt == VT_BSTR) {
    if (src.vt == VT_BSTR) {
      out.vt = VT_BSTR;
      out.bstrVal = SysAllocStringLen(src.bstrVal, SysStringLen(src.bstrVal));
      return (out.bstrVal || !src.bstrVal) ? S_OK : E_OUTOFMEMORY;
    }
    return StoreText(src, flags, out);
  }
  Value v;
  const HRESULT hr = Load(src, vt, v);
  if (FAILED(hr)) return hr;
  if (vt == VT_R8 || vt == VT_R4) {
    double d = v.real ? v.d : static_cast<double>(v.i);
    if (vt == VT_R4) {
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
      out.fltVal = static_cast<float>(d);
    } else {
      out.dblVal = d;
    }
    out.vt = vt;
    return S_OK;
  }
  if (vt == VT_BOOL) {
    out.boolVal = (v.real ? v.d != 0.0 : v.i != 0) ? VARIANT_TRUE : VARIANT_FALSE;
    out.vt = VT_BOOL;
    return S_OK;
  }
  Int128 n = 0;
  const HRESULT range = ToInteger(v, vt, IsRadixText(src), n);
  if (FAILED(range)) return range;
  switch (vt) {
    case VT_I1: out.cVal = static_cast<char>(n); break;
    case VT_I2: out.iVal = static_cast<short>(n); break;
    case VT_I4: out.lVal = static_cast<LONG>(n); break;
    case VT_INT: out.intVal = static_cast<INT>(n); break;
    case VT_I8: out.llVal = static_cast<LONGLONG>(n); break;
    case VT_UI1: out.bVal = static_cast<BYTE>(n); break;
    case VT_UI2: out.uiVal = static_cast<unsigned short>(n); break;
    case VT_UI4: out.ulVal = static_cast<ULONG>(n); break;
    case VT_UINT: out.uintVal = static_cast<UINT>(n); break;
    default: out.ullVal = static_cast<ULONGLONG>(n); break;
  }
  out.vt = vt;
  return S_OK;
}

}  // namespace

void VariantInit(VARIANT* v) {
  if (!v) return;
  v->vt = VT_EMPTY;
  v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
  v->llVal = 0;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  if (!ClearableType(v->vt)) return DISP_E_BADVARTYPE;
  if (v->vt == VT_BSTR)
    SysFreeString(v->bstrVal);
  else if ((v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) && v->punkVal)
    v->punkVal->Release();
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!ClearableType(src->vt)) return DISP_E_BADVARTYPE;
  VARIANT copy = *src;
  if (src->vt == VT_BSTR && src->bstrVal) {
    copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
    if (!copy.bstrVal) return E_OUTOFMEMORY;
  } else if ((src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) && src->punkVal) {
    src->punkVal->AddRef();
  }
  const HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *dest = copy;
  return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, unsigned short flags, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (!KnownScalar(vt) || !ClearableType(src->vt)) return DISP_E_BADVARTYPE;
  if (!ClearableType(dest->vt)) return DISP_E_BADVARTYPE;
  VARIANT result;
  const HRESULT hr = Convert(*src, flags, vt, result);
  if (FAILED(hr)) return hr;
  VariantClear(dest);  // also when dest is src: the result no longer needs the source
  *dest = result;
  return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID, unsigned short flags, VARTYPE vt) {
  return VariantChangeType(dest, src, flags, vt);
}

// --- _variant_t -------------------------------------------------------------------------------

_variant_t::_variant_t(const VARIANT& v) {
  VariantInit(this);
  const HRESULT hr = VariantCopy(this, &v);
  if (FAILED(hr)) _com_issue_error(hr);
}

_variant_t::_variant_t(_variant_t&& v) noexcept : VARIANT(static_cast<VARIANT&>(v)) { VariantInit(&v); }

_variant_t::_variant_t(short value, VARTYPE vt) {
  VariantInit(this);
  if (vt == VT_BOOL) {
    this->vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  } else {
    if (vt != VT_I2) _com_issue_error(E_INVALIDARG);
    this->vt = VT_I2;
    iVal = value;
  }
}

_variant_t::_variant_t(int value, VARTYPE vt) {
  VariantInit(this);
  if (vt != VT_I4 && vt != VT_INT && vt != VT_ERROR) _com_issue_error(E_INVALIDARG);
  this->vt = vt;
  lVal = value;  // lVal, intVal and scode share the same 32 bits
}

_variant_t::_variant_t(unsigned int value, VARTYPE vt) {
  VariantInit(this);
  if (vt != VT_UI4 && vt != VT_UINT) _com_issue_error(E_INVALIDARG);
  this->vt = vt;
  ulVal = value;
}

_variant_t::_variant_t(long value) : _variant_t(static_cast<long long>(value)) {}
_variant_t::_variant_t(unsigned long value) : _variant_t(static_cast<unsigned long long>(value)) {}

_variant_t::_variant_t(long long value) {
  VariantInit(this);
  vt = VT_I8;
  llVal = value;
}

_variant_t::_variant_t(unsigned long long value) {
  VariantInit(this);
  vt = VT_UI8;
  ullVal = value;
}

_variant_t::_variant_t(float value) {
  VariantInit(this);
  vt = VT_R4;
  fltVal = value;
}

_variant_t::_variant_t(double value, VARTYPE vt) {
  VariantInit(this);
  if (vt != VT_R8 && vt != VT_DATE) _com_issue_error(E_INVALIDARG);
  this->vt = vt;
  dblVal = value;
}

_variant_t::_variant_t(bool value) {
  VariantInit(this);
  vt = VT_BOOL;
  boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

_variant_t::_variant_t(const wchar_t* text) {
  VariantInit(this);
  BSTR copy = SysAllocString(text ? text : L"");
  if (!copy) _com_issue_error(E_OUTOFMEMORY);
  vt = VT_BSTR;
  bstrVal = copy;
}

_variant_t::_variant_t(const _bstr_t& text) {
  VariantInit(this);
  BSTR copy = SysAllocStringLen(text, text.length());
  if (!copy) _com_issue_error(E_OUTOFMEMORY);
  vt = VT_BSTR;
  bstrVal = copy;
}

_variant_t::_variant_t(IUnknown* object, bool addRef) {
  VariantInit(this);
  vt = VT_UNKNOWN;
  punkVal = object;
  if (object && addRef) object->AddRef();
}

_variant_t& _variant_t::operator=(const VARIANT& v) {
  if (&v != this) {
    const HRESULT hr = VariantCopy(this, &v);
    if (FAILED(hr)) _com_issue_error(hr);
  }
  return *this;
}

_variant_t& _variant_t::operator=(_variant_t&& v) noexcept {
  if (&v != this) {
    VariantClear(this);
    static_cast<VARIANT&>(*this) = static_cast<VARIANT&>(v);
    VariantInit(&v);
  }
  return *this;
}

void _variant_t::Clear() {
  const HRESULT hr = VariantClear(this);
  if (FAILED(hr)) _com_issue_error(hr);
}

void _variant_t::ChangeType(VARTYPE type, const _variant_t* src) {
  if (!src) src = this;
  if (src == this && vt == type) return;  // already of that type: nothing to convert
  const HRESULT hr = VariantChangeType(this, src, 0, type);
  if (FAILED(hr)) _com_issue_error(hr);
}

void _variant_t::Attach(VARIANT& v) {
  Clear();
  static_cast<VARIANT&>(*this) = v;
  VariantInit(&v);
}

VARIANT _variant_t::Detach() noexcept {
  VARIANT v = *this;
  VariantInit(this);
  return v;
}

VARIANT* _variant_t::GetAddress() {
  Clear();
  return this;
}

_variant_t _variant_t::Converted(VARTYPE type) const {
  _variant_t copy;
  const HRESULT hr = VariantChangeType(&copy, this, 0, type);
  if (FAILED(hr)) _com_issue_error(hr);
  return copy;
}

_variant_t::operator short() const { return vt == VT_I2 ? iVal : Converted(VT_I2).iVal; }
_variant_t::operator LONG() const { return vt == VT_I4 ? lVal : Converted(VT_I4).lVal; }
_variant_t::operator ULONG() const { return vt == VT_UI4 ? ulVal : Converted(VT_UI4).ulVal; }
_variant_t::operator LONGLONG() const { return vt == VT_I8 ? llVal : Converted(VT_I8).llVal; }
_variant_t::operator double() const { return vt == VT_R8 ? dblVal : Converted(VT_R8).dblVal; }
_variant_t::operator bool() const { return (vt == VT_BOOL ? boolVal : Converted(VT_BOOL).boolVal) != VARIANT_FALSE; }
_variant_t::operator _bstr_t() const {
  if (vt == VT_BSTR) return _bstr_t(bstrVal, true);
  _variant_t text = Converted(VT_BSTR);
  return _bstr_t(text.Detach().bstrVal, false);
}
