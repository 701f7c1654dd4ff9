#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/platform/com.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>

#include "support/temp_tree.h"

namespace {

constexpr DWORD kSystem = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

// The allocated text of a system message, or "<none>" with the last error in *error.
std::wstring SystemText(DWORD id, DWORD* error = nullptr, DWORD language = 0, DWORD flags = kSystem) {
  SetLastError(vorm_test::kErrorSentinel);
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(flags, nullptr, id, language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (error) *error = GetLastError();
  if (n == 0) {
    EXPECT_EQ(text, nullptr);
    return L"<none>";
  }
  std::wstring result(text);
  EXPECT_EQ(result.size(), n);
  LocalFree(text);
  return result;
}

std::wstring FromString(const wchar_t* format, DWORD flags, ...) {
  va_list args;
  va_start(args, flags);
  wchar_t buffer[256];
  SetLastError(vorm_test::kErrorSentinel);
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | flags, format, 0, 0, buffer, 256, &args);
  va_end(args);
  return n ? std::wstring(buffer, n) : L"<error " + std::to_wstring(GetLastError()) + L">";
}

TEST(FormatMessage, EveryCodeOfTheLayerHasItsText) {
  const DWORD codes[] = {
      ERROR_SUCCESS,
      ERROR_INVALID_FUNCTION,
      ERROR_FILE_NOT_FOUND,
      ERROR_PATH_NOT_FOUND,
      ERROR_TOO_MANY_OPEN_FILES,
      ERROR_ACCESS_DENIED,
      ERROR_INVALID_HANDLE,
      ERROR_NOT_ENOUGH_MEMORY,
      ERROR_INVALID_DATA,
      ERROR_OUTOFMEMORY,
      ERROR_INVALID_DRIVE,
      ERROR_CURRENT_DIRECTORY,
      ERROR_NOT_SAME_DEVICE,
      ERROR_NO_MORE_FILES,
      ERROR_WRITE_PROTECT,
      ERROR_NOT_READY,
      ERROR_SEEK,
      ERROR_WRITE_FAULT,
      ERROR_READ_FAULT,
      ERROR_GEN_FAILURE,
      ERROR_SHARING_VIOLATION,
      ERROR_LOCK_VIOLATION,
      ERROR_HANDLE_EOF,
      ERROR_HANDLE_DISK_FULL,
      ERROR_NOT_SUPPORTED,
      ERROR_FILE_EXISTS,
      ERROR_CANNOT_MAKE,
      ERROR_INVALID_PARAMETER,
      ERROR_BROKEN_PIPE,
      ERROR_BUFFER_OVERFLOW,
      ERROR_DISK_FULL,
      ERROR_CALL_NOT_IMPLEMENTED,
      ERROR_INSUFFICIENT_BUFFER,
      ERROR_INVALID_NAME,
      ERROR_MOD_NOT_FOUND,
      ERROR_NEGATIVE_SEEK,
      ERROR_DIR_NOT_EMPTY,
      ERROR_BAD_PATHNAME,
      ERROR_BUSY,
      ERROR_ALREADY_EXISTS,
      ERROR_FILENAME_EXCED_RANGE,
      ERROR_MORE_DATA,
      ERROR_NO_MORE_ITEMS,
      ERROR_DIRECTORY,
      ERROR_NOT_OWNER,
      ERROR_MR_MID_NOT_FOUND,
      ERROR_OPERATION_ABORTED,
      ERROR_NOACCESS,
      ERROR_INVALID_FLAGS,
      ERROR_BADDB,
      ERROR_BADKEY,
      ERROR_CANTOPEN,
      ERROR_CANTREAD,
      ERROR_CANTWRITE,
      ERROR_REGISTRY_CORRUPT,
      ERROR_KEY_DELETED,
      ERROR_INVALID_MSGBOX_STYLE,
      ERROR_TIMEOUT,
      ERROR_RESOURCE_LANG_NOT_FOUND,
      ERROR_CANT_RESOLVE_FILENAME,
      ERROR_NOT_A_REPARSE_POINT,
      ERROR_INVALID_WINDOW_HANDLE,
      ERROR_CANNOT_FIND_WND_CLASS,
      ERROR_CLASS_ALREADY_EXISTS,
      ERROR_CLASS_DOES_NOT_EXIST,
      ERROR_CLASS_HAS_WINDOWS,
      ERROR_INVALID_THREAD_ID,
      ERROR_NOT_ENOUGH_QUOTA,
  };
  for (DWORD code : codes) {
    const std::wstring text = SystemText(code);
    ASSERT_GT(text.size(), 3u) << code;
    EXPECT_EQ(text.substr(text.size() - 2), L"\r\n") << code;
    if (code != ERROR_SUCCESS) {
      EXPECT_EQ(SystemText(static_cast<DWORD>(HRESULT_FROM_WIN32(code))), text) << code;
    }
  }
  // Every errno the layer translates lands on a code with a text.
  for (int err = 0; err < 134; ++err) {
    EXPECT_NE(SystemText(VormErrorFromErrno(err)), L"<none>") << "errno " << err;
  }
}

TEST(FormatMessage, SystemTextsOfErrorsAndHresults) {
  // Win32 codes, the success codes (S_FALSE is the text of code 1), COM's own codes and
  // COM codes that wrap a Win32 one.
  const struct {
    HRESULT id;
    const wchar_t* text;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, L"The system cannot find the file specified.\r\n"},
      {S_OK, L"The operation completed successfully.\r\n"},
      {S_FALSE, L"Incorrect function.\r\n"},
      {E_NOTIMPL, L"Not implemented\r\n"},
      {E_ACCESSDENIED, L"Access is denied.\r\n"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(SystemText(static_cast<DWORD>(cases[i].id)), cases[i].text) << "case " << i;
  }
}

// Rows of {what was made, what was expected}.
void CheckAll(const std::vector<std::pair<std::wstring, std::wstring>>& cases) {
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
}

TEST(FormatMessage, FailuresSetTheLastError) {
  const struct {
    DWORD id, language, flags, error;
  } cases[] = {
      {0xDEAD1234, 0, kSystem, ERROR_MR_MID_NOT_FOUND},
      {0x00070002, 0, kSystem, ERROR_MR_MID_NOT_FOUND},  // success severity: not a Win32 code
      {2, MAKELANGID(0x07, SUBLANG_DEFAULT), kSystem, ERROR_RESOURCE_LANG_NOT_FOUND},
      {2, 0, FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE, ERROR_MR_MID_NOT_FOUND},
      {2, 0, FORMAT_MESSAGE_ALLOCATE_BUFFER, ERROR_INVALID_PARAMETER},
      {2, 0, kSystem | FORMAT_MESSAGE_FROM_STRING, ERROR_INVALID_PARAMETER},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    DWORD error = 0;
    EXPECT_EQ(SystemText(cases[i].id, &error, cases[i].language, cases[i].flags), L"<none>") << "case " << i;
    EXPECT_EQ(error, cases[i].error) << "case " << i;
  }
  // English and neutral languages are all served.
}

TEST(FormatMessage, CallerBufferMustHoldTextAndTerminator) {
  const std::wstring expected = L"Access is denied.\r\n";
  const DWORD length = static_cast<DWORD>(expected.size());
  wchar_t buffer[64];
  SetLastError(vorm_test::kErrorSentinel);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, length, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, length + 1, nullptr), length);
  EXPECT_EQ(std::wstring(buffer), expected);
  // An allocated buffer is at least `size` characters long.
  wchar_t* text = nullptr;
  EXPECT_EQ(FormatMessageW(kSystem, nullptr, 5, 0, reinterpret_cast<LPWSTR>(&text), 200, nullptr), length);
  text[199] = L'x';  // within the block (ASan would object otherwise)
  LocalFree(text);
}

