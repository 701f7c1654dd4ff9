// The timer and its report lines.
#include <vorm/platform/time.h>
#include <vorm/timer.h>

namespace {
double SecondsSince(long start) { return static_cast<double>(VormClock() - start) / 1000.0; }
}  // namespace

VormTimer::VormTimer(VormPath file, BOOL timestamp, BOOL overwrite)
    : VormStdioFile(std::move(file), timestamp, overwrite, FALSE), m_start(0), m_elapsed(0.0) {}

VormTimer::~VormTimer() = default;

long VormTimer::Start() {
  m_start = VormClock();
  return m_start;
}

void VormTimer::Stop() { m_elapsed += SecondsSince(m_start); }

CString VormTimer::GetElapsedText(BOOL reset) {
  if (m_elapsed == 0.0) m_elapsed = SecondsSince(m_start);
  CString text;
  text.Format(L"%.3f sec", m_elapsed);
  if (reset) m_elapsed = 0.0;
  return text;
}

CString VormTimer::GetReport(CString label, BOOL reset) {
  return CString(L"\nTimer in ") + label + L": " + GetElapsedText(reset) + L"\n";
}

// A report file that its owner has closed since takes no more text; writing would fail.
void VormTimer::WriteElapsed(BOOL reset) {
  if (!m_opened || !m_pStream) return;
  CString text = GetElapsedText(reset);
  if (!text.IsEmpty()) WriteString(text);
}

void VormTimer::WriteReport(CString label, BOOL reset) {
  if (!m_opened || !m_pStream) return;
  CString text = GetReport(std::move(label), reset);
  if (!text.IsEmpty()) WriteString(text);
}
