#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/platform/text.h>
#include <vorm/strings.h>

namespace {

std::string U8(const CString& s) { return VormToUtf8(s.str()); }

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TEST(NextToken, WalksTheTextKeepingItsPlaceInTheCursor) {
  const struct {
    const wchar_t* text;
    const wchar_t* delimiters;
    std::vector<std::wstring> tokens;
  } cases[] = {
      {L"a,,b,", L",", {L"a", L"b"}},
      {L";;;", L";", {}},
      {L"", L",", {}},
      {L"one two\tthree", L" \t", {L"one", L"two", L"three"}},
      {L"abc", L"", {L"abc"}},
      {L"abc", nullptr, {L"abc"}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const wchar_t* cursor = cases[i].text;
    CString token = L"stale";
    for (const std::wstring& expected : cases[i].tokens) {
      ASSERT_TRUE(VormNextToken(&cursor, cases[i].delimiters, token)) << "case " << i;
      EXPECT_EQ(token.str(), expected) << "case " << i;
    }
    EXPECT_FALSE(VormNextToken(&cursor, cases[i].delimiters, token)) << "case " << i;
    EXPECT_TRUE(token.IsEmpty()) << "case " << i;
    EXPECT_EQ(*cursor, L'\0') << "case " << i;
  }
}

TEST(PopToken, SplitsAtTheFirstSeparator) {
  const struct {
    const wchar_t *separator, *source, *token, *rest;
  } cases[] = {
      {L", ", L"a, b, c", L"a", L"b, c"},
      {L", ", L"abc", L"abc", L""},
      {L",", L",x", L"", L"x"},
      {L",", L"x,", L"x", L""},
      {L",", L"", L"", L""},
      {L"", L"abc", L"abc", L""},  // an empty separator cannot split (and never loops)
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    CString source = cases[i].source;
    EXPECT_EQ(VormPopToken(cases[i].separator, source), cases[i].token) << "case " << i;
    EXPECT_EQ(source, cases[i].rest) << "case " << i;
  }
  CString s = L"a b,c";
  EXPECT_EQ(VormPopSpaceToken(s), L"a");
  EXPECT_EQ(VormPopCommaToken(s), L"b");
  EXPECT_EQ(s, L"c");
  CString same = L"ab";
  EXPECT_EQ(VormPopToken(same, same), L"");  // separator and source are one object
  EXPECT_EQ(same, L"");
}

TEST(SplitCommaList, AppendsTrimmedNonEmptyItems) {
  CStringArray items;
  items.Add(L"kept");
  EXPECT_TRUE(VormSplitCommaList(L" a ,, b ,", items));
  EXPECT_TRUE(VormSplitCommaList(L"", items));
  EXPECT_TRUE(VormSplitCommaList(L"\tc d\u3000", items));
  ASSERT_EQ(items.GetSize(), 4);
  EXPECT_EQ(items[0], L"kept");
  EXPECT_EQ(items[1], L"a");
  EXPECT_EQ(items[2], L"b");
  EXPECT_EQ(items[3], L"c d");
}

TEST(InsertListItem, MovesOrInsertsTheValue) {
  const struct {
    const wchar_t* value;
    int index;
    const wchar_t *list, *expected;
  } cases[] = {
      {L"b", 0, L"a;b;c", L"b;a;c"},   {L"b", 0, L"b;a;c", L"b;a;c"}, {L"b", 5, L"a", L"a;b"},
      {L"x", 1, L"a;b;c", L"a;x;b;c"}, {L"x", 1, L"a;x;b", L"a;x;b"}, {L"x", 1, L"", L"x"},
      {L"x", 3, L"a;b;c", L"a;b;c;x"}, {L"c", 0, L"c;c;c", L"c"},     {L"x", 1, L"a;;b", L"a;x;;b"},
      {L"B", 0, L"a;b", L"B;a;b"},     {L"x", -4, L"a;b", L"x;a;b"},  {L"a", 2, L"a;b;c", L"b;a;c"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    CString list = cases[i].list;
    VormInsertListItem(cases[i].value, L";", cases[i].index, list);
    EXPECT_EQ(list, cases[i].expected) << "case " << i;
  }
  CString self = L"a;b";
  VormInsertListItem(self, L";", 0, self);  // the value is the list itself
  EXPECT_EQ(self, L"a;b;a;b");
}

TEST(InsertEscapes, EscapesOnlyWhatIsNotEscapedYet) {
  const struct {
    const wchar_t *target, *escape, *text, *expected;
  } cases[] = {
      {L"'", L"\\", L"it's", L"it\\'s"},
      {L"'", L"\\", L"it\\'s", L"it\\'s"},
      {L"'", L"\\", L"'a''", L"\\'a\\'\\'"},
      {L"'", L"\\", L"", L""},
      // An escape text earlier in the text does not hide the one right before the target.
      {L"'", L"\\", L"C:\\dir it\\'s", L"C:\\dir it\\'s"},
      {L"'", L"'", L"it's", L"it''s"},
      {L"'", L"'", L"it''s", L"it''''s"},
      {L"\"", L"\\\\", L"a\"b\\\\\"", L"a\\\\\"b\\\\\""},
      {L"ab", L"-", L"abab", L"-ab-ab"},
      {L"", L"\\", L"abc", L"abc"},
      {L"'", L"", L"it's", L"it's"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(VormInsertEscapes(cases[i].target, cases[i].escape, cases[i].text), cases[i].expected) << "case " << i;
  }
}

TEST(MakePrompt, TrimsAndEndsWithAColon) {
  const struct {
    const wchar_t* text;
    bool newline;
    const wchar_t* expected;
  } cases[] = {
      {L"Select point", false, L"Select point: "},
      {L"Select point", true, L"\nSelect point: "},
      {L"Select point:", false, L"Select point: "},
      {L"  Pick  ", false, L"Pick: "},
      {L"   ", true, L""},
      {L"", true, L""},
      {L":", false, L": "},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    CString text = cases[i].text;
    VormMakePrompt(text, cases[i].newline);
    EXPECT_EQ(text, cases[i].expected) << "case " << i;
  }
}

TEST(NumberText, NumericAndZeroTexts) {
  const struct {
    const wchar_t* text;
    BOOL numeric, zero;
  } cases[] = {
      {L"", TRUE, FALSE},    {L"0", TRUE, TRUE},    {L"0.000", TRUE, TRUE}, {L".", TRUE, TRUE},
      {L"0.5", TRUE, FALSE}, {L"1-2", TRUE, FALSE}, {L"--", TRUE, FALSE},   {L"1e5", FALSE, FALSE},
      {L" 1", FALSE, FALSE}, {L"+1", FALSE, FALSE}, {L"-0", TRUE, FALSE},   {L"\u0661", FALSE, FALSE},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(VormIsNumericText(cases[i].text), cases[i].numeric) << "case " << i;
    EXPECT_EQ(VormIsZeroText(cases[i].text), cases[i].zero) << "case " << i;
  }
  EXPECT_TRUE(VormIsNumericText(nullptr));
}

TEST(NumberText, ParseDoubleStoresTheValueInEveryCase) {
  const struct {
    const wchar_t* text;
    BOOL ok;
    double value;
  } cases[] = {
      {L"2.5", TRUE, 2.5},    {L" 2.5", TRUE, 2.5},       {L"2.5 ", FALSE, 2.5},       {L"", TRUE, 0.0},
      {L"abc", FALSE, 0.0},   {L"-1.5e3", TRUE, -1500.0}, {L"1e999", FALSE, HUGE_VAL}, {L"-1e999", FALSE, -HUGE_VAL},
      {L"12,5", FALSE, 12.0}, {L"1e-400", TRUE, 0.0},     {L".5", TRUE, 0.5},          {L"0x10", TRUE, 16.0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    double value = -777;
    EXPECT_EQ(VormParseDouble(cases[i].text, &value), cases[i].ok) << "case " << i;
    EXPECT_EQ(value, cases[i].value) << "case " << i;
  }
  EXPECT_TRUE(VormParseDouble(L"4", nullptr));
}

TEST(NumberText, FormatDoubleWithFixedDecimals) {
  const struct {
    double value;
    int decimals;
    const wchar_t* expected;
  } cases[] = {
      {3.14159, 2, L"3.14"},
      {-1, 3, L"-1.000"},
      {999.5, 0, L"1000"},
      {0.0, 1, L"0.0"},
      {1e20, 0, L"100000000000000000000"},
      {-0.0004, 3, L"-0.000"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(VormFormatDouble(cases[i].value, cases[i].decimals), cases[i].expected) << "case " << i;
  }
}

// The character mapping itself is the platform suite's; these check the CString forms and
// the word rule of title case.
TEST(Case, UpperLowerAndTitle) {
  const struct {
    const wchar_t *text, *upper, *lower, *title;
  } cases[] = {
      {L"hello WORLD 3d", L"HELLO WORLD 3D", L"hello world 3d", L"Hello World 3D"},
      {L"", L"", L"", L""},
      {L"\u00e9t\u00c9 b2b", L"\u00c9T\u00c9 B2B", L"\u00e9t\u00e9 b2b", L"\u00c9t\u00e9 B2B"},
      {L"a\tb\u3000c", L"A\tB\u3000C", L"a\tb\u3000c", L"A\tB\u3000C"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(U8(VormToUpper(cases[i].text)), U8(cases[i].upper)) << "case " << i;
    EXPECT_EQ(U8(VormToLower(cases[i].text)), U8(cases[i].lower)) << "case " << i;
    EXPECT_EQ(U8(VormToTitleCase(cases[i].text)), U8(cases[i].title)) << "case " << i;
  }
}

TEST(CompareNatural, OrdersEmbeddedNumbersByValue) {
  const struct {
    const wchar_t *a, *b;
    int sign, signNoCase;
  } cases[] = {
      {L"P9", L"P10", -1, -1},
      {L"P10", L"P9a", 1, 1},
      {L"A2B10", L"A2B9", 1, 1},
      {L"abc", L"abd", -1, -1},
      {L"x1", L"xy1", -1, -1},  // prefixes of different length: whole texts collated
      {L"a01", L"a1", 0, 0},
      {L"a1", L"a1b", -1, -1},
      {L"a1b", L"a1b", 0, 0},
      {L"", L"1", -1, -1},
      {L"p2", L"P10", 1, -1},  // 'p' > 'P' in the ordinal order; case-blind the numbers decide
      {L"000", L"0", 0, 0},
      // Digit runs far beyond what an int holds still compare by value.
      {L"n99999999999999999999", L"n99999999999999999998", 1, 1},
      {L"n4294967296", L"n4294967295", 1, 1},
      {L"n00000000000000000000007", L"n8", -1, -1},
      {L"n123456789012345678901234567890x2", L"n123456789012345678901234567890x10", -1, -1},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Sign(VormCompareNatural(cases[i].a, cases[i].b)), cases[i].sign) << "case " << i;
    EXPECT_EQ(Sign(VormCompareNatural(cases[i].b, cases[i].a)), -cases[i].sign) << "case " << i << " swapped";
    EXPECT_EQ(Sign(VormCompareNaturalNoCase(cases[i].a, cases[i].b)), cases[i].signNoCase) << "case " << i;
  }
  EXPECT_EQ(VormCompareNatural(nullptr, L""), 0);
  EXPECT_LT(VormCompareNaturalNoCase(nullptr, L"a"), 0);
}

TEST(GuidText, BracedUpperCaseGroups) {
  EXPECT_EQ(VormGuidToString(IID_IErrorInfo), L"{1CF2B120-547D-101B-8E65-08002B2BD119}");
}

TEST(Angles, ConversionsBetweenPackedDegreesAndRadians) {
  constexpr double kPi = 3.141592653589793;
  const struct {
    double (*convert)(double);
    double in, out;
  } cases[] = {
      {VormDmsToDegrees, -12.3045, -12.5125}, {VormDmsToDegrees, 45.15, 45.25},    // stored as 45.14999...
      {VormDegreesToDms, -0.5, -0.30},        {VormDegreesToDms, 400.25, 400.15},  // no normalisation
      {VormDegreesToRadians, -90, -kPi / 2},  {VormRadiansToDegrees, kPi / 4, 45},
      {VormRadiansToDms, kPi / 8, 22.30},     {VormDmsToRadians, 22.30, kPi / 8},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_NEAR(cases[i].convert(cases[i].in), cases[i].out, 1e-9) << i;
  EXPECT_EQ(VormDegreesToRadians(180), kPi);
  // Every whole minute and some seconds of a few degrees, however the decimal is stored.
  for (int d : {0, 1, 45, 123, 359}) {
    for (int m = 0; m < 60; ++m) {
      for (int sec : {0, 1, 30, 59}) {
        const double packed = d + m / 100.0 + sec / 10000.0, degrees = d + m / 60.0 + sec / 3600.0;
        EXPECT_NEAR(VormDmsToDegrees(packed), degrees, 1e-9) << d << " " << m << " " << sec;
        EXPECT_NEAR(VormDmsToDegrees(-packed), -degrees, 1e-9) << d << " " << m << " " << sec;
        EXPECT_NEAR(VormDegreesToDms(degrees), packed, 1e-9) << d << " " << m << " " << sec;
        EXPECT_NEAR(VormDegreesToDms(-degrees), -packed, 1e-9) << d << " " << m << " " << sec;
      }
    }
  }
}

}  // namespace
