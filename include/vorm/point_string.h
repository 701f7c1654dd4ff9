// Point strings: sets and sequences of survey point numbers written as text, such as
// "1-5,7,10-12", with a tokenizer that validates and walks them, and two builders that
// write such text from numbers (sorted into a bit set, or kept in the order given).
//
// Grammar. The text is a list of tokens separated by commas. White space at either end of
// a token is ignored and empty tokens are skipped; inside a token only the blank (U+0020)
// may stand between its parts. A token is
//   a number          "12", " 12 ", "007"
//   a range           "3-7", "3 - 7", "9-5" (a range may run downwards)
//   a relational one  "<5", ">= 12", "<" : a run of '<', '>' and '=' that begins with '<'
//                     or '>', then at most one number. It names the single value 0.
// Any other token is invalid, and so is a number or range end of 0:
//   valid   "1-3,5"  " 1 - 3 ,, 7 ,"  "<5"  ">= 12"  ""  "   "
//   invalid "0"  "3-0"  "-3"  "3-"  "1 2"  "1-2-3"  "1-2 3"  "1\t-2"  "=5"  "5<"  "1,x,3"
//
// Numbers. Point numbers are 1 to 4294967295 (the whole DWORD range). Text numbers are read
// as unsigned decimal; digits worth more than 4294967295 read as 4294967295. Numbers are
// written as unsigned decimal, so every number a builder writes reads back unchanged:
//   "3000000000" walks 3000000000          "99999999999" walks 4294967295
// A signed 32-bit reading (_wtol, "%ld") would turn 3000000000 into 2147483647 when read
// and into "-1294967296", an invalid token, when written; up to 2147483647 both readings
// agree. The bit set of the sorted builder holds 1 to kMaxNumber only.
//
// Iteration. GetFirstNumber / GetNextNumber walk the numbers, GetFirstRange / GetNextRange
// the tokens; both stop with IsDone() TRUE at the end of the text or at the first invalid
// token. The number handed out together with done is not part of the set:
//
//   DWORD n = 0;
//   for (s.GetFirstNumber(&n); !s.IsDone(); s.GetNextNumber(&n)) Use(n);
//
//   "1-3,5"  walks 1, 2, 3, 5        "5-3" walks 5, 4, 3       "<5" walks 0
//   "1,x,3"  walks 1, then stops with the error flag set (IsValid() gives FALSE)
//   ""       sets done at once and leaves the output unchanged
//
// Iteration state lives in the object and is shared by both walks, GetCount and IsValid;
// each of the last three restarts it. The walks read a snapshot of the text taken by
// GetFirstNumber / GetFirstRange: changing the text meanwhile does not disturb them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include <vorm/platform/cstring.h>
#include <vorm/platform/wintypes.h>

// A bit set over unsigned 32-bit numbers from a base upwards: bit i stands for base + i.
// It covers numbers up to kMaxNumber and grows on demand, kGrowBits beyond the number
// that needed the growth. One thread at a time; owns its bit array.
class VORM_API VormPointMarker {
 public:
  // How far past a number the array grows when marking it needs more room.
  static constexpr DWORD kGrowBits = 1024;
  // The highest number that can be marked: 2^32 - 1 - kGrowBits, so that the number,
  // its growth margin and the marker's end all fit a DWORD.
  static constexpr DWORD kMaxNumber = 4294966271u;

  explicit VormPointMarker(DWORD base);
  // Deep copies. Allocation failure throws std::bad_alloc; assignment then leaves the
  // target as it was.
  VormPointMarker(const VormPointMarker& other);
  VormPointMarker& operator=(const VormPointMarker& other);
  virtual ~VormPointMarker();

  // Marking and unmarking grow the array to the number + kGrowBits when it is beyond the
  // end; a failed growth leaves the marker as it was. Numbers above kMaxNumber and below
  // the base lie outside the set: they are ignored, never marked.
  //   Mark(5) on a new marker with base 1 => IsMarked(5) TRUE, GetEnd() 1 + 4 + 1024
  //   Mark(0) with base 1 => nothing;  Mark(kMaxNumber + 1) => nothing
  void Mark(DWORD n);
  void Unmark(DWORD n);
  BOOL IsMarked(DWORD n) const;

  // Sets how many numbers the array covers (rounded up to whole bytes in storage); new
  // bytes read as unmarked and bits beyond a shrunken end are cleared. 0 frees the
  // array. FALSE, with nothing changed, when memory runs out or when base + bits would
  // pass 4294967295.
  BOOL SetBitCount(DWORD bits);
  DWORD GetBase() const { return m_base; }
  // One past the highest number covered: base + bit count.
  DWORD GetEnd() const { return m_base + m_bitCount; }
  BOOL Clear() { return SetBitCount(0); }

