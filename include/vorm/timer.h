// The timer: elapsed time written as report lines to a report file.
#pragma once

#include <vorm/export.h>
#include <vorm/path.h>
#include <vorm/platform/cstring.h>
#include <vorm/platform/wintypes.h>
#include <vorm/stdio_file.h>

// Measures elapsed time with the process clock (VormClock: milliseconds since the process
// started) and writes report lines to its report file:
//   GetReport(L"triangulation", FALSE) with 12.3456 s elapsed
//     => L"\nTimer in triangulation: 12.346 sec\n"
// Stop adds the time since the last Start to the elapsed total. The elapsed text is that
// total; while the total is exactly zero (never stopped, or reset) it is the time since the
// last Start, or since the process started when Start was never called. A reset sets the
// total back to zero after the text is made.
// Thread rule: one thread at a time per object. Ownership: the object owns its report file.
class VORM_API VormTimer : public VormStdioFile {
 public:
  // The report file as VormStdioFile makes it, without a header; throws as it does.
  VormTimer(VormPath file, BOOL timestamp, BOOL overwrite);
  ~VormTimer() override;

  // Starts a lap and returns the clock value.
  long Start();
  // Adds the time since the last Start to the total; Start's mark is left as it is.
  void Stop();
  // The total as "%.3f sec" ("2.000 sec"); see above.
  CString GetElapsedText(BOOL reset);
  // "\nTimer in " + label + ": " + GetElapsedText(reset) + "\n".
  CString GetReport(CString label, BOOL reset);
  // Write the elapsed text or the report line to the file. Without an opened file (or once
  // it was closed) they do nothing at all: no text is made and no reset happens.
  void WriteElapsed(BOOL reset);
  void WriteReport(CString label, BOOL reset);

 private:
  long m_start;      // clock value at the last Start
  double m_elapsed;  // seconds
};
