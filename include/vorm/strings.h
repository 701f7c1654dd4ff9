// String and number helpers over CString: tokens, comma lists, most-recently-used lists,
// number text, case, comparison with embedded numbers, command-line prompts, GUID text,
// and the angle conversions of survey work (packed degrees-minutes-seconds, decimal
// degrees, radians). Stateless and reentrant: safe from any thread. A null text pointer
// is read as the empty text.
#pragma once

#include <vorm/platform/com.h>
#include <vorm/platform/cstring.h>
#include <vorm/platform/text.h>  // the wchar_t overloads of VormToUpper/VormToLower
#include <vorm/platform/wintypes.h>

// --- Tokens and lists ------------------------------------------------------------------

// strtok with the position in the caller's cursor: skips delimiters, takes the characters
// up to the next delimiter (or the end) as the token, steps over that one delimiter and
// stores the new position. TRUE when a token was found; the token is emptied first. A
// null cursor, or a cursor holding NULL, gives FALSE; NULL delimiters are an empty set.
//   over L"a,,b," with L",": L"a" (TRUE), L"b" (TRUE), then L"" (FALSE)
//   over L";;;" with L";": FALSE, token empty, cursor at the end
VORM_API BOOL VormNextToken(const wchar_t** cursor, const wchar_t* delimiters, CString& token);

// Removes and returns the text before the first occurrence of `separator` (the separator
// is removed too); without one, or with an empty separator, the whole source.
//   (L", ", L"a, b, c") => L"a", source L"b, c"       (L", ", L"abc") => L"abc", source L""
VORM_API CString VormPopToken(const CString& separator, CString& source);
// VormPopToken with L"," / with one blank.
VORM_API CString VormPopCommaToken(CString& source);
VORM_API CString VormPopSpaceToken(CString& source);

// Appends the comma-separated items of `text`, trimmed of white space, to `items`; empty
// items are skipped and the array is not cleared. Always TRUE.
//   L" a ,, b ," => appends L"a", L"b"
VORM_API BOOL VormSplitCommaList(const CString& text, CStringArray& items);

// Puts `value` into the `separator`-joined list at `index` (a position in the list as
// given) and drops every other item equal to it; an index at or beyond the item count
// appends, a negative one puts the value first. An empty list becomes the value; with an
// empty separator the list is one item. Items compare case-sensitively and whole; empty
// items are kept.
//   (L"b", L";", 0, L"a;b;c") => L"b;a;c"      (L"x", L";", 1, L"a;b;c") => L"a;x;b;c"
//   (L"x", L";", 1, L"a;x;b") => L"a;x;b"      (L"b", L";", 5, L"a")     => L"a;b"
VORM_API void VormInsertListItem(const CString& value, const CString& separator, int index, CString& list);

// A copy of `text` with `escape` inserted before each occurrence of `target` that is not
// already escaped. An occurrence is already escaped when `escape` stands directly before
// it and that escape text starts after the first character of the previous occurrence
// (so with escape == target, "''" counts as two targets). The search goes on one
// character after each occurrence's first. An empty target or escape changes nothing.
//   (L"'", L"\\", L"it's") => L"it\\'s"      (L"'", L"\\", L"it\\'s") => unchanged
//   (L"'", L"'", L"it's")  => L"it''s"
VORM_API CString VormInsertEscapes(const CString& target, const CString& escape, const CString& text);

// Command-line prompt: trimmed; empty stays empty; otherwise "\n" in front when asked and
// ": " after (" " when it already ends with ':').
//   L" Select point " => L"Select point: "      L"Select point:" => L"Select point: "
//   (L"Pick", true) => L"\nPick: "              (L"   ", true) => L""
VORM_API void VormMakePrompt(CString& text, bool leadingNewline);

// --- Number text -------------------------------------------------------------------------

// TRUE for empty text, otherwise when every character is a digit '0'..'9', '-' or '.'
// (in any order: L"1-2" and L"--" are TRUE).
VORM_API BOOL VormIsNumericText(const wchar_t* text);
// FALSE for empty text, otherwise TRUE when every character is '0' or '.'.
//   L"0", L"0.000", L"." => TRUE       L"0.5", L"" => FALSE
VORM_API BOOL VormIsZeroText(const CString& text);

// Reads a number as wcstod does ('.' as the decimal separator, leading white space
// skipped) and stores it through `value` in every case (when `value` is not NULL). FALSE
// when characters follow the number (trailing blanks included) or on overflow.
//   L"2.5" => TRUE, 2.5      L" 2.5" => TRUE, 2.5      L"2.5 " => FALSE, 2.5
//   L"" => TRUE, 0           L"1e999" => FALSE, HUGE_VAL  L"abc" => FALSE, 0
VORM_API BOOL VormParseDouble(const CString& text, double* value);

// Fixed-point text with exactly `decimals` digits after the point ("%.*f"; '.' always).
//   (3.14159, 2) => L"3.14"      (-1, 3) => L"-1.000"      (999.5, 0) => L"1000"
VORM_API CString VormFormatDouble(double value, int decimals);

// --- Case and comparison ------------------------------------------------------------------

// Copies converted per character with CharUpperBuffW / CharLowerBuffW. A wchar_t argument
// calls the character functions of text.h instead.
VORM_API CString VormToUpper(const CString& text);
VORM_API CString VormToLower(const CString& text);
// First character upper-cased; each later one upper-cased after a digit or white space,
// lower-cased otherwise.
//   L"hello WORLD 3d" => L"Hello World 3D"      L"HELLO" => L"Hello"      L"x" => L"X"
VORM_API CString VormToTitleCase(const CString& text);

// Compares text with embedded numbers by the numbers' values: <0, 0 or >0. Equal-length
// texts before the numbers are collated (_wcsncoll), then the numbers compared by value
// (any length; leading zeros do not count), and so on; where the texts before the
// numbers differ in length or a number is missing, the rests are collated (wcscoll).
//   L"P9" < L"P10"      L"P10" > L"P9a"      L"A2B10" > L"A2B9"      L"a01" == L"a1"
//   L"x1" vs L"xy1" => wcscoll(L"x1", L"xy1")
//   L"n99999999999999999999" > L"n99999999999999999998"
VORM_API int VormCompareNatural(const wchar_t* a, const wchar_t* b);
// The same with _wcsnicoll and _wcsicoll.
VORM_API int VormCompareNaturalNoCase(const wchar_t* a, const wchar_t* b);

// The braced upper-case text of a GUID (StringFromCLSID); empty when that fails.
//   => L"{1CF2B120-547D-101B-8E65-08002B2BD119}"
VORM_API CString VormGuidToString(const GUID& id);

// --- Angles ------------------------------------------------------------------------------
// A packed angle DD.MMSS writes degrees as the integer part, minutes as the first two
// decimals and seconds as the rest (12.3045 is 12° 30' 45"). Signs carry through (negative
// angles convert symmetrically); nothing is normalised, and minutes or seconds above 59
// convert by the same arithmetic.
//   VormDmsToDegrees(12.3045) => 12.5125        VormDmsToDegrees(-12.3045) => -12.5125
//   VormDegreesToDms(90.5) => 90.30             VormRadiansToDms(pi) => 180.0
//   VormDegreesToRadians(180) => pi (3.141592653589793)
VORM_API double VormDmsToDegrees(double dms);
VORM_API double VormDmsToRadians(double dms);
VORM_API double VormDegreesToDms(double degrees);
VORM_API double VormDegreesToRadians(double degrees);
VORM_API double VormRadiansToDms(double radians);
VORM_API double VormRadiansToDegrees(double radians);
