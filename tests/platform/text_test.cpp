#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/platform/text.h>

namespace {

// --- UTF-8 -------------------------------------------------------------------------

TEST(Utf8, ConvertsBothWaysAndCarriesInvalidBytesAsEscapes) {
  const struct {
    std::string bytes;
    std::wstring wide;
  } cases[] = {
      {"", L""},
      {"Stra\xC3\x9F"
       "e \xE2\x82\xAC",
       L"Stra\u00DFe \u20AC"},
      {"\xF0\x9F\x98\x80", L"\U0001F600"},  // outside the BMP: one wchar_t
      {"\xF4\x8F\xBF\xBF", L"\U0010FFFF"},
      {"\xEF\xBF\xBD", L"\uFFFD"},
      {"\xFF", L"\xDCFF"},
      {"a\x80z", L"a\xDC80z"},
      {"\xC3", L"\xDCC3"},
      {"\xE2\x82", L"\xDCE2\xDC82"},  // cut sequences
      {"\xC0\xAF", L"\xDCC0\xDCAF"},
      {"\xE0\x80\xAF", L"\xDCE0\xDC80\xDCAF"},  // overlong
      {"\xED\xA0\x80", L"\xDCED\xDCA0\xDC80"},  // encoded surrogate D800
      {"\xED\xB2\x80", L"\xDCED\xDCB2\xDC80"},  // encoded escape itself
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
        ASSERT_EQ(VormToUtf8(VormFromUtf8(std::string(raw, len))), std::string(raw, len))
            << a << "," << b << " " << len;
      }
    }
  }
}

TEST(OsPath, GrammarCharactersOfNamesBecomePrivateUseAndBack) {
  EXPECT_EQ(VormFromOsPath("/t/a\\b/x\"y:z*?<>|\n"),
            L"/t/a\xF05C"
            L"b/x\xF022y\xF03Az\xF02A\xF03F\xF03C\xF03E\xF07C\xF00A");
  EXPECT_EQ(VormToOsPath(L"dir\\a\xF05C"
                         L"b/\xF03A\xF02F\xF041\xDCFF"),
            "dir/a\\b/:\xEF\x80\xAF\xEF\x81\x81\xFF");
  // Every single-byte name and every byte pair round-trip; no name holds a separator, quote,
  // drive colon or wildcard on the wide side.
  for (int a = 1; a < 256; ++a) {
    for (int b = 0; b < 256; b += (a < 128 ? 1 : 17)) {
      std::string name(1, static_cast<char>(a));
      if (b != 0 && b != '/') name += static_cast<char>(b);
      if (a == '/') continue;
      const std::wstring wide = VormFromOsPath(name);
      ASSERT_EQ(wide.find_first_of(L"\\/:*?\"<>|\n"), std::wstring::npos) << a << "," << b;
      ASSERT_EQ(VormToOsPath(wide), name) << a << "," << b;
    }
  }
}

TEST(Utf8, UnencodableWideCharactersBecomeReplacement) {
  const std::wstring cases[] = {
      L"\xD800",
      L"\xDC7F",
      L"\xDD00",  // lone high surrogate; just below and just above the escape range
      std::wstring(1, static_cast<wchar_t>(0x110000)),
      std::wstring(1, static_cast<wchar_t>(-1)),
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(VormToUtf8(L"a" + cases[i] + L"z"), "a\xEF\xBF\xBDz") << i;
}

// --- Formatter -----------------------------------------------------------------------

// Formats through every entry and checks they agree on the text and its length.
std::wstring F(const wchar_t* format, ...) {
  va_list args, copy;
  va_start(args, format);
  va_copy(copy, args);
  const std::wstring text = VormFormatV(format, copy);
  va_end(copy);
  va_copy(copy, args);
  const int needed = _vscwprintf(format, copy);
  va_end(copy);
  std::vector<wchar_t> buffer(text.size() + 2, L'#');
  va_copy(copy, args);
  const int written = _vsnwprintf(buffer.data(), buffer.size(), format, copy);
  va_end(copy);
  va_end(args);
  EXPECT_EQ(needed, static_cast<int>(text.size())) << "format " << VormToUtf8(format);
  EXPECT_EQ(written, static_cast<int>(text.size())) << "format " << VormToUtf8(format);
  EXPECT_EQ(std::wstring(buffer.data(), text.size() + 1), text + L'\0') << "format " << VormToUtf8(format);
  return text;
}

// Rows of {what F made, what was expected}.
void CheckAll(const std::vector<std::pair<std::wstring, std::wstring>>& cases) {
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i << ": " << VormToUtf8(cases[i].second);
  }
}

