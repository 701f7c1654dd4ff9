// The platform's file classes and their companions: CObject, CException, CFileException,
// CTime, CFileStatus, CFile and CStdioFile, with the interface subset the library and its
// callers use.
//
// Exceptions travel as the platform throws them: a pointer to a heap object
// (`throw new CFileException(...)`, see AfxThrowFileException) that the catcher releases
// with Delete():
//   try { CStdioFile f(L"/no/such/dir/x.txt", CFile::modeRead); }
//   catch (CFileException* e) { /* e->m_cause == CFileException::badPath */ e->Delete(); }
//
// Files on this platform:
// - Names take '\' or '/' as separators (see files.h); a drive path ("C:\x") is missing.
// - Text is written and read as UTF-8 whatever the type flag; lines end with "\n" (text
//   mode adds no carriage return on writing and drops one before "\n" on reading).
// - Sharing is enforced between opens made through these classes, in this process and in
//   others, with advisory whole-file locks: shareCompat and shareExclusive conflict with
//   every other open of the file; the other share modes conflict only with those two.
//   Other programs that do not take the locks are not kept out.
// - Descriptors are never inherited by child processes (modeNoInherit is implied).
// - Writing to or truncating a file with the read-only attribute fails with access denied,
//   as on the platform, whatever the process's privileges.
#pragma once

#include <cstdio>
#include <cwchar>
#include <string>

#include <vorm/platform/cstring.h>
#include <vorm/platform/time.h>
#include <vorm/platform/wintypes.h>

// Root of the platform's class tree. Thread rule: that of the derived class.
class VORM_API CObject {
 public:
  virtual ~CObject() = default;

 protected:
  CObject() = default;
  CObject(const CObject&) = default;
  CObject& operator=(const CObject&) = default;
};

// Base of the platform's exceptions, thrown as heap pointers. Delete() frees one that was
// thrown (made with new); for one made otherwise (auto_delete false) it does nothing.
class VORM_API CException : public CObject {
 public:
  explicit CException(bool autoDelete = true) : m_bAutoDelete(autoDelete) {}
  void Delete();
  // The exception's text, cut to `maxChars` characters including the terminator. FALSE when
  // there is no text or no room.
  virtual BOOL GetErrorMessage(wchar_t* buffer, UINT maxChars, UINT* helpContext = nullptr) const;

 protected:
  bool m_bAutoDelete;
};

// A failed file operation: the cause in the platform's classification, the platform error
// code (-1 when none) and the file's name. Thread rule: one thread; ownership: the catcher.
class VORM_API CFileException : public CException {
 public:
  enum Cause {
    none = 0,
    genericException = 1,
    fileNotFound = 2,
    badPath = 3,
    tooManyOpenFiles = 4,
    accessDenied = 5,
    invalidFile = 6,
    removeCurrentDir = 7,
    directoryFull = 8,
    badSeek = 9,
    hardIO = 10,
    sharingViolation = 11,
    lockViolation = 12,
    diskFull = 13,
    endOfFile = 14
  };

  explicit CFileException(int cause = none, LONG osError = -1, const wchar_t* fileName = nullptr)
      : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}

  // The cause the platform assigns to a system error code:
  //   ERROR_FILE_NOT_FOUND => fileNotFound, ERROR_PATH_NOT_FOUND => badPath,
  //   ERROR_ACCESS_DENIED => accessDenied, ERROR_SHARING_VIOLATION => sharingViolation,
  //   ERROR_DISK_FULL => diskFull, an unknown code => genericException.
  static int OsErrorToException(LONG osError);
  // Throws a CFileException for `osError` (no throw for 0).
  static void ThrowOsError(LONG osError, const wchar_t* fileName = nullptr);

  // "Access to C:\x.txt was denied."-style text naming the cause and the file.
  BOOL GetErrorMessage(wchar_t* buffer, UINT maxChars, UINT* helpContext = nullptr) const override;

  int m_cause;
  LONG m_lOsError;
  CString m_strFileName;
};

