// Normalize and RemovePoints done the plain way, one number at a time through bit sets:
// the library's earlier algorithm, kept as the reference that the tests, the fuzz target
// and the benchmark compare the range-based rewrites against. Its cost grows with the
// numbers a text names (a bit per number up to the highest one), so callers keep its
// inputs small.
#pragma once

#include <string>

#include <vorm/point_string.h>

namespace point_string_reference {

// The text that `text`.Normalize(sorted) (points null) or `text`.RemovePoints(points,
// sorted) leaves.
inline std::wstring Rewrite(const std::wstring& text, const wchar_t* points, bool sorted) {
  VormPointMarker drop(1);
  if (points) {
    VormPointString remove(points);
    if (!remove.IsValid()) return text;
    DWORD n = 0;
    for (remove.GetFirstNumber(&n); !remove.IsDone(); remove.GetNextNumber(&n)) {
      if (n == 0) continue;
      drop.Mark(n);
      if (!drop.IsMarked(n)) return text;  // beyond the bit set
    }
  }
  VormSortedPointString sortedOut;
  VormUnsortedPointString unsortedOut;
  VormPointMarker seen(1);
  VormPointString walk{CString(text)};
  DWORD n = 0;
  for (walk.GetFirstNumber(&n); !walk.IsDone(); walk.GetNextNumber(&n)) {
    if (n == 0 || drop.IsMarked(n)) continue;
    if (sorted) {
      if (n > VormPointMarker::kMaxNumber) return text;  // the sorted builder cannot hold it
      sortedOut.AddPoint(n);
    } else {
      if (!points) {
        if (seen.IsMarked(n)) continue;
        seen.Mark(n);
        if (!seen.IsMarked(n)) return text;
      }
      unsortedOut.AddPoint(n);
    }
  }
  if (!walk.IsValid()) return text;  // the walk stopped at an invalid token
  VormPointString& out = sorted ? static_cast<VormPointString&>(sortedOut) : unsortedOut;
  sorted ? sortedOut.BuildString() : unsortedOut.BuildString();
  return out.str();
}

}  // namespace point_string_reference
