// VARIANT, its conversions (VariantChangeType) and the compiler support class _variant_t.
//
// A VARIANT holds one value whose type is its `vt` tag; VariantClear frees what it owns
// (a BSTR, an interface reference). The conversions follow the platform's rules for the
// types listed at VariantChangeType, with '.' as the decimal separator whatever locale the
// process or the user has set. The functions are safe from any thread; a VARIANT or
// _variant_t is a value used by one thread at a time.
#pragma once

#include <vorm/platform/com.h>
#include <vorm/platform/nls.h>

using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using DATE = double;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

// Failure codes of the conversions.
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000A);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);

// Conversion flags (VariantChangeType's wFlags).
constexpr unsigned short VARIANT_NOVALUEPROP = 0x01;
constexpr unsigned short VARIANT_ALPHABOOL = 0x02;
constexpr unsigned short VARIANT_NOUSEROVERRIDE = 0x04;
constexpr unsigned short VARIANT_LOCALBOOL = 0x10;

// The platform's record: the tag, three reserved words, then the value. Only the members
// of the types this layer converts are named; VT_BYREF and VT_ARRAY values are not used.
struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;        // VT_I8
    LONG lVal;             // VT_I4
    BYTE bVal;             // VT_UI1
    short iVal;            // VT_I2
    float fltVal;          // VT_R4
    double dblVal;         // VT_R8
    VARIANT_BOOL boolVal;  // VT_BOOL
    HRESULT scode;         // VT_ERROR
    DATE date;             // VT_DATE
    BSTR bstrVal;          // VT_BSTR, owned
    IUnknown* punkVal;     // VT_UNKNOWN and VT_DISPATCH, one reference owned
    char cVal;             // VT_I1
    unsigned short uiVal;  // VT_UI2
    ULONG ulVal;           // VT_UI4
    ULONGLONG ullVal;      // VT_UI8
    INT intVal;            // VT_INT
    UINT uintVal;          // VT_UINT
  };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;

// Sets the tag to VT_EMPTY without looking at the old content.
VORM_API void VariantInit(VARIANT* v);
// Frees what the variant owns and sets it to VT_EMPTY: S_OK, E_INVALIDARG for null,
// DISP_E_BADVARTYPE for a tag this layer does not know (the variant is left alone).
VORM_API HRESULT VariantClear(VARIANT* v);
// Clears `dest`, then makes it a copy of `src` (a new BSTR, a new interface reference).
VORM_API HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);

// Converts `src` to type `vt` into `dest` (which is cleared first; dest may be src for an
// in-place conversion). The types: VT_EMPTY, VT_I1, VT_I2, VT_I4, VT_INT, VT_I8, VT_UI1,
// VT_UI2, VT_UI4, VT_UINT, VT_UI8, VT_R4, VT_R8, VT_BOOL, VT_BSTR, each to each; also VT_NULL
// and VT_EMPTY as sources. Rules:
// - numbers to integers round half to even; a value outside the target's range is
//   DISP_E_OVERFLOW (and the destination is left untouched);
//   1.5 => 2, 2.5 => 2, -0.5 => 0, -1.5 => -2;  VT_UI4 of -0.6 => DISP_E_OVERFLOW
// - to VT_BOOL: 0 is VARIANT_FALSE, anything else VARIANT_TRUE; from VT_BOOL: -1 or 0;
// - VT_EMPTY is 0, or "" as text; VT_NULL converts to nothing (DISP_E_TYPEMISMATCH) but
//   VT_NULL itself;
// - text to a number: blanks (space, tab, line breaks) around it, one leading '+' or '-',
//   or parentheses for a negative number, digits with ',' between thousands, '.' as the
//   decimal separator, an exponent "e"/"E" with optional sign; or "&H" + hexadecimal /
//   "&O" + octal digits, read as the target's bit pattern (&HFFFF as VT_I2 is -1).
//   Anything else is DISP_E_TYPEMISMATCH; a number too large for the target
//   DISP_E_OVERFLOW.
//     " 42 " => 42   "-1,234.5" => -1234.5   "(7)" => -7   "1e3" => 1000   "&H1F" => 31
//     "12a" => DISP_E_TYPEMISMATCH   "" => DISP_E_TYPEMISMATCH   "40000" as VT_I2 => DISP_E_OVERFLOW
// - text to VT_BOOL: "#TRUE#" and "#FALSE#" exactly, "true" and "false" in any case, or a
//   number (non-zero is true);
// - numbers to text: integers in decimal; VT_R4/VT_R8 with up to 7/15 significant digits
//   ("0.1", "1E+20"); VT_BOOL as "-1"/"0", or "True"/"False" with VARIANT_ALPHABOOL.
// `flags` other than VARIANT_ALPHABOOL and `lcid` are accepted and ignored (the separators
// are always '.' and ','). Errors: E_INVALIDARG (null pointers), DISP_E_BADVARTYPE (a
// type outside the list), DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, E_OUTOFMEMORY.
VORM_API HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, unsigned short flags, VARTYPE vt);
VORM_API HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID lcid, unsigned short flags, VARTYPE vt);