// Throws `new CFileException(cause, osError, fileName)`.
[[noreturn]] VORM_API void AfxThrowFileException(int cause, LONG osError = -1, const wchar_t* fileName = nullptr);

// A point in time in whole seconds since 1970-01-01 UTC (0 = not set). A plain value.
class VORM_API CTime {
 public:
  CTime() = default;
  CTime(__time64_t time) : m_time(time) {}
  // Local time; `dst` > 0 daylight saving, 0 standard, < 0 let the system decide. An
  // impossible date gives 0.
  CTime(int year, int month, int day, int hour, int minute, int second, int dst = -1);
  // 100-ns intervals since 1601; sub-second parts are dropped (rounded down).
  explicit CTime(const FILETIME& fileTime);

  static CTime GetCurrentTime();
  __time64_t GetTime() const { return m_time; }

  // Local-time parts (0 when the time cannot be converted). Month 1-12, day-of-week 1-7
  // from Sunday.
  int GetYear() const;
  int GetMonth() const;
  int GetDay() const;
  int GetHour() const;
  int GetMinute() const;
  int GetSecond() const;
  int GetDayOfWeek() const;

  // strftime conversions on local time (FormatGmt: UTC), with the platform's '#' flag,
  // which drops leading zeros from numbers. Output is in the "C" locale's words. A time
  // that cannot be converted (negative, after the year 3000) formats as empty.
  //   CTime(0).FormatGmt(L"%Y-%m-%d %H:%M:%S") => L"1970-01-01 00:00:00"
  //   CTime(0).FormatGmt(L"%#m/%#d/%Y")        => L"1/1/1970"
  CString Format(const wchar_t* format) const;
  CString FormatGmt(const wchar_t* format) const;

  friend bool operator==(CTime a, CTime b) { return a.m_time == b.m_time; }
  friend bool operator!=(CTime a, CTime b) { return a.m_time != b.m_time; }
  friend bool operator<(CTime a, CTime b) { return a.m_time < b.m_time; }
  friend bool operator<=(CTime a, CTime b) { return a.m_time <= b.m_time; }
  friend bool operator>(CTime a, CTime b) { return a.m_time > b.m_time; }
  friend bool operator>=(CTime a, CTime b) { return a.m_time >= b.m_time; }

 private:
  __time64_t m_time = 0;
};

// What CFile::GetStatus reports about a file. A plain record.
struct VORM_API CFileStatus {
  CTime m_ctime;                     // creation (the last write where none is kept)
  CTime m_mtime;                     // last write
  CTime m_atime;                     // last access
  ULONGLONG m_size = 0;              // bytes; 0 for folders
  BYTE m_attribute = 0;              // low byte of the platform attributes, without NORMAL
  wchar_t m_szFullName[MAX_PATH]{};  // absolute name, see CFile::GetStatus
};

