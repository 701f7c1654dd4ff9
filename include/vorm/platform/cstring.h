// CString and CStringArray: the platform's string and string-array interface over
// std::wstring / std::vector. Values without locks: one object per thread at a time.
// Positions and counts are ints as on the platform; out-of-range arguments are clamped
// (Left/Mid/Right, Insert, Delete) or answered with a neutral value (GetAt gives L'\0',
// SetAt does nothing) instead of faulting.
//
// Variadic functions (Format, VormFormat, VormLog, _snwprintf, ...) take the text, never the
// object: pass (const wchar_t*)s or s.GetString(). A CString (or a VormPath) passed by value
// through "..." is not text to the formatter; g++ warns about it with
// -Wconditionally-supported and clang refuses it.
//   s.Format(L"%s\\%s", dir.GetString(), (const wchar_t*)name);
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cwchar>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <vorm/platform/wintypes.h>

class VORM_API CString {
 public:
  CString() = default;
  CString(const wchar_t* text) : s_(text ? text : L"") {}
  CString(const wchar_t* text, int length)
      : s_(text && length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring()) {}
  CString(const char* utf8);  // UTF-8 (or plain ASCII) text
  CString(wchar_t ch, int repeat = 1) : s_(repeat > 0 ? static_cast<size_t>(repeat) : 0, ch) {}
  CString(const std::wstring& text) : s_(text) {}
  CString(std::wstring&& text) noexcept : s_(std::move(text)) {}
  CString(std::wstring_view text) : s_(text) {}
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  CString& operator=(const wchar_t* text) {
    s_ = text ? text : L"";
    return *this;
  }
  CString& operator=(const std::wstring& text) {
    s_ = text;
    return *this;
  }
  CString& operator=(wchar_t ch) {
    s_.assign(1, ch);
    return *this;
  }
  CString& operator=(const char* utf8) {
    *this = CString(utf8);
    return *this;
  }

  // Access.
  int GetLength() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  wchar_t GetAt(int i) const { return InRange(i) ? s_[static_cast<size_t>(i)] : L'\0'; }
  wchar_t operator[](int i) const { return GetAt(i); }
  void SetAt(int i, wchar_t ch) {
    if (InRange(i)) s_[static_cast<size_t>(i)] = ch;
  }
  operator const wchar_t*() const { return s_.c_str(); }
  const wchar_t* GetString() const { return s_.c_str(); }
  const std::wstring& str() const { return s_; }
  std::wstring& str() { return s_; }
  // A new BSTR holding this text (embedded NULs included); free it with SysFreeString
  // (com.h). NULL when memory runs out.
  wchar_t* AllocSysString() const;

  // Extraction.
  CString Left(int count) const { return CString(s_.substr(0, Clamp(count))); }
  CString Right(int count) const {
    size_t n = Clamp(count);
    return CString(s_.substr(s_.size() - n));
  }
  CString Mid(int first) const { return Mid(first, GetLength()); }
  CString Mid(int first, int count) const {
    size_t f = Clamp(first);
    size_t n = count < 0 ? 0 : static_cast<size_t>(count);
    return CString(s_.substr(f, n));
  }
  CString SpanIncluding(const wchar_t* set) const {
    return Left(static_cast<int>(wcsspn(s_.c_str(), set ? set : L"")));
  }
  CString SpanExcluding(const wchar_t* set) const {
    return Left(static_cast<int>(wcscspn(s_.c_str(), set ? set : L"")));
  }
  // Next token delimited by any character of `set`, starting at `pos`; leading delimiters
  // are skipped and pos moves past the token's delimiter. At the end the result is empty
  // and pos becomes -1. With an empty set the rest of the text is one token.
  //   L";ab;;c" from 0 => L"ab" (pos 4), then L"c" (pos 7), then L"" (pos -1)
  CString Tokenize(const wchar_t* set, int& pos) const;

  // Searching (-1 when absent).
  int Find(wchar_t ch, int start = 0) const {
    return Pos(start < 0 ? std::wstring::npos : s_.find(ch, static_cast<size_t>(start)));
  }
  int Find(const wchar_t* sub, int start = 0) const {
    if (!sub || start < 0 || static_cast<size_t>(start) > s_.size()) return -1;
    return Pos(s_.find(sub, static_cast<size_t>(start)));
  }
  int ReverseFind(wchar_t ch) const { return Pos(s_.rfind(ch)); }
  int FindOneOf(const wchar_t* set) const { return set ? Pos(s_.find_first_of(set)) : -1; }