// The compiler support's owning variant. Constructors pick the tag from the C++ type:
// short VT_I2, int/LONG VT_I4 (or VT_INT when asked), ULONG VT_UI4, LONGLONG VT_I8,
// ULONGLONG VT_UI8, float VT_R4, double VT_R8, bool VT_BOOL, text and _bstr_t VT_BSTR,
// interface pointers VT_UNKNOWN. ChangeType and the extraction operators convert with
// VariantChangeType and raise _com_error on failure; ChangeType to the type the variant
// already has does nothing.
//   _variant_t(L"42").operator LONG() => 42      (LONG)_variant_t(L"x") raises DISP_E_TYPEMISMATCH
class VORM_API _variant_t : public VARIANT {
 public:
  _variant_t() noexcept { VariantInit(this); }
  _variant_t(const VARIANT& v);
  _variant_t(const _variant_t& v) : _variant_t(static_cast<const VARIANT&>(v)) {}
  _variant_t(_variant_t&& v) noexcept;
  _variant_t(short value, VARTYPE vt = VT_I2);          // VT_I2 or VT_BOOL
  _variant_t(int value, VARTYPE vt = VT_I4);            // VT_I4, VT_INT or VT_ERROR
  _variant_t(unsigned int value, VARTYPE vt = VT_UI4);  // VT_UI4 or VT_UINT
  _variant_t(long value);                               // VT_I8 (LONGLONG)
  _variant_t(unsigned long value);                      // VT_UI8 (ULONGLONG)
  _variant_t(long long value);
  _variant_t(unsigned long long value);
  _variant_t(float value);
  _variant_t(double value, VARTYPE vt = VT_R8);  // VT_R8 or VT_DATE
  _variant_t(bool value);
  _variant_t(const wchar_t* text);
  _variant_t(const _bstr_t& text);
  _variant_t(IUnknown* object, bool addRef = true);
  ~_variant_t() { VariantClear(this); }

  _variant_t& operator=(const VARIANT& v);
  _variant_t& operator=(const _variant_t& v) { return *this = static_cast<const VARIANT&>(v); }
  _variant_t& operator=(_variant_t&& v) noexcept;

  void Clear();
  // Converts in place (or from `src` into this): raises _com_error on failure.
  void ChangeType(VARTYPE vt, const _variant_t* src = nullptr);
  // Takes over `v` (its content belongs to this object now, `v` becomes VT_EMPTY) / gives
  // the content away (this becomes VT_EMPTY).
  void Attach(VARIANT& v);
  VARIANT Detach() noexcept;
  VARIANT& GetVARIANT() noexcept { return *this; }
  VARIANT* GetAddress();  // cleared first, for functions that fill a VARIANT*

  // Converted copies of the value; raise _com_error when the conversion fails.
  operator short() const;
  operator LONG() const;
  operator ULONG() const;
  operator LONGLONG() const;
  operator double() const;
  operator bool() const;
  operator _bstr_t() const;

 private:
  _variant_t Converted(VARTYPE vt) const;
};