// A file opened for unbuffered reading and writing. Thread rule: one thread at a time per
// object; ownership: the object owns its descriptor and closes it when destroyed.
class VORM_API CFile : public CObject {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareCompat = 0x0000,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
    typeText = 0x4000,
    typeBinary = 0x8000
  };
  enum Attribute {
    normal = 0x00,
    readOnly = 0x01,
    hidden = 0x02,
    system = 0x04,
    volume = 0x08,
    directory = 0x10,
    archive = 0x20
  };
  enum SeekPosition { begin = 0, current = 1, end = 2 };

  CFile() = default;
  // Opens at once; throws CFileException* on failure.
  CFile(const wchar_t* fileName, UINT openFlags);
  // Closes the file when it is open; errors are ignored.
  ~CFile() override;
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Opens `fileName` with `openFlags` (an access mode, a share mode and the mode/type
  // flags). modeCreate creates the file or empties an existing one; with modeNoTruncate an
  // existing file is kept. Without modeCreate the file must exist. FALSE on failure, with
  // the cause, error code and name in `error` when given and the last error set.
  virtual BOOL Open(const wchar_t* fileName, UINT openFlags, CFileException* error = nullptr);
  // Close throws CFileException* when the system reports an error; Abort never throws.
  virtual void Close();
  virtual void Abort();
  bool IsOpen() const { return m_fd >= 0; }

  // Read and Write throw CFileException* on failure; Read returns the bytes read (0 at the
  // end).
  virtual UINT Read(void* buffer, UINT count);
  virtual void Write(const void* buffer, UINT count);
  virtual void Flush();
  // New position from `from` (begin, current, end); throws badSeek before the start.
  virtual ULONGLONG Seek(LONGLONG offset, UINT from);
  void SeekToBegin() { Seek(0, begin); }
  ULONGLONG SeekToEnd() { return Seek(0, end); }
  virtual ULONGLONG GetPosition() const;
  virtual ULONGLONG GetLength() const;
  virtual void SetLength(ULONGLONG length);

  // The name as given to Open, and its last component with and without extension.
  virtual CString GetFilePath() const { return m_strFileName; }
  virtual void SetFilePath(const wchar_t* path) { m_strFileName = path; }
  virtual CString GetFileName() const;
  virtual CString GetFileTitle() const;

  // Status of this open file, by its name.
  BOOL GetStatus(CFileStatus& status) const;
  // Status of the file or folder `fileName` without opening it. m_szFullName is the
  // absolute form of `fileName`: relative names are taken from the current folder, '\'
  // becomes '/', runs of separators collapse, "." and ".." are resolved by name (links are
  // not followed, before the file is looked for) and no trailing separator is kept:
  //   "/tmp//a/./b/../f.txt" => "/tmp/a/f.txt";  "sub\f.txt" in "/home/u" => "/home/u/sub/f.txt"
  // FALSE (full name empty) for a null or empty name, a full name of MAX_PATH characters or
  // more (ERROR_FILENAME_EXCED_RANGE), or a file the system cannot find.
  static BOOL GetStatus(const wchar_t* fileName, CFileStatus& status);

 protected:
  // Shared by Open of this class and of CStdioFile: opens the descriptor, applies the
  // share lock and truncation. -1 and the platform error code in `osError` on failure.
  int OpenDescriptor(const wchar_t* fileName, UINT openFlags, DWORD& osError);
  static void FillException(CFileException* error, DWORD osError, const wchar_t* fileName);
  [[noreturn]] void ThrowErrno(int err) const;

  int m_fd = -1;
  CString m_strFileName;
};

// A file read and written as text lines through a buffered C stream. Thread rule: one
// thread at a time per object; ownership: the object owns its stream.
class VORM_API CStdioFile : public CFile {
 public:
  CStdioFile() = default;
  CStdioFile(const wchar_t* fileName, UINT openFlags);  // throws CFileException*
  ~CStdioFile() override;

  // The stream's mode follows the platform: modeCreate gives "w" ("a" with modeNoTruncate:
  // every write goes to the end), modeWrite alone "a", otherwise "r"; '+' is added when the
  // access mode asks for the other direction too.
  BOOL Open(const wchar_t* fileName, UINT openFlags, CFileException* error = nullptr) override;
  void Close() override;
  void Abort() override;

  // Writes `text` as UTF-8; throws CFileException* on failure.
  virtual void WriteString(const wchar_t* text);
  // Reads at most maxChars-1 characters, stopping after a "\n" (which is kept), and
  // terminates; nullptr when nothing is left (or maxChars is 0).
  virtual wchar_t* ReadString(wchar_t* buffer, UINT maxChars);
  // Reads one line without its "\n"; FALSE when nothing was left to read.
  virtual BOOL ReadString(CString& line);

  UINT Read(void* buffer, UINT count) override;
  void Write(const void* buffer, UINT count) override;
  void Flush() override;
  ULONGLONG Seek(LONGLONG offset, UINT from) override;
  ULONGLONG GetPosition() const override;
  ULONGLONG GetLength() const override;

  FILE* m_pStream = nullptr;

 private:
  // Next character of the stream decoded from UTF-8 (bytes that are not UTF-8 become
  // U+DC80..U+DCFF), or WEOF at the end.
  wint_t NextChar();
  void CloseStream(bool throwOnError);

  bool m_text = false;
  std::wstring m_pending;  // decoded characters not yet handed out
};