  // Trimming: without argument white space (VormIsSpace: ASCII blanks and the Unicode
  // space separators), else one character or any of a set (a null or empty set trims nothing).
  //   L" \tab \u3000".Trim() => L"ab"     L"xxaxx".TrimLeft(L'x') => L"axx"
  CString& Trim() { return TrimRight().TrimLeft(); }
  CString& Trim(wchar_t ch) { return TrimRight(ch).TrimLeft(ch); }
  CString& Trim(const wchar_t* set) { return TrimRight(set).TrimLeft(set); }
  CString& TrimLeft();
  CString& TrimLeft(wchar_t ch);
  CString& TrimLeft(const wchar_t* set);
  CString& TrimRight();
  CString& TrimRight(wchar_t ch);
  CString& TrimRight(const wchar_t* set);

  // Case and order. Case mapping is per code point with the Unicode tables (L"straße" =>
  // L"STRAßE": no one-character capital). CompareNoCase is ordinal on lower-cased code
  // points (L"_" < L"A"); Compare and the NoCase form give -1, 0 or 1. Collate follows the
  // collation locale the host process set (wcscoll), the ordinal order when it set none.
  CString& MakeUpper();
  CString& MakeLower();
  CString& MakeReverse();
  int Compare(const wchar_t* other) const { return Sign(s_.compare(other ? other : L"")); }
  int CompareNoCase(const wchar_t* other) const;
  int Collate(const wchar_t* other) const;
  int CollateNoCase(const wchar_t* other) const;

  // Formatting with the platform's wide rules (%s wide, %S narrow; see VormFormatV in
  // text.h). Arguments may point into this string.
  void Format(const wchar_t* format, ...);
  void FormatV(const wchar_t* format, va_list args);
  void AppendFormat(const wchar_t* format, ...);

  // Direct buffer access: GetBuffer(n) gives room for at least n characters plus the
  // terminator (the text is kept; until ReleaseBuffer the length may include NUL padding);
  // ReleaseBuffer(-1) ends the text at its first NUL within the buffer (the whole buffer
  // when it has none), ReleaseBuffer(n) at n, clamped to the buffer. GetBufferSetLength(n)
  // sets the length to n at once (new characters are NULs).
  wchar_t* GetBuffer() { return s_.data(); }
  wchar_t* GetBuffer(int minLength);
  wchar_t* GetBufferSetLength(int length);
  void ReleaseBuffer(int newLength = -1);
  void Preallocate(int length) {
    if (length > 0) s_.reserve(static_cast<size_t>(length));
  }

  // Editing; each returns the new length or the count it says.
  //   L"a.b.c".Replace(L".", L"::") => 2, L"a::b::c"   Replace(L"", x) => 0, unchanged
  //   Replace(L'x', L'x') => 0                          L"abc".Delete(1, 99) => 1, L"a"
  //   L"abc".Insert(99, L'X') => 4, L"abcX"             L"a-b-".Remove(L'-') => 2, L"ab"
  int Replace(wchar_t from, wchar_t to);
  int Replace(const wchar_t* from, const wchar_t* to);
  int Remove(wchar_t ch);
  int Insert(int index, wchar_t ch) { return Insert(index, std::wstring_view(&ch, 1)); }
  int Insert(int index, const wchar_t* text) { return Insert(index, std::wstring_view(text ? text : L"")); }
  int Delete(int index, int count = 1);

  CString& operator+=(const CString& other) {
    s_ += other.s_;
    return *this;
  }
  CString& operator+=(const wchar_t* text) {
    if (text) s_ += text;
    return *this;
  }
  CString& operator+=(wchar_t ch) {
    s_ += ch;
    return *this;
  }
  CString& operator+=(const std::wstring& text) {
    s_ += text;
    return *this;
  }

