#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/point_string.h>

#include "support/point_string_reference.h"

namespace {

using Numbers = std::vector<DWORD>;
constexpr DWORD kMax = VormPointMarker::kMaxNumber;

std::wstring Text(const CString& s) { return s.str(); }

Numbers Range(DWORD first, DWORD last) {
  Numbers out;
  for (DWORD n = first; n <= last; ++n) out.push_back(n);
  return out;
}

// The numbers a text names, by the documented protocol.
Numbers Walk(VormPointString& s) {
  Numbers out;
  DWORD n = 0;
  for (s.GetFirstNumber(&n); !s.IsDone(); s.GetNextNumber(&n)) out.push_back(n);
  return out;
}

TEST(VormPointString, WalksCountsAndValidates) {
  const struct {
    std::wstring text;
    Numbers numbers;
    bool valid;
    DWORD count;
  } cases[] = {
      {L"1-3,5", {1, 2, 3, 5}, true, 4},
      {L"5-3", {5, 4, 3}, true, 3},
      {L" 1 - 3 ,, 7 ,", {1, 2, 3, 7}, true, 4},
      {L"\t1 ,\n2\r,\u30003", {1, 2, 3}, true, 3},
      {L"007,,,", {7}, true, 1},
      {L"5-5", {5}, true, 1},
      {L"<5", {0}, true, 1},
      {L">= 12", {0}, true, 1},
      {L"<=>7,2", {0, 2}, true, 2},
      {L"", {}, true, 0},
      {L",", {}, true, 0},
      {L"1,x,3", {1}, false, 1},
      {L"0", {}, false, 0},
      {L"3-0", {}, false, 0},
      {L"-3", {}, false, 0},
      {L"3-", {}, false, 0},
      {L"5<", {}, false, 0},
      {L"<5-3", {}, false, 0},
      {L"1\u00A02", {}, false, 0},
      {L"\uFF11", {}, false, 0},  // no-break space, fullwidth digit
      {std::wstring(L"1\0"
                    L"2",
                    3),
       {},
       false,
       0},
      {L"3000000000", {3000000000u}, true, 1},
      {L"99999999999", {0xFFFFFFFFu}, true, 1},
      {L"4294967293-4294967295", {4294967293u, 4294967294u, 4294967295u}, true, 3},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    VormPointString s(CString(c.text));
    EXPECT_EQ(Walk(s), c.numbers) << "case " << i;
    EXPECT_EQ(s.IsValid(), c.valid ? TRUE : FALSE) << "case " << i;
    EXPECT_EQ(s.GetCount(), c.count) << "case " << i;
  }
}

TEST(VormPointString, ClassifiesTokens) {
  using namespace VormPointString_details;
  constexpr auto kBad = TokenKind::kMalformed, kNum = TokenKind::kNumber, kRng = TokenKind::kRange,
                 kRel = TokenKind::kRelation;
  const struct {
    std::wstring_view token;
    TokenKind kind;
    DWORD first, last;
    bool valid;
  } cases[] = {
      {L"12", kNum, 12, 12, true},   {L"007", kNum, 7, 7, true},    {L"0", kNum, 0, 0, false},
      {L"", kNum, 0, 0, false},      {L"3 - 7", kRng, 3, 7, true},  {L"9-5", kRng, 9, 5, true},
      {L"3-", kRng, 3, 0, false},    {L"3-0", kRng, 3, 0, false},   {L"1-99999999999", kRng, 1, 0xFFFFFFFFu, true},
      {L"<", kRel, 0, 0, true},      {L">= 12", kRel, 0, 0, true},  {L"<=><", kRel, 0, 0, true},
      {L"-3", kBad, 0, 0, false},    {L"1 2", kBad, 0, 0, false},   {L"1-2-3", kBad, 0, 0, false},
      {L"1-2 3", kBad, 0, 0, false}, {L"1\t-2", kBad, 0, 0, false}, {L"=5", kBad, 0, 0, false},
      {L"5<", kBad, 0, 0, false},    {L"<5-3", kBad, 0, 0, false},  {L"<5 6", kBad, 0, 0, false},
      {L"1,2", kBad, 0, 0, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const TokenClass t = ClassifyToken(c.token);
    EXPECT_EQ(t.kind, c.kind) << "case " << i;
    EXPECT_EQ(t.first, c.first) << "case " << i;
    EXPECT_EQ(t.last, c.last) << "case " << i;
    EXPECT_EQ(t.IsValid(), c.valid) << "case " << i;
  }
}

TEST(VormPointString, RangesAndTheEmptyText) {
  VormPointString s(L"1-3, 9-5 ,<5");
  std::vector<std::pair<DWORD, DWORD>> ranges;
  DWORD first = 0, last = 0;
  for (s.GetFirstRange(&first, &last); !s.IsDone(); s.GetNextRange(&first, &last)) ranges.emplace_back(first, last);
  EXPECT_EQ(ranges, (std::vector<std::pair<DWORD, DWORD>>{{1, 3}, {9, 5}, {0, 0}}));
}

TEST(VormPointString, WalkReadsTheTextAsItWasWhenItStarted) {
  VormPointString s(L"1-3");
  DWORD n = 0;
  s.GetFirstNumber(&n);
  static_cast<CString&>(s) = L"7";
  s.GetNextNumber(&n);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(s.GetCount(), 1u);  // a new pass reads the new text
}

TEST(VormPointString, IsValidAnswersAnEarlierErrorOnce) {
  VormPointString s(L"1,x");
  EXPECT_EQ(s.GetCount(), 1u);  // stops at "x" with the error flag set
  static_cast<CString&>(s) = L"1";
  EXPECT_FALSE(s.IsValid());  // the earlier error, not the new text
  EXPECT_TRUE(s.IsValid());
}

TEST(VormPointString, AssignmentCopiesTextOnlyAndCopyCopiesAll) {
  VormPointString a(L"1-3");
  a.SetLabel(L"north");
  EXPECT_TRUE(a.HasLabel());
  VormPointString copy(a);
  EXPECT_EQ(std::wstring(copy.GetLabel()), L"north");

  VormPointString b(L"9");
  b.SetLabel(L"south");
  b = a;
  EXPECT_EQ(Text(b), L"1-3");
  EXPECT_FALSE(b.HasLabel());
}

// Rows with null `points` run Normalize, the others RemovePoints.
TEST(VormPointString, RemovePointsAndNormalize) {
  const struct {
    const wchar_t* text;
    const wchar_t* points;
    BOOL sorted;
    const wchar_t* expected;
  } cases[] = {
      {L"1-5", L"2-3", TRUE, L"1,4-5"},
      {L"5,1-3,2", L"2", FALSE, L"5,1,3"},
      {L"1-5", L"2,a", TRUE, L"1-5"},
      {L"9-5", L"6-7", FALSE, L"9-8,5"},
      {L"5,1-3,2", L"", TRUE, L"1-3,5"},
      {L"1-5", L"<5", TRUE, L"1-5"},
      {L"<5,3", L"9", FALSE, L"3"},          // the relational token's 0 drops out
      {L"1-5,x,7", L"2", TRUE, L"1-5,x,7"},  // invalid text is left alone
      {L"5,1-3,2", nullptr, TRUE, L"1-3,5"},
      {L"5,1-3,2", nullptr, FALSE, L"5,1-3"},
      {L"3,2,1,2", nullptr, FALSE, L"3-1"},
      {L"<5,3", nullptr, TRUE, L"3"},
      {L"1,x,3", nullptr, TRUE, L"1,x,3"},
      {L" ", nullptr, TRUE, L""},
      {L"3000000000,2", nullptr, TRUE, L"2,3000000000"},
      {L"4294967295,1", nullptr, TRUE, L"4294967295,1"},  // beyond the bit set: unchanged
      {L"4294967295,1", L"1", FALSE, L"4294967295"},
      {L"1-4294966271", nullptr, TRUE, L"1-4294966271"},  // as fast as "1-4"
      {L"4294966272", nullptr, FALSE, L"4294966272"},     // above kMaxNumber: unchanged
      {L"1-4294966271", L"2,4294966270", TRUE, L"1,3-4294966269,4294966271"},
      {L"4294967295,9-1", L"3,5-6", FALSE, L"4294967295,9-7,4,2-1"},
      {L"1-5", L"4294966272", FALSE, L"1-5"},              // cannot be removed: unchanged
      {L"4294966272,1-5", L"2", TRUE, L"4294966272,1-5"},  // cannot be kept sorted
      // Runs join across tokens as the builders join consecutive numbers.
      {L"1-3,7,4-6", nullptr, TRUE, L"1-7"},
      {L"1-3,7,4-6", nullptr, FALSE, L"1-3,7,4-6"},
      {L"1-5,3-8", nullptr, FALSE, L"1-8"},
      {L"9-7,8-3", nullptr, FALSE, L"9-3"},
      {L"3-5,1-4", nullptr, FALSE, L"3-5,1-2"},
      {L"1-2,5-1", nullptr, FALSE, L"1-2,5-3"},
      {L"2-4,1-9", L"6", FALSE, L"2-4,1-5,7-9"},
      {L"6-4,3-1", L"", FALSE, L"6-1"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    VormPointString s(c.text);
    s.SetLabel(L"label");
    c.points ? s.RemovePoints(c.points, c.sorted) : s.Normalize(c.sorted);
    EXPECT_EQ(Text(s), c.expected) << "case " << i;
    EXPECT_TRUE(Text(s) == c.text || !s.HasLabel()) << "a rewrite drops the label, case " << i;
  }
}

TEST(VormSortedPointString, BuildsAscendingRuns) {
  const struct {
    Numbers marks;
    const wchar_t* expected;
  } cases[] = {
      {{1, 3, 4, 5, 9, 10}, L"1,3-5,9-10"},
      {{7, 7}, L"7"},
      {{6, 5}, L"5-6"},
      {{}, L""},
      {{0, kMax + 1, 0xFFFFFFFFu}, L""},  // below the base and beyond the marker: ignored
      {{2147483648u, 1}, L"1,2147483648"},
      {{1, 40000, 40001, 5000000}, L"1,40000-40001,5000000"},
      {Range(32760, 32780), L"32760-32780"},  // across a 4096-byte block of the bit set
      {Range(1, 70000), L"1-70000"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    VormSortedPointString s;
    for (DWORD n : cases[i].marks) s.AddPoint(n);
    EXPECT_EQ(Text(s), L"") << "adding does not write, case " << i;
    s.BuildString();
    EXPECT_EQ(Text(s), cases[i].expected) << "case " << i;
  }
}

// Random marks and unmarks, clustered around block edges of the bit set, read back
// through the text exactly.
TEST(VormSortedPointString, RoundTripsRandomSets) {
  std::mt19937 rng(777);
  for (int round = 0; round < 40; ++round) {
    VormSortedPointString s;
    std::set<DWORD> expected;
    const DWORD centre = 1 + static_cast<DWORD>(rng() % 4) * 32768;
    for (int k = 0; k < 300; ++k) {
      const DWORD n = centre + static_cast<DWORD>(rng() % 200);
      if (rng() % 4 == 0) {
        s.RemovePoint(n);
        expected.erase(n);
      } else {
        s.AddPoint(n);
        expected.insert(n);
      }
    }
    if (round % 2) {
      s.AddPoint(DWORD{3000000});
      expected.insert(3000000);
    }
    s.BuildString();
    VormPointString text(static_cast<const CString&>(s));
    EXPECT_TRUE(text.IsValid()) << "round " << round;
    EXPECT_EQ(Walk(text), Numbers(expected.begin(), expected.end())) << "round " << round;
  }
}

TEST(VormSortedPointString, TextNumbersMarkerLifetimeAndCopies) {
  VormSortedPointString s;
  for (const wchar_t* t : {L" 12", L"+13", L"14abc", L"x", L"-5", L"99999999999"}) s.AddPoint(t);
  s.BuildString();
  EXPECT_EQ(Text(s), L"12-14");
  s.RemovePoint(13);
  s.BuildString();
  EXPECT_EQ(Text(s), L"12,14");

  // Assignment from a plain point string takes the text only; the marks stay.
  s = VormPointString(L"1-2");
  EXPECT_EQ(Text(s), L"1-2");
  s.BuildString();
  EXPECT_EQ(Text(s), L"12,14");
}

TEST(VormSortedPointString, HighestNumbersEndTheWalkWithoutWrapping) {
  // Marking kMaxNumber makes the marker end at 2^32 - 1 (a 512 MB bit set, left untouched
  // apart from its last page).
  VormSortedPointString s;
  s.AddPoint(DWORD{1});
  s.AddPoint(kMax);
  s.AddPoint(kMax - 1);
  s.AddPoint(kMax + 1);
  s.BuildString();
  EXPECT_EQ(Text(s), L"1,4294966270-4294966271");
  s.Normalize(TRUE);
  EXPECT_EQ(Text(s), L"1,4294966270-4294966271");
}

#if defined(__SANITIZE_ADDRESS__)
#define VORM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORM_ASAN 1
#endif
#endif

TEST(VormSortedPointString, MarkerThatCannotBeAllocatedChangesNothing) {
#ifdef VORM_ASAN
  GTEST_SKIP() << "address space limits do not apply under AddressSanitizer";
#else
  // In a child process whose address space cannot take the 512 MB bit set, which the
  // sorted builder needs for kMaxNumber and the rewrites never need.
  auto run = [] {
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = rlim_t{256} << 20;
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
    VormSortedPointString s;
    s.AddPoint(DWORD{5});
    s.AddPoint(kMax);
    s.BuildString();
    const bool sortedOk = Text(s) == L"5";
    VormPointString text(L"4294966000,1-4294966271");
    text.Normalize(TRUE);
    const bool normalizeOk = Text(text) == L"1-4294966271";
    text.RemovePoints(L"2-4294966000", FALSE);
    const bool removeOk = Text(text) == L"1,4294966001-4294966271";
    std::_Exit(sortedOk && normalizeOk && removeOk ? 0 : 1);
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
#endif
}

TEST(VormUnsortedPointString, AppendsInOrderCompressingRuns) {
  const struct {
    const wchar_t* text;
    Numbers added;
    const wchar_t* expected;
  } cases[] = {
      {L"", {5, 6, 7, 3, 2, 9, 9}, L"5-7,3-2,9,9"},
      {L"1-2", {4}, L"1-2,4"},
      {L"1-2 \t", {}, L"1-2"},
      {L"", {1, 2, 3, 2, 1}, L"1-3,2-1"},
      {L"", {0xFFFFFFFFu, 0}, L"4294967295,0"},  // no run across the wrap
      {L"", {3000000000u, 3000000001u}, L"3000000000-3000000001"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    VormUnsortedPointString s;
    static_cast<CString&>(s) = cases[i].text;
    for (DWORD n : cases[i].added) s.AddPoint(n);
    s.BuildString();
    EXPECT_EQ(Text(s), cases[i].expected) << "case " << i;
    s.BuildString();  // the list was emptied
    EXPECT_EQ(Text(s), cases[i].expected) << "case " << i;
  }

  VormUnsortedPointString t;
  t.AddPoint(L"x");
  t.AddPoint(L" 8");
  t.BuildString();
  EXPECT_EQ(Text(t), L"0,8");
}

TEST(VormPointMarker, MarksGrowsAndRefusesWhatItCannotHold) {
  VormPointMarker m(1);
  EXPECT_EQ(m.GetEnd(), 1u);
  m.Mark(5);
  EXPECT_TRUE(m.IsMarked(5));
  EXPECT_FALSE(m.IsMarked(4));
  EXPECT_EQ(m.GetEnd(), 1u + 4u + VormPointMarker::kGrowBits);
  m.Unmark(3000);  // grows like Mark
  EXPECT_EQ(m.GetEnd(), 1u + 2999u + VormPointMarker::kGrowBits);
  m.Mark(0);
  EXPECT_FALSE(m.IsMarked(0));
  // Bits cut off by shrinking do not come back when the set grows again.
  EXPECT_TRUE(m.SetBitCount(4));
  EXPECT_TRUE(m.SetBitCount(16));
  EXPECT_FALSE(m.IsMarked(5));
  m.SetBit(100);  // beyond the bit count: ignored
  EXPECT_FALSE(m.TestBit(100));
  EXPECT_EQ(m.GetEnd(), 17u);
  EXPECT_FALSE(m.SetBitCount(0xFFFFFFFFu));  // would pass 2^32 - 1
  EXPECT_TRUE(m.Clear());
  EXPECT_EQ(m.GetEnd(), 1u);
}

// Invariants over random texts from the grammar's alphabet: no walk misbehaves, counts
// agree with walks, and a normalized text is valid, ascending and stable.
TEST(VormPointString, InvariantsOverRandomTexts) {
  std::mt19937 rng(12345);
  const wchar_t alphabet[] = L"0123456789-,<>= \t,x";
  for (int round = 0; round < 2000; ++round) {
    std::wstring text;
    const int length = static_cast<int>(rng() % 24);
    for (int k = 0; k < length; ++k) text += alphabet[rng() % (std::size(alphabet) - 1)];
    VormPointString s{CString(text)};
    if (s.GetCount() > 10000) continue;  // "1-99999999" is valid but long to walk
    const Numbers numbers = Walk(s);
    const bool valid = s.IsValid() != FALSE;
    if (valid) {
      EXPECT_EQ(s.GetCount(), numbers.size()) << "text '" << std::string(text.begin(), text.end()) << "'";
    }
    VormPointString normalized(s);
    normalized.Normalize(TRUE);
    if (!valid) {
      EXPECT_EQ(Text(normalized), text);
      continue;
    }
    EXPECT_TRUE(normalized.IsValid());
    const Numbers sorted = Walk(normalized);
    for (size_t k = 1; k < sorted.size(); ++k) ASSERT_LT(sorted[k - 1], sorted[k]);
    VormPointString again(normalized);
    again.Normalize(TRUE);
    EXPECT_EQ(Text(again), Text(normalized));
  }
}

TEST(VormPointString, LongTokensStayInsideTheirText) {
  VormPointString digits{CString(std::wstring(1 << 20, L'9'))};
  EXPECT_EQ(Walk(digits), Numbers{0xFFFFFFFFu});
  VormPointString relation{CString(std::wstring(1 << 20, L'<'))};
  EXPECT_EQ(relation.GetCount(), 1u);
  VormPointString commas{CString(std::wstring(1 << 20, L',') + L"4")};
  EXPECT_EQ(Walk(commas), Numbers{4});
}

// Texts from the grammar with small numbers (or, now and then, numbers around
// kMaxNumber), duplicates, overlaps, both directions, relational, empty and invalid
// tokens: every rewrite gives exactly the bit-set algorithm's text.
std::wstring RandomText(std::mt19937& rng, bool high) {
  auto number = [&] {
    if (high) return kMax - 40 + static_cast<DWORD>(rng() % 44) + (rng() % 16 == 0 ? 1000 : 0);
    return rng() % 40 == 0 ? 0 : 1 + static_cast<DWORD>(rng() % 60);
  };
  auto blank = [&] { return std::wstring(rng() % 5 == 0 ? L" " : L""); };
  std::wstring text;
  for (int k = static_cast<int>(rng() % 10); k > 0; --k) {
    if (!text.empty()) text += L',';
    text += blank();
    switch (rng() % 12) {
      case 0: break;
      case 1: text += rng() % 2 ? L"<" + std::to_wstring(number()) : L">="; break;
      case 2: text += rng() % 8 ? L"" : L"x"; break;
      case 3:
      case 4:
      case 5: text += std::to_wstring(number()); break;
      default: text += std::to_wstring(number()) + blank() + L'-' + blank() + std::to_wstring(number());
    }
    text += blank();
  }
  return text;
}

TEST(VormPointString, RewritesMatchTheBitSetReference) {
  std::mt19937 rng(99);
  for (int round = 0; round < 10000; ++round) {
    const bool high = round % 2500 == 0;  // few: each costs the reference 512 MB bit sets
    const std::wstring text = RandomText(rng, high);
    const std::wstring points = RandomText(rng, high && rng() % 2);
    for (int op = 0; op < 4; ++op) {
      const bool sorted = op % 2 == 0;
      const wchar_t* remove = op < 2 ? nullptr : points.c_str();
      VormPointString s{CString(text)};
      remove ? s.RemovePoints(remove, sorted) : s.Normalize(sorted);
      ASSERT_EQ(Text(s), point_string_reference::Rewrite(text, remove, sorted))
          << "text '" << std::string(text.begin(), text.end()) << "' points '"
          << (remove ? std::string(points.begin(), points.end()) : "(normalize)") << "' sorted " << sorted;
    }
  }
}

}  // namespace
