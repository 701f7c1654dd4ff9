#include <vorm/file_match.h>

#include <cstring>
#include <cwchar>

#include <vorm/platform/files.h>

#include "filesystem/tree_names.h"

namespace VormBasicFileMatcher_details {

bool IsDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// The attribute tested by each 2-bit condition of a filter, from the low bits up.
constexpr DWORD kFilterAttributes[8] = {
    FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_COMPRESSED, FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_HIDDEN,
    FILE_ATTRIBUTE_NORMAL,  FILE_ATTRIBUTE_READONLY,   FILE_ATTRIBUTE_SYSTEM,    FILE_ATTRIBUTE_TEMPORARY};

}  // namespace VormBasicFileMatcher_details

using namespace VormBasicFileMatcher_details;

VormBasicFileMatcher::VormBasicFileMatcher()
    : m_filter(0), m_hasMatch(FALSE), m_find(INVALID_HANDLE_VALUE), m_findData(), m_skipDots(TRUE) {}

VormBasicFileMatcher::~VormBasicFileMatcher() { Close(); }

void VormBasicFileMatcher::Close() {
  m_folder.Assign(L"");
  m_pattern.Assign(L"");
  m_filter = 0;
  m_hasMatch = FALSE;
  if (m_find != INVALID_HANDLE_VALUE) {
    FindClose(m_find);
    m_find = INVALID_HANDLE_VALUE;
  }
}

BOOL VormBasicFileMatcher::MatchesFilter(int filter, DWORD attributes) {
  for (int i = 0; i < 8; ++i) {
    const int condition = (filter >> (2 * i)) & 3;
    const bool set = (attributes & kFilterAttributes[i]) != 0;
    if ((condition == 1 && !set) || (condition == 2 && set) || condition == 3) return FALSE;
  }
  return TRUE;
}

bool VormBasicFileMatcher::Passes() const {
  if (m_skipDots && IsDotEntry(m_findData.cFileName)) return false;
  return MatchesFilter(m_filter, m_findData.dwFileAttributes) != FALSE;
}

void VormBasicFileMatcher::Find(const wchar_t* folder, const wchar_t* pattern, int filter) {
  Close();
  m_folder.Assign(folder ? folder : L"");
  m_pattern.Assign(pattern ? pattern : L"");
  m_filter = filter;
  VormPath search(m_folder, 0);
  search.Append(m_pattern.GetText().GetString());
  const FINDEX_SEARCH_OPS op =
      (filter == 0x10 || filter == 0x2090) ? FindExSearchLimitToDirectories : FindExSearchNameMatch;
  m_find = FindFirstFileExW(search, FindExInfoStandard, &m_findData, op, nullptr, 0);
  if (m_find == INVALID_HANDLE_VALUE) return;
  for (;;) {
    if (Passes()) {
      m_hasMatch = TRUE;
      return;
    }
    if (!FindNextFileW(m_find, &m_findData)) return;
  }
}

BOOL VormBasicFileMatcher::FindNext() {
  m_hasMatch = FALSE;
  if (m_find == INVALID_HANDLE_VALUE) return FALSE;
  while (FindNextFileW(m_find, &m_findData)) {
    if (Passes()) {
      m_hasMatch = TRUE;
      return TRUE;
    }
  }
  return FALSE;
}

BOOL VormBasicFileMatcher::HasMatch() const { return m_hasMatch; }

VormPath VormBasicFileMatcher::GetPath() const {
  if (!m_hasMatch) return VormPath(m_folder, 0);
  return VormTreeNames_details::JoinName(m_folder, m_findData.cFileName);
}

VormPath VormBasicFileMatcher::GetRelativePath() const {
  return m_hasMatch ? VormPath(m_findData.cFileName, 0) : VormPath();
}

VormPath VormBasicFileMatcher::GetBaseFolder() const { return VormPath(m_folder, 0); }
