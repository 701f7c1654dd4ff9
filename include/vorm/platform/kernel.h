// Thread-local last-error value and the errno translation used by every platform call.
#pragma once

#include <cstdarg>

#include <vorm/platform/wintypes.h>

VORM_API DWORD GetLastError();
VORM_API void SetLastError(DWORD code);

// Platform error code for a POSIX errno value (one table for the whole layer).
VORM_API DWORD VormErrorFromErrno(int err);

// Closes a handle of any kind except find and change-notification handles (they have their
// own closing functions): TRUE, or FALSE with ERROR_INVALID_HANDLE for a handle that is
// unknown, already closed, or of those two kinds. The object lives on while another handle
// or a call in progress still uses it, so closing a handle that another thread is waiting
// on ends nothing. Closing the GetCurrentThread pseudo-handle does nothing and succeeds.
VORM_API BOOL CloseHandle(HANDLE handle);

// The pseudo-handle (HANDLE)-1 that names this process; the only process DuplicateHandle
// knows. (It has the value of INVALID_HANDLE_VALUE, as on the platform.)
VORM_API HANDLE GetCurrentProcess();

constexpr DWORD DUPLICATE_CLOSE_SOURCE = 0x00000001;
constexpr DWORD DUPLICATE_SAME_ACCESS = 0x00000002;
// A second handle to the object behind `source` (an event, a thread, the GetCurrentThread
// pseudo-handle, a file, ...): both processes must be GetCurrentProcess(). The new handle
// is stored in *target; access and inheritance are accepted and not checked.
// DUPLICATE_CLOSE_SOURCE closes `source`, also when the call fails after finding it. FALSE
// with ERROR_INVALID_HANDLE for another process or a source that is unknown, closed or a
// find handle (not a kernel object); ERROR_INVALID_PARAMETER for a null `target`.
//   DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &h, 0, FALSE,
//                   DUPLICATE_SAME_ACCESS) => TRUE, h names the calling thread from any thread
VORM_API BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target, DWORD access,
                              BOOL inheritable, DWORD options);

// The module handle of the process's executable for a null name: a fixed non-null value,
// the same for every call. Named modules are not tracked: NULL with ERROR_MOD_NOT_FOUND.
VORM_API HMODULE GetModuleHandleW(LPCWSTR moduleName);

// ---------------------------------------------------------------------------------------
// Thread identity, local memory and system message texts.
// ---------------------------------------------------------------------------------------

// The calling thread's id: the kernel's thread id (gettid), unique among the live threads
// of the system and stable for the thread's life; the main thread's equals the process id.
VORM_API DWORD GetCurrentThreadId();

// Local memory: what FormatMessageW hands out. LocalAlloc returns NULL when out of memory
// (last error ERROR_NOT_ENOUGH_MEMORY); LMEM_ZEROINIT clears the block; movable blocks are
// not supported (LMEM_MOVEABLE => NULL, ERROR_INVALID_PARAMETER). LocalFree returns NULL,
// also for NULL.
using HLOCAL = HANDLE;
constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_MOVEABLE = 0x0002;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;
VORM_API HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
VORM_API HLOCAL LocalFree(HLOCAL block);

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

constexpr WORD LANG_NEUTRAL = 0x00;
constexpr WORD LANG_ENGLISH = 0x09;
constexpr WORD SUBLANG_NEUTRAL = 0x00;
constexpr WORD SUBLANG_DEFAULT = 0x01;
constexpr WORD SUBLANG_SYS_DEFAULT = 0x02;
constexpr WORD SUBLANG_ENGLISH_US = 0x01;
constexpr WORD MAKELANGID(WORD primary, WORD sub) { return static_cast<WORD>((sub << 10) | primary); }
constexpr WORD PRIMARYLANGID(WORD lang) { return static_cast<WORD>(lang & 0x3FF); }
constexpr WORD SUBLANGID(WORD lang) { return static_cast<WORD>(lang >> 10); }

// Message text of a system error code (FORMAT_MESSAGE_FROM_SYSTEM) or of a caller's
// string (FORMAT_MESSAGE_FROM_STRING, `source` = the wide text), English, each system text
// ending in "\r\n" as the platform's do. The system table holds every error code this
// layer produces, the generic HRESULTs (E_FAIL, E_POINTER, ...) and HRESULT_FROM_WIN32 of
// the error codes.
//   FormatMessageW(FROM_SYSTEM | IGNORE_INSERTS, NULL, 2, 0, buf, 64, NULL)
//     => 44, buf = L"The system cannot find the file specified.\r\n"
//   FROM_SYSTEM with 0x80070005 => L"Access is denied.\r\n"
//   FROM_SYSTEM with 0x80004005 => L"Unspecified error\r\n"
//   FROM_SYSTEM with an unknown code => 0, last error ERROR_MR_MID_NOT_FOUND
// Returns the characters stored without the terminator, or 0 with the last error set.
// - FORMAT_MESSAGE_ALLOCATE_BUFFER: `buffer` is really a wchar_t** that receives a
//   LocalAlloc'd text of at least `size` characters (free with LocalFree); otherwise the
//   text and its terminator must fit `size` characters (else ERROR_INSUFFICIENT_BUFFER,
//   nothing written).
// - Language: 0, LANG_NEUTRAL with any sublanguage, or any English one; another =>
//   ERROR_RESOURCE_LANG_NOT_FOUND.
// - FORMAT_MESSAGE_FROM_HMODULE: no module carries a message table here; with FROM_SYSTEM
//   the system table is searched, alone it fails with ERROR_MR_MID_NOT_FOUND.
// - Escapes: %n "\r\n", %r "\r", %t tab, %0 ends the text (no closing line break), %%,
//   %space, %. and %! give the character. Inserts %1..%99 with an optional !printf
//   conversion! (default !s!) take their values from `arguments`: a va_list* read in insert
//   order with the types the conversions name, or with FORMAT_MESSAGE_ARGUMENT_ARRAY a
//   DWORD_PTR array indexed by insert number. Floating-point and '*' conversions are not
//   supported (ERROR_INVALID_PARAMETER), nor are inserts without arguments.
//   FORMAT_MESSAGE_IGNORE_INSERTS copies inserts unchanged. A conversion the formatter
//   refuses (a width or precision beyond kVormFormatFieldLimit) => ERROR_INVALID_PARAMETER.
// - A message longer than 65,535 characters (the platform's 128K bytes) => ERROR_MORE_DATA,
//   found before the text grows past that.
// - Width: 0 keeps the text's line breaks; FORMAT_MESSAGE_MAX_WIDTH_MASK turns each line
//   break of the text (not %n) into one blank; other widths are treated as 0 (no wrapping).
// - Anything else (no source flag, FROM_STRING with another source, a null buffer or
//   source) => ERROR_INVALID_PARAMETER.
VORM_API DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                              va_list* arguments);
