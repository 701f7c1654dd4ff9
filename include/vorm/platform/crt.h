// The C runtime's wide-character functions that the library's code calls by their
// platform names, with the platform's documented semantics where glibc differs or has
// no counterpart. Stateless apart from errno; safe from any thread.
#pragma once

#include <cstdint>

#include <vorm/platform/wintypes.h>

// ---------------------------------------------------------------------------------------
// Number conversions.
//
// All four read: optional leading white space (blank, tab, line feed, vertical tab, form
// feed, carriage return), an optional sign ('+' or '-'), then digits ('0'..'9' only), and
// stop at the first character that cannot continue the number. Nothing converts => 0.
// A null pointer => 0 with errno EINVAL (the platform's invalid-parameter result).
// Out of range => the type's limit in the number's direction, errno ERANGE; otherwise
// errno is left alone.
//
//   _wtoi(L"  -42abc")        => -42
//   _wtoi(L"x1")              => 0
//   _wtoi(L"99999999999")     => 2147483647 (errno ERANGE)
//   _wtol(L"-99999999999")    => -2147483648 (errno ERANGE)
//   _wtoi64(L"4294967296")    => 4294967296
//
// _wtol returns LONG, the platform's 32-bit long, not the host's 64-bit `long`: code
// written for the platform relies on "4294967296" saturating to 2147483647 and on the
// result fitting 32 bits, so the width is kept whatever the host's `long` is.
// ---------------------------------------------------------------------------------------
VORM_API int _wtoi(const wchar_t* text);
VORM_API LONG _wtol(const wchar_t* text);
VORM_API LONGLONG _wtoi64(const wchar_t* text);

// Floating point: [white space] [sign] digits [. digits] [e|E [sign] digits], also
// "inf", "infinity" and "nan" in any case and hexadecimal "0x1.8p3" forms. The decimal
// separator is always '.', whatever locale the host process has set.
// Overflow => +/-HUGE_VAL with errno ERANGE; nothing converts => 0.0.
//   _wtof(L" 1.5e3x") => 1500.0      _wtof(L"-inf") => -HUGE_VAL      _wtof(L"e5") => 0.0
VORM_API double _wtof(const wchar_t* text);

// ---------------------------------------------------------------------------------------
// Collation. The order is the collation the host process chose with setlocale (LC_COLLATE);
// in the default "C" locale it is the ordinal order of the code points. The NoCase forms
// compare lower-cased copies (per code point, as _wcsicmp). The counted forms compare at
// most `count` characters. Only the sign of a result is meaningful; a null argument gives
// INT_MAX (the platform's _NLSCMPERROR).
//   _wcsncoll(L"abX", L"abY", 2) => 0       _wcsicoll(L"ABC", L"abd") < 0
// ---------------------------------------------------------------------------------------
VORM_API int _wcsncoll(const wchar_t* a, const wchar_t* b, size_t count);
VORM_API int _wcsicoll(const wchar_t* a, const wchar_t* b);
VORM_API int _wcsnicoll(const wchar_t* a, const wchar_t* b, size_t count);

// wcstod with '.' as the decimal separator whatever locale the host process has set (the
// separator this library's formatter writes), so formatted numbers always read back.
// Accepts what _wtof accepts; *end (when `end` is not NULL) is set after the last
// character converted, or to `text` when nothing converts (result 0.0). Overflow =>
// +/-HUGE_VAL with errno ERANGE. Leading white space is the ASCII blanks.
//   VormWcstod(L" 2.5x", &end) => 2.5, end at L"x"     VormWcstod(L"1e999", &end) => HUGE_VAL
VORM_API double VormWcstod(const wchar_t* text, wchar_t** end);
