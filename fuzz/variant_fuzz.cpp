// VariantChangeType on any text: to every type it converts to, an answer or a documented
// failure; a number it reads back as text reads again as the same number. The answers for
// the several types must agree with one another: one reading of the text, judged against each
// type's range.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <vorm/platform/variant.h>

#include "fuzz/fuzz_check.h"

namespace {

struct Answer {
  HRESULT hr;
  VARIANT value;
};

// The answer for `vt`; an integer answer also as a long long (UI8 as its bits).
Answer Convert(const VARIANT& source, VARTYPE vt) {
  Answer a{};
  VariantInit(&a.value);
  a.hr = VariantChangeType(&a.value, &source, 0, vt);
  FUZZ_CHECK(a.hr == S_OK || a.hr == DISP_E_TYPEMISMATCH || a.hr == DISP_E_OVERFLOW);
  FUZZ_CHECK(a.value.vt == (a.hr == S_OK ? vt : VARTYPE{VT_EMPTY}));
  return a;
}

long long IntegerOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1: return v.cVal;
    case VT_I2: return v.iVal;
    case VT_I4: return v.lVal;
    case VT_INT: return v.intVal;
    case VT_UI1: return v.bVal;
    case VT_UI2: return v.uiVal;
    case VT_UI4: return v.ulVal;
    case VT_UINT: return v.uintVal;
    default: return v.llVal;  // VT_I8, and VT_UI8 as its bits
  }
}

struct Bounds {
  VARTYPE vt;
  long long min, max;
};

// The integer types below 64 bits and their ranges.
constexpr Bounds kNarrowIntegers[] = {
    {VT_I1, INT8_MIN, INT8_MAX},    {VT_I2, INT16_MIN, INT16_MAX}, {VT_I4, INT32_MIN, INT32_MAX},
    {VT_INT, INT32_MIN, INT32_MAX}, {VT_UI1, 0, UINT8_MAX},        {VT_UI2, 0, UINT16_MAX},
    {VT_UI4, 0, UINT32_MAX},        {VT_UINT, 0, UINT32_MAX},
};

// "&H" and "&O" literals fill a type's bit pattern, so their ranges are not a number's.
bool IsRadixLiteral(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t\n\r\v\f");
  return first != std::wstring::npos && text[first] == L'&';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));

  // Every integer answer reads back: to text and again to the same value.
  for (VARTYPE vt : {VT_I1, VT_I2, VT_I4, VT_INT, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UINT, VT_UI8}) {
    Answer number = Convert(source, vt);
    if (number.hr != S_OK) continue;
    VARIANT back, again;
    VariantInit(&back);
    VariantInit(&again);
    FUZZ_CHECK(VariantChangeType(&back, &number.value, 0, VT_BSTR) == S_OK);
    FUZZ_CHECK(VariantChangeType(&again, &back, 0, vt) == S_OK);
    FUZZ_CHECK(again.llVal == number.value.llVal);  // both started zeroed, so the unused bytes agree
    VariantClear(&back);
    VariantClear(&again);
  }

  Answer i8 = Convert(source, VT_I8);
  Answer r8 = Convert(source, VT_R8);
  Answer r4 = Convert(source, VT_R4);
  Answer boolean = Convert(source, VT_BOOL);
  // One reading: text that is no number is no number for any numeric type.
  FUZZ_CHECK((i8.hr == DISP_E_TYPEMISMATCH) == (r8.hr == DISP_E_TYPEMISMATCH));
  FUZZ_CHECK((r4.hr == DISP_E_TYPEMISMATCH) == (r8.hr == DISP_E_TYPEMISMATCH));
  for (const Bounds& b : kNarrowIntegers) {
    Answer narrow = Convert(source, b.vt);
    FUZZ_CHECK((narrow.hr == DISP_E_TYPEMISMATCH) == (i8.hr == DISP_E_TYPEMISMATCH));
    if (IsRadixLiteral(text) || i8.hr == DISP_E_TYPEMISMATCH) continue;
    // A number fits a narrower type exactly when it lies in its range, and keeps its value.
    if (i8.hr == S_OK) {
      const long long v = i8.value.llVal;
      FUZZ_CHECK((narrow.hr == S_OK) == (v >= b.min && v <= b.max));
      if (narrow.hr == S_OK) FUZZ_CHECK(IntegerOf(narrow.value) == v);
    } else {
      FUZZ_CHECK(narrow.hr == DISP_E_OVERFLOW);  // beyond 64 bits, beyond any narrower type
    }
  }
  if (i8.hr == S_OK && !IsRadixLiteral(text)) {
    // The nearest double and the nearest integer are within half a unit and a rounding.
    FUZZ_CHECK(r8.hr == S_OK);
    const double v = static_cast<double>(i8.value.llVal);
    FUZZ_CHECK(std::fabs(r8.value.dblVal - v) <= 0.5 + std::fabs(v) * 1e-15);
  }
  if (r4.hr == S_OK) FUZZ_CHECK(r8.hr == S_OK && r4.value.fltVal == static_cast<float>(r8.value.dblVal));
  if (r8.hr == S_OK) {
    // A double's text keeps 15 significant digits: it reads back within that.
    VARIANT back, again;
    VariantInit(&back);
    VariantInit(&again);
    FUZZ_CHECK(VariantChangeType(&back, &r8.value, 0, VT_BSTR) == S_OK);
    const HRESULT hr = VariantChangeType(&again, &back, 0, VT_R8);
    const double d = r8.value.dblVal;
    if (std::isfinite(d)) {
      FUZZ_CHECK(hr == S_OK || std::fabs(d) > 1.7976931348623e308);  // rounded up past the largest double
      if (hr == S_OK) FUZZ_CHECK(std::fabs(again.dblVal - d) <= std::fabs(d) * 1e-14);
    }
    VariantClear(&back);
    VariantClear(&again);
    // A number is true exactly when it is not zero.
    if (boolean.hr == S_OK && !IsRadixLiteral(text)) FUZZ_CHECK((boolean.value.boolVal != 0) == (d != 0.0));
  }
  VariantClear(&i8.value);
  VariantClear(&r8.value);
  VariantClear(&r4.value);
  VariantClear(&boolean.value);
  VariantClear(&source);
  return 0;
}