  // Index-level access (index = number - base). Indexes at or beyond the bit count are
  // ignored by SetBit and ClearBit and read as FALSE by TestBit.
  void SetBit(DWORD i);
  void ClearBit(DWORD i);
  BOOL TestBit(DWORD i) const;

 private:
  friend class VormSortedPointString;
  // First index at or after `from` whose bit equals `value`, or the bit count when
  // there is none. Skips blocks known to be clear and whole 64-bit words that cannot
  // hold the answer, so a sparse set is walked without reading (or paging in) its
  // empty stretches.
  std::uint64_t FindBit(std::uint64_t from, bool value) const;
  BOOL Change(DWORD n, bool value);

  BYTE* m_bits = nullptr;  // malloc'd, ceil(bit count / 8) bytes
  DWORD m_bitCount = 0;
  DWORD m_base;
  // One bit per 4096-byte block of m_bits: clear means every bit of the block is clear.
  // Set bits may be stale (the block was emptied since); that only costs a look.
  std::vector<std::uint64_t> m_summary;
};

namespace VormPointString_details {

// What one token is by the grammar above, and the numbers it names.
enum class TokenKind {
  kMalformed,  // breaks the grammar: "x", "1 2", "-3", "1-2-3", "=5", "5<", "<5-3"
  kNumber,     // "12", "007", "0"
  kRange,      // "3-7", "3 - 7", "9-5", "3-0", "3-"
  kRelation,   // "<5", ">= 12", "<"
};

struct TokenClass {
  TokenKind kind;
  DWORD first;  // 0 for a malformed or relational token
  DWORD last;   // equal to first except for a range
  // Relational tokens are valid as they stand, numbers and ranges when no number is 0.
  bool IsValid() const {
    return kind == TokenKind::kRelation || (kind != TokenKind::kMalformed && first != 0 && last != 0);
  }
};

// Classifies one token, already trimmed of white space at its ends. Pure: no state, no
// allocation, any length.
//   "12" => number 12, 12        "9 - 5" => range 9, 5        ">= 12" => relation 0, 0
//   "0"  => number 0, 0 (invalid) "3-"   => range 3, 0 (invalid)  "1 2" => malformed
VORM_API TokenClass ClassifyToken(std::wstring_view token);

// A token's numbers in walking order: first, first +/- 1, ..., last.
struct Run;

}  // namespace VormPointString_details

// The point-string text itself (it is a CString, so every string operation applies) plus
// a tokenizer, a count, a validity test and two rewriting operations. A free-text label
// rides along for the caller and is never interpreted. One thread at a time; a value.
class VORM_API VormPointString : public CString {
 public:
  VormPointString();
  VormPointString(const wchar_t* text);
  VormPointString(const CString& text);
  // Copies everything: text, label and iteration state.
  VormPointString(const VormPointString& other);
  virtual ~VormPointString();

  // Copies the other string's text only; the label becomes empty and the iteration state
  // is reset. Assigning plain text (s = L"1-5") goes through here too.
  virtual VormPointString& operator=(const VormPointString& other);

  // Removes every number that `points` names; the rest is rewritten sorted (ascending,
  // runs compressed) or unsorted (order and duplicates kept). Relational tokens (value 0)
  // drop out. The label is emptied. Changes nothing when `points` is invalid, when this
  // text holds an invalid token, when `points` names a number above kMaxNumber, when a
  // sorted rewrite would keep one (the sorted builder's bit set cannot hold it), or when
  // memory runs out. Works on the ranges the tokens name, so "1-4000000000" costs no more
  // than "1-4".
  //   "1-5"     RemovePoints("2-3", TRUE)  => "1,4-5"
  //   "5,1-3,2" RemovePoints("2", FALSE)   => "5,1,3"
  //   "1-5"     RemovePoints("2,a", TRUE)  => "1-5" (unchanged)
  //   "4294967295,1" RemovePoints("1", FALSE) => "4294967295"   (..., TRUE) => unchanged
  virtual void RemovePoints(const wchar_t* points, BOOL sorted);
  // Rewrites the text without duplicates: sorted, or keeping the first occurrence of
  // each number in text order. Changes nothing when the text holds an invalid token or a
  // number above kMaxNumber, or when memory runs out; the cost, like RemovePoints', grows
  // with the tokens, not with the numbers they name.
  //   "5,1-3,2" Normalize(TRUE) => "1-3,5"      Normalize(FALSE) => "5,1-3"
  //   "3-5,1-4" Normalize(TRUE) => "1-5"        Normalize(FALSE) => "3-5,1-2"
  //   "<5,3"    Normalize(TRUE) => "3"          "1,x,3" Normalize(TRUE) => "1,x,3"
  virtual void Normalize(BOOL sorted);

  // Null output pointers are allowed; the value is then not handed out.
  virtual void GetFirstNumber(DWORD* point);
  virtual void GetNextNumber(DWORD* point);
  virtual void GetFirstRange(DWORD* first, DWORD* last);
  virtual void GetNextRange(DWORD* first, DWORD* last);
  virtual BOOL IsDone() const;