  friend CString operator+(const CString& a, const CString& b) {
    CString r(a);
    r += b;
    return r;
  }
  friend CString operator+(CString&& a, const CString& b) {
    a += b;
    return std::move(a);
  }
  friend CString operator+(const CString& a, const wchar_t* b) {
    CString r(a);
    r += b;
    return r;
  }
  friend CString operator+(CString&& a, const wchar_t* b) {
    a += b;
    return std::move(a);
  }
  friend CString operator+(const wchar_t* a, const CString& b) {
    CString r(a);
    r += b;
    return r;
  }
  friend CString operator+(const CString& a, wchar_t b) {
    CString r(a);
    r += b;
    return r;
  }
  friend CString operator+(CString&& a, wchar_t b) {
    a += b;
    return std::move(a);
  }
  friend CString operator+(wchar_t a, const CString& b) {
    CString r(a);
    r += b;
    return r;
  }

  friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
  friend bool operator==(const CString& a, const wchar_t* b) { return a.Compare(b) == 0; }
  friend bool operator==(const wchar_t* a, const CString& b) { return b.Compare(a) == 0; }
  friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
  friend bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }
  friend bool operator!=(const wchar_t* a, const CString& b) { return !(a == b); }
  friend bool operator<(const CString& a, const CString& b) { return a.s_ < b.s_; }
  friend bool operator>(const CString& a, const CString& b) { return a.s_ > b.s_; }
  friend bool operator<=(const CString& a, const CString& b) { return a.s_ <= b.s_; }
  friend bool operator>=(const CString& a, const CString& b) { return a.s_ >= b.s_; }

 private:
  bool InRange(int i) const { return i >= 0 && static_cast<size_t>(i) < s_.size(); }
  size_t Clamp(int n) const {
    return n <= 0 ? 0 : (static_cast<size_t>(n) > s_.size() ? s_.size() : static_cast<size_t>(n));
  }
  static int Pos(size_t p) { return p == std::wstring::npos ? -1 : static_cast<int>(p); }
  static int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }
  int Insert(int index, std::wstring_view text);

  std::wstring s_;
};

// Growable array of strings with the platform's interface; indexes are ints.
class VORM_API CStringArray {
 public:
  int GetSize() const { return static_cast<int>(v_.size()); }
  int GetCount() const { return GetSize(); }
  bool IsEmpty() const { return v_.empty(); }
  int GetUpperBound() const { return GetSize() - 1; }
  void SetSize(int size) { v_.resize(size > 0 ? static_cast<size_t>(size) : 0); }
  const CString& GetAt(int i) const { return v_.at(static_cast<size_t>(i)); }
  CString& ElementAt(int i) { return v_.at(static_cast<size_t>(i)); }
  void SetAt(int i, const wchar_t* text) { v_.at(static_cast<size_t>(i)) = text; }
  void SetAtGrow(int i, const wchar_t* text) {
    if (i < 0) return;
    if (static_cast<size_t>(i) >= v_.size()) v_.resize(static_cast<size_t>(i) + 1);
    v_[static_cast<size_t>(i)] = text;
  }
  int Add(const CString& text) {
    v_.push_back(text);
    return GetSize() - 1;
  }
  int Add(CString&& text) {
    v_.push_back(std::move(text));
    return GetSize() - 1;
  }
  int Add(const wchar_t* text) {
    v_.emplace_back(text);
    return GetSize() - 1;
  }
  int Append(const CStringArray& other) {
    int first = GetSize();
    v_.insert(v_.end(), other.v_.begin(), other.v_.end());
    return first;
  }
  void Copy(const CStringArray& other) { v_ = other.v_; }
  void InsertAt(int i, const CString& text, int count = 1) {
    if (i < 0 || count <= 0) return;
    if (static_cast<size_t>(i) > v_.size()) v_.resize(static_cast<size_t>(i));
    v_.insert(v_.begin() + i, static_cast<size_t>(count), text);
  }
  void RemoveAt(int i, int count = 1) {
    if (i < 0 || count <= 0 || static_cast<size_t>(i) >= v_.size()) return;
    size_t end = std::min(v_.size(), static_cast<size_t>(i) + static_cast<size_t>(count));
    v_.erase(v_.begin() + i, v_.begin() + static_cast<std::ptrdiff_t>(end));
  }
  void RemoveAll() { v_.clear(); }
  CString& operator[](int i) { return v_.at(static_cast<size_t>(i)); }
  const CString& operator[](int i) const { return v_.at(static_cast<size_t>(i)); }

  auto begin() { return v_.begin(); }
  auto end() { return v_.end(); }
  auto begin() const { return v_.begin(); }
  auto end() const { return v_.end(); }

 private:
  std::vector<CString> v_;
};
