// File and folder functions with the platform's semantics on POSIX.
// Both '\' and '/' separate; '\' becomes '/' before a call reaches the OS, and the
// private-use characters U+F001..U+F07C that stand for characters the path grammar cannot
// carry in a name become those characters (VormToOsPath, text.h); names and paths the OS
// hands back are mapped the other way (VormFromOsPath). A drive-letter prefix ("C:") names
// no folder here: such a path is absolute but missing (ERROR_PATH_NOT_FOUND).
// Attributes: directory from the file type; read-only when the owner has no write bit;
// hidden for names beginning with '.' (not "." and ".."); archive for regular files;
// reparse point for symbolic links (a link to a folder is also a directory, a link to a
// file carries the file's attributes, a dangling link is a reparse point only);
// FILE_ATTRIBUTE_NORMAL only when nothing else applies. A link that resolves reports its
// target's times and size; a dangling one its own times and size 0. Folders report size 0.
// Creation time is the birth time where the file system records one, else the last-write
// time.
// Every function sets the last error: the failure's code, or ERROR_SUCCESS on success unless
// stated otherwise.
// Handles are process-wide and may be used from any thread, one call at a time per handle.
// A closed, unknown or wrong-kind handle fails with ERROR_INVALID_HANDLE.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <vorm/platform/kernel.h>
#include <vorm/platform/wintypes.h>

// FindFirstFileExW additional flags.
constexpr DWORD FIND_FIRST_EX_CASE_SENSITIVE = 0x1;
constexpr DWORD FIND_FIRST_EX_LARGE_FETCH = 0x2;
constexpr DWORD FIND_FIRST_EX_ON_DISK_ENTRIES_ONLY = 0x4;
// Reparse tag reported in WIN32_FIND_DATAW::dwReserved0 for symbolic links.
constexpr DWORD IO_REPARSE_TAG_SYMLINK = 0xA000000C;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;

// Listing. `fileName` is a folder plus a last component that may hold wildcards; the
// folder's matching entries come sorted by name compared case-insensitively (ordinal on
// upper-cased code points), "." and ".." first (they are listed in every folder but the
// file-system root "/"). A last component without wildcards finds that one entry
// ("/tmp/dir" finds "dir" itself; an exact name is looked up first, otherwise it is matched
// case-insensitively like a pattern). Names longer than MAX_PATH-1 characters are skipped.
// Wildcards, case-insensitive per code point:
//   '*'  any run of characters          "*" => every name, "*.txt" => "a.txt", "b.TXT"
//   '?'  one character other than '.', or nothing at a dot or at the end of the name:
//        "a?c" => "abc", not "ac" or "a.c";  "a?.txt" => "a.txt", "ab.txt";
//        "TEM?????.???" => "TEMP.TXT", "TEMPTEMP.TXT"
//   "*.*" every name, with or without a dot
//   a '.' followed by '*' or '?', or ending the pattern, also matches the end of the name:
//        "*."  => names without a dot ("README", not "a.txt");  "abc.*" => "abc", "abc.d"
//   a '*' before a '.' never consumes the name's last dot: "*.b*" => "a.b.c", "x.bz"
// Errors: ERROR_PATH_NOT_FOUND when the folder is missing, ERROR_FILE_NOT_FOUND when nothing
// matches (also for an empty last component, "dir/"), ERROR_NO_MORE_FILES from FindNextFileW
// at the end. infoLevel: FindExInfoStandard or FindExInfoBasic (cAlternateFileName is always
// empty). searchOp: FindExSearchNameMatch or FindExSearchLimitToDirectories (a hint, as on the
// platform: entries the directory stream knows to be neither folders nor links are then left
// out; callers must still test the attributes). additionalFlags: FIND_FIRST_EX_CASE_SENSITIVE
// matches case-sensitively; the others are accepted. The listing is read when the search
// starts; FindNextFileW walks that snapshot. Names are reported as VormFromOsPath maps them
// (a '\' in a name shows as U+F05C), so a name never reads as a separator or wildcard.
VORM_API HANDLE FindFirstFileExW(const wchar_t* fileName, FINDEX_INFO_LEVELS infoLevel, void* findData,
                                 FINDEX_SEARCH_OPS searchOp, void* searchFilter, DWORD additionalFlags);
