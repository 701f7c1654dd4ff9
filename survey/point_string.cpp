// VormPointString and its two builders: the tokenizer, the walks and the rewrites.
#include <vorm/point_string.h>

#include <cstring>
#include <new>
#include <string>
#include <utility>

#include <vorm/platform/crt.h>
#include <vorm/platform/text.h>

namespace VormPointString_details {

// The white space that trimming removes around the text and its tokens: the string
// class's own rule, so a token is trimmed exactly as CString::Trim would.
inline bool IsTrimSpace(wchar_t c) {
  return VormIsSpace(c);
}

// Reads a number inside a token that passed the grammar: white space, then decimal
// digits, stopping at anything else; 0 when there are no digits. Saturates at
// 4294967295, so no run of digits can overflow.
DWORD ReadTokenNumber(const wchar_t* p, const wchar_t* end) {
  while (p < end && IsTrimSpace(*p)) ++p;
  std::uint64_t value = 0;
  for (; p < end && *p >= L'0' && *p <= L'9'; ++p) {
    value = value * 10 + static_cast<std::uint64_t>(*p - L'0');
    if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  }
  return static_cast<DWORD>(value);
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

void VormPointString::SetLabel(const wchar_t* text) {
  m_label = text;
}

BOOL VormPointString::HasLabel() const {
  return m_label.IsEmpty() ? FALSE : TRUE;
}

const wchar_t* VormPointString::GetLabel() const {
  return m_label;
}

BOOL VormPointString::IsDone() const {
  return m_done;
}

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
  const std::size_t size = rest.size();
  std::size_t pos = m_restPos < size ? m_restPos : size;
  std::size_t tokenBegin = 0;
  std::size_t tokenEnd = 0;
  for (;;) {
    if (pos >= size) {
      m_restPos = size;
      m_done = TRUE;
      return;
    }
    const std::size_t comma = rest.find(L',', pos);
    const bool hasComma = comma != std::wstring::npos;
    tokenBegin = pos;
    tokenEnd = hasComma ? comma : size;
    pos = hasComma ? comma + 1 : size;
    while (tokenEnd > tokenBegin && IsTrimSpace(rest[tokenEnd - 1])) --tokenEnd;
    while (pos < size && IsTrimSpace(rest[pos])) ++pos;
    if (tokenEnd > tokenBegin || !hasComma) break;
  }
  m_restPos = pos;
  m_token.str().assign(rest, tokenBegin, tokenEnd - tokenBegin);

  // The grammar as a scan over the token with the state of both numbers.
  enum Part { kNone, kDigits, kClosed };
  Part first = kNone;
  Part second = kNone;
  bool dash = false;
  bool relation = false;
  bool bad = false;
  std::size_t dashAt = 0;
  const std::wstring& token = m_token.str();
  for (std::size_t k = 0; k < token.size() && !bad; ++k) {
    const wchar_t c = token[k];
    if (c == L' ') {
      if (first == kDigits) first = kClosed;
      if (second == kDigits) second = kClosed;
    } else if (c == L'-') {
      if (first == kNone || second != kNone || dash || relation) {
        bad = true;
      } else {
        dash = true;
        first = kClosed;
        dashAt = k;
      }
    } else if (c >= L'0' && c <= L'9') {
      if (first == kNone) {
        first = kDigits;
      } else if (first == kClosed) {
        if (!dash || relation || second == kClosed) {
          bad = true;
        } else if (second == kNone) {
          second = kDigits;
        }
      }
    } else if (c == L'<' || c == L'>') {
      if (first != kNone || second != kNone || dash) {
        bad = true;
      } else {
        relation = true;
      }
    } else if (c == L'=') {
      if (!relation || first != kNone || second != kNone || dash) bad = true;
    } else {
      bad = true;
    }
  }

  if (!bad) {
    const wchar_t* t = token.data();
    const wchar_t* end = t + token.size();
    if (dash) {
      m_first = ReadTokenNumber(t, t + dashAt);
      m_last = ReadTokenNumber(t + dashAt + 1, end);
      m_descending = m_last < m_first ? TRUE : FALSE;
    } else {
      // A relational token begins with '<' or '>' and so reads as 0.
      m_first = m_last = ReadTokenNumber(t, end);
    }
    if (!relation && (m_first < 1 || m_last < 1)) bad = true;
  }
  if (bad) {
    m_error = TRUE;
    m_done = TRUE;
  }
}

void VormPointString::GetFirstNumber(DWORD* point) {
  FirstNumberOf(str(), point);
}

void VormPointString::FirstNumberOf(const std::wstring& text, DWORD* point) {
  if (!Restart(text)) return;
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
  // Unsigned decimal, the form the tokenizer reads back for every DWORD.
  wchar_t digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + n % 10);
    n /= 10;
  } while (n != 0);
  for (int k = 0; k < count; ++k) m_numberBuffer[k] = digits[count - 1 - k];
  m_numberBuffer[count] = L'\0';
  out.append(m_numberBuffer, static_cast<std::size_t>(count));
}

