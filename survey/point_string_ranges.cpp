// Range arithmetic and the text writers of point strings.
#include "point_string_ranges.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>

namespace VormPointString_details {

namespace {

std::pair<DWORD, DWORD> Bounds(const Run& run) {
  return run.first <= run.last ? std::pair{run.first, run.last} : std::pair{run.last, run.first};
}

// Appends to `gaps`, ascending, the stretches of lo..hi that the intervals from `it` on
// leave uncovered. `it` is the first interval that ends at or after lo; the intervals
// ascend and do not overlap.
template <class It>
void CollectGaps(DWORD lo, DWORD hi, It it, It end, IntervalSet& gaps) {
  std::uint64_t next = lo;  // the lowest number not yet accounted for
  for (; it != end && it->first <= hi; ++it) {
    if (it->first > next) gaps.emplace_back(static_cast<DWORD>(next), it->first - 1);
    next = std::max(next, std::uint64_t{it->second} + 1);
  }
  if (next <= hi) gaps.emplace_back(static_cast<DWORD>(next), hi);
}

// Writes the pieces of a run (ascending) in the run's own direction.
void WritePieces(SequenceWriter& out, const Run& run, std::span<const std::pair<DWORD, DWORD>> pieces) {
  if (run.first <= run.last) {
    for (const auto& [lo, hi] : pieces) out.AddRun(lo, hi);
  } else {
    for (auto g = pieces.rbegin(); g != pieces.rend(); ++g) out.AddRun(g->second, g->first);
  }
}

}  // namespace

IntervalSet Merge(const std::vector<Run>& runs) {
  IntervalSet sorted;
  sorted.reserve(runs.size());
  for (const Run& run : runs) sorted.push_back(Bounds(run));
  std::sort(sorted.begin(), sorted.end());
  IntervalSet merged;
  for (const auto& [lo, hi] : sorted) {
    // Touching intervals join too: 1-3 and 4-5 are the one run 1-5.
    if (!merged.empty() && lo <= std::uint64_t{merged.back().second} + 1) {
      merged.back().second = std::max(merged.back().second, hi);
    } else {
      merged.emplace_back(lo, hi);
    }
  }
  return merged;
}

IntervalSet Subtract(const IntervalSet& from, const IntervalSet& drop) {
  // Gaps of one interval of `from` are separated by intervals of `drop` and gaps of
  // different ones by the gaps of `from`, so the result needs no merging.
  IntervalSet result;
  auto d = drop.begin();
  for (const auto& [lo, hi] : from) {
    while (d != drop.end() && d->second < lo) ++d;
    CollectGaps(lo, hi, d, drop.end(), result);
  }
  return result;
}

bool AllAtMost(const std::vector<Run>& runs, DWORD limit) {
  return std::all_of(runs.begin(), runs.end(), [limit](const Run& run) { return Bounds(run).second <= limit; });
}

int FormatNumber(DWORD n, wchar_t* out) {
  wchar_t digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + n % 10);
    n /= 10;
  } while (n != 0);
  for (int k = 0; k < count; ++k) out[k] = digits[count - 1 - k];
  out[count] = L'\0';
  return count;
}

namespace {

void AppendNumber(std::wstring& text, DWORD n) {
  wchar_t buffer[11];
  text.append(buffer, static_cast<std::size_t>(FormatNumber(n, buffer)));
}

}  // namespace

void AppendInterval(std::wstring& text, DWORD lo, DWORD hi) {
  if (!text.empty()) text += L',';
  AppendNumber(text, lo);
  if (hi > lo) {
    text += L'-';
    AppendNumber(text, hi);
  }
}

void AppendSorted(std::wstring& text, const IntervalSet& set) {
  for (const auto& [lo, hi] : set) AppendInterval(text, lo, hi);
}

void SequenceWriter::Append(DWORD n) { AppendNumber(m_text, n); }

void SequenceWriter::Add(DWORD n) {
  if (m_state == State::kEmpty) {
    if (!m_text.empty()) m_text += L',';
    Append(n);
    m_prev = n;
    m_state = State::kSingle;
    return;
  }
  // Runs step by exactly one without wrapping between 0 and 4294967295.
  const bool up = m_prev != 0xFFFFFFFFu && n == m_prev + 1;
  const bool down = m_prev != 0 && n == m_prev - 1;
  if ((m_state == State::kUp && !up) || (m_state == State::kDown && !down)) {
    m_text += L'-';
    Append(m_prev);
    m_text += L',';
    Append(n);
    m_state = State::kSingle;
  } else if (m_state == State::kSingle) {
    if (up) {
      m_state = State::kUp;
    } else if (down) {
      m_state = State::kDown;
    } else {
      m_text += L',';
      Append(n);
    }
  }
  m_prev = n;
}

