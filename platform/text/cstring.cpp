// The out-of-line members of CString: conversion from UTF-8, trimming, case, ordering,
// buffer access, editing, tokenising and formatting.
#include <algorithm>
#include <cwchar>
#include <functional>
#include <string>
#include <string_view>

#include <vorm/platform/cstring.h>
#include <vorm/platform/text.h>

namespace {

std::wstring Lowered(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = VormToLower(c);
  return out;
}

}  // namespace

CString::CString(const char* utf8) : s_(utf8 ? VormFromUtf8(utf8) : std::wstring()) {}

// --- Trimming -------------------------------------------------------------------------

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < s_.size() && VormIsSpace(s_[i])) ++i;
  s_.erase(0, i);
  return *this;
}

CString& CString::TrimLeft(wchar_t ch) {
  size_t i = 0;
  while (i < s_.size() && s_[i] == ch) ++i;
  s_.erase(0, i);
  return *this;
}

CString& CString::TrimLeft(const wchar_t* set) {
  if (!set || !*set) return *this;
  const size_t i = s_.find_first_not_of(set);
  s_.erase(0, i == std::wstring::npos ? s_.size() : i);
  return *this;
}

CString& CString::TrimRight() {
  size_t n = s_.size();
  while (n && VormIsSpace(s_[n - 1])) --n;
  s_.resize(n);
  return *this;
}

CString& CString::TrimRight(wchar_t ch) {
  size_t n = s_.size();
  while (n && s_[n - 1] == ch) --n;
  s_.resize(n);
  return *this;
}

CString& CString::TrimRight(const wchar_t* set) {
  if (!set || !*set) return *this;
  const size_t i = s_.find_last_not_of(set);
  s_.resize(i == std::wstring::npos ? 0 : i + 1);
  return *this;
}

// --- Case and order -----------------------------------------------------------------

CString& CString::MakeUpper() {
  for (wchar_t& c : s_) c = VormToUpper(c);
  return *this;
}

CString& CString::MakeLower() {
  for (wchar_t& c : s_) c = VormToLower(c);
  return *this;
}

CString& CString::MakeReverse() {
  std::reverse(s_.begin(), s_.end());
  return *this;
}

int CString::CompareNoCase(const wchar_t* other) const {
  return VormCompareNoCase(s_, other ? std::wstring_view(other) : std::wstring_view());
}

// wcscoll follows the collation the host process chose with setlocale; in the default
// "C" locale it is the ordinal order.
int CString::Collate(const wchar_t* other) const { return Sign(std::wcscoll(s_.c_str(), other ? other : L"")); }

int CString::CollateNoCase(const wchar_t* other) const {
  const std::wstring a = Lowered(s_);
  const std::wstring b = Lowered(other ? std::wstring_view(other) : std::wstring_view());
  return Sign(std::wcscoll(a.c_str(), b.c_str()));
}

// --- Formatting -----------------------------------------------------------------------

// The text is built apart from s_ so that arguments may point into this string
// (s.Format(L"[%s]", (const wchar_t*)s) is common).
void CString::FormatV(const wchar_t* format, va_list args) { s_ = VormFormatV(format, args); }

void CString::Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void CString::AppendFormat(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  s_ += VormFormatV(format, args);
  va_end(args);
}

// --- Buffer access --------------------------------------------------------------------

// The string grows (with NULs) to the requested size, so the caller may write
// minLength characters and a terminator; ReleaseBuffer then fixes the length.
wchar_t* CString::GetBuffer(int minLength) {
  if (minLength > 0 && static_cast<size_t>(minLength) > s_.size()) s_.resize(static_cast<size_t>(minLength));
  return s_.data();
}

wchar_t* CString::GetBufferSetLength(int length) {
  s_.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return s_.data();
}

void CString::ReleaseBuffer(int newLength) {
  if (newLength < 0) {
    // The first NUL within the buffer; without one the whole buffer is the text.
    const size_t nul = s_.find(L'\0');
    if (nul != std::wstring::npos) s_.resize(nul);
  } else if (static_cast<size_t>(newLength) < s_.size()) {
    s_.resize(static_cast<size_t>(newLength));
  }
}

// --- Editing --------------------------------------------------------------------------

int CString::Replace(wchar_t from, wchar_t to) {
  if (from == to) return 0;
  int count = 0;
  for (wchar_t& c : s_) {
    if (c == from) {
      c = to;
      ++count;
    }
  }
  return count;
}

int CString::Replace(const wchar_t* from, const wchar_t* to) {
  if (!from || !*from) return 0;
  const std::wstring_view f(from);
  const std::wstring_view t(to ? to : L"");
  size_t pos = s_.find(f);
  if (pos == std::wstring::npos) return 0;
  // One pass into a new string: linear however many matches, and safe when from/to
  // point into this string.
  std::wstring out;
  out.reserve(s_.size());
  size_t last = 0;
  int count = 0;
  while (pos != std::wstring::npos) {
    out.append(s_, last, pos - last);
    out.append(t);
    last = pos + f.size();
    ++count;
    pos = s_.find(f, last);
  }
  out.append(s_, last, std::wstring::npos);
  s_.swap(out);
  return count;
}

int CString::Remove(wchar_t ch) {
  const size_t before = s_.size();
  s_.erase(std::remove(s_.begin(), s_.end(), ch), s_.end());
  return static_cast<int>(before - s_.size());
}

int CString::Insert(int index, std::wstring_view text) {
  const size_t at = Clamp(index);
  const wchar_t* base = s_.data();
  const std::less_equal<const wchar_t*> le;
  if (le(base, text.data()) && le(text.data(), base + s_.size())) {
    const std::wstring copy(text);  // inserting a piece of this string into itself
    s_.insert(at, copy);
  } else {
    s_.insert(at, text.data(), text.size());
  }
  return GetLength();
}

int CString::Delete(int index, int count) {
  if (index < 0) index = 0;
  const size_t at = static_cast<size_t>(index);
  if (count > 0 && at < s_.size()) s_.erase(at, std::min(static_cast<size_t>(count), s_.size() - at));
  return GetLength();
}

// --- Tokenising -----------------------------------------------------------------------

CString CString::Tokenize(const wchar_t* set, int& pos) const {
  if (pos >= 0 && static_cast<size_t>(pos) < s_.size()) {
    const size_t start = static_cast<size_t>(pos);
    if (!set || !*set) {
      // No delimiters: the rest is one token, and the next call ends the walk.
      pos = GetLength();
      return CString(s_.substr(start));
    }
    const size_t first = s_.find_first_not_of(set, start);
    if (first != std::wstring::npos) {
      size_t end = s_.find_first_of(set, first);
      if (end == std::wstring::npos) end = s_.size();
      pos = static_cast<int>(end) + 1;
      return CString(s_.substr(first, end - first));
    }
  }
  pos = -1;
  return CString();
}
