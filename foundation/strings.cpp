// String and number helpers: tokens, lists, number text, case, natural comparison.
#include <vorm/strings.h>

#include <cmath>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include <vorm/platform/crt.h>
#include <vorm/platform/text.h>

namespace VormStrings_details {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

const wchar_t* FirstDigit(const wchar_t* s) {
  while (*s && !IsDigit(*s)) ++s;
  return *s ? s : nullptr;
}

const wchar_t* DigitRunEnd(const wchar_t* s) {
  while (IsDigit(*s)) ++s;
  return s;
}

// Compares two runs of decimal digits by value, whatever their length: leading zeros
// dropped, then the longer run is the larger number, then digit by digit.
int CompareDigitRuns(const wchar_t* a, const wchar_t* aEnd, const wchar_t* b, const wchar_t* bEnd) {
  while (a < aEnd && *a == L'0') ++a;
  while (b < bEnd && *b == L'0') ++b;
  if (aEnd - a != bEnd - b) return aEnd - a < bEnd - b ? -1 : 1;
  for (; a < aEnd; ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
  }
  return 0;
}

// The natural comparison over a collation pair (whole texts, counted prefixes).
template <class Collate, class CollateCounted>
int CompareNatural(const wchar_t* a, const wchar_t* b, Collate collate, CollateCounted collateCounted) {
  const wchar_t* s1 = a ? a : L"";
  const wchar_t* s2 = b ? b : L"";
  for (;;) {
    const wchar_t* d1 = FirstDigit(s1);
    const wchar_t* d2 = FirstDigit(s2);
    if (!d1 || !d2 || d1 - s1 != d2 - s2) return collate(s1, s2);
    const size_t prefix = static_cast<size_t>(d1 - s1);
    if (prefix > 0) {
      const int r = collateCounted(s1, s2, prefix);
      if (r != 0) return r;
    }
    const wchar_t* e1 = DigitRunEnd(d1);
    const wchar_t* e2 = DigitRunEnd(d2);
    const int r = CompareDigitRuns(d1, e1, d2, e2);
    if (r != 0) return r;
    s1 = e1;
    s2 = e2;
    if (!*s1) return *s2 ? -1 : 0;
    if (!*s2) return 1;
  }
}

}  // namespace VormStrings_details

using namespace VormStrings_details;

// --- Tokens and lists ------------------------------------------------------------------

BOOL VormNextToken(const wchar_t** cursor, const wchar_t* delimiters, CString& token) {
  token.Empty();
  if (!cursor || !*cursor) return FALSE;
  const wchar_t* set = delimiters ? delimiters : L"";
  const wchar_t* p = *cursor;
  p += std::wcsspn(p, set);
  const size_t length = std::wcscspn(p, set);
  token = CString(p, static_cast<int>(length));
  p += length;
  if (*p) ++p;  // stopped at a delimiter: step over that one
  *cursor = p;
  return length > 0 ? TRUE : FALSE;
}

CString VormPopToken(const CString& separator, CString& source) {
  // The separator may be the source itself; take what is needed before source changes.
  const int separatorLength = separator.GetLength();
  const int pos = separatorLength > 0 ? source.Find(separator) : -1;
  if (pos < 0) {
    CString all = std::move(source);
    source.Empty();
    return all;
  }
  CString head = source.Left(pos);
  source = source.Mid(pos + separatorLength);
  return head;
}

CString VormPopCommaToken(CString& source) { return VormPopToken(CString(L","), source); }

CString VormPopSpaceToken(CString& source) { return VormPopToken(CString(L" "), source); }

BOOL VormSplitCommaList(const CString& text, CStringArray& items) {
  CString rest = text;
  do {
    CString item = VormPopCommaToken(rest);
    item.Trim();
    if (!item.IsEmpty()) items.Add(std::move(item));
  } while (!rest.IsEmpty());
  return TRUE;
}

