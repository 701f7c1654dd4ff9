// The COM base the library's error reporting stands on: HRESULT codes, GUIDs, IUnknown and
// a reference-counting helper for objects, BSTR strings, IErrorInfo with its creation and
// per-thread error object, and the compiler support classes _bstr_t and _com_error.
// Built to be extended: an interface is a struct deriving from IUnknown (or a descendant)
// that names its identifier as `static constexpr IID kIid`, and VormComObject<> (one
// interface) or VormComObjectOf<> (several) gives any implementation
// AddRef/Release/QueryInterface.
//
// Thread rules: the free functions are safe from any thread. Reference counts are atomic,
// so an object may be AddRef'd and Released from several threads; whatever else an object
// does is its own rule. _bstr_t and _com_error are values: one thread at a time per object.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <type_traits>

#include <vorm/platform/wintypes.h>

// ---------------------------------------------------------------------------------------
// HRESULT
// ---------------------------------------------------------------------------------------
// Bit 31 is the severity (1 = failure), bits 16..28 the facility, bits 0..15 the code.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);

constexpr int FACILITY_NULL = 0;
constexpr int FACILITY_ITF = 4;
constexpr int FACILITY_WIN32 = 7;
constexpr int SEVERITY_SUCCESS = 0;
constexpr int SEVERITY_ERROR = 1;

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define HRESULT_CODE(hr) (static_cast<HRESULT>(hr) & 0xFFFF)
#define HRESULT_FACILITY(hr) ((static_cast<HRESULT>(hr) >> 16) & 0x1FFF)
#define HRESULT_SEVERITY(hr) ((static_cast<DWORD>(hr) >> 31) & 0x1)

constexpr HRESULT MAKE_HRESULT(unsigned severity, unsigned facility, unsigned code) {
  return static_cast<HRESULT>((static_cast<DWORD>(severity) << 31) | (static_cast<DWORD>(facility) << 16) |
                              static_cast<DWORD>(code));
}

// A Win32 error code as an HRESULT of FACILITY_WIN32; 0 (and anything that already reads
// as a failure HRESULT or as zero/negative) passes through unchanged.
//   HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) => E_ACCESSDENIED (0x80070005)
//   HRESULT_FROM_WIN32(0) => S_OK       HRESULT_FROM_WIN32(0x80004005) => 0x80004005
constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
  return static_cast<HRESULT>(code) <= 0
             ? static_cast<HRESULT>(code)
             : static_cast<HRESULT>((code & 0x0000FFFF) | (static_cast<DWORD>(FACILITY_WIN32) << 16) | 0x80000000u);
}

// ---------------------------------------------------------------------------------------
// GUIDs
// ---------------------------------------------------------------------------------------
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];

  friend constexpr bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
using LPGUID = GUID*;
using LPIID = IID*;
using LPCLSID = CLSID*;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL = {};
inline constexpr IID IID_NULL = {};
inline constexpr CLSID CLSID_NULL = {};

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
constexpr bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

// The identifier an interface declares (the platform compiler's __uuidof).
template <class Interface>
constexpr const IID& VormUuidOf() {
  return Interface::kIid;
}

// ---------------------------------------------------------------------------------------
// Task memory and OLE strings
// ---------------------------------------------------------------------------------------
// The COM task allocator (what StringFromCLSID hands out). Free(NULL) does nothing.
VORM_API LPVOID CoTaskMemAlloc(SIZE_T bytes);
VORM_API LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T bytes);
VORM_API void CoTaskMemFree(LPVOID block);

using OLECHAR = wchar_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
// A BSTR points at the first character of a length-prefixed, NUL-terminated buffer: the
// 32-bit byte count sits just before it, so a BSTR may hold NULs and its length needs no
// scan. A null BSTR is the empty string to every function here.
using BSTR = OLECHAR*;