void SequenceWriter::AddRun(DWORD first, DWORD last) {
  // Number by number, a run settles within its first three numbers into an open run in
  // its own direction (an opposite run open before it is closed on the way), and from
  // then on every further number only moves the run's end.
  const State direction = first < last ? State::kUp : State::kDown;
  DWORD n = first;
  Add(n);
  while (n != last && m_state != direction) {
    n = direction == State::kUp ? n + 1 : n - 1;
    Add(n);
  }
  m_prev = last;
}

void SequenceWriter::Finish() {
  if (m_state == State::kUp || m_state == State::kDown) {
    m_text += L'-';
    Append(m_prev);
    m_state = State::kSingle;
  }
}

void WriteWithout(SequenceWriter& out, const std::vector<Run>& runs, const IntervalSet& drop) {
  IntervalSet gaps;
  for (const Run& run : runs) {
    const auto [lo, hi] = Bounds(run);
    const auto d = std::partition_point(drop.begin(), drop.end(), [lo = lo](const auto& i) { return i.second < lo; });
    gaps.clear();
    CollectGaps(lo, hi, d, drop.end(), gaps);
    WritePieces(out, run, gaps);
  }
}

void WriteFirstOccurrences(SequenceWriter& out, const std::vector<Run>& runs) {
  // Each number belongs to the first run that names it. A sweep up the number line,
  // meeting the runs in the order of their low ends and holding those that cover its
  // position in a heap by text order, cuts the line into pieces that each belong to one
  // run; a counting sort then hands every run its pieces, ascending. Time n log n in the
  // runs and memory linear, on flat arrays.
  const std::size_t count = runs.size();
  auto hi = [&runs](std::size_t i) { return std::uint64_t{Bounds(runs[i]).second}; };
  std::vector<std::pair<DWORD, std::size_t>> byLo(count);  // low end, run index
  for (std::size_t i = 0; i < count; ++i) byLo[i] = {Bounds(runs[i]).first, i};
  std::sort(byLo.begin(), byLo.end());

  struct Piece {
    std::size_t owner;
    DWORD lo;
    DWORD hi;
  };
  std::vector<Piece> pieces;
  std::vector<std::size_t> covering;  // a min-heap of run indexes
  const auto later = std::greater<std::size_t>();
  std::uint64_t pos = 0;
  std::size_t next = 0;  // in byLo: the first run not yet met
  while (next < count || !covering.empty()) {
    if (covering.empty()) pos = std::max<std::uint64_t>(pos, byLo[next].first);
    for (; next < count && byLo[next].first <= pos; ++next) {
      covering.push_back(byLo[next].second);
      std::push_heap(covering.begin(), covering.end(), later);
    }
    while (!covering.empty() && hi(covering.front()) < pos) {
      std::pop_heap(covering.begin(), covering.end(), later);
      covering.pop_back();
    }
    if (covering.empty()) continue;
    // The owner holds up to its own end or until a run that may come before it begins.
    const std::size_t owner = covering.front();
    const std::uint64_t end = next < count ? std::min<std::uint64_t>(hi(owner) + 1, byLo[next].first) : hi(owner) + 1;
    if (!pieces.empty() && pieces.back().owner == owner && pieces.back().hi + std::uint64_t{1} == pos) {
      pieces.back().hi = static_cast<DWORD>(end - 1);
    } else {
      pieces.push_back({owner, static_cast<DWORD>(pos), static_cast<DWORD>(end - 1)});
    }
    pos = end;
  }

  std::vector<std::size_t> first(count + 1, 0);  // run i's pieces: [first[i], first[i + 1])
  for (const Piece& p : pieces) ++first[p.owner + 1];
  for (std::size_t i = 0; i < count; ++i) first[i + 1] += first[i];
  IntervalSet byRun(pieces.size());
  std::vector<std::size_t> fill(first.begin(), first.end() - 1);
  for (const Piece& p : pieces) byRun[fill[p.owner]++] = {p.lo, p.hi};
  for (std::size_t i = 0; i < count; ++i) {
    WritePieces(out, runs[i], std::span(byRun).subspan(first[i], first[i + 1] - first[i]));
  }
}

}  // namespace VormPointString_details