void VormInsertListItem(const CString& value, const CString& separator, int index, CString& list) {
  if (list.IsEmpty()) {
    list = value;
    return;
  }
  // Copies first: value or separator may be the list itself.
  const std::wstring item = value.str();
  const std::wstring sep = separator.str();
  const std::wstring& text = list.str();

  std::vector<std::wstring_view> items;
  if (sep.empty()) {
    items.push_back(text);
  } else {
    size_t start = 0;
    for (size_t hit; (hit = text.find(sep, start)) != std::wstring::npos; start = hit + sep.size()) {
      items.emplace_back(text.data() + start, hit - start);
    }
    items.emplace_back(text.data() + start, text.size() - start);
  }

  const size_t at = index < 0 ? 0 : static_cast<size_t>(index);
  std::wstring result;
  bool first = true;
  auto append = [&](std::wstring_view s) {
    if (!first) result += sep;
    result += s;
    first = false;
  };
  for (size_t i = 0; i < items.size(); ++i) {
    if (i == at) append(item);
    if (items[i] != item) append(items[i]);
  }
  if (at >= items.size()) append(item);
  list = std::move(result);
}

CString VormInsertEscapes(const CString& target, const CString& escape, const CString& text) {
  const std::wstring& s = text.str();
  const std::wstring& t = target.str();
  const std::wstring& e = escape.str();
  if (t.empty() || e.empty()) return text;
  std::wstring out;
  size_t copied = 0;  // s[0, copied) is in out already
  size_t pos = 0;     // where the search for the next occurrence starts
  for (size_t hit; (hit = s.find(t, pos)) != std::wstring::npos; pos = hit + 1) {
    // Already escaped when the escape text ends right where the target begins and lies
    // wholly within the part searched since the previous occurrence.
    const bool escaped = hit >= pos + e.size() && s.compare(hit - e.size(), e.size(), e) == 0;
    if (escaped) continue;
    out.append(s, copied, hit - copied);
    out += e;
    copied = hit;
  }
  out.append(s, copied, std::wstring::npos);
  return CString(std::move(out));
}

void VormMakePrompt(CString& text, bool leadingNewline) {
  text.Trim();
  if (text.IsEmpty()) return;
  if (leadingNewline) text.Insert(0, L'\n');
  text += text.GetAt(text.GetLength() - 1) == L':' ? L" " : L": ";
}

// --- Number text -------------------------------------------------------------------------

BOOL VormIsNumericText(const wchar_t* text) {
  if (!text) return TRUE;
  for (const wchar_t* p = text; *p; ++p) {
    if (!IsDigit(*p) && *p != L'-' && *p != L'.') return FALSE;
  }
  return TRUE;
}

BOOL VormIsZeroText(const CString& text) {
  if (text.IsEmpty()) return FALSE;
  for (wchar_t c : text.str()) {
    if (c != L'0' && c != L'.') return FALSE;
  }
  return TRUE;
}

BOOL VormParseDouble(const CString& text, double* value) {
  wchar_t* end = nullptr;
  const double parsed = VormWcstod(text, &end);
  if (value) *value = parsed;
  if (end && *end != L'\0') return FALSE;
  if (std::fabs(parsed) == HUGE_VAL) return FALSE;
  return TRUE;
}

CString VormFormatDouble(double value, int decimals) {
  CString text;
  text.Format(L"%.*f", decimals, value);
  return text;
}

// --- Case and comparison ------------------------------------------------------------------

CString VormToUpper(const CString& text) {
  CString copy(text);
  CharUpperBuffW(copy.str().data(), static_cast<DWORD>(copy.str().size()));
  return copy;
}

CString VormToLower(const CString& text) {
  CString copy(text);
  CharLowerBuffW(copy.str().data(), static_cast<DWORD>(copy.str().size()));
  return copy;
}

CString VormToTitleCase(const CString& text) {
  CString copy(text);
  std::wstring& s = copy.str();
  for (size_t i = 0; i < s.size(); ++i) {
    const bool upper = i == 0 || IsDigit(s[i - 1]) || VormIsSpace(s[i - 1]);
    if (upper)
      CharUpperBuffW(&s[i], 1);
    else
      CharLowerBuffW(&s[i], 1);
  }
  return copy;
}

int VormCompareNatural(const wchar_t* a, const wchar_t* b) {
  return CompareNatural(
      a, b, [](const wchar_t* x, const wchar_t* y) { return std::wcscoll(x, y); }, _wcsncoll);
}

int VormCompareNaturalNoCase(const wchar_t* a, const wchar_t* b) { return CompareNatural(a, b, _wcsicoll, _wcsnicoll); }

CString VormGuidToString(const GUID& id) {
  LPOLESTR text = nullptr;
  CString result;
  if (SUCCEEDED(StringFromCLSID(id, &text)) && text) result = text;
  CoTaskMemFree(text);
  return result;
}
