#include <cerrno>
#include <cmath>
#include <cstdint>

#include <gtest/gtest.h>
#include <vorm/platform/crt.h>

namespace {

TEST(CrtConversions, IntegersFollowThePlatformRules) {
  const struct {
    const wchar_t* text;
    LONGLONG asInt;    // _wtoi and _wtol
    LONGLONG asInt64;  // _wtoi64
    bool range;        // ERANGE from the 32-bit forms
  } cases[] = {
      {L"42", 42, 42, false},
      {L" \t\n-42abc", -42, -42, false},
      {L"+7", 7, 7, false},
      {L"x1", 0, 0, false},
      {L"", 0, 0, false},
      {L"- 5", 0, 0, false},
      {L"2147483647", 2147483647, 2147483647, false},
      {L"2147483648", 2147483647, 2147483648LL, true},
      {L"-2147483648", -2147483647 - 1, -2147483648LL, false},
      {L"-2147483649", -2147483647 - 1, -2147483649LL, true},
      {L"4294967296", 2147483647, 4294967296LL, true},
      {L"99999999999999999999999", 2147483647, INT64_MAX, true},
      {L"-99999999999999999999999", -2147483647 - 1, INT64_MIN, true},
      {L"\u00A05", 0, 0, false},  // only ASCII white space is skipped
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    errno = 0;
    EXPECT_EQ(_wtoi(cases[i].text), cases[i].asInt) << "case " << i;
    EXPECT_EQ(errno == ERANGE, cases[i].range) << "case " << i;
    EXPECT_EQ(_wtol(cases[i].text), cases[i].asInt) << "case " << i;
    EXPECT_EQ(_wtoi64(cases[i].text), cases[i].asInt64) << "case " << i;
  }
  static_assert(sizeof(_wtol(L"")) == 4, "LONG is the platform's 32-bit long");
  errno = 0;
  EXPECT_EQ(_wtoi(nullptr), 0);
  EXPECT_EQ(errno, EINVAL);
}

TEST(CrtConversions, Doubles) {
  EXPECT_EQ(_wtof(L" 1.5e3x"), 1500.0);
  EXPECT_EQ(_wtof(L"-.25"), -0.25);
  EXPECT_EQ(_wtof(L"e5"), 0.0);
  EXPECT_EQ(_wtof(L"0x1.8p1"), 3.0);
  EXPECT_EQ(_wtof(L"-inf"), -HUGE_VAL);
  EXPECT_TRUE(std::isnan(_wtof(L"nan")));
  EXPECT_EQ(_wtof(L"1.5\u00E9"), 1.5);
  errno = 0;
  EXPECT_EQ(_wtof(L"1e999"), HUGE_VAL);
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(_wtof(nullptr), 0.0);
}

}  // namespace