  virtual void SetLabel(const wchar_t* text);
  virtual BOOL HasLabel() const;
  virtual const wchar_t* GetLabel() const;

  // TRUE when every token is valid ("" is valid). When an earlier walk, count or test
  // stopped at an invalid token, the first call after it answers FALSE from that error
  // without reading the text again, and clears it.
  virtual BOOL IsValid();
  // How many numbers the text names, up to the first invalid token; a relational token
  // counts 1. Saturates at 4294967295.
  //   "1-3,5" => 4    "5-3" => 3    "<5" => 1    "1,x,3" => 1    "" => 0
  virtual DWORD GetCount();

  // One tokenizer step: takes the next non-empty token of the snapshot, classifies it
  // and sets the current range; sets done at the end and done + error at an invalid token.
  void ParseNextToken();

 protected:
  // Appends `n` as unsigned decimal, formatted in the number buffer.
  void AppendNumber(std::wstring& out, DWORD n);

 private:
  // Resets the walk and takes the trimmed snapshot of `text`; false (done set) when it
  // is empty.
  bool Restart(const std::wstring& text);
  // The runs of the tokens of `text` in order, relational tokens (no point number) left
  // out; false when a token is invalid.
  static bool ReadRuns(const std::wstring& text, std::vector<VormPointString_details::Run>& runs);
  // Takes `text` as this string's new text through the virtual operator=, which resets
  // the label and the iteration state.
  void AssignRewritten(std::wstring& text);

  CString m_rest;             // snapshot of the text being tokenised
  std::size_t m_restPos = 0;  // where the untokenised part of m_rest begins
  CString m_label;
  CString m_token;  // the current token, trimmed
  DWORD m_first = 0;
  DWORD m_last = 0;
  DWORD m_current = 0;
  BOOL m_done = FALSE;
  BOOL m_descending = FALSE;
  BOOL m_error = FALSE;
  DWORD m_count = 0;
  wchar_t m_numberBuffer[128] = {};
};

// Builds point-string text from numbers collected in a bit set: BuildString writes them
// ascending without duplicates, runs of two or more as "a-b". Adding never changes the
// text; only BuildString and RemoveAll do. The bit set survives BuildString.
//   AddPoint 1, 3, 4, 5, 9, 10 then BuildString => "1,3-5,9-10"
//   AddPoint 7 twice => "7"      AddPoint 5 and 6 => "5-6"      nothing => ""
// One thread at a time; owns its marker.
class VORM_API VormSortedPointString : public VormPointString {
 public:
  VormSortedPointString();
  // Copies text, state and the marked numbers.
  VormSortedPointString(const VormSortedPointString& other);
  // Text as for VormPointString (label and state reset), plus the marked numbers.
  VormSortedPointString& operator=(const VormSortedPointString& other);
  // Assignment from any point string copies its text only; the marked numbers stay.
  using VormPointString::operator=;
  ~VormSortedPointString() override;

  // Marks the number read from the text as unsigned decimal after optional white space
  // and '+'; a text without digits, or a negative number, gives 0, which is ignored.
  virtual void AddPoint(const wchar_t* number);
  // Numbers outside 1..kMaxNumber are ignored, as is a number the marker has no memory for.
  virtual void AddPoint(DWORD number);
  // Rewrites the text from the marked numbers. When memory for the text runs out the
  // text is left as it was.
  virtual void BuildString();
  virtual void RemoveAll();
  virtual void RemovePoint(DWORD number);

 private:
  VormPointMarker* m_marker;
};

// Builds point-string text from numbers in the order they are added: BuildString appends
// them to the existing text, compressing runs that go up or down by one, and then forgets
// them. Order and duplicates are kept.
//   [5, 6, 7, 3, 2, 9, 9] => "5-7,3-2,9,9"        "1-2" + [4] => "1-2,4"
// One thread at a time; a value.
class VORM_API VormUnsortedPointString : public VormPointString {
 public:
  VormUnsortedPointString();
  VormUnsortedPointString(const VormUnsortedPointString& other) = default;
  // Text as for VormPointString (label and state reset), plus the pending numbers.
  VormUnsortedPointString& operator=(const VormUnsortedPointString& other);
  using VormPointString::operator=;
  ~VormUnsortedPointString() override;

  // Appends the number read as for VormSortedPointString::AddPoint (0 when there is none;
  // BuildString then writes "0", which reads back as an invalid token).
  virtual void AddPoint(const wchar_t* number);
  virtual void AddPoint(DWORD number);
  // Appends the pending numbers to the text (after trimming its right end) and forgets
  // them. When memory for the text runs out, text and pending numbers are left as they were.
  virtual void BuildString();
  virtual void RemoveAll();

 private:
  std::vector<DWORD> m_pending;
};
