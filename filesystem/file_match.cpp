#include <vorm/file_match.h>

#include <cstring>
#include <cwchar>

#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>

#include "entry_filter.h"
#include "tree_names.h"

namespace VormBasicFileMatcher_details {

namespace {

// The attribute tested by each 2-bit condition of a filter, from the low bits up.
constexpr DWORD kFilterAttributes[8] = {FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_COMPRESSED, FILE_ATTRIBUTE_DIRECTORY,
                                        FILE_ATTRIBUTE_HIDDEN,  FILE_ATTRIBUTE_NORMAL,     FILE_ATTRIBUTE_READONLY,
                                        FILE_ATTRIBUTE_SYSTEM,  FILE_ATTRIBUTE_TEMPORARY};

// The 2-bit fields of a filter that hold the conditions on `attributes`.
int ConditionsOn(DWORD attributes) {
  int fields = 0;
  for (int i = 0; i < 8; ++i) {
    if (attributes & kFilterAttributes[i]) fields |= 3 << (2 * i);
  }
  return fields;
}

}  // namespace

bool EntryPasses(const VormFolderListing& listing, size_t index, int filter) {
  const DWORD known = listing.GetKnownAttributes(index);
  // What only the record says: the read-only bit (and so whether nothing else applies), and
  // for a link the attributes of what it points to. The other conditions go first, so an
  // entry they refuse costs no record.
  const DWORD recordOnly = (known & FILE_ATTRIBUTE_REPARSE_POINT)
                               ? FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE
                               : FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NORMAL;
  const int needsRecord = filter & ConditionsOn(recordOnly);
  if (!VormBasicFileMatcher::MatchesFilter(filter & ~needsRecord, known)) return false;
  if (needsRecord == 0) return true;
  WIN32_FIND_DATAW data;
  listing.GetData(index, &data);
  return VormBasicFileMatcher::MatchesFilter(filter, data.dwFileAttributes) != FALSE;
}

}  // namespace VormBasicFileMatcher_details

using VormBasicFileMatcher_details::EntryPasses;

void VormReadError::Note(DWORD error, const VormPath& where) {
  if (code != 0 || error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
  code = error;
  folder = where;
}

void VormReadError::Clear() {
  code = 0;
  folder.Assign(L"");
}

VormBasicFileMatcher::VormBasicFileMatcher()
    : m_filter(0), m_hasMatch(FALSE), m_index(0), m_findData(), m_haveData(false), m_skipDots(TRUE) {}

VormBasicFileMatcher::~VormBasicFileMatcher() { Close(); }

void VormBasicFileMatcher::Close() {
  m_folder.Assign(L"");
  m_pattern.Assign(L"");
  m_filter = 0;
  m_hasMatch = FALSE;
  m_haveData = false;
  m_listing.Clear();
  m_readError.Clear();
}

BOOL VormBasicFileMatcher::MatchesFilter(int filter, DWORD attributes) {
  using VormBasicFileMatcher_details::kFilterAttributes;
  for (int i = 0; i < 8; ++i) {
    const int condition = (filter >> (2 * i)) & 3;
    const bool set = (attributes & kFilterAttributes[i]) != 0;
    if ((condition == 1 && !set) || (condition == 2 && set) || condition == 3) return FALSE;
  }
  return TRUE;
}

BOOL VormBasicFileMatcher::Seek(size_t index) {
  m_haveData = false;
  for (m_index = index; m_index < m_listing.GetCount(); ++m_index) {
    if (EntryPasses(m_listing, m_index, m_filter)) return m_hasMatch = TRUE;
  }
  return m_hasMatch = FALSE;
}

void VormBasicFileMatcher::Find(const wchar_t* folder, const wchar_t* pattern, int filter) {
  Close();
  m_folder.Assign(folder ? folder : L"");
  m_pattern.Assign(pattern ? pattern : L"");
  m_filter = filter;
  VormPath search(m_folder, 0);
  search.Append(m_pattern.GetText().GetString());
  DWORD flags = m_skipDots ? VormFolderListing::SkipDots : 0;
  // The platform's hint for folder searches: entries known to be files are not even listed.
  if (filter == 0x10 || filter == 0x2090) flags |= VormFolderListing::FoldersOnly;
  if (m_listing.Read(search, flags)) {
    Seek(0);
  } else {
    m_readError.Note(GetLastError(), m_folder);
  }
}

BOOL VormBasicFileMatcher::FindNext() {
  if (!m_hasMatch) return FALSE;
  return Seek(m_index + 1);
}

BOOL VormBasicFileMatcher::HasMatch() const { return m_hasMatch; }

const WIN32_FIND_DATAW* VormBasicFileMatcher::GetFindData() const {
  if (m_hasMatch && !m_haveData) {
    m_listing.GetData(m_index, &m_findData);
    m_haveData = true;
  }
  return &m_findData;
}

const wchar_t* VormBasicFileMatcher::GetEntryName() const { return m_hasMatch ? m_listing.GetName(m_index) : L""; }

DWORD VormBasicFileMatcher::GetKnownAttributes() const {
  return m_hasMatch ? m_listing.GetKnownAttributes(m_index) : 0;
}

VormPath VormBasicFileMatcher::GetPath() const {
  if (!m_hasMatch) return VormPath(m_folder, 0);
  return VormTreeNames_details::JoinName(m_folder, GetEntryName());
}

VormPath VormBasicFileMatcher::GetRelativePath() const { return m_hasMatch ? VormPath(GetEntryName(), 0) : VormPath(); }

VormPath VormBasicFileMatcher::GetBaseFolder() const { return VormPath(m_folder, 0); }