VORM_API HANDLE FindFirstFileW(const wchar_t* fileName, WIN32_FIND_DATAW* findData);
VORM_API BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* findData);
// Closes a find handle (not a file handle; CloseHandle refuses find handles).
VORM_API BOOL FindClose(HANDLE find);
// The platform's wildcard test used by the listing, case-insensitive (rules above).
VORM_API bool VormWildcardMatch(const wchar_t* pattern, const wchar_t* name);

// ---------------------------------------------------------------------------------------
// Listings that pay only for what is asked, and work inside an open folder.
//
// FindFirstFileExW reads every entry's attribute record (a statx each) before the caller sees
// the first name. Tree code mostly needs names and kinds, so it lists with VormFolderListing:
// the entries, their names, order and the errors are FindFirstFileExW's for the same text, but
// what an entry is comes from the directory stream itself (GetKnownAttributes: the directory
// attribute for a folder, archive for a regular file, reparse point for a link, hidden from the
// name), and the full record (read-only bit, times, size, what a link points to) costs one
// statx, made by GetData the first time it is asked for and kept. This is how
// std::filesystem::directory_entry caches.
//
// Opened with Open, a listing also holds the folder open and works inside it by entry, through
// the descriptor (openat/unlinkat): no full path is rebuilt or resolved per entry, and OpenEntry
// never follows a link, so a sub-folder swapped for a link while a tree is worked on is not
// entered. The names are the bytes on disk, never re-parsed, so every entry is exactly one
// component of its folder. A listing opened this way holds one descriptor until Clear, the
// next Read or Open, or destruction; Read keeps none.
//
// Thread rule: one thread at a time per listing. Ownership: the listing owns its entries and
// its descriptor; names handed out stay valid until the listing changes.
//   VormFolderListing l;
//   l.Read(L"/data/*.txt", VormFolderListing::SkipDots);     // like FindFirstFileExW
//   for (size_t i = 0; i < l.GetCount(); ++i) use(l.GetName(i), l.GetKnownAttributes(i));
// ---------------------------------------------------------------------------------------
class VORM_API VormFolderListing {
 public:
  // Flags of Read.
  static constexpr DWORD SkipDots = 0x1;       // leave out "." and ".."
  static constexpr DWORD FoldersOnly = 0x2;    // FindExSearchLimitToDirectories' hint: leave out
                                               // entries the stream knows to be neither folders
                                               // nor links
  static constexpr DWORD EveryFolder = 0x4;    // keep the real sub-folders the pattern does not
                                               // match too, with IsMatch false: one read serves
                                               // a tree walk's files and its descent
  static constexpr DWORD CaseSensitive = 0x8;  // FIND_FIRST_EX_CASE_SENSITIVE

  VormFolderListing();
  ~VormFolderListing();
  VormFolderListing(const VormFolderListing&) = delete;
  VormFolderListing& operator=(const VormFolderListing&) = delete;

  // Lists `fileName`, a folder and a last component that may hold wildcards, with
  // FindFirstFileExW's entries and errors (ERROR_PATH_NOT_FOUND for a missing folder,
  // ERROR_FILE_NOT_FOUND when nothing matches). TRUE, or FALSE with the last error set and no
  // entries. Entries that vanish after the read are still listed (GetData then fails).
  BOOL Read(const wchar_t* fileName, DWORD flags);
  // Opens the folder `path` to work in (a link to a folder is followed, as a walk's root is)
  // and lists every entry but "." and "..". FALSE: ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND
  // when missing, ERROR_DIRECTORY when `path` is no folder, the OS's reason otherwise. An
  // empty folder is TRUE with no entries.
  BOOL Open(const wchar_t* path);
  // Opens the sub-folder `index` of the open `parent` the same way, never through a link:
  // ERROR_DIRECTORY when that entry is by now a link or anything but a folder.
  BOOL OpenEntry(const VormFolderListing& parent, size_t index);
  void Clear();

