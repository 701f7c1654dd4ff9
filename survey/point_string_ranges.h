// Point numbers handled a range at a time: the set arithmetic behind Normalize and
// RemovePoints, and the two text writers that the builders share with them. Everything
// here costs time and memory in proportion to the ranges, never to the numbers in them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <vorm/point_string.h>

namespace VormPointString_details {

struct Run {
  DWORD first;
  DWORD last;  // below first for a run that counts down
};

// Closed intervals {lo, hi}, ascending, neither overlapping nor touching: the form in
// which a set of numbers has exactly one text.
using IntervalSet = std::vector<std::pair<DWORD, DWORD>>;

// Every number of every run, as one set.
IntervalSet Merge(const std::vector<Run>& runs);
// The numbers of `from` that are not in `drop`.
IntervalSet Subtract(const IntervalSet& from, const IntervalSet& drop);
// True when no run reaches above `limit`.
bool AllAtMost(const std::vector<Run>& runs, DWORD limit);

// Writes `n` as unsigned decimal and a terminating NUL into `out` (11 characters are
// enough for every DWORD); returns the number of digits.
int FormatNumber(DWORD n, wchar_t* out);

// The sorted builder's text: "lo" or "lo-hi" per interval, separated by commas.
void AppendSorted(std::wstring& text, const IntervalSet& set);
void AppendInterval(std::wstring& text, DWORD lo, DWORD hi);

// The unsorted builder's text: numbers in the order given, each run that steps up or
// down by exactly one written as "first-last". A run handed over whole costs the same as
// a single number and gives the text its numbers one by one would.
//   Add 5, 6, 7, 3, 2, 9, 9 => "5-7,3-2,9,9"      AddRun(1, 3), AddRun(4, 4) => "1-4"
class SequenceWriter {
 public:
  // Appends to `text`, after a comma unless it is empty.
  explicit SequenceWriter(std::wstring& text) : m_text(text) {}
  void Add(DWORD n);
  void AddRun(DWORD first, DWORD last);
  // Closes an open run; call once after the last number.
  void Finish();

 private:
  enum class State { kEmpty, kSingle, kUp, kDown };
  void Append(DWORD n);

  std::wstring& m_text;
  DWORD m_prev = 0;
  State m_state = State::kEmpty;
};

// Unsorted RemovePoints: each run in turn, without the numbers of `drop`.
void WriteWithout(SequenceWriter& out, const std::vector<Run>& runs, const IntervalSet& drop);
// Unsorted Normalize: each run in turn, without the numbers an earlier run named.
void WriteFirstOccurrences(SequenceWriter& out, const std::vector<Run>& runs);

}  // namespace VormPointString_details