//   SysAllocString(L"abc") => a BSTR of length 3      SysAllocString(NULL) => NULL
//   SysAllocStringLen(L"a\0b", 3) => length 3 with the NUL inside
//   SysAllocStringLen(NULL, 4) => length 4, all NULs
// NULL when memory runs out or the length cannot be represented.
VORM_API BSTR SysAllocString(const OLECHAR* text);
VORM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Replaces *bstr with a new copy (the old one is freed): TRUE on success, FALSE and *bstr
// unchanged when out of memory. `text` may point into *bstr.
VORM_API INT SysReAllocString(BSTR* bstr, const OLECHAR* text);
VORM_API INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length);
VORM_API void SysFreeString(BSTR bstr);
// Length in characters / in bytes (0 for NULL).
VORM_API UINT SysStringLen(BSTR bstr);
VORM_API UINT SysStringByteLen(BSTR bstr);

// The registry-format text of a GUID: braces, upper-case hexadecimal groups.
//   {0x1CF2B120,0x547D,0x101B,{0x8E,0x65,0x08,0x00,0x2B,0x2B,0xD1,0x19}}
//     => L"{1CF2B120-547D-101B-8E65-08002B2BD119}"
// StringFromCLSID/StringFromIID allocate with CoTaskMemAlloc (free with CoTaskMemFree):
// S_OK, E_INVALIDARG for a null out-pointer, E_OUTOFMEMORY. StringFromGUID2 writes into a
// caller's buffer and returns the characters written including the terminator, or 0 when
// fewer than 39 fit.
VORM_API HRESULT StringFromCLSID(REFCLSID id, LPOLESTR* text);
VORM_API HRESULT StringFromIID(REFIID id, LPOLESTR* text);
VORM_API int StringFromGUID2(REFGUID id, LPOLESTR buffer, int capacity);

// ---------------------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------------------
// The root interface. Objects live as long as they hold references; nobody deletes one
// through an interface pointer (the destructor is protected).
struct VORM_API IUnknown {
  static constexpr IID kIid = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  // S_OK with an AddRef'd pointer in *object; E_NOINTERFACE (*object NULL); E_POINTER
  // when object is NULL.
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  IUnknown() = default;
  IUnknown(const IUnknown&) = default;
  IUnknown& operator=(const IUnknown&) = default;
  ~IUnknown() = default;
};
inline constexpr IID IID_IUnknown = IUnknown::kIid;

