// VormPointString and its two builders: the tokenizer, the walks and the rewrites.
#include <vorm/point_string.h>

#include <cstring>
#include <new>
#include <string>
#include <utility>

#include <vorm/platform/crt.h>
#include <vorm/platform/text.h>

#include "point_string_ranges.h"

namespace VormPointString_details {

// The white space that trimming removes around the text and its tokens: the string
// class's own rule, so a token is trimmed exactly as CString::Trim would.
inline bool IsTrimSpace(wchar_t c) { return VormIsSpace(c); }

namespace {

// Reads a number inside a token that passed the grammar: blanks, then decimal digits,
// stopping at anything else; 0 when there are no digits. Saturates at 4294967295, so no
// run of digits can overflow.
DWORD ReadTokenNumber(std::wstring_view text) {
  std::size_t k = 0;
  while (k < text.size() && text[k] == L' ') ++k;
  std::uint64_t value = 0;
  for (; k < text.size() && text[k] >= L'0' && text[k] <= L'9'; ++k) {
    value = value * 10 + static_cast<std::uint64_t>(text[k] - L'0');
    if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  }
  return static_cast<DWORD>(value);
}

// Where the next non-empty token of `text` lies, searching from `pos`: [begin, end),
// trimmed at both ends, and where the search goes on after it. Empty tokens ("1,,2",
// "1, ,2", a trailing comma) are skipped; `found` is false when none is left.
struct TokenSpan {
  bool found;
  std::size_t begin;
  std::size_t end;
  std::size_t next;
};

TokenSpan FindToken(const std::wstring& text, std::size_t pos) {
  const std::size_t size = text.size();
  while (pos < size) {
    const std::size_t comma = text.find(L',', pos);
    std::size_t begin = pos;
    std::size_t end = comma == std::wstring::npos ? size : comma;
    pos = comma == std::wstring::npos ? size : comma + 1;
    while (end > begin && IsTrimSpace(text[end - 1])) --end;
    while (begin < end && IsTrimSpace(text[begin])) ++begin;
    if (end > begin) return {true, begin, end, pos};
  }
  return {false, size, size, size};
}

}  // namespace

TokenClass ClassifyToken(std::wstring_view token) {
  // The grammar as one scan with the state of both numbers.
  enum Part { kNone, kDigits, kClosed };
  Part first = kNone;
  Part second = kNone;
  bool relation = false;
  std::size_t dashAt = std::wstring_view::npos;
  const TokenClass malformed{TokenKind::kMalformed, 0, 0};
  for (std::size_t k = 0; k < token.size(); ++k) {
    const wchar_t c = token[k];
    const bool dash = dashAt != std::wstring_view::npos;
    if (c == L' ') {
      if (first == kDigits) first = kClosed;
      if (second == kDigits) second = kClosed;
    } else if (c == L'-') {
      if (first == kNone || second != kNone || dash || relation) return malformed;
      dashAt = k;
      first = kClosed;
    } else if (c >= L'0' && c <= L'9') {
      if (first == kNone) {
        first = kDigits;
      } else if (first == kClosed) {
        if (!dash || relation || second == kClosed) return malformed;
        if (second == kNone) second = kDigits;
      }
    } else if (c == L'<' || c == L'>') {
      if (first != kNone || dash) return malformed;
      relation = true;
    } else if (c == L'=') {
      if (!relation || first != kNone) return malformed;
    } else {
      return malformed;
    }
  }
  // The scan lets a range end at its dash ("3-"): the missing number reads as 0, which
  // makes the token invalid but still a range, so a walk hands out 3 and 0.
  if (dashAt != std::wstring_view::npos) {
    return {TokenKind::kRange, ReadTokenNumber(token.substr(0, dashAt)), ReadTokenNumber(token.substr(dashAt + 1))};
  }
  if (relation) return {TokenKind::kRelation, 0, 0};
  const DWORD n = ReadTokenNumber(token);
  return {TokenKind::kNumber, n, n};
}

// The number AddPoint takes from a text: the C runtime's reading, clamped to DWORD.
// Negative numbers are no point numbers and give 0, like a text without digits.
DWORD ReadAddedNumber(const wchar_t* text) {
  const LONGLONG v = _wtoi64(text);
  if (v < 0) return 0;
  if (v > 0xFFFFFFFFLL) return 0xFFFFFFFFu;
  return static_cast<DWORD>(v);
}

void TrimRightSpace(std::wstring& text) {
  std::size_t e = text.size();
  while (e > 0 && IsTrimSpace(text[e - 1])) --e;
  text.resize(e);
}

}  // namespace VormPointString_details

using namespace VormPointString_details;

// ---------------------------------------------------------------------------------------
// VormPointString

VormPointString::VormPointString() = default;

VormPointString::VormPointString(const wchar_t* text) : CString(text) {}

VormPointString::VormPointString(const CString& text) : CString(text) {}

