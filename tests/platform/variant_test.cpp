#include <cmath>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>
#include <vorm/platform/variant.h>

namespace {

// Converts text to `vt`: the HRESULT, and the variant when it worked.
HRESULT FromText(const wchar_t* text, VARTYPE vt, _variant_t& out) {
  _variant_t source(text);
  return VariantChangeType(&out, &source, 0, vt);
}

TEST(VariantChangeType, TextToNumbersFollowsThePlatformRules) {
  struct Case {
    const wchar_t* text;
    VARTYPE vt;
    HRESULT hr;
    long long value;  // for the integer targets
  };
  const Case cases[] = {
      {L" 42 ", VT_I4, S_OK, 42},
      {L"+7", VT_I4, S_OK, 7},
      {L"(7)", VT_I4, S_OK, -7},
      {L"-1,234", VT_I4, S_OK, -1234},
      {L"1e3", VT_I4, S_OK, 1000},
      {L"1.5", VT_I4, S_OK, 2},
      {L"2.5", VT_I4, S_OK, 2},  // half to even
      {L"-0.5", VT_I4, S_OK, 0},
      {L"-1.5", VT_I4, S_OK, -2},
      {L"2147483647", VT_I4, S_OK, 2147483647},
      {L"2147483648", VT_I4, DISP_E_OVERFLOW, 0},
      {L"-2147483648", VT_I4, S_OK, INT32_MIN},
      {L"32767.5", VT_I2, DISP_E_OVERFLOW, 0},
      {L"4294967295", VT_UI4, S_OK, 4294967295LL},
      {L"-0.6", VT_UI4, DISP_E_OVERFLOW, 0},
      {L"-0.5", VT_UI4, S_OK, 0},
      {L"9223372036854775807", VT_I8, S_OK, INT64_MAX},
      {L"-9223372036854775808", VT_I8, S_OK, INT64_MIN},
      {L"9223372036854775808", VT_I8, DISP_E_OVERFLOW, 0},
      {L"&HFFFF", VT_I2, S_OK, -1},
      {L"&H1F", VT_I4, S_OK, 31},
      {L"&O17", VT_I4, S_OK, 15},
      {L"&H1FFFFFFFFFFFFFFFF", VT_I8, DISP_E_OVERFLOW, 0},
      {L"1e999999999999", VT_I4, DISP_E_OVERFLOW, 0},
      {L"", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {L"12a", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {L"1.2.3", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {L",5", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {L"1e", VT_I4, DISP_E_TYPEMISMATCH, 0},
      {L"- 1", VT_I4, DISP_E_TYPEMISMATCH, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    _variant_t out;
    EXPECT_EQ(FromText(cases[i].text, cases[i].vt, out), cases[i].hr) << i;
    if (cases[i].hr != S_OK) {
      EXPECT_EQ(out.vt, VT_EMPTY) << i;  // untouched on failure
      continue;
    }
    ASSERT_EQ(out.vt, cases[i].vt) << i;
    const long long got = out.vt == VT_I2    ? out.iVal
                          : out.vt == VT_I4  ? out.lVal
                          : out.vt == VT_UI4 ? out.ulVal
                                             : out.llVal;
    EXPECT_EQ(got, cases[i].value) << i;
  }
}

TEST(VariantChangeType, Doubles) {
  _variant_t out;
  ASSERT_EQ(FromText(L"-1,234.5e-1", VT_R8, out), S_OK);
  EXPECT_EQ(out.dblVal, -123.45);
  ASSERT_EQ(FromText(L"1e-400", VT_R8, out), S_OK);
  EXPECT_EQ(out.dblVal, 0.0);
  EXPECT_EQ(FromText(L"1e400", VT_R8, out), DISP_E_OVERFLOW);
  EXPECT_EQ(FromText(L"1,5", VT_R8, out), S_OK);  // ',' groups thousands
  EXPECT_EQ(out.dblVal, 15.0);
  EXPECT_EQ(FromText(L"nan", VT_R8, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(FromText(L"1e39", VT_R4, out), DISP_E_OVERFLOW);
  _variant_t d(0.1);
  _variant_t text;
  ASSERT_EQ(VariantChangeType(&text, &d, 0, VT_BSTR), S_OK);
  EXPECT_STREQ(text.bstrVal, L"0.1");
  _variant_t big(1e20);
  VariantChangeType(&text, &big, 0, VT_BSTR);
  EXPECT_STREQ(text.bstrVal, L"1E+20");
}

TEST(VariantChangeType, Booleans) {
  const struct {
    const wchar_t* text;
    HRESULT hr;
    VARIANT_BOOL value;
  } cases[] = {{L"true", S_OK, VARIANT_TRUE},       {L"FALSE", S_OK, VARIANT_FALSE}, {L"#TRUE#", S_OK, VARIANT_TRUE},
               {L"#True#", DISP_E_TYPEMISMATCH, 0}, {L"0", S_OK, VARIANT_FALSE},     {L"0.1", S_OK, VARIANT_TRUE},
               {L"yes", DISP_E_TYPEMISMATCH, 0}};
  for (const auto& c : cases) {
    _variant_t out;
    EXPECT_EQ(FromText(c.text, VT_BOOL, out), c.hr) << c.text;
    if (c.hr == S_OK) {
      EXPECT_EQ(out.boolVal, c.value) << c.text;
    }
  }
  _variant_t yes(true), text;
  VariantChangeType(&text, &yes, 0, VT_BSTR);
  EXPECT_STREQ(text.bstrVal, L"-1");
  VariantChangeType(&text, &yes, VARIANT_ALPHABOOL, VT_BSTR);
  EXPECT_STREQ(text.bstrVal, L"True");
}

TEST(VariantChangeType, NumbersToNumbersAndSpecialTypes) {
  _variant_t out;
  _variant_t big(static_cast<long long>(INT64_MAX));
  EXPECT_EQ(VariantChangeType(&out, &big, 0, VT_I4), DISP_E_OVERFLOW);
  EXPECT_EQ(VariantChangeType(&out, &big, 0, VT_BSTR), S_OK);
  EXPECT_STREQ(out.bstrVal, L"9223372036854775807");
  _variant_t half(2.5);
  ASSERT_EQ(VariantChangeType(&out, &half, 0, VT_I2), S_OK);
  EXPECT_EQ(out.iVal, 2);
  _variant_t empty;
  ASSERT_EQ(VariantChangeType(&out, &empty, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 0);
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  EXPECT_EQ(VariantChangeType(&out, &null, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&out, &half, 0, 0x7FF), DISP_E_BADVARTYPE);
  // In place: the old text is freed once the number is there.
  _variant_t inPlace(L"17");
  ASSERT_EQ(VariantChangeType(&inPlace, &inPlace, 0, VT_I4), S_OK);
  EXPECT_EQ(inPlace.lVal, 17);
}

TEST(VariantT, ConversionsRaiseAndOwnTheirContent) {
  _variant_t text(L"12");
  EXPECT_EQ(static_cast<LONG>(text), 12);
  EXPECT_THROW((void)static_cast<LONG>(_variant_t(L"x")), _com_error);
  _variant_t copy = text;
  EXPECT_NE(copy.bstrVal, text.bstrVal);
  text.ChangeType(VT_I4);
  EXPECT_EQ(text.vt, VT_I4);
  try {
    _variant_t(L"99999").ChangeType(VT_I2);
    FAIL();
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), DISP_E_OVERFLOW);
  }
  EXPECT_EQ(_variant_t(short{3}).vt, VT_I2);
  EXPECT_EQ(_variant_t(ULONG{3}).vt, VT_UI4);
  EXPECT_EQ(_variant_t(LONGLONG{3}).vt, VT_I8);
  EXPECT_STREQ(static_cast<const wchar_t*>(static_cast<_bstr_t>(_variant_t(2.5))), L"2.5");
}

}  // namespace