TEST(FormatMessage, EscapesInsertsAndLineWidth) {
  const DWORD_PTR array[] = {reinterpret_cast<DWORD_PTR>(L"one"), 42, reinterpret_cast<DWORD_PTR>("three")};
  wchar_t buffer[128];
  ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, L"%2!04d! %1 %3!S! %1!5s!", 0, 0,
                           buffer, 128, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(array))),
            0u);
  EXPECT_EQ(std::wstring(buffer), L"0042 one three   one");

  EXPECT_EQ(FromString(L"%1 and %2!x! of %3!I64d!", 0, L"a", 255, -5LL), L"a and ff of -5");
  EXPECT_EQ(FromString(L"a%nb%tc%rd%%e%.%!%0tail", 0), L"a\r\nb\tc\rd%e.!");
  EXPECT_EQ(FromString(L"keep %1 and %2!d!", FORMAT_MESSAGE_IGNORE_INSERTS), L"keep %1 and %2!d!");
  EXPECT_EQ(FromString(L"line one\r\nline two%n", FORMAT_MESSAGE_MAX_WIDTH_MASK), L"line one line two\r\n");
  EXPECT_EQ(FromString(L"%1!f!", 0, 1.5), L"<error 87>");           // floating point is not supported
  EXPECT_EQ(FromString(L"%2 only", 0, L"x", L"y"), L"<error 87>");  // a va_list needs every number
  wchar_t out[16];
  SetLastError(vorm_test::kErrorSentinel);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING, L"%1", 0, 0, out, 16, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // The text for a missing message keeps its inserts when they are ignored.
  EXPECT_EQ(SystemText(ERROR_MR_MID_NOT_FOUND),
            L"The system cannot find message text for message number 0x%1 in the message file for %2.\r\n");
}