  size_t GetCount() const;
  // The name as FindFirstFileExW reports it (VormFromOsPath's mapping), terminated.
  const wchar_t* GetName(size_t index) const;
  size_t GetNameLength(size_t index) const;
  // The attributes known without the record (all of them once GetData has read it). For a
  // link: reparse point (and hidden) only, nothing about what it points to.
  DWORD GetKnownAttributes(size_t index) const;
  // Whether the name matches the pattern; always true without EveryFolder.
  bool IsMatch(size_t index) const;
  // FindFirstFileExW's record of the entry: read with one statx the first time, then kept.
  // FALSE with the last error when the entry can no longer be read (gone since it was
  // listed); `data` then holds the name and the known attributes.
  BOOL GetData(size_t index, WIN32_FIND_DATAW* data) const;

  // Inside a listing made by Open or OpenEntry (else ERROR_INVALID_HANDLE):
  // Removes the file or link `index`, whatever its read-only attribute (DeleteFileW refuses a
  // read-only file; a tree removal deletes it). A link goes as a link, its target untouched.
  // ERROR_ACCESS_DENIED for a folder, else DeleteFileW's codes.
  BOOL DeleteEntry(size_t index) const;
  // Removes the empty sub-folder `index`, or a link to a folder as a link, with
  // RemoveDirectoryW's rules and codes (ERROR_DIR_NOT_EMPTY, ERROR_ACCESS_DENIED for a
  // read-only folder, ERROR_SHARING_VIOLATION for the current folder, ERROR_DIRECTORY for a
  // file).
  BOOL RemoveFolderEntry(size_t index) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;  // made on the first read
};

// Attributes and data. Links are followed for the data, see above. GetFileAttributesExW
// works on folders too and accepts GetFileExInfoStandard only.
VORM_API DWORD GetFileAttributesW(const wchar_t* fileName);
VORM_API BOOL GetFileAttributesExW(const wchar_t* fileName, GET_FILEEX_INFO_LEVELS infoLevel, void* info);

