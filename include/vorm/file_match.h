// The file-match protocol and the single-folder matcher.
//
// VormFileMatch is the seven-operation iteration protocol shared by the matcher and the four
// tree walkers: Find, then while HasMatch(): read GetPath/GetRelativePath, FindNext().
// Close may come at any time; a new Find closes the previous search first.
//
// Attribute filter: a word of eight 2-bit conditions on an entry's attributes, from bit 0:
// ARCHIVE, COMPRESSED, DIRECTORY, HIDDEN, NORMAL, READONLY, SYSTEM, TEMPORARY. Each condition
// is 0 = does not matter, 1 = must be set, 2 = must be clear, 3 = never matches. Filter 0
// passes everything; 0x10 = folders only; 0x20 = no folders; 0x2090 = folders that are
// neither hidden nor system.
#pragma once

#include <vorm/export.h>
#include <vorm/path.h>
#include <vorm/platform/files.h>
#include <vorm/platform/wintypes.h>

// The first folder a search or walk could not read, other than one that is missing (a denied
// permission, an I/O error): its platform error code and the folder. The matcher and the
// walkers go on without what such a folder holds, as the platform's searches do; a caller that
// must not take a partial walk for a whole one checks it after the walk. A plain value.
struct VORM_API VormReadError {
  DWORD code = 0;  // 0 while every folder was read
  VormPath folder;
  // Keeps the first error noted: `error` from reading `where`, unless it only says that the
  // folder is missing or holds nothing that matches.
  void Note(DWORD error, const VormPath& where);
  void Clear();
};

// Iteration protocol; implementations belong to one thread.
class VORM_API VormFileMatch {
 public:
  virtual void Close() = 0;
  virtual void Find(const wchar_t* folder, const wchar_t* pattern, int filter) = 0;
  virtual BOOL FindNext() = 0;
  virtual BOOL HasMatch() const = 0;
  virtual VormPath GetPath() const = 0;
  virtual VormPath GetRelativePath() const = 0;
  virtual VormPath GetBaseFolder() const = 0;
  // Declared after the seven operations, where every implementation's destructor sits, so
  // that deleting any matcher or walker through this interface is safe.
  virtual ~VormFileMatch() = default;
};

// Lists the entries of one folder that match a wildcard pattern (the platform's rules:
// '*', '?', "*.*", "*.", case-insensitive) and an attribute filter, in the order the
// platform lists them ("." and ".." first, then by name without regard to case).
// The folder is read once by Find (VormFolderListing). An entry's full record (read-only bit,
// times, size) costs a statx and is read only when asked for: by GetFindData, or by a filter
// that tests the read-only or normal attribute (or, for a link, what it points to); a filter
// on the directory, archive or hidden attribute is answered from the listing itself.
// One thread; owns its listing, released in Close or the destructor.
class VORM_API VormBasicFileMatcher : public VormFileMatch {
 public:
  VormBasicFileMatcher();
  virtual ~VormBasicFileMatcher();
  VormBasicFileMatcher(const VormBasicFileMatcher&) = delete;
  VormBasicFileMatcher& operator=(const VormBasicFileMatcher&) = delete;

  void Close() override;
  // Searches folder Join pattern (both canonicalised; an empty folder searches the pattern
  // alone). The first entry that passes is current afterwards, if any.
  void Find(const wchar_t* folder, const wchar_t* pattern, int filter) override;
  BOOL FindNext() override;
  BOOL HasMatch() const override;
  // folder Join entry name; the folder itself without a current entry.
  VormPath GetPath() const override;
  // The entry name; empty without a current entry.
  VormPath GetRelativePath() const override;
  // The folder exactly as passed to Find.
  VormPath GetBaseFolder() const override;

  // The platform's record of the current entry (read on the first call for each entry).
  // Without a current entry, the record last read.
  const WIN32_FIND_DATAW* GetFindData() const;
  // The current entry's name, and the attributes known without reading its record
  // (VormFolderListing::GetKnownAttributes); "" and 0 without a current entry.
  const wchar_t* GetEntryName() const;
  DWORD GetKnownAttributes() const;
  // The folder could not be read by the last Find (see VormReadError).
  const VormReadError& GetReadError() const { return m_readError; }
  // Whether "." and ".." are left out; read by Find. TRUE after construction.
  void SetSkipDots(BOOL skip) { m_skipDots = skip; }
  BOOL GetSkipDots() const { return m_skipDots; }
  static BOOL MatchesFilter(int filter, DWORD attributes);

 private:
  // Moves to the first entry from `index` on that passes; whether there is one.
  BOOL Seek(size_t index);

  VormPath m_folder;
  VormPath m_pattern;
  int m_filter;
  BOOL m_hasMatch;
  VormFolderListing m_listing;
  size_t m_index;  // the current entry in m_listing
  mutable WIN32_FIND_DATAW m_findData;
  mutable bool m_haveData;  // m_findData holds the current entry's record
  BOOL m_skipDots;
  VormReadError m_readError;
};
