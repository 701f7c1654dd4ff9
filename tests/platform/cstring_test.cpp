#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/platform/cstring.h>

// Decoding, case mapping and case-blind comparison per character are the text suite's;
// these check what CString adds.

namespace {

TEST(CString, NarrowTextAndCaseGoThroughThePlatformMappings) {
  EXPECT_EQ(CString("Stra\xC3\x9F"
                    "e\xFF")
                .str(),
            L"Stra\u00DFe\xDCFF");
  EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
  CString s;
  s = "\xE2\x82\xAC";
  EXPECT_EQ(s.str(), L"\u20AC");
  EXPECT_EQ(CString(L"\u0391\u03B2\u03C2-\u00DF").MakeUpper(), L"\u0391\u0392\u03A3-\u00DF");
  EXPECT_EQ(CString(L"\u041C\u0418\u0420 AB").MakeLower(), L"\u043C\u0438\u0440 ab");
  EXPECT_EQ(CString(L"ab\U0001F600c").MakeReverse(), L"c\U0001F600ba");
}

TEST(CString, OutOfRangeArgumentsAreClamped) {
  const CString s(L"abcdef");
  const struct {
    int index;
    const wchar_t* text;
    const wchar_t* expect;
  } inserts[] = {
      {0, L"X", L"Xabcdef"},   {-5, L"X", L"Xabcdef"}, {3, L"XY", L"abcXYdef"}, {6, L"X", L"abcdefX"},
      {100, L"X", L"abcdefX"}, {2, L"", L"abcdef"},    {2, nullptr, L"abcdef"},
  };
  for (size_t i = 0; i < std::size(inserts); ++i) {
    CString t(s);
    EXPECT_EQ(t.Insert(inserts[i].index, inserts[i].text), static_cast<int>(std::wcslen(inserts[i].expect))) << i;
    EXPECT_EQ(t, inserts[i].expect) << "insert " << i;
  }
  const struct {
    int index, count;
    const wchar_t* expect;
  } deletes[] = {
      {0, 1, L"bcdef"},   {-2, 2, L"cdef"},  {4, 99, L"abcd"},   {6, 1, L"abcdef"},
      {99, 1, L"abcdef"}, {2, 0, L"abcdef"}, {2, -3, L"abcdef"}, {1, 2147483647, L"a"},
  };
  for (size_t i = 0; i < std::size(deletes); ++i) {
    CString t(s);
    EXPECT_EQ(t.Delete(deletes[i].index, deletes[i].count), static_cast<int>(std::wcslen(deletes[i].expect))) << i;
    EXPECT_EQ(t, deletes[i].expect) << "delete " << i;
  }
  CString self(L"abc");
  self.Insert(1, self.GetString());  // a piece of the string itself
  EXPECT_EQ(self, L"aabcbc");
}

TEST(CString, TrimVariants) {
  enum Kind { kSpace, kChar, kSet };
  const struct {
    Kind kind;
    const wchar_t* in;
    wchar_t ch;
    const wchar_t* set;
    const wchar_t *both, *left, *right;
  } cases[] = {
      {kSpace, L" \t\r\n a b \v\f", 0, nullptr, L"a b", L"a b \v\f", L" \t\r\n a b"},
      {kSpace, L"\u3000\u2003x\u00A0", 0, nullptr, L"x\u00A0", L"x\u00A0", L"\u3000\u2003x\u00A0"},
      {kSpace, L"   ", 0, nullptr, L"", L"", L""},
      {kChar, L"xxaxbxx", L'x', nullptr, L"axb", L"axbxx", L"xxaxb"},
      {kChar, L"xxx", L'x', nullptr, L"", L"", L""},
      {kSet, L"-+-a+b-+", 0, L"+-", L"a+b", L"a+b-+", L"-+-a+b"},
      {kSet, L"+-+", 0, L"+-", L"", L"", L""},
      {kSet, L" a ", 0, L"", L" a ", L" a ", L" a "},
      {kSet, L" a ", 0, nullptr, L" a ", L" a ", L" a "},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    CString both(c.in), left(c.in), right(c.in);
    switch (c.kind) {
      case kSpace:
        both.Trim();
        left.TrimLeft();
        right.TrimRight();
        break;
      case kChar:
        both.Trim(c.ch);
        left.TrimLeft(c.ch);
        right.TrimRight(c.ch);
        break;
      case kSet:
        both.Trim(c.set);
        left.TrimLeft(c.set);
        right.TrimRight(c.set);
        break;
    }
    EXPECT_EQ(both, c.both) << "case " << i;
    EXPECT_EQ(left, c.left) << "case " << i;
    EXPECT_EQ(right, c.right) << "case " << i;
  }
}

TEST(CString, CompareNoCaseAndCollate) {
  const struct {
    const wchar_t *a, *b;
    int expect;
  } cases[] = {
      {L"\u00C4rger", L"\u00E4RGER", 0},
      {L"abd", L"ABC", 1},
      {L"ab", L"abc", -1},
      {L"_", L"A", -1},  // lower-cased: '_' (0x5F) sorts before 'a' (0x61)
      {L"", nullptr, 0},
      {L"a", nullptr, 1},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(CString(cases[i].a).CompareNoCase(cases[i].b), cases[i].expect) << "case " << i;
    EXPECT_EQ(CString(cases[i].a).CollateNoCase(cases[i].b), cases[i].expect) << "case " << i;
  }
}

TEST(CString, ReplaceRemoveCounts) {
  const struct {
    const wchar_t *in, *from, *to;
    int count;
    const wchar_t* out;
  } cases[] = {
      {L"a.b.c", L".", L"::", 2, L"a::b::c"},    {L"aaaa", L"aa", L"a", 2, L"aa"},  // matches do not overlap
      {L"abc", L"x", L"y", 0, L"abc"},           {L"abc", L"", L"y", 0, L"abc"},
      {L"abc", nullptr, L"y", 0, L"abc"},        {L"abcabc", L"bc", nullptr, 2, L"aa"},
      {L"abab", L"ab", L"abab", 2, L"abababab"}, {L"", L"a", L"b", 0, L""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    CString s(cases[i].in);
    EXPECT_EQ(s.Replace(cases[i].from, cases[i].to), cases[i].count) << "case " << i;
    EXPECT_EQ(s, cases[i].out) << "case " << i;
  }
  CString s(L"a-b-c");
  EXPECT_EQ(s.Replace(L'-', L'+'), 2);
  EXPECT_EQ(s, L"a+b+c");
  CString self(L"xyx");
  EXPECT_EQ(self.Replace(L"x", self.GetString()), 2);  // `to` points into the string itself
  EXPECT_EQ(self, L"xyxyxyx");
}

TEST(CString, GetBufferAndReleaseBuffer) {
  CString s(L"old text");
  wchar_t* p = s.GetBuffer(20);
  std::wcscpy(p, L"new contents here!!");  // 19 characters + terminator
  s.ReleaseBuffer();
  EXPECT_EQ(s, L"new contents here!!");
  p = s.GetBuffer(3);  // smaller than the text: the text stays until released
  EXPECT_EQ(std::wstring(p, 3), L"new");
  p[3] = L'\0';
  s.ReleaseBuffer();
  EXPECT_EQ(s, L"new");
  p = s.GetBuffer(4);
  std::wmemcpy(p, L"wxyz", 4);  // fills the buffer, no terminator written
  s.ReleaseBuffer(-1);
  EXPECT_EQ(s, L"wxyz");
  s.GetBuffer(10);
  s.ReleaseBuffer(2);
  EXPECT_EQ(s, L"wx");
  s.GetBuffer(0);
  s.ReleaseBuffer(50);  // beyond the buffer: clamped
  EXPECT_EQ(s, L"wx");
  p = s.GetBufferSetLength(5);
  std::wmemcpy(p, L"12345", 5);
  EXPECT_EQ(s, L"12345");
  s.GetBufferSetLength(-1);
  EXPECT_TRUE(s.IsEmpty());
}

TEST(CString, TokenizeFollowsThePlatform) {
  // {text, delimiters, start, then the tokens and positions of successive calls}
  const struct {
    const wchar_t *text, *delimiters;
    int start;
    std::vector<std::pair<const wchar_t*, int>> calls;
  } cases[] = {
      {L";;ab;c;;d;", L";", 0, {{L"ab", 5}, {L"c", 7}, {L"d", 10}, {L"", -1}, {L"", -1}}},  // stays at the end
      {L"a b", L" ", 0, {{L"a", 2}, {L"b", 4}, {L"", -1}}},
      {L"   ", L" ", 0, {{L"", -1}}},
      {L"abc", L" ", -4, {{L"", -1}}},
      {L"abc", L"", 1, {{L"bc", 3}, {L"", -1}}},  // no delimiters: the rest is one token
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    int pos = cases[i].start;
    for (size_t k = 0; k < cases[i].calls.size(); ++k) {
      EXPECT_EQ(CString(cases[i].text).Tokenize(cases[i].delimiters, pos), cases[i].calls[k].first) << i << " " << k;
      EXPECT_EQ(pos, cases[i].calls[k].second) << i << " " << k;
    }
  }
}

TEST(CString, FormatMayReferToItself) {
  CString s;
  s.Format(L"%s-%d", L"x", 5);
  s.Format(L"[%s]", s.GetString());
  EXPECT_EQ(s, L"[x-5]");
  s.AppendFormat(L"+%s", s.GetString());
  EXPECT_EQ(s, L"[x-5]+[x-5]");
}

// Arguments that point into the string itself (checked under AddressSanitizer).
TEST(CString, EditsMayTakeTheirOwnText) {
  CString s(L"abcdef");
  s += s.GetString() + 2;
  EXPECT_EQ(s, L"abcdefcdef");
  s.Insert(1, s.GetString() + 8);
  EXPECT_EQ(s, L"aefbcdefcdef");
  EXPECT_EQ(s.Replace(s.GetString() + 1, s.GetString() + 10), 1);  // "efbcdefcdef" -> "ef"
  EXPECT_EQ(s, L"aef");
  s.TrimLeft(s.GetString());
  EXPECT_EQ(s, L"");
  s = L"xyzzy";
  s = s.GetString() + 2;
  EXPECT_EQ(s, L"zzy");
  s.TrimRight(s.GetString() + 2);
  EXPECT_EQ(s, L"zz");
}

}  // namespace
