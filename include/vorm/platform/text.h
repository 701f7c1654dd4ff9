// Wide text services: UTF-8 at the OS boundary, the platform's wide-printf rules, and
// per-code-point case mapping. Stateless; safe from any thread.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include <vorm/platform/wintypes.h>

// UTF-8 <-> wide. Bytes that are not valid UTF-8 decode to U+DC80..U+DCFF and encode
// back to the same byte, so any POSIX file name survives a round trip. Wide characters
// that UTF-8 cannot carry (other lone surrogates, values above U+10FFFF) encode as U+FFFD.
//   VormFromUtf8("Stra\xC3\x9F" "e")  => L"Straße"
//   VormFromUtf8("a\xFFz")           => L"a\xDCFFz"      VormToUtf8(L"a\xDCFFz") => "a\xFFz"
//   VormToUtf8(L"\U0001F600")         => "\xF0\x9F\x98\x80"
//   VormToUtf8(L"\xD800")             => "\xEF\xBF\xBD"
VORM_API std::string VormToUtf8(std::wstring_view text);
VORM_API std::wstring VormFromUtf8(std::string_view text);

// OS names and paths <-> wide paths. On Linux a file name may hold characters that the
// platform's path grammar gives a meaning: \ : * ? " < > | and the controls 0x01..0x1F.
// Text coming from the OS shows each such character c as the private-use character
// U+F000 + c, so a name can never act as a separator, a drive, a wildcard or a quote;
// '/' stays the separator. Text going to the OS turns '\' into '/' and U+F000 + c back
// into c, then encodes UTF-8 as VormToUtf8 does. So every name round-trips byte for byte:
//   VormFromOsPath("/t/a\\b")       => L"/t/a\xF05Cb"   (one component, "a\b" on disk)
//   VormFromOsPath("x\"y:z")        => L"x\xF022y\xF03Az"
//   VormToOsPath(L"dir\\a\xF05Cb")  => "dir/a\\b"
// The one ambiguity: a real name that already holds one of the private-use characters
// standing for those (U+F001..U+F01F, U+F022, U+F02A, U+F03A, U+F03C, U+F03E, U+F03F,
// U+F05C, U+F07C) reaches the OS as the ASCII character, so such a file cannot be named.
VORM_API std::wstring VormFromOsPath(std::string_view native);
VORM_API std::string VormToOsPath(std::wstring_view path);
// Whether `c` is one of the characters the mapping above moves, and its two forms.
constexpr bool VormIsOsOnlyChar(wchar_t c) {
  return (c >= 0x01 && c <= 0x1F) || c == L'\\' || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' ||
         c == L'>' || c == L'|';
}
constexpr wchar_t kVormOsCharBase = 0xF000;

// No field is wider, and no number more precise, than this: nothing a caller formats is
// that long, and a larger value is a broken or hostile format.
constexpr int kVormFormatFieldLimit = 1000000;