// Error details that travel with a failure HRESULT. Each getter returns a new BSTR the
// caller frees (NULL when the detail was never set).
struct VORM_API IErrorInfo : IUnknown {
  static constexpr IID kIid = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
  virtual HRESULT GetGUID(GUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
  virtual HRESULT GetHelpContext(DWORD* helpContext) = 0;

 protected:
  ~IErrorInfo() = default;
};
inline constexpr IID IID_IErrorInfo = IErrorInfo::kIid;

// The writing side of the error object CreateErrorInfo makes; the texts are copied.
struct VORM_API ICreateErrorInfo : IUnknown {
  static constexpr IID kIid = {0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
  virtual HRESULT SetGUID(REFGUID guid) = 0;
  virtual HRESULT SetSource(LPOLESTR source) = 0;
  virtual HRESULT SetDescription(LPOLESTR description) = 0;
  virtual HRESULT SetHelpFile(LPOLESTR helpFile) = 0;
  virtual HRESULT SetHelpContext(DWORD helpContext) = 0;

 protected:
  ~ICreateErrorInfo() = default;
};
inline constexpr IID IID_ICreateErrorInfo = ICreateErrorInfo::kIid;

// A new, empty error object (query it for IErrorInfo): S_OK, E_INVALIDARG for NULL.
VORM_API HRESULT CreateErrorInfo(ICreateErrorInfo** result);
// The calling thread's current error object. SetErrorInfo keeps a reference (NULL clears
// it); GetErrorInfo hands the reference over and clears the slot: S_OK, or S_FALSE with
// *info NULL when there is none. `reserved` must be 0 (else E_INVALIDARG).
VORM_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
VORM_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);

// Reference counting and QueryInterface for an implementation of several interfaces:
// Find answers the pointer to hand out for an identifier (null when the object does not
// offer it). Objects start with one reference, owned by their creator, and delete
// themselves when the last reference goes.
template <class... Interfaces>
class VormComObjectOf : public Interfaces... {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = Find(iid);
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() override {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  VormComObjectOf() = default;
  virtual ~VormComObjectOf() = default;
  virtual void* Find(REFIID iid) = 0;

 private:
  std::atomic<ULONG> refs_{1};
};

// The same for one interface `Interface`; `Bases` are the interfaces between it and
// IUnknown that QueryInterface should also answer (VormComObject<IXDerived, IXBase>).
// Derive and implement the interface's own methods; override Find (or QueryInterface) to
// answer more identifiers.
template <class Interface, class... Bases>
class VormComObject : public VormComObjectOf<Interface> {
 protected:
  void* Find(REFIID iid) override {
    Interface* self = this;
    if (iid == IUnknown::kIid || iid == Interface::kIid) return self;
    void* found = nullptr;
    ((iid == Bases::kIid ? (void)(found = static_cast<Bases*>(self)) : (void)0), ...);
    return found;
  }
};

// ---------------------------------------------------------------------------------------
// Compiler support classes
// ---------------------------------------------------------------------------------------
// Owns one BSTR; copies are deep. An empty _bstr_t holds NULL, and then converts to a
// null pointer as on the platform. Allocation failure raises _com_error(E_OUTOFMEMORY).
class VORM_API _bstr_t {
 public:
  _bstr_t() noexcept = default;
  _bstr_t(const wchar_t* text);
  // With copy false the BSTR is adopted (freed by this object); with true it is copied.
  _bstr_t(BSTR bstr, bool copy);
  _bstr_t(const _bstr_t& other);
  _bstr_t(_bstr_t&& other) noexcept : s_(other.s_) { other.s_ = nullptr; }
  _bstr_t& operator=(const _bstr_t& other);
  _bstr_t& operator=(_bstr_t&& other) noexcept;
  _bstr_t& operator=(const wchar_t* text);
  ~_bstr_t();

  operator const wchar_t*() const noexcept { return s_; }
  operator wchar_t*() const noexcept { return s_; }
  bool operator!() const noexcept { return s_ == nullptr; }
  unsigned int length() const noexcept { return SysStringLen(s_); }
  // A new BSTR with the same text (copy true) or the held one itself (copy false).
  BSTR copy(bool copy = true) const;
  // Adopts `bstr` (the old text is freed) / gives the held BSTR away (this becomes empty).
  void Attach(BSTR bstr) noexcept;
  BSTR Detach() noexcept;
  // The held BSTR for functions that fill a BSTR* (the old text is freed first).
  BSTR* GetAddress() noexcept;
  BSTR& GetBSTR() noexcept { return s_; }

  _bstr_t& operator+=(const _bstr_t& other);
  friend _bstr_t operator+(const _bstr_t& a, const _bstr_t& b) {
    _bstr_t r(a);
    r += b;
    return r;
  }
  // Text comparison (NULL equals the empty text).
  friend bool operator==(const _bstr_t& a, const _bstr_t& b) noexcept { return Compare(a.s_, b.s_) == 0; }
  friend bool operator==(const _bstr_t& a, const wchar_t* b) noexcept { return Compare(a.s_, b) == 0; }
  friend bool operator!=(const _bstr_t& a, const _bstr_t& b) noexcept { return !(a == b); }
  friend bool operator!=(const _bstr_t& a, const wchar_t* b) noexcept { return !(a == b); }

