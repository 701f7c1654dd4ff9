// Diagnostics: formatted text and LOG lines for the debugger output, message boxes with the
// text of a system or COM error, a reader for DWORD values under HKEY_LOCAL_MACHINE, and
// the names of the application's heap-debug flags.
//
// Every function may be called from any thread. The only state is the set of COM error
// sites whose box the user switched off; it is shared by all threads (guarded by a lock),
// grows only, and lives until the process exits. The boxes are modal and block only the
// calling thread. Formats follow the platform's wide rules: %s takes a wide string.
#pragma once

#include <vorm/platform/com.h>
#include <vorm/platform/cstring.h>
#include <vorm/platform/wintypes.h>

// The heap-debug flags the application keeps in the registry: the key below
// HKEY_LOCAL_MACHINE and its three DWORD value names, in this order. The library only
// names them; reading them (VormReadRegistryDword) and acting on them is up to its callers.
//   VormHeapDebugFlagNames[VormHeapDebugKey] => L"SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags"
enum VormHeapDebugFlag {
  VormHeapDebugKey = 0,
  VormHeapDebugDoHeapCheck = 1,          // L"DoHeapCheck"
  VormHeapDebugDoCheckMemory = 2,        // L"DoCheckMemory"
  VormHeapDebugAlwaysBreakInAssert = 3,  // L"AlwaysBreakInVormAssert"
};
VORM_API extern const wchar_t* const VormHeapDebugFlagNames[4];

// Formats into a 2048-character buffer (at most 2047 characters; a longer text is cut
// silently) and passes it to OutputDebugStringW as it is: no prefix, no line break.
//   VormDebugPrint(L"%s=%d\n", L"count", 3)  => debugger output "count=3\n"
VORM_API void VormDebugPrint(const wchar_t* format, ...);

// Takes any arguments and does nothing: what debug-print macros expand to when off.
VORM_API void VormDebugNoop(...);

// Writes one LOG line, in a single OutputDebugStringW call so lines of threads never mix:
//   header "<file>(<line>): LOG " of n characters, full stops up to column 98, the thread
//   field "TID=%8.8X" (GetCurrentThreadId) in columns 99..110, a blank, the message
//   (formatted into 1024 characters, at most 1023 kept) and "\n".
// A header longer than 98 characters leaves no room for the full stops: the thread field
// then follows the header directly.
//   VormLog(L"a.cpp", 7, L"x=%d", 5)
//     => L"a.cpp(7): LOG " + 84 full stops + L"TID=0000ABCD x=5\n"
//   header of 98 characters  => header + L"TID=0000ABCD " + message + L"\n" (110 before the blank)
//   header of 99 and more    => header + L"TID=0000ABCD " + message + L"\n"
//   VormLog(L"a.cpp", 7, L"")  => the 110 characters, L" " and L"\n"
VORM_API void VormLog(const wchar_t* file, int line, const wchar_t* format, ...);

// The system's message text for a Win32 error code or an HRESULT, with the line break the
// system ends it with; empty when the system has no text for the code.
//   VormSystemErrorText(ERROR_FILE_NOT_FOUND) => L"The system cannot find the file specified.\r\n"
//   VormSystemErrorText(E_POINTER)            => L"Invalid pointer\r\n"
//   VormSystemErrorText(0xDEAD1234)            => L""
VORM_API CString VormSystemErrorText(DWORD code);

// The description of the error's IErrorInfo when it has a non-empty one, otherwise
// VormSystemErrorText of its HRESULT.
VORM_API CString VormComErrorText(const _com_error& error);

// An ownerless MB_OKCANCEL box with an empty caption and VormSystemErrorText(code);
// returns the answer (IDOK, IDCANCEL, or 0 when the box failed).
VORM_API int VormSystemErrorBox(DWORD code);

// An ownerless MB_OKCANCEL box with an empty caption and VormComErrorText(error), unless
// the site (file and line) was switched off: then IDOK at once. Answering OK while Shift
// is held (GetAsyncKeyState(VK_SHIFT) < 0 once the box has closed) switches the site off
// for the rest of the process; Cancel never does. Sites are told apart by the exact file
// text and the line.
VORM_API int VormComErrorBox(const _com_error& error, const wchar_t* file, int line);

// Reads a value under HKEY_LOCAL_MACHINE\<subkey> into *value. The stored type is not
// checked: any value of at most 4 bytes is copied as stored (a shorter one fills only the
// first bytes of *value); a longer one fails. FALSE for a missing key or value, denied
// access, or a null `value`.
//   REG_DWORD 7                    => TRUE, *value 7
//   REG_BINARY 01 02 03 04          => TRUE, *value 0x04030201
//   REG_SZ L"on" (12 bytes)         => FALSE
VORM_API BOOL VormReadRegistryDword(const CString& subkey, CString valueName, DWORD* value);