// Formatting with the platform's wide rules: %s takes a wide string, %S a narrow (UTF-8)
// one, %c a wide character, %C a narrow one, %I64d/%I64u/%I64x 64-bit integers,
// %I32d 32-bit, %Id/%Iu pointer-sized; flags, width, precision and '*' as in C.
// VormFormatV returns the whole formatted text.
// Details of the rules:
//   - %hs/%hc are narrow and %ls/%lc/%ws/%wc wide whatever the conversion letter's case.
//     A null string prints "(null)". Precision on a string counts characters, and no
//     more of the string is read than the precision allows.
//   - Integer sizes: hh char, h short, none/l/I32 32 bits (LONG and DWORD are 32 bits on
//     the platform), ll/I64/L 64 bits, z size_t, t ptrdiff_t, j intmax_t, I pointer-sized.
//   - %p prints the pointer as upper-case hex digits, zero-padded to the pointer's width.
//   - %n writes nothing: its pointer argument is consumed and ignored.
//   - Floating point (%e %E %f %F %g %G %a %A, L = long double) always uses '.' as the
//     decimal point, whatever LC_NUMERIC the host process set.
//   - An unknown conversion is copied to the output as written ("%y" => "%y").
//   - A width above kVormFormatFieldLimit (written or passed with '*'), or a precision above
//     it on a number (%d %u %x %o %p %e %f %g %a ...), makes the format malformed: the call
//     fails as a whole (VormFormat gives "", VormAppendFormatV appends nothing, the counting
//     and buffer calls return -1 and store an empty string). A string's precision only
//     bounds how much of it is read and may be any value. Within the limit a bounded call
//     costs only the characters it stores, however long the whole text would be.
//       _snwprintf(buf, 8, L"%.999999f", 1.0)    => -1 at once, buf holds L"1.000000" (cut)
//       _snwprintf(buf, 8, L"%.500000000f", 1.0) => -1, buf = L""  (malformed)
//       VormFormat(L"%1000001d", 7)              => L""
//       VormFormat(L"%.3000000000s", L"ab")      => L"ab"
//   VormFormat(L"%s=%S", L"a", "b")   => L"a=b"
//   VormFormat(L"%5.2s|", L"abc")     => L"   ab|"
//   VormFormat(L"%I64d", -1LL)        => L"-1"
//   VormFormat(L"%p", (void*)0x1A)    => L"000000000000001A"
VORM_API std::wstring VormFormatV(const wchar_t* format, va_list args);
VORM_API std::wstring VormFormat(const wchar_t* format, ...);
// Appends the formatted text to `out` (no temporary when the caller keeps a buffer).
// The arguments must not point into `out`.
VORM_API void VormAppendFormatV(std::wstring& out, const wchar_t* format, va_list args);

// Platform semantics: writes at most `count` characters; when the text fits with room for
// the terminator it is terminated and its length returned; when it fits exactly it is
// stored without terminator and `count` returned; a longer text is cut to `count`
// characters without terminator and -1 returned. A null buffer with count 0 returns
// the length the text needs; a null format (or a null buffer with count > 0) returns -1
// and writes nothing.
//   _snwprintf(buf, 4, L"abc") => 3, buf = L"abc"
//   _snwprintf(buf, 3, L"abc") => 3, buf holds 'a','b','c' and no terminator
//   _snwprintf(buf, 2, L"abc") => -1, buf holds 'a','b' and no terminator
VORM_API int _vsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list args);
VORM_API int _snwprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...);
// Length the formatted text needs, terminator excluded (-1 for a null or malformed format,
// or a length beyond INT_MAX).
VORM_API int _vscwprintf(const wchar_t* format, va_list args);
// Unbounded form: the caller guarantees room.
VORM_API int _swprintf(wchar_t* buffer, const wchar_t* format, ...);
VORM_API int _vswprintf(wchar_t* buffer, const wchar_t* format, va_list args);

// Case mapping per code point with Unicode tables (independent of setlocale).
// A character without a single-character mapping stays as it is.
//   VormToUpper(L'ä') => L'Ä'   VormToUpper(L'ß') => L'ß'   VormToLower(L'Σ') => L'σ'
VORM_API wchar_t VormToUpper(wchar_t c);
VORM_API wchar_t VormToLower(wchar_t c);
// Convert `length` characters in place (NULs included) and return `length`; 0 for null.
VORM_API DWORD CharUpperBuffW(wchar_t* text, DWORD length);
VORM_API DWORD CharLowerBuffW(wchar_t* text, DWORD length);
// Convert a terminated string in place; return it (null stays null).
VORM_API wchar_t* _wcsupr(wchar_t* text);
VORM_API wchar_t* _wcslwr(wchar_t* text);
// Case-insensitive comparison: ordinal on lower-cased code points. Results are -1, 0
// or 1; a null argument gives INT_MAX (the platform's _NLSCMPERROR).
//   _wcsicmp(L"ÄBC", L"äbc") => 0    _wcsicmp(L"a", L"B") => -1    _wcsicmp(L"_", L"A") => -1
VORM_API int _wcsicmp(const wchar_t* a, const wchar_t* b);
VORM_API int _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t count);

// The same comparison over counted text (embedded NULs compare as characters).
VORM_API int VormCompareNoCase(std::wstring_view a, std::wstring_view b);
// White space by the Unicode tables: the ASCII blanks (tab, line feed, vertical tab,
// form feed, carriage return, space) and the Unicode space separators.
VORM_API bool VormIsSpace(wchar_t c);
