// Byte streams: ISequentialStream, IStream and IPersistStreamInit, streams over global
// memory (CreateStreamOnHGlobal), the global-memory functions behind them, and
// URLOpenBlockingStreamW for local files, "file:" URLs and http(s) through libcurl.
//
// Thread rules: the free functions are safe from any thread. A stream object is used by
// one thread at a time (its reference count is atomic); clones share the memory, not the
// position. Global memory blocks may be locked and freed from any thread.
#pragma once

#include <vorm/platform/com.h>

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  };
  LONGLONG QuadPart;
};
union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  };
  ULONGLONG QuadPart;
};

// Storage error codes the streams return.
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005);
constexpr HRESULT STG_E_INSUFFICIENTMEMORY = static_cast<HRESULT>(0x80030008);
constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009);
constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001E);
constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001D);
constexpr HRESULT STG_E_INVALIDPARAMETER = static_cast<HRESULT>(0x80030057);
constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070);

enum STREAM_SEEK : DWORD { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
enum STGTY : DWORD { STGTY_STORAGE = 1, STGTY_STREAM = 2, STGTY_LOCKBYTES = 3, STGTY_PROPERTY = 4 };
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STGC_DEFAULT = 0;

struct STATSTG {
  LPOLESTR pwcsName;  // CoTaskMemAlloc'd, or null (the streams here have no names)
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
};

// Read: up to `cb` bytes; *read (when not null) the count. Write: `cb` bytes; *written
// (when not null) the count. Each stream documents its end-of-data and failure results.
struct VORM_API ISequentialStream : IUnknown {
  static constexpr IID kIid = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
  virtual HRESULT Read(void* pv, ULONG cb, ULONG* read) = 0;
  virtual HRESULT Write(const void* pv, ULONG cb, ULONG* written) = 0;

 protected:
  ~ISequentialStream() = default;
};

struct VORM_API IStream : ISequentialStream {
  static constexpr IID kIid = {0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
  virtual HRESULT SetSize(ULARGE_INTEGER newSize) = 0;
  virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written) = 0;
  virtual HRESULT Commit(DWORD flags) = 0;
  virtual HRESULT Revert() = 0;
  virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) = 0;
  virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) = 0;
  virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
  virtual HRESULT Clone(IStream** clone) = 0;

 protected:
  ~IStream() = default;
};
inline constexpr IID IID_ISequentialStream = ISequentialStream::kIid;
inline constexpr IID IID_IStream = IStream::kIid;

struct VORM_API IPersist : IUnknown {
  static constexpr IID kIid = {0x0000010C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  virtual HRESULT GetClassID(CLSID* clsid) = 0;

 protected:
  ~IPersist() = default;
};

// An object that loads itself from and saves itself to a stream.
struct VORM_API IPersistStreamInit : IPersist {
  static constexpr IID kIid = {0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IStream* stream) = 0;
  virtual HRESULT Save(IStream* stream, BOOL clearDirty) = 0;
  virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0;
  virtual HRESULT InitNew() = 0;

 protected:
  ~IPersistStreamInit() = default;
};
inline constexpr IID IID_IPersist = IPersist::kIid;
inline constexpr IID IID_IPersistStreamInit = IPersistStreamInit::kIid;

_COM_SMARTPTR_TYPEDEF(ISequentialStream, IID_ISequentialStream);
_COM_SMARTPTR_TYPEDEF(IStream, IID_IStream);
_COM_SMARTPTR_TYPEDEF(IPersistStreamInit, IID_IPersistStreamInit);

// ---------------------------------------------------------------------------------------
// Global memory
// ---------------------------------------------------------------------------------------
// A fixed block's handle is its address; a movable block's handle is a key that
// GlobalLock turns into the address (a movable block of size 0 has no address: GlobalLock
// gives NULL). Unknown handles fail with ERROR_INVALID_HANDLE instead of being followed.
using HGLOBAL = HANDLE;
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_NODISCARD = 0x0020;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GMEM_MODIFY = 0x0080;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
constexpr DWORD ERROR_DISCARDED = 157;
constexpr DWORD ERROR_NOT_LOCKED = 158;

// NULL with ERROR_NOT_ENOUGH_MEMORY when memory runs out. GMEM_ZEROINIT clears the bytes.
VORM_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Resizes (new bytes are cleared with GMEM_ZEROINIT). A fixed block, or a locked movable
// one, moves only when `flags` holds GMEM_MOVEABLE; the result is the (possibly new)
// handle, NULL on failure with the block unchanged.
VORM_API HGLOBAL GlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags);
// The block's address, counting one lock (movable blocks); NULL for a movable block of
// size 0 (ERROR_DISCARDED) or an unknown handle.
VORM_API LPVOID GlobalLock(HGLOBAL block);
// Drops one lock: TRUE while locks remain; FALSE with the last error NO_ERROR once none
// does, or ERROR_NOT_LOCKED when the block was not locked.
VORM_API BOOL GlobalUnlock(HGLOBAL block);
// The size asked for (0 for an unknown handle, last error ERROR_INVALID_HANDLE).
VORM_API SIZE_T GlobalSize(HGLOBAL block);
// NULL on success, the handle itself on failure (ERROR_INVALID_HANDLE).
VORM_API HGLOBAL GlobalFree(HGLOBAL block);