// Handles to open files (also folders with FILE_FLAG_BACKUP_SEMANTICS; without it a folder
// fails with ERROR_ACCESS_DENIED). Access: GENERIC_READ, GENERIC_WRITE (GENERIC_ALL both; 0
// for queries only). Share modes, security and the template are accepted and ignored.
// Dispositions: CREATE_NEW (ERROR_FILE_EXISTS when present), CREATE_ALWAYS (truncates; last
// error ERROR_ALREADY_EXISTS when the file existed, else ERROR_SUCCESS), OPEN_EXISTING,
// OPEN_ALWAYS (last error as CREATE_ALWAYS), TRUNCATE_EXISTING (needs GENERIC_WRITE).
// Writing to or truncating a file with the read-only attribute fails with
// ERROR_ACCESS_DENIED whatever the process's privileges, as on the platform.
// FILE_ATTRIBUTE_READONLY in `flagsAndAttributes` creates the file read-only.
VORM_API HANDLE CreateFileW(const wchar_t* fileName, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                            DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
// Synchronous only: a non-null `overlapped` fails with ERROR_INVALID_PARAMETER. Reading at
// the end of the file succeeds with 0 bytes.
VORM_API BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
VORM_API BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
VORM_API BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
// Low word returned, high word through `sizeHigh` when not null; INVALID_FILE_SIZE with a
// last error other than ERROR_SUCCESS on failure.
VORM_API DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
// Moves by `distance` (a signed 64-bit value with *distanceHigh as high word when that is
// not null) from FILE_BEGIN, FILE_CURRENT or FILE_END; returns the new position's low word
// (high word into *distanceHigh). INVALID_SET_FILE_POINTER with ERROR_NEGATIVE_SEEK before
// the start; check the last error when the low word may legitimately be 0xFFFFFFFF.
VORM_API DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
// Handles are closed with CloseHandle (kernel.h).

// C runtime.
// 0 existence, 2 write, 4 read, 6 both: 0 when granted, else -1 with errno ENOENT, EACCES
// (write to a read-only file) or EINVAL (other modes). A folder that exists grants every mode.
VORM_API int _waccess(const wchar_t* path, int mode);
// Unique name in `dir` (or the temp folder of GetTempPathW when `dir` is null or not an
// existing folder) made of `prefix` and a random suffix; no entry of that name exists when
// the call returns. malloc'ed, the caller frees. NULL when no name can be made.
//   _wtempnam(L"/tmp/x", L"~") => "/tmp/x/~k3f9qz2a"
VORM_API wchar_t* _wtempnam(const wchar_t* dir, const wchar_t* prefix);
// Splits at the platform's rules: drive "X:" (any character and a colon at the start, so
// "/:\dir1\file.ext" has the drive "/:"), directory up to and including the last '\' or
// '/', the title, and the extension from the last '.' of the name (a name starting with a
// dot is all extension). Each non-null output gets at most
// _MAX_DRIVE/_MAX_DIR/_MAX_FNAME/_MAX_EXT characters including the terminator (longer parts
// are cut) and is always terminated.
//   "C:\dir\sub\file.tar.gz" => "C:", "\dir\sub\", "file.tar", ".gz"
//   "C:\dir\.profile"        => "C:", "\dir\", "", ".profile"
//   "\\server\share\f.txt"   => "", "\\server\share\", "f", ".txt"
//   "name"                   => "", "", "name", ""
constexpr int _MAX_DRIVE = 3;
constexpr int _MAX_DIR = 256;
constexpr int _MAX_FNAME = 256;
constexpr int _MAX_EXT = 256;
VORM_API void _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext);
// Same split with caller-given sizes for each part (cut to fit, always terminated; a size
// of 0 leaves that output untouched). A null path gives four empty parts.
VORM_API void VormSplitPath(const wchar_t* path, wchar_t* drive, size_t driveSize, wchar_t* dir, size_t dirSize,
                            wchar_t* fname, size_t fnameSize, wchar_t* ext, size_t extSize);

// Folders. Results use '/' on this platform. Unless stated, each writes at most `size`
// characters including the terminator and returns the length written (terminator
// excluded), or the size needed (terminator included, nothing written) when the buffer is
// too small, or 0 on failure.
// The executable (/proc/self/exe). Only the null module (the process) is known; others fail
// with ERROR_MOD_NOT_FOUND. A buffer too small gets the name cut to size-1 characters and
// terminated, the result is `size` and the last error ERROR_INSUFFICIENT_BUFFER.
VORM_API DWORD GetModuleFileNameW(HMODULE module, wchar_t* buffer, DWORD size);
// The POSIX counterparts: the system's configuration folder "/etc" stands for the Windows
// folder, the shared-library folder "/usr/lib" for the system folder.
VORM_API UINT GetWindowsDirectoryW(wchar_t* buffer, UINT size);
VORM_API UINT GetSystemDirectoryW(wchar_t* buffer, UINT size);
VORM_API DWORD GetTempPathW(DWORD size, wchar_t* buffer);  // $TMPDIR or /tmp/, with a trailing '/'
VORM_API DWORD GetCurrentDirectoryW(DWORD size, wchar_t* buffer);
VORM_API BOOL SetCurrentDirectoryW(const wchar_t* path);
// The absolute form of `fileName`, worked out on the text alone as the platform does: a
// relative path is taken from the current folder, '\' and '/' both separate and come out as
// '/', runs of separators collapse, "." steps vanish and ".." removes the step before it
// (never the root: "/.." is "/"; a UNC path keeps "//server/share"; "X:" roots a drive
// path). A trailing separator is kept. `filePart`, when given, receives a pointer to the last
// component in `buffer`, or NULL when the result ends with a separator.
//   cwd /home/u:  "a/./b/../c.txt" => "/home/u/a/c.txt"   "/x//y/" => "/x/y/"   ".." => "/home"
// Returns the length written, the size needed (terminator included, nothing written) when
// `bufferLength` is too small, or 0: ERROR_INVALID_PARAMETER for a null name, ERROR_INVALID_NAME
// for an empty one. Links are not resolved: a ".." after a link leaves the link's name, not
// its target's folder.
VORM_API DWORD GetFullPathNameW(const wchar_t* fileName, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart);