VormPointString::VormPointString(const VormPointString& other) = default;

VormPointString::~VormPointString() = default;

VormPointString& VormPointString::operator=(const VormPointString& other) {
  if (this == &other) return *this;
  CString::operator=(static_cast<const CString&>(other));
  m_rest.Empty();
  m_restPos = 0;
  m_label.Empty();
  m_token.Empty();
  m_first = m_last = m_current = 0;
  m_done = m_descending = m_error = FALSE;
  m_count = 0;
  std::memset(m_numberBuffer, 0, sizeof m_numberBuffer);
  return *this;
}

void VormPointString::SetLabel(const wchar_t* text) { m_label = text; }

BOOL VormPointString::HasLabel() const { return m_label.IsEmpty() ? FALSE : TRUE; }

const wchar_t* VormPointString::GetLabel() const { return m_label; }

BOOL VormPointString::IsDone() const { return m_done; }

bool VormPointString::Restart(const std::wstring& text) {
  m_done = m_descending = m_error = FALSE;
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && IsTrimSpace(text[b])) ++b;
  while (e > b && IsTrimSpace(text[e - 1])) --e;
  m_rest.str().assign(text, b, e - b);
  m_restPos = 0;
  if (m_rest.IsEmpty()) {
    m_done = TRUE;
    return false;
  }
  m_first = m_last = m_current = 0;
  return true;
}

void VormPointString::ParseNextToken() {
  // The snapshot is consumed through an offset, never copied, so a walk costs time in
  // proportion to the text however many tokens it holds.
  const std::wstring& rest = m_rest.str();
  const TokenSpan span = FindToken(rest, m_restPos);
  m_restPos = span.next;
  if (!span.found) {
    m_done = TRUE;
    return;
  }
  m_token.str().assign(rest, span.begin, span.end - span.begin);
  const TokenClass token = ClassifyToken(m_token.str());
  // A token that breaks the grammar leaves the range as it was; one that only names a 0
  // still hands out what it reads ("3-0" gives 3 and 0).
  if (token.kind != TokenKind::kMalformed) {
    m_first = token.first;
    m_last = token.last;
    if (token.kind == TokenKind::kRange) m_descending = token.last < token.first ? TRUE : FALSE;
  }
  if (!token.IsValid()) {
    m_error = TRUE;
    m_done = TRUE;
  }
}

void VormPointString::GetFirstNumber(DWORD* point) {
  if (!Restart(str())) return;
  ParseNextToken();
  m_current = m_first;
  if (point) *point = m_current;
}

void VormPointString::GetNextNumber(DWORD* point) {
  if (m_descending) {
    if (m_current > m_last) {
      --m_current;
    } else {
      ParseNextToken();
      m_current = m_first;
    }
  } else {
    if (m_current < m_last) {
      ++m_current;
    } else {
      ParseNextToken();
      m_current = m_first;
    }
  }
  if (point) *point = m_current;
}

void VormPointString::GetFirstRange(DWORD* first, DWORD* last) {
  if (!Restart(str())) return;
  ParseNextToken();
  if (first) *first = m_first;
  if (last) *last = m_last;
}

void VormPointString::GetNextRange(DWORD* first, DWORD* last) {
  ParseNextToken();
  if (first) *first = m_first;
  if (last) *last = m_last;
}

DWORD VormPointString::GetCount() {
  std::uint64_t count = 0;
  DWORD first = 0;
  DWORD last = 0;
  for (GetFirstRange(&first, &last); !m_done; GetNextRange(&first, &last)) {
    count += (first > last ? first - last : last - first) + std::uint64_t{1};
    if (count > 0xFFFFFFFFu) count = 0xFFFFFFFFu;
  }
  m_count = static_cast<DWORD>(count);
  return m_count;
}

BOOL VormPointString::IsValid() {
  if (m_error) {
    m_error = FALSE;
    return FALSE;
  }
  DWORD first = 0;
  DWORD last = 0;
  for (GetFirstRange(&first, &last); !m_done; GetNextRange(&first, &last)) {
  }
  if (m_error) {
    m_error = FALSE;
    return FALSE;
  }
  return TRUE;
}

void VormPointString::AppendNumber(std::wstring& out, DWORD n) {
  out.append(m_numberBuffer, static_cast<std::size_t>(FormatNumber(n, m_numberBuffer)));
}

bool VormPointString::ReadRuns(const std::wstring& text, std::vector<Run>& runs) {
  VormPointString walk;
  if (!walk.Restart(text)) return true;
  for (walk.ParseNextToken(); !walk.m_done; walk.ParseNextToken()) {
    // Only a relational token reads as 0, and it names no point number.
    if (walk.m_first != 0) runs.push_back({walk.m_first, walk.m_last});
  }
  return !walk.m_error;
}

void VormPointString::AssignRewritten(std::wstring& text) {
  VormPointString result;
  result.str().swap(text);
  operator=(result);  // virtual
}

