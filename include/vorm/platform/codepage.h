// Code-page conversions and the narrow-name file open. The ANSI code page (CP_ACP, also
// CP_OEMCP and CP_THREAD_ACP) is UTF-8 here, as for every narrow text of this layer; wide
// text is one code point per wchar_t. Bytes that are not valid UTF-8 become U+DC80+byte
// and turn back into the same byte (the layer's rule for OS names), so a narrow file name
// survives the round trip. Stateless; safe from any thread.
#pragma once

#include <vorm/platform/wintypes.h>

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

constexpr DWORD MB_PRECOMPOSED = 0x00000001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400;

constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;

// Narrow to wide. `count` is the number of bytes, or -1 for a terminated text (the
// terminator is converted and counted). With `wideSize` 0 the characters needed are
// returned and nothing is written; otherwise the characters written, or 0 with
// ERROR_INSUFFICIENT_BUFFER when they do not fit. MB_ERR_INVALID_CHARS turns invalid bytes
// into a failure (ERROR_NO_UNICODE_TRANSLATION) instead of U+DC80+byte.
// ERROR_INVALID_PARAMETER: null text, count 0 or below -1, a null buffer with a size,
// another code page; ERROR_INVALID_FLAGS: other flags.
//   MultiByteToWideChar(CP_ACP, 0, "a\xC3\xA4", -1, buf, 8) => 3, buf = L"aä"
VORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int count, wchar_t* wide, int wideSize);
// Wide to narrow, the same way round (sizes in bytes). WC_ERR_INVALID_CHARS fails on
// characters UTF-8 cannot carry (other surrogates, values above U+10FFFF; without it they
// become U+FFFD). `defaultChar` must be null; `usedDefaultChar` (CP_ACP only, null for
// CP_UTF8 as on the platform) reports whether any character was replaced.
//   WideCharToMultiByte(CP_ACP, 0, L"ä", 1, buf, 2, NULL, NULL) => 2, buf = "\xC3\xA4"
VORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* wide, int count, char* text, int textSize,
                                 const char* defaultChar, BOOL* usedDefaultChar);

// CreateFileW with a narrow (ANSI, so UTF-8) name; everything else as CreateFileW
// (files.h), including ERROR_PATH_NOT_FOUND for a null name.
VORM_API HANDLE CreateFileA(const char* fileName, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                            DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
