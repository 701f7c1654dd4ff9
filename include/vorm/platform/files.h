// File and folder functions with the platform's semantics on POSIX.
// Both '\' and '/' separate; '\' becomes '/' before a call reaches the OS. A drive-letter
// prefix ("C:") names no folder here: such a path is absolute but missing
// (ERROR_PATH_NOT_FOUND). Attributes: directory from the file type; read-only when the
// owner has no write bit; hidden for names beginning with '.'; archive for regular files;
// reparse point for symbolic links (a link to a folder is also a directory);
// FILE_ATTRIBUTE_NORMAL only when nothing else applies. Every function sets the last error.
// Handles are process-wide and may be used from any thread, one call at a time per handle.
#pragma once

#include <string>

#include <vorm/platform/wintypes.h>

// Listing. Entries of a folder come sorted by name, compared case-insensitively (ordinal on
// upper-cased code points), "." and ".." first (not for the file-system root). Wildcards:
// '*' any run, '?' one character, case-insensitive; "*.*" matches every name and a pattern
// ending in "." also matches names without an extension ("*." = names without a dot).
VORM_API HANDLE FindFirstFileExW(const wchar_t* fileName, FINDEX_INFO_LEVELS infoLevel, void* findData,
                                 FINDEX_SEARCH_OPS searchOp, void* searchFilter, DWORD additionalFlags);
VORM_API HANDLE FindFirstFileW(const wchar_t* fileName, WIN32_FIND_DATAW* findData);
VORM_API BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* findData);
VORM_API BOOL FindClose(HANDLE find);
// The platform's wildcard test used by the listing (exposed for tests and tools).
VORM_API bool VormWildcardMatch(const wchar_t* pattern, const wchar_t* name);

// Attributes and data.
VORM_API DWORD GetFileAttributesW(const wchar_t* fileName);
VORM_API BOOL GetFileAttributesExW(const wchar_t* fileName, GET_FILEEX_INFO_LEVELS infoLevel, void* info);

// Handles to open files (also folders with FILE_FLAG_BACKUP_SEMANTICS).
VORM_API HANDLE CreateFileW(const wchar_t* fileName, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                            DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
VORM_API BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
VORM_API BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
VORM_API BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
VORM_API DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
VORM_API DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
VORM_API BOOL CloseHandle(HANDLE handle);

// C runtime.
VORM_API int _waccess(const wchar_t* path, int mode);  // 0 existence, 2 write, 4 read, 6 both
// Unique name in `dir` (or the temp folder when dir is missing) starting with `prefix`;
// malloc'ed, the caller frees; NULL when none can be made.
VORM_API wchar_t* _wtempnam(const wchar_t* dir, const wchar_t* prefix);
// Splits at the platform's rules: drive "X:", directory up to the last '\' or '/', the
// title, and the extension from the last '.' (a name starting with a dot is all
// extension). Each non-null output gets at most _MAX_DRIVE/_MAX_DIR/_MAX_FNAME/_MAX_EXT
// characters including the terminator (longer parts are cut).
constexpr int _MAX_DRIVE = 3;
constexpr int _MAX_DIR = 256;
constexpr int _MAX_FNAME = 256;
constexpr int _MAX_EXT = 256;
VORM_API void _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext);
// Same split with caller-given sizes for each part (cut to fit, always terminated).
VORM_API void VormSplitPath(const wchar_t* path, wchar_t* drive, size_t driveSize, wchar_t* dir, size_t dirSize,
                            wchar_t* fname, size_t fnameSize, wchar_t* ext, size_t extSize);

// Folders. Each writes at most `size` characters including the terminator and returns the
// length written (terminator excluded), or the size needed (terminator included) when the
// buffer is too small, or 0 on failure. Results use '/' on this platform.
VORM_API DWORD GetModuleFileNameW(HMODULE module, wchar_t* buffer, DWORD size);  // /proc/self/exe
VORM_API UINT GetWindowsDirectoryW(wchar_t* buffer, UINT size);
VORM_API UINT GetSystemDirectoryW(wchar_t* buffer, UINT size);
VORM_API DWORD GetTempPathW(DWORD size, wchar_t* buffer);  // $TMPDIR or /tmp/, with a trailing '/'
VORM_API DWORD GetCurrentDirectoryW(DWORD size, wchar_t* buffer);
VORM_API BOOL SetCurrentDirectoryW(const wchar_t* path);

// Time conversion used by the layer (100-ns intervals since 1601).
VORM_API FILETIME VormFileTimeFromUnix(long long seconds, long nanoseconds);

// The POSIX form of a platform path: '\' turned into '/', UTF-8. Empty for a drive path.
VORM_API std::string VormNativePath(const wchar_t* path);