 private:
  static int Compare(const wchar_t* a, const wchar_t* b) noexcept;
  BSTR s_ = nullptr;
};

// The error the platform's COM wrappers raise: an HRESULT and, optionally, the error
// object that describes it.
class VORM_API _com_error {
 public:
  // With addRef false the object takes over the caller's reference to `info` (the
  // platform's rule); with true it takes a reference of its own. Released at destruction.
  explicit _com_error(HRESULT hr, IErrorInfo* info = nullptr, bool addRef = false) noexcept;
  _com_error(const _com_error& other) noexcept;
  _com_error& operator=(const _com_error& other) noexcept;
  ~_com_error();

  HRESULT Error() const noexcept { return hr_; }
  // The dispatch exception code of an HRESULT in 0x80040200..0x8004FFFF, else 0.
  WORD WCode() const noexcept { return HRESULTToWCode(hr_); }
  // The error object with a new reference for the caller (NULL when there is none).
  IErrorInfo* ErrorInfo() const noexcept;
  // Details from the error object; empty when there is none or it has no such detail.
  _bstr_t Description() const;
  _bstr_t Source() const;
  // The system's text for the HRESULT without its closing line break; for codes the
  // system has no text for, "IDispatch error #<wcode>" or "Unknown error 0x<HRESULT>".
  // The text lives as long as this object.
  //   _com_error(E_POINTER).ErrorMessage()   => L"Invalid pointer"
  //   _com_error(0x80040201).ErrorMessage()  => L"IDispatch error #1"
  //   _com_error(0x8DEAD000).ErrorMessage()  => L"Unknown error 0x8DEAD000"
  const wchar_t* ErrorMessage() const;

  static HRESULT WCodeToHRESULT(WORD wCode) noexcept;
  static WORD HRESULTToWCode(HRESULT hr) noexcept;

 private:
  HRESULT hr_;
  IErrorInfo* info_;
  mutable wchar_t* message_ = nullptr;  // LocalAlloc'd on first ErrorMessage call
};

// Raises _com_error(hr): the compiler support's error hook.
[[noreturn]] VORM_API void _com_issue_error(HRESULT hr);

// ---------------------------------------------------------------------------------------
// Apartments
// ---------------------------------------------------------------------------------------
// COM initialisation, counted per thread: a thread's first successful call returns S_OK,
// each further one S_FALSE, and every successful call is paired with one CoUninitialize
// (which does nothing on a thread that is not initialised). A thread keeps the model of
// its first call: asking for the other one fails with RPC_E_CHANGED_MODE and needs no
// CoUninitialize. CoInitialize(NULL) is CoInitializeEx(NULL, COINIT_APARTMENTTHREADED).
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
VORM_API HRESULT CoInitialize(LPVOID reserved);
VORM_API HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
VORM_API void CoUninitialize();

// ---------------------------------------------------------------------------------------
// Rich error information and raising calls
// ---------------------------------------------------------------------------------------
// An object that records an IErrorInfo (SetErrorInfo) when one of its methods fails says so
// here: S_OK for the interfaces whose failures carry one, S_FALSE for the others.
struct VORM_API ISupportErrorInfo : IUnknown {
  static constexpr IID kIid = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID iid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};
inline constexpr IID IID_ISupportErrorInfo = ISupportErrorInfo::kIid;

// Raises _com_error(hr) with the error object the failing call recorded, taken the
// platform's way: only when `object` answers ISupportErrorInfo for `iid`, from the
// thread's slot (GetErrorInfo). Objects of this layer that answer S_OK record an error
// object, or clear the slot, on every failure, so the slot never holds an older error then.
[[noreturn]] VORM_API void _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID iid);

// Records a new error object with `description` (and `source`, when given) as the thread's
// current one and returns `hr`: what a failing method of an object that supports
// ISupportErrorInfo ends with. A null description clears the slot instead.
//   return VormSetErrorInfo(E_INVALIDARG, L"Unknown property name.");
VORM_API HRESULT VormSetErrorInfo(HRESULT hr, const wchar_t* description, const wchar_t* source = nullptr);

// ---------------------------------------------------------------------------------------
// Object creation
// ---------------------------------------------------------------------------------------
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);