// Time conversion used by the layer (100-ns intervals since 1601-01-01 UTC); instants before
// 1601 give 0.   VormFileTimeFromUnix(0, 0) => 116444736000000000
VORM_API FILETIME VormFileTimeFromUnix(long long seconds, long nanoseconds);

// The POSIX form of a platform path (VormToOsPath). Empty for a drive path or null.
//   L"dir\\sub/f.txt" => "dir/sub/f.txt";  L"a\xF05Cb" => "a\\b";  L"C:\\x" => ""
VORM_API std::string VormNativePath(const wchar_t* path);

// ---------------------------------------------------------------------------------------
// Copying, creating and removing entries.
// ---------------------------------------------------------------------------------------

// CopyFileExW flags. Other flags are accepted and ignored.
constexpr DWORD COPY_FILE_FAIL_IF_EXISTS = 0x00000001;
constexpr DWORD COPY_FILE_COPY_SYMLINK = 0x00000800;

// Copies a file's content, its last-write time and its read-only state (the permission bits
// of the source are given to the copy, less the process's umask); the copy's creation and
// access times are the time of the copy. A source that is a link is followed. Sources other
// than regular files (folders, devices, FIFOs) fail with ERROR_ACCESS_DENIED.
// Errors: ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND for a missing source or target folder;
// ERROR_FILE_EXISTS when the target exists and `failIfExists` is set; ERROR_ACCESS_DENIED
// when the target is a folder or read-only; ERROR_SHARING_VIOLATION when source and target
// name the same file (nothing is touched). The data moves in the kernel (copy_file_range)
// where the file systems allow it, else through a buffer.
// The data always goes to a temporary name (".~copy" and a random suffix) in the target's
// folder, which takes the target's name only once the whole copy is written: no file under
// the target's name is ever partly written, and a failed copy leaves an existing target as
// it was and no new one (the temporary is removed). With `failIfExists` the final rename
// refuses a target that appeared meanwhile. Replacing gives the target a new identity (hard
// links to the old file keep the old content; a link at the target is replaced by the file,
// not followed).
// Unlike the platform, a hidden target (a name beginning with '.') is overwritten: hidden
// is a naming convention here, not a protection.
//   CopyFileW(L"a.txt", L"b.txt", TRUE)  => TRUE; again => FALSE, ERROR_FILE_EXISTS
VORM_API BOOL CopyFileW(const wchar_t* existingFileName, const wchar_t* newFileName, BOOL failIfExists);
// CopyFileW with flags. COPY_FILE_COPY_SYMLINK copies a link at the source as a link with
// the same target text (also a dangling link or one to a folder); otherwise as CopyFileW.
// The progress routine is never called; `cancel` is not read.
VORM_API BOOL CopyFileExW(const wchar_t* existingFileName, const wchar_t* newFileName, void* progressRoutine,
                          void* data, BOOL* cancel, DWORD copyFlags);

// Removes a file. A link (to a file, to a folder, or dangling) is removed as a link, its
// target is left alone. Errors: ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when missing;
// ERROR_ACCESS_DENIED for a read-only file (whatever the process's privileges, as on the
// platform), for a folder, and when the OS refuses.
VORM_API BOOL DeleteFileW(const wchar_t* fileName);