// An insert's conversion is one printf directive whose size decides the argument's type, as
// the formatter reads it; anything else is refused before an argument is read.
TEST(FormatMessage, InsertConversionsAreReadAsTheFormatterReadsThem) {
  CheckAll({
      {FromString(L"%1!td!|%2!Ld!|%3!jx!", 0, static_cast<std::ptrdiff_t>(-5), -6LL, static_cast<intmax_t>(255)),
       L"-5|-6|ff"},
      {FromString(L"%1!hhs!|%2!hs!|%3!hhd!", 0, L"wide", "narrow", 300), L"wide|narrow|44"},
      {FromString(L"%1!-+ #08.3I64d!|%2!4I32X!", 0, 7LL, 0xABu), L"+007    |  AB"},
  });
  for (const wchar_t* bad : {L"%1!-8Sx!", L"%1!d !", L"%1!5!", L"%1!!", L"%1!lh d!", L"%1!ls.!", L"%1!n!", L"%1!%!"}) {
    EXPECT_EQ(FromString(bad, 0, L"text"), L"<error 87>") << VormToUtf8(bad);
  }
}

// A message has at most 65,535 characters (the platform's 128K bytes), however its inserts
// pad; a conversion the formatter refuses fails the call rather than vanishing from the text.
TEST(FormatMessage, LongMessagesAndRefusedConversionsFail) {
  const DWORD_PTR array[] = {reinterpret_cast<DWORD_PTR>(L"x"), 7};
  const auto format = [&](const wchar_t* text, DWORD* error) {
    wchar_t* block = nullptr;
    SetLastError(vorm_test::kErrorSentinel);
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER, text, 0, 0,
        reinterpret_cast<LPWSTR>(&block), 0, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(array)));
    *error = GetLastError();
    EXPECT_EQ(n == 0, block == nullptr);
    LocalFree(block);
    return n;
  };
  DWORD error = 0;
  EXPECT_EQ(format(L"%1!65534s!.", &error), 65535u);
  EXPECT_EQ(error, vorm_test::kErrorSentinel);
  EXPECT_EQ(format(L"%1!65534s!..", &error), 0u);
  EXPECT_EQ(error, ERROR_MORE_DATA);
  EXPECT_EQ(format(L"%1!900000s!%1!900000s!%1!900000s!", &error), 0u);
  EXPECT_EQ(error, ERROR_MORE_DATA);
  EXPECT_EQ(format(L"a %2!1000001d! b", &error), 0u);
  EXPECT_EQ(error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(format(L"a %2!.1000001x! b", &error), 0u);
  EXPECT_EQ(error, ERROR_INVALID_PARAMETER);
}

}  // namespace