// Creates an object of a class this layer serves: the XML DOM document classes
// (CLSID_DOMDocument, CLSID_DOMDocument30, CLSID_DOMDocument60 in xmldom.h), all in
// process, so any context that includes CLSCTX_INPROC_SERVER works.
// Errors: E_POINTER (null out pointer), CO_E_NOTINITIALIZED (the calling thread has not
// called CoInitialize/CoInitializeEx), CLASS_E_NOAGGREGATION (an outer object),
// REGDB_E_CLASSNOTREG (unknown class or no in-process context), E_NOINTERFACE.
VORM_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object);

// Puts a server object into its running state. Every object this layer creates runs from
// the start, so this is S_OK for any object and E_INVALIDARG for null.
VORM_API HRESULT OleRun(IUnknown* object);

// ---------------------------------------------------------------------------------------
// Interface smart pointer
// ---------------------------------------------------------------------------------------
// Holds one reference to an `Interface` (the compiler support's _com_ptr_t). Construction
// from a pointer of another interface, or from another smart pointer type, queries for
// `Interface`: E_NOINTERFACE leaves it null, any other failure raises _com_error. Using a
// null pointer through -> or * raises _com_error(E_POINTER), as do AddRef/Release on null.
// A value type: one thread at a time per smart pointer (the object it holds states its own
// rule).
//   IXMLDOMNodePtr node = doc->selectSingleNode(L"/a");      // node may be null
//   IXMLDOMElementPtr element = node;   // QueryInterface; null when node is no element
template <class Interface>
class _com_ptr_t {
 public:
  using ThisInterface = Interface;

