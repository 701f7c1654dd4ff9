#include <cstdarg>
#include <cwchar>
#include <string>

#include <gtest/gtest.h>
#include <vorm/platform/text.h>

namespace {

// --- UTF-8 -------------------------------------------------------------------------

TEST(Utf8, ValidTextConvertsBothWays) {
  const struct { const char* utf8; const wchar_t* wide; } cases[] = {
      {"", L""},
      {"plain ASCII", L"plain ASCII"},
      {"Stra\xC3\x9F" "e", L"Stra\u00DFe"},
      {"\xE2\x82\xAC 100", L"\u20AC 100"},
      {"\xF0\x9F\x98\x80", L"\U0001F600"},                 // outside the BMP: one wchar_t
      {"\xF4\x8F\xBF\xBF", L"\U0010FFFF"},                 // highest code point
      {"\xEF\xBF\xBD", L"\uFFFD"},
      {"\xCE\xA3\xD0\x96", L"\u03A3\u0416"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(VormFromUtf8(cases[i].utf8), cases[i].wide) << "case " << i;
    EXPECT_EQ(VormToUtf8(cases[i].wide), cases[i].utf8) << "case " << i;
  }
}

TEST(Utf8, InvalidBytesBecomeEscapesAndComeBack) {
  const struct { std::string bytes; std::wstring wide; } cases[] = {
      {"\xFF", L"\xDCFF"},
      {"a\x80z", L"a\xDC80z"},
      {"\xC3", L"\xDCC3"},                                  // cut two-byte sequence
      {"\xE2\x82", L"\xDCE2\xDC82"},                        // cut three-byte sequence
      {"\xC0\xAF", L"\xDCC0\xDCAF"},                        // overlong '/'
      {"\xE0\x80\xAF", L"\xDCE0\xDC80\xDCAF"},              // overlong, three bytes
      {"\xED\xA0\x80", L"\xDCED\xDCA0\xDC80"},              // encoded surrogate D800
      {"\xED\xB2\x80", L"\xDCED\xDCB2\xDC80"},              // encoded escape itself
      {"\xF4\x90\x80\x80", L"\xDCF4\xDC90\xDC80\xDC80"},    // above U+10FFFF
      {"\xF8\x88\x80\x80\x80", L"\xDCF8\xDC88\xDC80\xDC80\xDC80"},
      {"\xC3\xA9\xFF\xC3\xA9", L"\u00E9\xDCFF\u00E9"},
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},  // NUL is data in a view
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(VormFromUtf8(cases[i].bytes), cases[i].wide) << "case " << i;
    EXPECT_EQ(VormToUtf8(cases[i].wide), cases[i].bytes) << "case " << i;
  }
}

TEST(Utf8, EveryByteStringRoundTrips) {
  // All two-byte strings and a sample of three- and four-byte ones.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const char raw[] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>((a * 7 + b) & 0xFF),
                          static_cast<char>((a ^ b) | 0x80)};
      for (size_t len = 2; len <= 4; ++len) {
        std::string bytes(raw, len);
        ASSERT_EQ(VormToUtf8(VormFromUtf8(bytes)), bytes) << a << "," << b << " len " << len;
      }
    }
  }
}

TEST(Utf8, UnencodableWideCharactersBecomeReplacement) {
  const struct { std::wstring wide; const char* utf8; } cases[] = {
      {L"\xD800", "\xEF\xBF\xBD"},                        // lone high surrogate
      {L"\xDC7F", "\xEF\xBF\xBD"},                        // just below the escape range
      {L"\xDD00", "\xEF\xBF\xBD"},                        // just above it
      {std::wstring(1, static_cast<wchar_t>(0x110000)), "\xEF\xBF\xBD"},
      {std::wstring(1, static_cast<wchar_t>(-1)), "\xEF\xBF\xBD"},
      {L"a\xDFFFz", "a\xEF\xBF\xBDz"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(VormToUtf8(cases[i].wide), cases[i].utf8) << "case " << i;
}

}  // namespace
