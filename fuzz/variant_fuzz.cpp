// VariantChangeType on any text: to every type it converts to, an answer or a documented
// failure; a number it reads back as text reads again as the same number.
#include <cstdint>
#include <string>

#include <vorm/platform/variant.h>

#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  for (VARTYPE vt : {VT_BOOL, VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI4, VT_UI8, VT_R4, VT_R8, VT_INT}) {
    VARIANT number;
    VariantInit(&number);
    const HRESULT hr = VariantChangeType(&number, &source, 0, vt);
    FUZZ_CHECK(hr == S_OK || hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW);
    if (hr != S_OK) {
      FUZZ_CHECK(number.vt == VT_EMPTY);
      continue;
    }
    FUZZ_CHECK(number.vt == vt);
    if (vt == VT_R4 || vt == VT_R8 || vt == VT_BOOL) continue;  // text of those keeps fewer digits
    VARIANT back, again;
    VariantInit(&back);
    VariantInit(&again);
    FUZZ_CHECK(VariantChangeType(&back, &number, 0, VT_BSTR) == S_OK);
    FUZZ_CHECK(VariantChangeType(&again, &back, 0, vt) == S_OK);
    FUZZ_CHECK(again.llVal == number.llVal);  // both started zeroed, so the unused bytes agree
    VariantClear(&back);
    VariantClear(&again);
  }
  VariantClear(&source);
  return 0;
}
