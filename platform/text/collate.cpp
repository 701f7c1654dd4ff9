// The collation functions of the C runtime (see crt.h): wcscoll over copies cut to the
// count or lower-cased, since wcscoll itself has no counted or case-blind form.
#include <climits>
#include <cwchar>
#include <string>

#include <vorm/platform/crt.h>
#include <vorm/platform/text.h>

namespace {

std::wstring Prefix(const wchar_t* s, size_t count, bool lower) {
  std::wstring r;
  for (size_t i = 0; i < count && s[i]; ++i) r.push_back(lower ? VormToLower(s[i]) : s[i]);
  return r;
}

int Collate(const wchar_t* a, const wchar_t* b, size_t count, bool lower) {
  if (!a || !b) return INT_MAX;
  const std::wstring x = Prefix(a, count, lower);
  const std::wstring y = Prefix(b, count, lower);
  return std::wcscoll(x.c_str(), y.c_str());
}

}  // namespace

int _wcsncoll(const wchar_t* a, const wchar_t* b, size_t count) { return Collate(a, b, count, false); }

int _wcsicoll(const wchar_t* a, const wchar_t* b) { return Collate(a, b, SIZE_MAX, true); }

int _wcsnicoll(const wchar_t* a, const wchar_t* b, size_t count) { return Collate(a, b, count, true); }
