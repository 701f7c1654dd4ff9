// The folder listing behind VormFolderListing and the find handles: one folder's entries read
// with getdents64, named as the platform names them, sorted as the platform lists them, each
// with what the directory stream says it is; the attribute record is read per entry on demand.
// Thread rule: one thread at a time per listing. Ownership: owns its entries and, when opened
// to work in, the folder's descriptor.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <vorm/platform/files.h>

#include "platform/fs/fs_internal.h"

namespace VormFiles_details {

// What the directory stream says an entry is.
enum class EntryKind : unsigned char { File, Folder, Link, Other };

class Listing {
 public:
  // Internal flag beside VormFolderListing's: read every record while the folder is open and
  // drop the entries that vanished since they were listed (what FindFirstFileExW hands out).
  static constexpr DWORD kReadRecords = 0x100;

  Listing() = default;
  ~Listing() { CloseFolder(); }
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;

  void Clear();
  // Lists `fileName` in FindFirstFileExW's form (a folder and a last component that may hold
  // wildcards). ERROR_SUCCESS or its error code; the folder is closed afterwards.
  DWORD ReadPath(const wchar_t* fileName, DWORD flags);
  // Opens the folder `path` (links followed) to work in and lists it without dot entries.
  DWORD OpenPath(const wchar_t* path);
  // Opens the sub-folder `index` of `parent`, never through a link, and lists it.
  DWORD OpenEntry(const Listing& parent, std::size_t index);

  std::size_t Count() const { return entries_.size(); }
  const wchar_t* Name(std::size_t i) const { return names_.data() + entries_[i].name; }
  std::size_t NameLength(std::size_t i) const { return entries_[i].length; }
  const char* OsName(std::size_t i) const { return osNames_.data() + entries_[i].osName; }
  bool IsMatch(std::size_t i) const { return entries_[i].match; }
  DWORD KnownAttributes(std::size_t i) const;
  // The record of entry `i`: read on first use (0), or the errno of that read, in which case
  // `info` holds the known attributes only.
  int Record(std::size_t i, const FileInfo*& info) const;
  void Fill(std::size_t i, WIN32_FIND_DATAW* out) const;

  // Work inside a folder opened with OpenPath or OpenEntry; ERROR_SUCCESS or the code.
  DWORD DeleteEntry(std::size_t i) const;
  DWORD RemoveFolderEntry(std::size_t i) const;

 private:
  struct Entry {
    std::uint32_t name;    // wide name, terminated, in names_
    std::uint32_t length;  // its length in characters
    std::uint32_t key;     // its upper-cased form in names_ (same length)
    std::uint32_t osName;  // the bytes on disk, terminated, in osNames_
    std::uint32_t record;  // index into pending_ of a record read while listing, or kNone
    EntryKind kind;
    bool dot;
    bool match;
  };
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  DWORD Scan(int fd, std::wstring_view pattern, DWORD flags);
  // Opens `name` relative to `dirFd` as the folder to work in (open(2) `flags` added) and
  // lists it; clears the listing on failure.
  DWORD OpenFolder(int dirFd, const char* name, int flags);
  // ERROR_SUCCESS when entry `i` can be worked on: the folder is open and `i` is an entry.
  DWORD CheckEntry(std::size_t i) const;
  // Adds the entry `name` (from the stream, or looked up by name when `exact`); false when it
  // is left out.
  bool Add(const char* name, unsigned char type, int fd, DWORD flags, bool exact, bool atRoot,
           const WildcardPattern& pattern);
  void Sort();
  void ReadAllRecords();
  void CloseFolder();
  bool Hidden(std::size_t i) const;

  std::vector<Entry> entries_;
  std::vector<wchar_t> names_;
  std::vector<char> osNames_;
  std::vector<FileInfo> pending_;  // records read while listing, before the sort
  // Records by entry index once sorted, read while listing or on demand; state_ is -1 while
  // unread, 0 once read, else the errno of the failed read.
  mutable std::vector<FileInfo> records_;
  mutable std::vector<int> state_;
  std::string folder_;  // the folder's OS path, for records read after it was closed
  int fd_ = -1;         // the folder, when opened to work in
};

}  // namespace VormFiles_details

struct VormFolderListing::Impl : VormFiles_details::Listing {};