TEST(Format, StringsAndCharactersFollowThePlatform) {
  const wchar_t unterminated[] = {L'a', L'b', L'c'};
  const char unterminatedNarrow[] = {'x', 'y', 'z'};
  CheckAll({
      {F(L"%s|%S", L"wide", "narrow"), L"wide|narrow"},
      {F(L"%c%C%lc%hc%wc%hC%lC", L'\u03A9', 'n', L'W', 'h', L'x', 'y', L'z'), L"\u03A9nWhxyz"},
      {F(L"%S",
         "Stra\xC3\x9F"
         "e \xF0\x9F\x98\x80"),
       L"Stra\u00DFe \U0001F600"},
      {F(L"%S", "bad\xFF"), L"bad\xDCFF"},
      {F(L"%C", 0xE9), L"\xDCE9"},
      {F(L"%s|%S", static_cast<wchar_t*>(nullptr), static_cast<char*>(nullptr)), L"(null)|(null)"},
      {F(L"%.3s", L"(null)abc"), L"(nu"},
      {F(L"[%6s][%-6s][%06s]", L"ab", L"ab", L"ab"), L"[    ab][ab    ][0000ab]"},
      {F(L"[%.2S][%4.2S]",
         "\xC3\xA9\xE2\x82\xAC"
         "x",
         "\xC3\xA9\xE2\x82\xAC"
         "x"),
       L"[\u00E9\u20AC][  \u00E9\u20AC]"},
      {F(L"%.3s", unterminated), L"abc"},
      {F(L"%.3S", unterminatedNarrow), L"xyz"},  // precision bounds the read
      {F(L"[%3c][%-3c]", L'x', L'y'), L"[  x][y  ]"},
      {F(L"a%cb", 0), std::wstring(L"a\0b", 3)},
  });
}

TEST(Format, Integers) {
  CheckAll({
      {F(L"%#x %#X %#o %#x %#o", 255, 255, 8, 0, 0), L"0xff 0XFF 010 0 0"},
      {F(L"[%5d][%-5d][%05d][%+d][% d][%+ d]", 42, 42, -42, 7, 7, 7), L"[   42][42   ][-0042][+7][ 7][+7]"},
      {F(L"[%.3d][%5.3d][%05.3d][%.0d][%.0x]", 7, -7, 7, 0, 0), L"[007][ -007][  007][][]"},
      {F(L"%I64d %I64u %I64x", INT64_MIN, UINT64_MAX, 0x123456789ABCDEFULL),
       L"-9223372036854775808 18446744073709551615 123456789abcdef"},
      {F(L"%ld %lu %lx", -1, 0xFFFFFFFFu, 0xDEADBEEFu), L"-1 4294967295 deadbeef"},  // l is 32 bits
      {F(L"%Id %Iu %Ix", static_cast<intptr_t>(-2), static_cast<uintptr_t>(UINTPTR_MAX), static_cast<uintptr_t>(255)),
       L"-2 18446744073709551615 ff"},
      {F(L"%p|%p", reinterpret_cast<void*>(0x1A), static_cast<void*>(nullptr)), L"000000000000001A|0000000000000000"},
  });
}

TEST(Format, FloatingPoint) {
  CheckAll({
      {F(L"%f %.2f %#.0f %.2e %G", 3.14159, 3.14159, 2.0, -1.0, 1e-5), L"3.141590 3.14 2. -1.00e+00 1E-05"},
      {F(L"[%10.3f][%-10.3f][%010.3f][%+.1f][% .1f]", -3.5, 3.5, -3.5, 1.0, 1.0),
       L"[    -3.500][3.500     ][-00003.500][+1.0][ 1.0]"},
      {F(L"[%06f][%-6f][%f]", HUGE_VAL, -HUGE_VAL, std::nan("")), L"[   inf][-inf  ][nan]"},
  });
}