// Both rewrites leave this object as it was, label and iteration state included, unless
// they succeed. A number above kMaxNumber stops them wherever it would have to be
// recorded (any number of `points`; this text's numbers in Normalize and in a sorted
// rewrite), so the rewrites refuse exactly what the sorted builder cannot hold.
void VormPointString::RemovePoints(const wchar_t* points, BOOL sorted) {
  try {
    std::vector<Run> removed;
    std::vector<Run> runs;
    if (!ReadRuns(CString(points).str(), removed) || !AllAtMost(removed, VormPointMarker::kMaxNumber)) return;
    if (!ReadRuns(str(), runs)) return;
    const IntervalSet drop = Merge(removed);
    std::wstring text;
    if (sorted) {
      // Nothing above kMaxNumber is in `drop`, so any such number would be kept.
      if (!AllAtMost(runs, VormPointMarker::kMaxNumber)) return;
      AppendSorted(text, Subtract(Merge(runs), drop));
    } else {
      SequenceWriter out(text);
      WriteWithout(out, runs, drop);
      out.Finish();
    }
    AssignRewritten(text);
  } catch (const std::bad_alloc&) {
    // Out of memory: the text stays as it was.
  }
}

void VormPointString::Normalize(BOOL sorted) {
  try {
    std::vector<Run> runs;
    if (!ReadRuns(str(), runs) || !AllAtMost(runs, VormPointMarker::kMaxNumber)) return;
    std::wstring text;
    if (sorted) {
      AppendSorted(text, Merge(runs));
    } else {
      SequenceWriter out(text);
      WriteFirstOccurrences(out, runs);
      out.Finish();
    }
    AssignRewritten(text);
  } catch (const std::bad_alloc&) {
  }
}

// ---------------------------------------------------------------------------------------
// VormSortedPointString

VormSortedPointString::VormSortedPointString() : m_marker(new VormPointMarker(1)) {}

VormSortedPointString::VormSortedPointString(const VormSortedPointString& other)
    : VormPointString(other), m_marker(new VormPointMarker(*other.m_marker)) {}

VormSortedPointString& VormSortedPointString::operator=(const VormSortedPointString& other) {
  if (this != &other) {
    auto* marker = new VormPointMarker(*other.m_marker);
    VormPointString::operator=(other);
    delete m_marker;
    m_marker = marker;
  }
  return *this;
}

VormSortedPointString::~VormSortedPointString() { delete m_marker; }

void VormSortedPointString::AddPoint(const wchar_t* number) { m_marker->Mark(ReadAddedNumber(number)); }

void VormSortedPointString::AddPoint(DWORD number) { m_marker->Mark(number); }

void VormSortedPointString::BuildString() {
  // Runs are found a word of the bit set at a time, so empty stretches of a sparse set
  // cost little, and the walk ends at the marker's end whatever its size.
  try {
    std::wstring text;
    const std::uint64_t count = m_marker->m_bitCount;
    const DWORD base = m_marker->m_base;
    for (std::uint64_t i = 0;;) {
      const std::uint64_t runBegin = m_marker->FindBit(i, true);
      if (runBegin >= count) break;
      const std::uint64_t runEnd = m_marker->FindBit(runBegin + 1, false);
      AppendInterval(text, base + static_cast<DWORD>(runBegin), base + static_cast<DWORD>(runEnd - 1));
      i = runEnd;
    }
    str().swap(text);
  } catch (const std::bad_alloc&) {
    // The text stays as it was.
  }
}

void VormSortedPointString::RemoveAll() {
  Empty();
  m_marker->Clear();
}

void VormSortedPointString::RemovePoint(DWORD number) { m_marker->Unmark(number); }

// ---------------------------------------------------------------------------------------
// VormUnsortedPointString

VormUnsortedPointString::VormUnsortedPointString() = default;

VormUnsortedPointString& VormUnsortedPointString::operator=(const VormUnsortedPointString& other) {
  if (this != &other) {
    std::vector<DWORD> pending(other.m_pending);
    VormPointString::operator=(other);
    m_pending = std::move(pending);
  }
  return *this;
}

VormUnsortedPointString::~VormUnsortedPointString() = default;

void VormUnsortedPointString::AddPoint(const wchar_t* number) { m_pending.push_back(ReadAddedNumber(number)); }

void VormUnsortedPointString::AddPoint(DWORD number) { m_pending.push_back(number); }

void VormUnsortedPointString::BuildString() {
  std::wstring& text = str();
  TrimRightSpace(text);
  const std::size_t oldLength = text.size();
  try {
    SequenceWriter out(text);
    for (DWORD n : m_pending) out.Add(n);
    out.Finish();
  } catch (const std::bad_alloc&) {
    text.resize(oldLength);
    return;
  }
  m_pending.clear();
}

void VormUnsortedPointString::RemoveAll() {
  Empty();
  m_pending.clear();
}
