// Per-code-point case mapping and case-insensitive comparison with Unicode tables.
// The tables come from a C.UTF-8 locale object made once with newlocale and used through
// the *_l functions, so nothing here depends on (or changes) the process's setlocale.
#include <locale.h>
#include <wctype.h>

#include <climits>
#include <cstdint>
#include <string_view>

#include <vorm/platform/text.h>

namespace {

// Process-lifetime locale object for the Unicode character classes; null when the host
// has no UTF-8 locale at all, in which case mapping falls back to ASCII.
locale_t UnicodeLocale() {
  static const locale_t loc = [] {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "en_US.utf8"}) {
      if (locale_t l = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr))) return l;
    }
    return static_cast<locale_t>(nullptr);
  }();
  return loc;
}

inline bool IsAscii(wchar_t c) { return static_cast<std::uint32_t>(c) < 0x80; }

inline std::uint32_t Folded(wchar_t c) { return static_cast<std::uint32_t>(VormToLower(c)); }

}  // namespace

wchar_t VormToUpper(wchar_t c) {
  if (IsAscii(c)) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
  const locale_t loc = UnicodeLocale();
  return loc ? static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), loc)) : c;
}

wchar_t VormToLower(wchar_t c) {
  if (IsAscii(c)) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
  const locale_t loc = UnicodeLocale();
  return loc ? static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), loc)) : c;
}

bool VormIsSpace(wchar_t c) {
  if (IsAscii(c)) return c == L' ' || (c >= L'\t' && c <= L'\r');
  const locale_t loc = UnicodeLocale();
  return loc && iswspace_l(static_cast<wint_t>(c), loc) != 0;
}

DWORD CharUpperBuffW(wchar_t* text, DWORD length) {
  if (!text) return 0;
  for (DWORD i = 0; i < length; ++i) text[i] = VormToUpper(text[i]);
  return length;
}

DWORD CharLowerBuffW(wchar_t* text, DWORD length) {
  if (!text) return 0;
  for (DWORD i = 0; i < length; ++i) text[i] = VormToLower(text[i]);
  return length;
}

wchar_t* _wcsupr(wchar_t* text) {
  if (text)
    for (wchar_t* p = text; *p; ++p) *p = VormToUpper(*p);
  return text;
}

wchar_t* _wcslwr(wchar_t* text) {
  if (text)
    for (wchar_t* p = text; *p; ++p) *p = VormToLower(*p);
  return text;
}

int VormCompareNoCase(std::wstring_view a, std::wstring_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const std::uint32_t x = Folded(a[i]), y = Folded(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int _wcsicmp(const wchar_t* a, const wchar_t* b) { return _wcsnicmp(a, b, SIZE_MAX); }

int _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t count) {
  if (!a || !b) return INT_MAX;
  for (size_t i = 0; i < count; ++i) {
    const std::uint32_t x = Folded(a[i]), y = Folded(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) break;
  }
  return 0;
}