// Creates one folder (mode 0777 less the umask; `security` is ignored).
// Errors: ERROR_ALREADY_EXISTS when any entry of that name exists, ERROR_PATH_NOT_FOUND
// when a folder on the way is missing.
VORM_API BOOL CreateDirectoryW(const wchar_t* pathName, SECURITY_ATTRIBUTES* security);

// Removes an empty folder. A link to a folder is removed as a link (its target is left
// alone), as are dangling links. Errors: ERROR_DIR_NOT_EMPTY; ERROR_DIRECTORY for a file or
// a link to one; ERROR_ACCESS_DENIED for a read-only folder (as on the platform);
// ERROR_SHARING_VIOLATION for the process's current folder, which the platform keeps open
// and so cannot remove; ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when missing.
VORM_API BOOL RemoveDirectoryW(const wchar_t* pathName);

// Sets the attributes that have a POSIX meaning: FILE_ATTRIBUTE_READONLY set clears the
// write bits of owner, group and others; clear gives the owner the write bit back (group
// and others are never granted write access here, so nothing becomes writable by more
// users than before it was made read-only, short of the owner). Every other attribute
// (hidden, system, archive, normal, temporary, ...) is accepted and ignored: hidden follows
// the name, the rest has no counterpart. A link is followed: its attributes are its
// target's. Errors: ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when missing,
// ERROR_ACCESS_DENIED when the OS refuses (not the owner).
VORM_API BOOL SetFileAttributesW(const wchar_t* fileName, DWORD attributes);

// C runtime. Both return 0 on success, -1 with errno on failure and set the last error.
// _wchdir: errno ENOENT for a missing folder (also a drive path), ENOTDIR for a file.
// _wremove: DeleteFileW's rules; errno ENOENT when missing, EACCES for a read-only file, a
// folder, or a refusal.
VORM_API int _wchdir(const wchar_t* path);
VORM_API int _wremove(const wchar_t* path);

// Identity of the entry `path` names (links followed): two names give equal volume and index
// exactly when they name one file or folder (as the platform's volume serial number and file
// index do). FALSE with the last error of GetFileAttributesW when it cannot be read.
VORM_API BOOL VormGetFileId(const wchar_t* path, ULONGLONG* volume, ULONGLONG* index);

// Permission bits (07777) of the entry `path` names, links followed: for saving them before
// an attribute change and putting them back exactly, which SetFileAttributesW cannot do (it
// clears every write bit and gives back only the owner's, so a 0464 file made writable and
// read-only again would end as 0444). FALSE with the last error as for GetFileAttributesW.
//   VormGetFilePermissions(L"f", &bits) => TRUE, bits == 0464 for a file -r--rw-r--
VORM_API BOOL VormGetFilePermissions(const wchar_t* path, DWORD* bits);
VORM_API BOOL VormSetFilePermissions(const wchar_t* path, DWORD bits);