  _com_ptr_t() noexcept = default;
  _com_ptr_t(std::nullptr_t) noexcept {}
  // Takes a new reference to `p`.
  _com_ptr_t(Interface* p) noexcept : p_(p) { AddRefIfAny(); }
  // With addRef false the caller's reference is taken over.
  _com_ptr_t(Interface* p, bool addRef) noexcept : p_(p) {
    if (addRef) AddRefIfAny();
  }
  _com_ptr_t(const _com_ptr_t& other) noexcept : p_(other.p_) { AddRefIfAny(); }
  _com_ptr_t(_com_ptr_t&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  template <class Other>
  _com_ptr_t(const _com_ptr_t<Other>& other) {
    QueryFrom(other.GetInterfacePtr());
  }
  template <class Other>
  requires(!std::is_same_v<Other, Interface>) _com_ptr_t(Other* other) { QueryFrom(other); }
  // Creates an object of the class (CreateInstance); raises _com_error on failure.
  explicit _com_ptr_t(const CLSID& clsid, IUnknown* outer = nullptr, DWORD context = CLSCTX_ALL) {
    const HRESULT hr = CreateInstance(clsid, outer, context);
    if (FAILED(hr) && hr != E_NOINTERFACE) _com_issue_error(hr);
  }
  ~_com_ptr_t() { ReleaseIfAny(); }

  _com_ptr_t& operator=(const _com_ptr_t& other) noexcept {
    if (p_ != other.p_) _com_ptr_t(other).Swap(*this);
    return *this;
  }
  _com_ptr_t& operator=(_com_ptr_t&& other) noexcept {
    if (this != std::addressof(other)) {  // operator& is the out-parameter form here
      ReleaseIfAny();
      p_ = other.p_;
      other.p_ = nullptr;
    }
    return *this;
  }
  _com_ptr_t& operator=(Interface* p) noexcept {
    if (p_ != p) _com_ptr_t(p).Swap(*this);
    return *this;
  }
  _com_ptr_t& operator=(std::nullptr_t) noexcept {
    ReleaseIfAny();
    return *this;
  }
  template <class Other>
  _com_ptr_t& operator=(const _com_ptr_t<Other>& other) {
    _com_ptr_t(other).Swap(*this);
    return *this;
  }
  template <class Other>
  requires(!std::is_same_v<Other, Interface>) _com_ptr_t& operator=(Other* other) {
    _com_ptr_t(other).Swap(*this);
    return *this;
  }

  // Replaces the held pointer by a new object of the class: its HRESULT.
  HRESULT CreateInstance(const CLSID& clsid, IUnknown* outer = nullptr, DWORD context = CLSCTX_ALL) {
    ReleaseIfAny();
    return CoCreateInstance(clsid, outer, context, Interface::kIid, reinterpret_cast<void**>(&p_));
  }
  // Queries the held object for another interface (raw: the HRESULT comes back).
  template <class Other>
  HRESULT QueryInterface(REFIID iid, Other*& out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, reinterpret_cast<void**>(&out));
  }
  HRESULT QueryInterface(REFIID iid, void** out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out);
  }

  void Attach(Interface* p) noexcept {
    ReleaseIfAny();
    p_ = p;
  }
  void Attach(Interface* p, bool addRef) noexcept {
    ReleaseIfAny();
    p_ = p;
    if (addRef) AddRefIfAny();
  }
  Interface* Detach() noexcept {
    Interface* p = p_;
    p_ = nullptr;
    return p;
  }
  void AddRef() {
    if (!p_) _com_issue_error(E_POINTER);
    p_->AddRef();
  }
  void Release() {
    if (!p_) _com_issue_error(E_POINTER);
    p_->Release();
    p_ = nullptr;
  }

  Interface* GetInterfacePtr() const noexcept { return p_; }
  Interface*& GetInterfacePtr() noexcept { return p_; }
  operator Interface*() const noexcept { return p_; }
  Interface& operator*() const {
    if (!p_) _com_issue_error(E_POINTER);
    return *p_;
  }
  Interface* operator->() const {
    if (!p_) _com_issue_error(E_POINTER);
    return p_;
  }
  // The address of the held pointer for functions that fill one; the old one is released.
  Interface** operator&() noexcept {
    ReleaseIfAny();
    return &p_;
  }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  bool operator!() const noexcept { return p_ == nullptr; }

  // Identity: two pointers are equal when they reach the same object (same IUnknown).
  template <class Other>
  bool operator==(const _com_ptr_t<Other>& other) const {
    return SameObject(p_, other.GetInterfacePtr());
  }
  template <class Other>
  bool operator==(Other* other) const {
    return SameObject(p_, other);
  }
  bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }

 private:
  void AddRefIfAny() noexcept {
    if (p_) p_->AddRef();
  }
  void ReleaseIfAny() noexcept {
    if (p_) {
      Interface* p = p_;
      p_ = nullptr;
      p->Release();
    }
  }
  void Swap(_com_ptr_t& other) noexcept {
    Interface* p = p_;
    p_ = other.p_;
    other.p_ = p;
  }
  template <class Other>
  void QueryFrom(Other* other) {
    if (!other) return;
    const HRESULT hr = other->QueryInterface(Interface::kIid, reinterpret_cast<void**>(&p_));
    if (FAILED(hr)) {
      p_ = nullptr;
      if (hr != E_NOINTERFACE) _com_issue_error(hr);
    }
  }
  static IUnknown* Identity(IUnknown* p) {
    IUnknown* unknown = nullptr;
    if (p && SUCCEEDED(p->QueryInterface(IUnknown::kIid, reinterpret_cast<void**>(&unknown)))) unknown->Release();
    return unknown;
  }
  static bool SameObject(IUnknown* a, IUnknown* b) {
    if (a == b) return true;
    if (!a || !b) return false;
    return Identity(a) == Identity(b);
  }

  Interface* p_ = nullptr;
};

// Declares InterfacePtr for an interface, as the compiler support's macro does.
#define _COM_SMARTPTR_TYPEDEF(Interface, iid) using Interface##Ptr = _com_ptr_t<Interface>

_COM_SMARTPTR_TYPEDEF(IUnknown, IID_IUnknown);
_COM_SMARTPTR_TYPEDEF(IErrorInfo, IID_IErrorInfo);
