// CTime: whole seconds since 1970 with the platform's local-time parts and formatting.
#include <cwchar>
#include <string>

#include <time.h>

#include <vorm/platform/mfc_file.h>

#include "platform/fs/file_time.h"

namespace {

bool GetLocalTm(__time64_t t, struct tm& out) { return _localtime64_s(&out, &t) == 0; }

bool GetGmtTm(__time64_t t, struct tm& out) {
  if (t < 0 || t > VormFileTime_details::kMaxTime64) return false;
  time_t tt = static_cast<time_t>(t);
  return gmtime_r(&tt, &out) != nullptr;
}

// strftime with the platform's '#' flag (numbers without leading zeros).
CString FormatTm(const struct tm& tm, const wchar_t* format) {
  if (!format) return CString();
  static const wchar_t kKnown[] = L"aAbBcdHIjmMpSUwWxXyYzZCDeFgGhnrRtTuV";
  static const wchar_t kNumeric[] = L"dHIjmMSUwWyY";
  std::wstring out;
  for (const wchar_t* p = format; *p; ++p) {
    if (*p != L'%') {
      out += *p;
      continue;
    }
    const wchar_t* start = p;
    bool alt = false;
    if (p[1] == L'#') {
      alt = true;
      ++p;
    }
    wchar_t c = p[1];
    if (c == L'%') {
      out += L'%';
      ++p;
      continue;
    }
    if (c == L'\0' || !std::wcschr(kKnown, c)) {
      // Not a conversion: copied as written.
      out.append(start, static_cast<size_t>(p - start) + 1);
      continue;
    }
    ++p;
    wchar_t conversion[3] = {L'%', c, L'\0'};
    wchar_t buf[128];
    size_t n = std::wcsftime(buf, sizeof buf / sizeof buf[0], conversion, &tm);
    std::wstring piece(buf, n);
    if (alt && std::wcschr(kNumeric, c)) {
      size_t zeros = 0;
      while (zeros + 1 < piece.size() && piece[zeros] == L'0') ++zeros;
      piece.erase(0, zeros);
    }
    out += piece;
  }
  return CString(std::move(out));
}

int LocalPart(__time64_t t, int tm::*field, int offset) {
  struct tm tm;
  return GetLocalTm(t, tm) ? tm.*field + offset : 0;
}

}  // namespace

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int dst) {
  struct tm tm {};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = dst < 0 ? -1 : (dst > 0 ? 1 : 0);
  time_t t = mktime(&tm);
  m_time = t == static_cast<time_t>(-1) ? 0 : static_cast<__time64_t>(t);
}

CTime::CTime(const FILETIME& fileTime) {
  if (fileTime.dwLowDateTime == 0 && fileTime.dwHighDateTime == 0) return;  // "not set" stays not set
  m_time = VormFileTime_details::UnixSeconds(fileTime);
}

CTime CTime::GetCurrentTime() { return CTime(_time64(nullptr)); }

int CTime::GetYear() const { return LocalPart(m_time, &tm::tm_year, 1900); }
int CTime::GetMonth() const { return LocalPart(m_time, &tm::tm_mon, 1); }
int CTime::GetDay() const { return LocalPart(m_time, &tm::tm_mday, 0); }
int CTime::GetHour() const { return LocalPart(m_time, &tm::tm_hour, 0); }
int CTime::GetMinute() const { return LocalPart(m_time, &tm::tm_min, 0); }
int CTime::GetSecond() const { return LocalPart(m_time, &tm::tm_sec, 0); }
int CTime::GetDayOfWeek() const { return LocalPart(m_time, &tm::tm_wday, 1); }

CString CTime::Format(const wchar_t* format) const {
  struct tm tm;
  return GetLocalTm(m_time, tm) ? FormatTm(tm, format) : CString();
}

CString CTime::FormatGmt(const wchar_t* format) const {
  struct tm tm;
  return GetGmtTm(m_time, tm) ? FormatTm(tm, format) : CString();
}
