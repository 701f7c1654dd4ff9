#include "tree_names.h"

#include <cwchar>
#include <string_view>

#include <vorm/platform/text.h>

namespace VormTreeNames_details {

namespace {

bool IsPlain(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (const wchar_t c : name) {
    if (c == L'/' || VormIsOsOnlyChar(c)) return false;
  }
  return true;
}

}  // namespace

bool IsPlainName(const wchar_t* name) { return name && IsPlain(name); }

bool StaysInside(const VormPath& relative) {
  const std::wstring_view text(relative.GetText().GetString(), static_cast<size_t>(relative.GetText().GetLength()));
  if (text.empty()) return true;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find_first_of(L"\\/", start);
    if (!IsPlain(text.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start))) {
      return false;
    }
    if (end == std::wstring_view::npos) return true;
    start = end + 1;
  }
}

VormPath JoinName(const VormPath& folder, const wchar_t* name) {
  VormPath joined(folder, VormPath::CanonicalForm);
  if (!joined.GetText().IsEmpty()) joined.AddTrailingSeparator();
  joined = joined.GetText() + name;
  return joined;
}

}  // namespace VormTreeNames_details
