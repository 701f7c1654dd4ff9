// Point strings: a text, and after the first '|' a list of numbers to remove (empty when
// there is no '|'), each byte one character (0x80..0x83 stand for U+3000, U+00A0, U+FF11
// and U+2028, white space and digits that are not the grammar's). Normalize and
// RemovePoints, sorted and unsorted, run on every input. Checks:
//  - while the numbers stay small enough for a bit set, every rewrite gives exactly the
//    reference's text (number by number through bit sets), and GetCount agrees with a walk;
//  - always: a sorted normalize is stable, and normalizing the unsorted result sorted gives
//    the sorted result (both keep each number once);
//  - the token classifier takes the whole input as one token without reading past it.
#include <cstdint>
#include <string>

#include <vorm/point_string.h>

#include "fuzz/fuzz_check.h"
#include "tests/support/point_string_reference.h"

namespace {

// The reference walks every number and keeps a bit per number up to the highest.
constexpr std::uint64_t kMaxReferenceNumber = 1u << 20;
constexpr std::uint64_t kMaxReferenceCount = 1u << 16;

std::wstring Decode(const uint8_t* data, size_t size) {
  static const wchar_t kWide[] = {L'\u3000', L'\u00A0', L'\uFF11', L'\u2028'};
  std::wstring text;
  text.reserve(size);
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    text += b >= 0x80 && b < 0x80 + std::size(kWide) ? kWide[b - 0x80] : static_cast<wchar_t>(b);
  }
  return text;
}

// Whether the reference can take `text` cheaply: the numbers its walk would visit (up to
// the first invalid token) are few and small.
bool Cheap(const std::wstring& text) {
  VormPointString s{CString(text)};
  std::uint64_t count = 0;
  DWORD first = 0;
  DWORD last = 0;
  for (s.GetFirstRange(&first, &last); !s.IsDone(); s.GetNextRange(&first, &last)) {
    count += (first > last ? first - last : last - first) + std::uint64_t{1};
    if (first > kMaxReferenceNumber || last > kMaxReferenceNumber || count > kMaxReferenceCount) return false;
  }
  return true;
}

std::wstring Rewritten(const std::wstring& text, const std::wstring* points, BOOL sorted) {
  VormPointString s{CString(text)};
  s.SetLabel(L"label");
  points ? s.RemovePoints(points->c_str(), sorted) : s.Normalize(sorted);
  // A rewrite that happened drops the label; one that did not leaves the text alone.
  FUZZ_CHECK(s.HasLabel() ? s.str() == text : true);
  return s.str();
}

std::wstring Normalized(const std::wstring& text) { return Rewritten(text, nullptr, TRUE); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring input = Decode(data, size);
  const size_t bar = input.find(L'|');
  const std::wstring text = input.substr(0, bar);
  // RemovePoints takes a C string: the list ends at its first NUL.
  const std::wstring points = bar == std::wstring::npos ? std::wstring() : input.substr(bar + 1).c_str();

  const VormPointString_details::TokenClass token = VormPointString_details::ClassifyToken(input);
  FUZZ_CHECK(token.kind != VormPointString_details::TokenKind::kRange || input.find(L'-') != std::wstring::npos);

  const std::wstring sorted = Rewritten(text, nullptr, TRUE);
  const std::wstring unsorted = Rewritten(text, nullptr, FALSE);
  const std::wstring removedSorted = Rewritten(text, &points, TRUE);
  const std::wstring removedUnsorted = Rewritten(text, &points, FALSE);

  FUZZ_CHECK(Normalized(sorted) == sorted);
  FUZZ_CHECK(Normalized(unsorted) == sorted);

  if (Cheap(text) && Cheap(points)) {
    using point_string_reference::Rewrite;
    FUZZ_CHECK(sorted == Rewrite(text, nullptr, true));
    FUZZ_CHECK(unsorted == Rewrite(text, nullptr, false));
    FUZZ_CHECK(removedSorted == Rewrite(text, points.c_str(), true));
    FUZZ_CHECK(removedUnsorted == Rewrite(text, points.c_str(), false));

    VormPointString s{CString(text)};
    DWORD walked = 0;
    DWORD n = 0;
    for (s.GetFirstNumber(&n); !s.IsDone(); s.GetNextNumber(&n)) ++walked;
    FUZZ_CHECK(s.GetCount() == walked);
  }
  return 0;
}
