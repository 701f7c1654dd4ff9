// Locale information: the separators of the user's number format. Safe from any thread.
#pragma once

#include <vorm/platform/wintypes.h>

using LCID = DWORD;
using LCTYPE = DWORD;

constexpr LCID LOCALE_INVARIANT = 0x007F;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_EN_US = 0x0409;

constexpr LCTYPE LOCALE_SLIST = 0x0000000C;
constexpr LCTYPE LOCALE_SDECIMAL = 0x0000000E;
constexpr LCTYPE LOCALE_STHOUSAND = 0x0000000F;
constexpr LCTYPE LOCALE_SPOSITIVESIGN = 0x00000050;
constexpr LCTYPE LOCALE_SNEGATIVESIGN = 0x00000051;
constexpr LCTYPE LOCALE_NOUSEROVERRIDE = 0x80000000;

// Writes the item with its terminator into `data` and returns the characters written
// (terminator included); with `size` 0 returns the size needed and writes nothing.
// The user's and the system's values come from the process environment's numeric locale
// (LC_ALL, LC_NUMERIC, LANG, as setlocale(LC_NUMERIC, "") would choose, read once; the
// process's own setlocale is never consulted or changed). Where that locale is "C"/"POSIX",
// cannot be loaded, or names no thousands separator, the platform's United States values
// stand in: decimal ".", thousands ",", list "," (";" when the decimal separator is ","),
// positive sign "", negative sign "-".
// LOCALE_INVARIANT and LOCALE_EN_US always give those. A value set with SetLocaleInfoW
// wins for the user and the system unless LOCALE_NOUSEROVERRIDE is given.
// Errors (0): ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER (another locale or item,
// a null buffer with a size), ERROR_INVALID_FLAGS.
//   GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 4) => 2, buf = L"."
VORM_API int GetLocaleInfoW(LCID locale, LCTYPE type, wchar_t* data, int size);

// Overrides a user setting (LOCALE_SDECIMAL, LOCALE_STHOUSAND, LOCALE_SLIST, at most 3
// characters) for this process. The platform keeps such a change in the user's profile,
// where every program sees it; here it lasts until the process ends and no other program
// sees it. Only LOCALE_USER_DEFAULT and LOCALE_SYSTEM_DEFAULT can be changed. FALSE with
// ERROR_INVALID_PARAMETER otherwise.
VORM_API BOOL SetLocaleInfoW(LCID locale, LCTYPE type, const wchar_t* value);