// A stream over a global memory block. With `block` NULL a new movable block of size 0
// is made. The stream's size starts at the block's size and grows the block as bytes are
// written past its end; with `deleteOnRelease` the block is freed when the last stream
// over it (clones included) goes. Reading at the end gives S_OK and 0 bytes; seeking past
// the end is allowed (a write there fills the gap with zeros); seeking before the start
// is STG_E_INVALIDFUNCTION. Commit and Revert do nothing; region locks are
// STG_E_INVALIDFUNCTION. E_INVALIDARG for a null out pointer, E_OUTOFMEMORY.
VORM_API HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, IStream** stream);
// The block under a stream made by CreateStreamOnHGlobal; E_INVALIDARG for other streams.
VORM_API HRESULT GetHGlobalFromStream(IStream* stream, HGLOBAL* block);

// ---------------------------------------------------------------------------------------
// URL streams
// ---------------------------------------------------------------------------------------
constexpr HRESULT INET_E_INVALID_URL = static_cast<HRESULT>(0x800C0002);
constexpr HRESULT INET_E_CANNOT_CONNECT = static_cast<HRESULT>(0x800C0004);
constexpr HRESULT INET_E_RESOURCE_NOT_FOUND = static_cast<HRESULT>(0x800C0005);
constexpr HRESULT INET_E_OBJECT_NOT_FOUND = static_cast<HRESULT>(0x800C0006);
constexpr HRESULT INET_E_DOWNLOAD_FAILURE = static_cast<HRESULT>(0x800C0008);
constexpr HRESULT INET_E_CONNECTION_TIMEOUT = static_cast<HRESULT>(0x800C000B);
constexpr HRESULT INET_E_UNKNOWN_PROTOCOL = static_cast<HRESULT>(0x800C000D);
constexpr HRESULT INET_E_SECURITY_PROBLEM = static_cast<HRESULT>(0x800C000E);

struct IBindStatusCallback;  // progress callbacks are not supported; pass NULL

// Reads the whole resource into a new memory stream (positioned at the start) and hands
// it over in *stream. `url` is a local path (absolute or relative, '\' or '/'), a "file:"
// URL ("file:///dir/a.xml", "file://localhost/dir/a.xml", "file:/dir/a.xml"; %XX escapes
// are decoded), or an "http:"/"https:" URL, fetched with libcurl following up to 10
// redirects within http(s) (the environment's proxy settings apply). `caller`, `reserved`
// and `callback` are accepted and ignored.
// Errors: E_INVALIDARG (null url or stream), INET_E_UNKNOWN_PROTOCOL (another scheme, or a
// "file:" URL naming another host), INET_E_RESOURCE_NOT_FOUND (missing file, unknown
// host, HTTP 404/410), E_ACCESSDENIED (file access refused, a folder, HTTP 401/403),
// INET_E_CANNOT_CONNECT, INET_E_CONNECTION_TIMEOUT (no progress for 60 seconds),
// INET_E_SECURITY_PROBLEM (TLS), INET_E_INVALID_URL, INET_E_DOWNLOAD_FAILURE (any other
// failure, other HTTP errors, or more than 2 GiB), E_OUTOFMEMORY. A name that starts like
// a URL scheme (two or more letters, then ':') is taken as a URL.
VORM_API HRESULT URLOpenBlockingStreamW(IUnknown* caller, const wchar_t* url, DWORD reserved,
                                        IBindStatusCallback* callback, IStream** stream);
