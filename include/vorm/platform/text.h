// Wide text services: UTF-8 at the OS boundary, the platform's wide-printf rules, and
// per-code-point case mapping. Stateless; safe from any thread.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include <vorm/platform/wintypes.h>

// UTF-8 <-> wide. Bytes that are not valid UTF-8 decode to U+DC80..U+DCFF and encode
// back to the same byte, so any POSIX file name survives a round trip.
VORM_API std::string VormToUtf8(std::wstring_view text);
VORM_API std::wstring VormFromUtf8(std::string_view text);

// Formatting with the platform's wide rules: %s takes a wide string, %S a narrow (UTF-8)
// one, %c a wide character, %C a narrow one, %I64d/%I64u/%I64x 64-bit integers,
// %I32d 32-bit, %Id/%Iu pointer-sized; flags, width, precision and '*' as in C.
// VormFormatV returns the whole formatted text.
VORM_API std::wstring VormFormatV(const wchar_t* format, va_list args);
VORM_API std::wstring VormFormat(const wchar_t* format, ...);

// Platform semantics: writes at most `count` characters; when the text fits with room for
// the terminator it is terminated and its length returned; otherwise `count` characters
// are stored without terminator and -1 is returned.
VORM_API int _vsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list args);
VORM_API int _snwprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...);
// Length the formatted text needs, terminator excluded.
VORM_API int _vscwprintf(const wchar_t* format, va_list args);
// Unbounded form: the caller guarantees room.
VORM_API int _swprintf(wchar_t* buffer, const wchar_t* format, ...);
VORM_API int _vswprintf(wchar_t* buffer, const wchar_t* format, va_list args);

// Case mapping per code point with Unicode tables (independent of setlocale).
VORM_API wchar_t VormToUpper(wchar_t c);
VORM_API wchar_t VormToLower(wchar_t c);
VORM_API DWORD CharUpperBuffW(wchar_t* text, DWORD length);
VORM_API DWORD CharLowerBuffW(wchar_t* text, DWORD length);
VORM_API wchar_t* _wcsupr(wchar_t* text);
VORM_API wchar_t* _wcslwr(wchar_t* text);
// Case-insensitive comparison: ordinal on lower-cased code points.
VORM_API int _wcsicmp(const wchar_t* a, const wchar_t* b);
VORM_API int _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t count);
