#include <string>

#include <gtest/gtest.h>
#include <vorm/platform/codepage.h>
#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/nls.h>
#include <vorm/platform/version.h>

#include "support/temp_tree.h"

namespace {

TEST(CodePage, AnsiIsUtf8AndBuffersAreRespected) {
  wchar_t wide[8];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\xC3\xA4", -1, wide, 8), 3);
  EXPECT_STREQ(wide, L"a\u00E4");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xC3\xA4", 3, nullptr, 0), 2);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, 2), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "a\xFF", 2, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\xFF", 2, wide, 8), 2);  // kept as U+DCFF
  char narrow[4];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, 2, narrow, 4, nullptr, nullptr), 2);
  EXPECT_EQ(std::string(narrow, 2), "a\xFF");
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u20AC\u20AC", 2, narrow, 4, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, L"\xD800", 1, narrow, 4, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  BOOL used = TRUE;
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"x", 1, narrow, 4, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CodePage, CreateFileAOpensUtf8Names) {
  vorm_test::TempTree tree;
  tree.WriteFile("\xC3\xA4.txt", "x");
  const std::string name = tree.root().string() + "/\xC3\xA4.txt";
  HANDLE file =
      CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
}

TEST(Version, ReportsTheDefaultOrTheTestVersion) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExW(&info));
  EXPECT_EQ(info.dwMajorVersion, 10u);
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  VormSetReportedVersion(5, 0, 2195);
  OSVERSIONINFOEXW ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExW(&ex));
  EXPECT_EQ(ex.dwMajorVersion, 5u);
  EXPECT_EQ(ex.dwBuildNumber, 2195u);
  VormResetReportedVersion();
  info.dwOSVersionInfoSize = 276;  // the platform's size, not this record's
  EXPECT_FALSE(GetVersionExW(&info));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(LocaleInfo, SeparatorsAndProcessOverrides) {
  wchar_t buffer[4];
  EXPECT_EQ(GetLocaleInfoW(LOCALE_INVARIANT, LOCALE_SDECIMAL, buffer, 4), 2);
  EXPECT_STREQ(buffer, L".");
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, nullptr, 0), 2);
  ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L","));
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 4), 2);
  EXPECT_STREQ(buffer, L",");
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL | LOCALE_NOUSEROVERRIDE, buffer, 4), 2);
  EXPECT_STRNE(buffer, L",");
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 1), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_FALSE(SetLocaleInfoW(LOCALE_INVARIANT, LOCALE_SDECIMAL, L","));
  EXPECT_FALSE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L"toolong"));
  SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L".");
}

}  // namespace
