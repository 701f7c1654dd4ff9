// The registry: a store in the platform's .reg text format, at $VORM_REGISTRY or else
// $XDG_CONFIG_HOME/vorm/registry.reg (~/.config when XDG_CONFIG_HOME is unset).
// Reads reload the file when it changed; writes are atomic (temporary file plus rename).
// A malformed file fails the lookup (ERROR_BADDB), never crashes. Thread-safe: one lock
// serialises every call; handles may be used and closed from any thread.
//
// The file ("Windows Registry Editor Version 5.00" header, UTF-8; a UTF-8 BOM or UTF-16LE
// with BOM is read too, and UTF-16LE is written when a name holds a lone surrogate, which
// UTF-8 cannot carry):
//   [HKEY_CURRENT_USER\Software\Vorm]        a key (sections for HKCU, HKLM, HKCR, HKU)
//   "Folder"="C:\\Data \"x\""              REG_SZ, with the \\ and \" escapes
//   @="text"                                 the key's default (unnamed) value
//   "Count"=dword:0000000a                   REG_DWORD
//   "Blob"=hex:01,02,ff                      REG_BINARY
//   "Path"=hex(2):25,00,41,00,25,00,00,00    REG_EXPAND_SZ as UTF-16LE bytes; hex(7) is
//                                            REG_MULTI_SZ, hex(b) REG_QWORD, hex(N) type N
//   "Name"=-   and   [-HKEY_...\Key]          delete a value / a key (hand-written files)
// A trailing backslash continues a hex list on the next line; ';' starts a comment line.
// Key and value names compare case-insensitively and keep the case they were made with.
//
// Each process caches the file and re-reads it when its size, times or content changed;
// two processes writing at the same moment may lose one of the changes (last rename wins).
#pragma once

#include <vorm/platform/wintypes.h>

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000003u)))

using REGSAM = DWORD;
constexpr DWORD KEY_QUERY_VALUE = 0x0001;
constexpr DWORD KEY_SET_VALUE = 0x0002;
constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Results are error codes (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA, ...); as
// on the platform these functions return them and leave the last error alone.
//
// Every call: ERROR_INVALID_HANDLE for a key that is neither a predefined root nor an open
// handle; ERROR_BADDB while the file is malformed (nothing is written over it);
// ERROR_KEY_DELETED when the file no longer holds an open handle's key.
//
// String values are wide text and wchar_t is 4 bytes here: sizes are in bytes of wchar_t
// units, including the terminator when the data has one, so L"abc" stored with its
// terminator has a size of 16 (8 on the platform itself, where wchar_t is 2 bytes).
// Data is returned exactly as it was stored; a terminator is never added.

// Opens an existing key below `key` ("Software\Vorm"; NULL or "" opens `key` itself).
// A leading backslash or an empty component ("a\\b") => ERROR_BAD_PATHNAME; a missing key
// => ERROR_FILE_NOT_FOUND; `result` NULL => ERROR_INVALID_PARAMETER. `access` is recorded:
// queries need KEY_QUERY_VALUE and changes KEY_SET_VALUE (else ERROR_ACCESS_DENIED).
// The returned handle must be closed with RegCloseKey. `options` is ignored.
VORM_API LONG RegOpenKeyExW(HKEY key, const wchar_t* subKey, DWORD options, REGSAM access, HKEY* result);
// Reads a value (`valueName` NULL or "" => the default value). `type` is filled when
// non-NULL. With `data` NULL and `dataSize` set, *dataSize = bytes needed and
// ERROR_SUCCESS. With a buffer of *dataSize bytes that is too small => ERROR_MORE_DATA,
// *dataSize = bytes needed, the buffer left untouched. A missing value =>
// ERROR_FILE_NOT_FOUND; `reserved` not NULL, or `data` without `dataSize` =>
// ERROR_INVALID_PARAMETER.
//   stored REG_SZ L"ab\0": data NULL        => ERROR_SUCCESS, *dataSize 12
//                          *dataSize 8      => ERROR_MORE_DATA, *dataSize 12
//                          *dataSize 64     => ERROR_SUCCESS, *dataSize 12, data L"ab"
VORM_API LONG RegQueryValueExW(HKEY key, const wchar_t* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                               DWORD* dataSize);
// Closes a handle; a predefined root is accepted and stays usable. Anything else =>
// ERROR_INVALID_HANDLE.
VORM_API LONG RegCloseKey(HKEY key);
// Opens `subKey` below `key`, creating it and the keys above it when missing (*disposition
// REG_CREATED_NEW_KEY, else REG_OPENED_EXISTING_KEY). `subKey` NULL => ERROR_INVALID_PARAMETER;
// names with CR or LF cannot be stored, and keys lie at most 512 levels below their root (as
// on the platform; a file with a deeper key is malformed) => ERROR_BAD_PATHNAME. Creating below a handle opened
// without KEY_CREATE_SUB_KEY (0x0004) => ERROR_ACCESS_DENIED. Class, options and security
// are ignored (every key is kept in the file).
VORM_API LONG RegCreateKeyExW(HKEY key, const wchar_t* subKey, DWORD reserved, wchar_t* className, DWORD options,
                              REGSAM access, SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition);
// Sets a value of any type to `dataSize` bytes at `data`. String types (REG_SZ,
// REG_EXPAND_SZ, REG_MULTI_SZ) must be whole wchar_t units of code points up to U+10FFFF,
// and value names cannot hold CR or LF (else ERROR_INVALID_PARAMETER). The file is
// rewritten before the call returns; a failed write returns its error and changes nothing.
VORM_API LONG RegSetValueExW(HKEY key, const wchar_t* valueName, DWORD reserved, DWORD type, const BYTE* data,
                             DWORD dataSize);
// Removes a value; a missing one => ERROR_FILE_NOT_FOUND.
VORM_API LONG RegDeleteValueW(HKEY key, const wchar_t* valueName);