void VormPointString::Rewrite(BOOL sorted, const VormPointMarker* drop, bool dedupe) {
  try {
    VormSortedPointString sortedOut;
    VormUnsortedPointString unsortedOut;
    VormPointMarker seen(1);
    // A separate walker over a snapshot of this text, so this object's own state stays
    // as it is unless the rewrite succeeds.
    VormPointString walk;
    DWORD n = 0;
    for (walk.FirstNumberOf(str(), &n); !walk.m_done; walk.GetNextNumber(&n)) {
      if (n == 0) continue;  // relational tokens name no point number
      if (drop && drop->IsMarked(n)) continue;
      if (sorted) {
        // The sorted builder drops repeats by itself.
        if (!sortedOut.Record(n)) return;
      } else {
        if (dedupe) {
          if (seen.IsMarked(n)) continue;
          seen.Mark(n);
          if (!seen.IsMarked(n)) return;  // beyond the bit set, or out of memory
        }
        unsortedOut.m_pending.push_back(n);
      }
    }
    // Rewriting would drop the invalid token and everything after it.
    if (walk.m_error) return;
    const bool built = sorted ? sortedOut.Build() : unsortedOut.Build();
    if (!built) return;
    const VormPointString& result = sorted ? static_cast<const VormPointString&>(sortedOut)
                                           : static_cast<const VormPointString&>(unsortedOut);
    operator=(result);  // virtual: resets label and iteration state
  } catch (const std::bad_alloc&) {
    // Out of memory: the text stays as it was.
  }
}

void VormPointString::RemovePoints(const wchar_t* points, BOOL sorted) {
  VormPointString remove(points);
  if (!remove.IsValid()) return;
  try {
    VormPointMarker drop(1);
    DWORD n = 0;
    for (remove.GetFirstNumber(&n); !remove.m_done; remove.GetNextNumber(&n)) {
      if (n == 0) continue;
      drop.Mark(n);
      // A number that cannot be marked would silently stay in the text.
      if (!drop.IsMarked(n)) return;
    }
    Rewrite(sorted, &drop, false);
  } catch (const std::bad_alloc&) {
  }
}

void VormPointString::Normalize(BOOL sorted) {
  Rewrite(sorted, nullptr, true);
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

VormSortedPointString::~VormSortedPointString() {
  delete m_marker;
}

void VormSortedPointString::AddPoint(const wchar_t* number) {
  m_marker->Mark(ReadAddedNumber(number));
}

void VormSortedPointString::AddPoint(DWORD number) {
  m_marker->Mark(number);
}

bool VormSortedPointString::Record(DWORD number) {
  m_marker->Mark(number);
  return m_marker->IsMarked(number) != FALSE;
}

void VormSortedPointString::BuildString() {
  Build();
}

bool VormSortedPointString::Build() {
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
      const DWORD first = base + static_cast<DWORD>(runBegin);
      const DWORD last = base + static_cast<DWORD>(runEnd - 1);
      if (!text.empty()) text += L',';
      AppendNumber(text, first);
      if (last > first) {
        text += L'-';
        AppendNumber(text, last);
      }
      i = runEnd;
    }
    str().swap(text);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void VormSortedPointString::RemoveAll() {
  Empty();
  m_marker->Clear();
}

void VormSortedPointString::RemovePoint(DWORD number) {
  m_marker->Unmark(number);
}

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

void VormUnsortedPointString::AddPoint(const wchar_t* number) {
  m_pending.push_back(ReadAddedNumber(number));
}

void VormUnsortedPointString::AddPoint(DWORD number) {
  m_pending.push_back(number);
}

void VormUnsortedPointString::BuildString() {
  Build();
}

bool VormUnsortedPointString::Build() {
  std::wstring& text = str();
  TrimRightSpace(text);
  if (m_pending.empty()) return true;
  const std::size_t oldLength = text.size();
  try {
    if (!text.empty()) text += L',';
    DWORD prev = m_pending.front();
    AppendNumber(text, prev);
    enum { kNoRun, kUp, kDown } run = kNoRun;
    for (std::size_t k = 1; k < m_pending.size(); ++k) {
      const DWORD cur = m_pending[k];
      // Runs step by exactly one without wrapping between 0 and 4294967295.
      const bool up = prev != 0xFFFFFFFFu && cur == prev + 1;
      const bool down = prev != 0 && cur == prev - 1;
      if ((run == kUp && !up) || (run == kDown && !down)) {
        text += L'-';
        AppendNumber(text, prev);
        text += L',';
        AppendNumber(text, cur);
        run = kNoRun;
      } else if (run == kNoRun) {
        if (up) {
          run = kUp;
        } else if (down) {
          run = kDown;
        } else {
          if (!text.empty()) text += L',';
          AppendNumber(text, cur);
        }
      }
      prev = cur;
    }
    if (run != kNoRun) {
      text += L'-';
      AppendNumber(text, prev);
    }
  } catch (const std::bad_alloc&) {
    text.resize(oldLength);
    return false;
  }
  m_pending.clear();
  return true;
}

void VormUnsortedPointString::RemoveAll() {
  Empty();
  m_pending.clear();
}