TEST(Format, LiteralsAndRefusedConversions) {
  int sink = 1234;
  CheckAll({
      {F(L"100%%"), L"100%"},
      {F(L"%5%|"), L"%|"},
      {F(L"ab%nc", &sink), L"abc"},
      {F(L"%hnx%d", &sink, 5), L"x5"},
      {F(L"%y|%k"), L"%y|%k"},
      {F(L"end%"), L"end%"},
      {F(L"end%-5"), L"end%-5"},
      {F(L"end%I6"), L"end%I6"},
      {F(L""), L""},
  });
  EXPECT_EQ(sink, 1234);
}

TEST(Format, BoundedOutputCutsAtTheCount) {
  // "abcdef" is six characters; `stored` includes the terminator when one is written.
  const struct {
    size_t count;
    int result;
    std::wstring stored;
  } cases[] = {
      {10, 6, std::wstring(L"abcdef\0", 7)},
      {7, 6, std::wstring(L"abcdef\0", 7)},  // exact fit with room for the terminator
      {6, 6, L"abcdef"},                     // exact fit without it: not terminated
      {3, -1, L"abc"},
      {1, -1, L"a"},
      {0, -1, L""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    wchar_t buffer[16];
    std::wmemset(buffer, L'#', 16);
    EXPECT_EQ(_snwprintf(buffer, cases[i].count, L"%s%S", L"abc", "def"), cases[i].result) << "case " << i;
    EXPECT_EQ(std::wstring(buffer, cases[i].stored.size()), cases[i].stored) << "case " << i;
    for (size_t k = cases[i].stored.size(); k < 16; ++k)
      ASSERT_EQ(buffer[k], L'#') << "case " << i << " wrote at " << k;
  }

  // Cut inside a padded field and inside decoded narrow text.
  wchar_t buffer[8];
  std::wmemset(buffer, L'#', 8);
  EXPECT_EQ(_snwprintf(buffer, 5, L"%8d", 42), -1);
  EXPECT_EQ(std::wstring(buffer, 6), L"     #");
  EXPECT_EQ(_snwprintf(buffer, 2, L"%S", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), -1);
  EXPECT_EQ(std::wstring(buffer, 3), L"\u00E9\u20AC ");

  EXPECT_EQ(_snwprintf(nullptr, 0, L"%d", 12345), 5);  // measuring call
  EXPECT_EQ(_snwprintf(buffer, 8, L""), 0);
  EXPECT_EQ(buffer[0], L'\0');

  wchar_t unbounded[64];
  EXPECT_EQ(_swprintf(unbounded, L"%s-%I64d", L"n", 64LL), 4);
  EXPECT_EQ(std::wstring(unbounded), L"n-64");
}

int MeasureV(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = _vscwprintf(format, args);
  va_end(args);
  return n;
}

template <size_t... I>
int MeasureRepeated(const wchar_t* format, std::index_sequence<I...>) {
  return MeasureV(format, ((void)I, 1)...);
}

TEST(Format, VeryLongOutput) {
  const std::wstring big(100000, L'x');
  EXPECT_EQ(VormFormat(L"<%s>", big.c_str()), L"<" + big + L">");
  EXPECT_EQ(VormFormat(L"%100000d", 7), std::wstring(99999, L' ') + L"7");
  EXPECT_EQ(VormFormat(L"%.400f", 1e300).size(), 301u + 1 + 400);

  // A wide field costs only the characters a bounded call can store.
  wchar_t small[4];
  EXPECT_EQ(_snwprintf(small, 4, L"%1000000d", 1), -1);
  EXPECT_EQ(std::wstring(small, 4), L"    ");
  // 2148 fields of a million characters: a length beyond an int.
  std::wstring many;
  for (int i = 0; i < 2148; ++i) many += L"%1000000d";
  EXPECT_EQ(MeasureRepeated(many.c_str(), std::make_index_sequence<2148>()), -1);
  EXPECT_EQ(MeasureV(nullptr), -1);
}

// Past the digits a double or long double can hold exactly, the formatter adds the zeros
// itself; the text must be the C library's whole answer all the same.
TEST(Format, PrecisionBeyondTheExactDigitsMatchesTheCLibrary) {
  const auto c = [](const char* format, auto value) {
    std::vector<char> text(40000);
    const int n = std::snprintf(text.data(), text.size(), format, value);
    return std::wstring(text.data(), text.data() + n);
  };
  CheckAll({
      {F(L"%.1200f", 0.1), c("%.1200f", 0.1)},
      {F(L"%.1500e", 1.0 / 3), c("%.1500e", 1.0 / 3)},
      {F(L"%#.1300g|%.1300g", 2.5e-300, 2.5e-300), c("%#.1300g", 2.5e-300) + L"|" + c("%.1300g", 2.5e-300)},
      {F(L"%.1200a|%.1200A", 1.5, 1.5), c("%.1200a", 1.5) + L"|" + c("%.1200A", 1.5)},
      {F(L"[%-1400.1200E]", -7.25), L"[" + c("%-1400.1200E", -7.25) + L"]"},
      {F(L"[%01400.1200f]", -1.5), L"[" + c("%01400.1200f", -1.5) + L"]"},
      {F(L"%.2000f", 4.9e-324), c("%.2000f", 4.9e-324)},  // the smallest double, all 1074 places
      {F(L"[%.2000f]", HUGE_VAL), L"[inf]"},
      {F(L"%.17000Lf", 1.0L / 3), c("%.17000Lf", 1.0L / 3)},
      {F(L"%#.17000LG", 1e-4000L), c("%#.17000LG", 1e-4000L)},
  });
}

// Calls every entry with a format it must refuse.
void ExpectRefused(const wchar_t* format, ...) {
  va_list args, copy;
  va_start(args, format);
  const std::string what = "format " + VormToUtf8(format);
  va_copy(copy, args);
  EXPECT_TRUE(VormFormatV(format, copy).empty()) << what;
  va_end(copy);
  std::wstring kept = L"kept";
  va_copy(copy, args);
  VormAppendFormatV(kept, format, copy);
  va_end(copy);
  EXPECT_EQ(kept, L"kept") << what;
  va_copy(copy, args);
  EXPECT_EQ(_vscwprintf(format, copy), -1) << what;
  va_end(copy);
  wchar_t buffer[8] = L"#######";
  va_copy(copy, args);
  EXPECT_EQ(_vsnwprintf(buffer, 8, format, copy), -1) << what;
  va_end(copy);
  EXPECT_EQ(buffer[0], L'\0') << what;  // never a partial text that looks like a cut result
  std::wmemcpy(buffer, L"#######", 8);
  va_copy(copy, args);
  EXPECT_EQ(_vswprintf(buffer, format, copy), -1) << what;
  va_end(copy);
  EXPECT_EQ(buffer[0], L'\0') << what;
  va_end(args);
}

TEST(Format, FieldsBeyondTheLimitAreRefused) {
  static_assert(kVormFormatFieldLimit == 1000000);
  ExpectRefused(L"%1000001d", 7);
  ExpectRefused(L"ab%.1000001x", 7u);
  ExpectRefused(L"%*d", kVormFormatFieldLimit + 1, 7);
  ExpectRefused(L"%*d", INT_MIN, 7);  // left-aligned, and no magnitude fits
  ExpectRefused(L"%99999999999999999999d", 7);
  ExpectRefused(L"%.500000000f", 1.0);
  ExpectRefused(L"%.1000001Le", 1.0L);
  ExpectRefused(L"%.1000001p", nullptr);
  ExpectRefused(L"%1000001s|%d", L"x", 7);
  ExpectRefused(L"%1000001c", L'x');
  ExpectRefused(L"%d %1000001%", 7);

  // At the limit, and a string's precision, which only bounds the read.
  EXPECT_EQ(MeasureV(L"%1000000d|%.1000000f", 7, 1.0), 1000000 + 1 + 1000002);
  EXPECT_EQ(F(L"%.3000000000s|%.*S", L"ab", INT_MAX, "cd"), L"ab|cd");
  // Text that is not a directive is copied as it stands, whatever its digits.
  EXPECT_EQ(F(L"%1000001y|end%2000000"), L"%1000001y|end%2000000");

  // Within the limit a bounded call stores its few characters and counts the rest.
  wchar_t buffer[8];
  EXPECT_EQ(_snwprintf(buffer, 8, L"%.999999f", 1.0), -1);
  EXPECT_EQ(std::wstring(buffer, 8), L"1.000000");
  EXPECT_EQ(_snwprintf(buffer, 8, L"%.999999Le", 2.5L), -1);
  EXPECT_EQ(std::wstring(buffer, 8), L"2.500000");
  EXPECT_EQ(MeasureV(L"%.999999e", 1.0), 1 + 1 + 999999 + 4);
}

// --- Case functions -------------------------------------------------------------------

TEST(Case, CharacterAndBufferMapping) {
  const struct {
    wchar_t in, upper, lower;
  } chars[] = {
      {L'a', L'A', L'a'},
      {L'Z', L'Z', L'z'},
      {L'1', L'1', L'1'},
      {L'\u00E9', L'\u00C9', L'\u00E9'},
      {L'\u00C9', L'\u00C9', L'\u00E9'},
      {L'\u00DF', L'\u00DF', L'\u00DF'},
      {L'\u00FF', L'\u0178', L'\u00FF'},
      {L'\u03A3', L'\u03A3', L'\u03C3'},
      {L'\u03C2', L'\u03A3', L'\u03C2'},
      {L'\u0416', L'\u0416', L'\u0436'},
      {L'\u0436', L'\u0416', L'\u0436'},
      {L'\U00010428', L'\U00010400', L'\U00010428'},
      {L'\U00010400', L'\U00010400', L'\U00010428'},  // outside the BMP
      {L'\xDCFF', L'\xDCFF', L'\xDCFF'},
      {static_cast<wchar_t>(-5), static_cast<wchar_t>(-5), static_cast<wchar_t>(-5)},
  };
  for (size_t i = 0; i < std::size(chars); ++i) {
    EXPECT_EQ(VormToUpper(chars[i].in), chars[i].upper) << "char " << i;
    EXPECT_EQ(VormToLower(chars[i].in), chars[i].lower) << "char " << i;
  }

  wchar_t text[] = L"ab\0cd\u00E4x";
  EXPECT_EQ(CharUpperBuffW(text, 6), 6u);  // NULs inside the count are passed over
  EXPECT_EQ(std::wstring(text, 7), std::wstring(L"AB\0CD\u00C4x", 7));
  EXPECT_EQ(CharLowerBuffW(text, 2), 2u);
  EXPECT_EQ(std::wstring(text, 7), std::wstring(L"ab\0CD\u00C4x", 7));
  EXPECT_EQ(CharUpperBuffW(nullptr, 5), 0u);
}

TEST(Case, CaseInsensitiveComparison) {
  const struct {
    const wchar_t* a;
    const wchar_t* b;
    size_t n;
    int full, counted;
  } cases[] = {
      {L"abc", L"ABC", 3, 0, 0},
      {L"\u00C4\u00D6", L"\u00E4\u00F6", 9, 0, 0},
      {L"abcX", L"ABCy", 3, -1, 0},
      {L"b", L"A", 1, 1, 1},
      {L"_", L"A", 1, -1, -1},
      {L"ab", L"abc", 2, -1, 0},
      {L"", L"", 0, 0, 0},
      {L"x", L"y", 0, -1, 0},
      {L"\U0001F600", L"\U0001F601", 1, -1, -1},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(_wcsicmp(cases[i].a, cases[i].b), cases[i].full) << "case " << i;
    EXPECT_EQ(_wcsicmp(cases[i].b, cases[i].a), -cases[i].full) << "case " << i;
    EXPECT_EQ(_wcsnicmp(cases[i].a, cases[i].b, cases[i].n), cases[i].counted) << "case " << i;
  }
  EXPECT_EQ(_wcsicmp(nullptr, L"a"), INT_MAX);
  EXPECT_EQ(_wcsnicmp(L"a", nullptr, 1), INT_MAX);
  EXPECT_EQ(VormCompareNoCase(std::wstring_view(L"a\0B", 3), std::wstring_view(L"A\0b", 3)), 0);
  EXPECT_EQ(VormCompareNoCase(std::wstring_view(L"a\0", 2), L"a"), 1);
}

}  // namespace
