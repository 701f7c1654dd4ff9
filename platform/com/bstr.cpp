// BSTR allocation, CString::AllocSysString and _bstr_t.
//
// Layout of a BSTR block: a 32-bit byte count, then the characters, then a NUL; the BSTR
// points at the first character.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include <vorm/platform/com.h>
#include <vorm/platform/cstring.h>

namespace {

constexpr size_t kPrefix = sizeof(std::uint32_t);

// Room for `length` characters whose byte count still fits the 32-bit prefix.
bool LengthFits(size_t length) { return length <= (UINT32_MAX - sizeof(wchar_t)) / sizeof(wchar_t); }

BSTR Allocate(const OLECHAR* text, size_t length) {
  if (!LengthFits(length)) return nullptr;
  const size_t bytes = length * sizeof(wchar_t);
  auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(wchar_t)));
  if (!block) return nullptr;
  const auto count = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &count, kPrefix);
  BSTR s = reinterpret_cast<BSTR>(block + kPrefix);
  if (text)
    std::memcpy(s, text, bytes);
  else
    std::memset(s, 0, bytes);
  s[length] = L'\0';
  return s;
}

std::uint32_t ByteCount(BSTR s) {
  std::uint32_t count;
  std::memcpy(&count, reinterpret_cast<unsigned char*>(s) - kPrefix, kPrefix);
  return count;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) { return text ? Allocate(text, std::wcslen(text)) : nullptr; }

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) { return Allocate(text, length); }

INT SysReAllocString(BSTR* bstr, const OLECHAR* text) {
  return SysReAllocStringLen(bstr, text, text ? static_cast<UINT>(std::wcslen(text)) : 0);
}

INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) {
  if (!bstr) return FALSE;
  // The copy is made before the old text goes, so `text` may point into it.
  BSTR fresh = Allocate(text, length);
  if (!fresh) return FALSE;
  SysFreeString(*bstr);
  *bstr = fresh;
  return TRUE;
}

void SysFreeString(BSTR bstr) {
  if (bstr) std::free(reinterpret_cast<unsigned char*>(bstr) - kPrefix);
}

UINT SysStringLen(BSTR bstr) { return bstr ? ByteCount(bstr) / sizeof(wchar_t) : 0; }

UINT SysStringByteLen(BSTR bstr) { return bstr ? ByteCount(bstr) : 0; }

wchar_t* CString::AllocSysString() const { return Allocate(s_.data(), s_.size()); }

// --- _bstr_t ------------------------------------------------------------------------------

namespace {

BSTR CopyOrThrow(const wchar_t* text, size_t length) {
  BSTR s = Allocate(text, length);
  if (!s) _com_issue_error(E_OUTOFMEMORY);
  return s;
}

}  // namespace

_bstr_t::_bstr_t(const wchar_t* text) : s_(text ? CopyOrThrow(text, std::wcslen(text)) : nullptr) {}

_bstr_t::_bstr_t(BSTR bstr, bool copy) : s_(copy && bstr ? CopyOrThrow(bstr, SysStringLen(bstr)) : bstr) {}

_bstr_t::_bstr_t(const _bstr_t& other) : s_(other.s_ ? CopyOrThrow(other.s_, SysStringLen(other.s_)) : nullptr) {}

_bstr_t& _bstr_t::operator=(const _bstr_t& other) {
  if (this != &other) *this = _bstr_t(other);
  return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& other) noexcept {
  if (this != &other) {
    SysFreeString(s_);
    s_ = other.s_;
    other.s_ = nullptr;
  }
  return *this;
}

_bstr_t& _bstr_t::operator=(const wchar_t* text) {
  *this = _bstr_t(text);
  return *this;
}

_bstr_t::~_bstr_t() { SysFreeString(s_); }

BSTR _bstr_t::copy(bool copy) const {
  if (!copy || !s_) return s_;
  return CopyOrThrow(s_, SysStringLen(s_));
}

void _bstr_t::Attach(BSTR bstr) noexcept {
  if (bstr == s_) return;
  SysFreeString(s_);
  s_ = bstr;
}

BSTR _bstr_t::Detach() noexcept {
  BSTR s = s_;
  s_ = nullptr;
  return s;
}

BSTR* _bstr_t::GetAddress() noexcept {
  SysFreeString(s_);
  s_ = nullptr;
  return &s_;
}

_bstr_t& _bstr_t::operator+=(const _bstr_t& other) {
  const UINT a = SysStringLen(s_);
  const UINT b = SysStringLen(other.s_);
  if (b == 0) return *this;
  if (!LengthFits(size_t{a} + b)) _com_issue_error(E_OUTOFMEMORY);
  BSTR joined = CopyOrThrow(nullptr, size_t{a} + b);
  if (a) std::memcpy(joined, s_, a * sizeof(wchar_t));
  std::memcpy(joined + a, other.s_, b * sizeof(wchar_t));
  SysFreeString(s_);
  s_ = joined;
  return *this;
}

// Compares as terminated text (the right side may be a plain string); NULL is empty.
int _bstr_t::Compare(const wchar_t* a, const wchar_t* b) noexcept {
  const int r = std::wcscmp(a ? a : L"", b ? b : L"");
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
