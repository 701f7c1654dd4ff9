#include <vorm/file_trees.h>

#include <vorm/platform/kernel.h>

#include "entry_filter.h"
#include "tree_names.h"

namespace VormFileTree_details {

bool IsLink(const VormBasicFileMatcher& matcher) {
  return (matcher.GetKnownAttributes() & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Moves past sub-folders that are symbolic links: they are never walked into.
void SkipLinks(VormBasicFileMatcher& matcher) {
  while (matcher.HasMatch() && IsLink(matcher)) matcher.FindNext();
}

constexpr int kFolders = 0x10;

}  // namespace VormFileTree_details

using namespace VormFileTree_details;
using VormTreeNames_details::JoinName;

// ---------------------------------------------------------------- breadth-first folders

VormBFSDirectoryTree::VormBFSDirectoryTree() : m_filter(0) {}

VormBFSDirectoryTree::~VormBFSDirectoryTree() = default;

void VormBFSDirectoryTree::Close() {
  m_root.Assign(L"");
  m_queue.clear();
  m_readError.Clear();
}

void VormBFSDirectoryTree::ListFolders(const VormPath& folder, const wchar_t* pattern) {
  m_matcher.SetSkipDots(TRUE);
  m_matcher.Find(folder, pattern, m_filter);
  m_readError.Note(m_matcher.GetReadError().code, folder);
}

void VormBFSDirectoryTree::Push(const VormPath& relative) { m_queue.emplace_back(relative, 0); }

void VormBFSDirectoryTree::Find(const wchar_t* root, const wchar_t* pattern, int) {
  Close();
  m_root.Assign(root ? root : L"");
  m_filter = kFolders;
  ListFolders(m_root, pattern);
  m_queue.emplace_back();
  for (SkipLinks(m_matcher); m_matcher.HasMatch(); m_matcher.FindNext(), SkipLinks(m_matcher)) {
    Push(VormPath(m_matcher.GetEntryName(), VormPath::BackslashSeparator));
  }
  m_matcher.Close();
}

BOOL VormBFSDirectoryTree::FindNext() {
  if (m_queue.empty()) return FALSE;
  m_queue.pop_front();
  if (m_queue.empty()) return FALSE;
  const VormPath& front = m_queue.front();
  ListFolders(m_root.Join(front.GetText().GetString()), L"*");
  for (SkipLinks(m_matcher); m_matcher.HasMatch(); m_matcher.FindNext(), SkipLinks(m_matcher)) {
    Push(JoinName(front, m_matcher.GetEntryName()));
  }
  m_matcher.Close();
  return TRUE;
}

BOOL VormBFSDirectoryTree::HasMatch() const { return m_queue.empty() ? FALSE : TRUE; }

VormPath VormBFSDirectoryTree::GetPath() const { return m_root.Join(GetRelativePath().GetText().GetString()); }

VormPath VormBFSDirectoryTree::GetRelativePath() const {
  return m_queue.empty() ? VormPath() : VormPath(m_queue.front(), 0);
}

VormPath VormBFSDirectoryTree::GetBaseFolder() const { return VormPath(m_root, 0); }

// ---------------------------------------------------------------- depth-first folders

VormDFSDirectoryTree::VormDFSDirectoryTree() : m_filter(0) {}

VormDFSDirectoryTree::~VormDFSDirectoryTree() { Close(); }

void VormDFSDirectoryTree::Close() {
  m_root.Assign(L"");
  while (!m_stack.empty()) m_stack.pop_front();
  m_readError.Clear();
}

void VormDFSDirectoryTree::Push(const VormPath& folder) {
  auto matcher = std::make_unique<VormBasicFileMatcher>();
  matcher->SetSkipDots(TRUE);
  matcher->Find(folder, m_pattern, m_filter);
  m_readError.Note(matcher->GetReadError().code, folder);
  SkipLinks(*matcher);
  m_stack.push_back(std::move(matcher));
}

void VormDFSDirectoryTree::Descend() {
  while (m_stack.back()->HasMatch()) Push(m_stack.back()->GetPath());
}

void VormDFSDirectoryTree::Find(const wchar_t* root, const wchar_t* pattern, int) {
  Close();
  m_root.Assign(root ? root : L"");
  m_pattern = pattern;
  m_filter = kFolders;
  Push(m_root);
  Descend();
}

BOOL VormDFSDirectoryTree::FindNext() {
  if (m_stack.empty()) return FALSE;
  if (!m_stack.back()->HasMatch()) {
    m_stack.pop_back();
    if (m_stack.empty()) return FALSE;
  }
  VormBasicFileMatcher& tail = *m_stack.back();
  tail.FindNext();
  SkipLinks(tail);
  Descend();  // nothing to descend into leaves the tail's own folder current
  return TRUE;
}

BOOL VormDFSDirectoryTree::HasMatch() const { return m_stack.empty() ? FALSE : TRUE; }

VormPath VormDFSDirectoryTree::GetPath() const {
  return m_stack.empty() ? VormPath() : m_stack.back()->GetBaseFolder();
}

VormPath VormDFSDirectoryTree::GetRelativePath() const {
  VormPath relative;
  for (const auto& matcher : m_stack) {
    if (matcher->HasMatch()) relative = JoinName(relative, matcher->GetEntryName());
  }
  return relative;
}

VormPath VormDFSDirectoryTree::GetBaseFolder() const { return VormPath(m_root, 0); }

// ---------------------------------------------------------------- file walkers

namespace VormFileTree_details {

struct FileTreeWalker::Folder {
  VormFolderListing entries;
  std::wstring relative;  // relative to the root, names joined by '\'; empty for the root
  std::wstring prefix;    // the text an entry's GetPath puts before its name
  size_t descended = 0;   // depth first: entries before this were looked at for sub-folders
  size_t current = 0;     // the entry now yielded
  bool yielding = false;  // its entries are being yielded
};

namespace {

// The text that joins a name to `folder` as one component: the folder, then a separator
// unless the folder is empty or ends with one.
std::wstring PrefixOf(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder;
}

bool IsRealFolder(const VormFolderListing& entries, size_t i) {
  const DWORD known = entries.GetKnownAttributes(i);
  return (known & FILE_ATTRIBUTE_DIRECTORY) && !(known & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

FileTreeWalker::FileTreeWalker(bool depthFirst)
    : m_depthFirst(depthFirst), m_filter(0), m_findData(), m_haveData(false) {}

FileTreeWalker::~FileTreeWalker() = default;

void FileTreeWalker::Close() {
  m_stack.clear();
  m_queue.clear();
  m_root.Assign(L"");
  m_rootPrefix.clear();
  m_pattern.clear();
  m_haveData = false;
  m_readError.Clear();
}

void FileTreeWalker::Enter(std::wstring relative) {
  auto folder = std::make_unique<Folder>();
  folder->prefix = relative.empty() ? m_rootPrefix : m_rootPrefix + relative + L'\\';
  folder->relative = std::move(relative);
  // One read gives the matching entries and every real sub-folder to walk into. A folder
  // that cannot be read has neither.
  if (!folder->entries.Read((folder->prefix + m_pattern).c_str(),
                            VormFolderListing::SkipDots | VormFolderListing::EveryFolder)) {
    m_readError.Note(GetLastError(), VormPath(folder->prefix));
  }
  if (!m_depthFirst) {
    // Breadth first: its sub-folders wait behind every folder already waiting.
    m_stack.clear();
    for (size_t i = 0; i < folder->entries.GetCount(); ++i) {
      if (!IsRealFolder(folder->entries, i)) continue;
      std::wstring child = folder->relative;
      if (!child.empty()) child += L'\\';
      child += folder->entries.GetName(i);
      m_queue.push_back(std::move(child));
    }
  }
  m_stack.push_back(std::move(folder));
}

BOOL FileTreeWalker::SeekEntry(size_t from) {
  m_haveData = false;
  Folder& folder = *m_stack.back();
  folder.yielding = true;
  for (size_t i = from; i < folder.entries.GetCount(); ++i) {
    if (folder.entries.IsMatch(i) && VormBasicFileMatcher_details::EntryPasses(folder.entries, i, m_filter)) {
      folder.current = i;
      return TRUE;
    }
  }
  folder.current = folder.entries.GetCount();
  return FALSE;
}

BOOL FileTreeWalker::NextFolder() {
  for (;;) {
    if (!m_depthFirst) {
      if (m_queue.empty()) {
        m_stack.clear();
        return FALSE;
      }
      std::wstring next = std::move(m_queue.front());
      m_queue.pop_front();
      Enter(std::move(next));
      if (SeekEntry(0)) return TRUE;
      continue;
    }
    if (m_stack.empty()) return FALSE;
    Folder& folder = *m_stack.back();
    if (folder.yielding) {  // done with its entries: back to its parent
      m_stack.pop_back();
      continue;
    }
    // Post-order: every sub-folder is walked before the folder's own entries.
    const VormFolderListing& entries = folder.entries;
    while (folder.descended < entries.GetCount() && !IsRealFolder(entries, folder.descended)) ++folder.descended;
    if (folder.descended < entries.GetCount()) {
      const size_t i = folder.descended++;
      std::wstring child = folder.relative;
      if (!child.empty()) child += L'\\';
      child += entries.GetName(i);
      Enter(std::move(child));
      continue;
    }
    if (SeekEntry(0)) return TRUE;
  }
}

void FileTreeWalker::Find(const wchar_t* root, const wchar_t* pattern, int filter) {
  Close();
  m_root.Assign(root ? root : L"");
  m_rootPrefix = PrefixOf(VormPath(m_root, VormPath::CanonicalForm).GetText().str());
  m_pattern = VormPath(pattern ? pattern : L"", VormPath::CanonicalForm).GetText().str();
  m_filter = filter;
  if (m_depthFirst) {
    Enter(std::wstring());
  } else {
    m_queue.emplace_back();
  }
  NextFolder();
}

BOOL FileTreeWalker::FindNext() {
  if (!HasMatch()) return FALSE;
  if (SeekEntry(m_stack.back()->current + 1)) return TRUE;
  return NextFolder();
}

BOOL FileTreeWalker::HasMatch() const {
  return !m_stack.empty() && m_stack.back()->yielding && m_stack.back()->current < m_stack.back()->entries.GetCount();
}

VormPath FileTreeWalker::GetPath() const {
  if (!HasMatch()) return VormPath();
  const Folder& folder = *m_stack.back();
  return VormPath(folder.prefix + folder.entries.GetName(folder.current));
}

VormPath FileTreeWalker::GetRelativePath() const {
  if (!HasMatch()) return VormPath();
  const Folder& folder = *m_stack.back();
  return VormPath(folder.relative.empty() ? std::wstring(folder.entries.GetName(folder.current))
                                          : folder.relative + L'\\' + folder.entries.GetName(folder.current));
}

VormPath FileTreeWalker::GetBaseFolder() const { return VormPath(m_root, 0); }

DWORD FileTreeWalker::GetKnownAttributes() const {
  return HasMatch() ? m_stack.back()->entries.GetKnownAttributes(m_stack.back()->current) : 0;
}

const WIN32_FIND_DATAW* FileTreeWalker::GetFindData() const {
  if (HasMatch() && !m_haveData) {
    const Folder& folder = *m_stack.back();
    folder.entries.GetData(folder.current, &m_findData);
    m_haveData = true;
  }
  return &m_findData;
}

}  // namespace VormFileTree_details

VormBFSFileTree::~VormBFSFileTree() = default;

VormDFSFileTree::~VormDFSFileTree() = default;