// ---------------------------------------------------------------------------------------
// Fault injection, for tests of what happens when the OS refuses a step. Every call the file
// layer makes to the OS belongs to one of these kinds; VormInjectFileFault(kinds, n, error)
// makes the n-th call (1 = the next one) of the chosen kinds from then on fail with the errno
// value `error` without reaching the OS, exactly once. n = 0 only counts the calls, so a test
// can first learn how many steps an operation takes and then fail each in turn:
//   VormInjectFileFault(VORM_FAULT_ALL, 0, 0);    VormCopyTree(a, b, TRUE);
//   const unsigned long steps = VormFileFaultCalls();
//   VormInjectFileFault(VORM_FAULT_ALL, 7, EIO);  VormCopyTree(a, c, TRUE);  // 7th step fails
// kinds = 0 disarms. Process-wide: the counter is shared by all threads. Costs one relaxed
// atomic load per call while disarmed.
// ---------------------------------------------------------------------------------------
constexpr DWORD VORM_FAULT_OPEN = 0x001;        // opening or creating a file or folder
constexpr DWORD VORM_FAULT_READ = 0x002;        // reading file data
constexpr DWORD VORM_FAULT_WRITE = 0x004;       // writing file data, kernel copies, truncating, syncing
constexpr DWORD VORM_FAULT_LIST = 0x008;        // reading a folder's entries
constexpr DWORD VORM_FAULT_STAT = 0x010;        // reading an entry's type, mode, times and size
constexpr DWORD VORM_FAULT_RENAME = 0x020;      // renaming, and hard links made to rename
constexpr DWORD VORM_FAULT_UNLINK = 0x040;      // removing a file, link or folder
constexpr DWORD VORM_FAULT_MKDIR = 0x080;       // creating a folder
constexpr DWORD VORM_FAULT_LINK = 0x100;        // creating and reading symbolic links
constexpr DWORD VORM_FAULT_ATTRIBUTES = 0x200;  // changing permissions and times
constexpr DWORD VORM_FAULT_CLOSE = 0x400;       // closing a descriptor (it is released anyway)
constexpr DWORD VORM_FAULT_ALL = 0x7FF;
VORM_API void VormInjectFileFault(DWORD kinds, unsigned long nth, int error);
// Calls of the armed kinds counted since the last VormInjectFileFault.
VORM_API unsigned long VormFileFaultCalls();

// ---------------------------------------------------------------------------------------
// Change notifications.
// ---------------------------------------------------------------------------------------
constexpr DWORD FILE_NOTIFY_CHANGE_FILE_NAME = 0x001;
constexpr DWORD FILE_NOTIFY_CHANGE_DIR_NAME = 0x002;
constexpr DWORD FILE_NOTIFY_CHANGE_ATTRIBUTES = 0x004;
constexpr DWORD FILE_NOTIFY_CHANGE_SIZE = 0x008;
constexpr DWORD FILE_NOTIFY_CHANGE_LAST_WRITE = 0x010;
constexpr DWORD FILE_NOTIFY_CHANGE_LAST_ACCESS = 0x020;
constexpr DWORD FILE_NOTIFY_CHANGE_CREATION = 0x040;
constexpr DWORD FILE_NOTIFY_CHANGE_SECURITY = 0x100;

// A waitable handle (sync.h) signalled when an entry of the folder `pathName` changes in a
// way `filter` names: a file's name (created, deleted, renamed: 0x01) or a sub-folder's
// (0x02), attributes (0x04), size (0x08), last-write time (0x10, also set by `touch`),
// last-access time (0x20), creation (0x40), permissions (0x100). Changes to the folder
// itself are not reported, except that its deletion or unmounting signals the handle once
// and ends the watch; a lost-event overflow in the kernel signals every handle. The handle
// stays signalled until FindNextChangeNotification; changes in between leave it to be
// signalled again at once then (one pending flag, never a count). Close it with
// FindCloseChangeNotification (CloseHandle refuses it).
// Errors: ERROR_DIRECTORY when the path is a file; ERROR_FILE_NOT_FOUND /
// ERROR_PATH_NOT_FOUND when it is missing; ERROR_INVALID_PARAMETER for a filter of 0 or with
// other bits; ERROR_NOT_SUPPORTED for watchSubtree (only the folder itself is watched);
// ERROR_NOT_ENOUGH_QUOTA when the system's limit of watched folders is reached;
// ERROR_ACCESS_DENIED when the folder cannot be read.
// One monitor thread per process reads every notification; it blocks in the kernel and
// signals the handles, so an idle watch costs no processor time.
VORM_API HANDLE FindFirstChangeNotificationW(const wchar_t* pathName, BOOL watchSubtree, DWORD filter);
VORM_API BOOL FindNextChangeNotification(HANDLE change);
VORM_API BOOL FindCloseChangeNotification(HANDLE change);
