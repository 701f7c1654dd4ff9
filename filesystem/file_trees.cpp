#include <vorm/file_trees.h>

#include "filesystem/tree_names.h"

namespace VormFileTree_details {

bool IsLink(const VormBasicFileMatcher& matcher) {
  return (matcher.GetFindData()->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
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
}

void VormBFSDirectoryTree::Push(const VormPath& relative) { m_queue.emplace_back(relative, 0); }

void VormBFSDirectoryTree::Find(const wchar_t* root, const wchar_t* pattern, int) {
  Close();
  m_root.Assign(root ? root : L"");
  m_filter = kFolders;
  m_matcher.SetSkipDots(TRUE);
  m_matcher.Find(m_root, pattern, kFolders);
  m_queue.emplace_back();
  for (SkipLinks(m_matcher); m_matcher.HasMatch(); m_matcher.FindNext(), SkipLinks(m_matcher)) {
    Push(VormPath(m_matcher.GetFindData()->cFileName, VormPath::BackslashSeparator));
  }
  m_matcher.Close();
}

BOOL VormBFSDirectoryTree::FindNext() {
  if (m_queue.empty()) return FALSE;
  m_queue.pop_front();
  if (m_queue.empty()) return FALSE;
  const VormPath& front = m_queue.front();
  m_matcher.SetSkipDots(TRUE);
  m_matcher.Find(m_root.Join(front.GetText().GetString()), L"*", m_filter);
  for (SkipLinks(m_matcher); m_matcher.HasMatch(); m_matcher.FindNext(), SkipLinks(m_matcher)) {
    Push(JoinName(front, m_matcher.GetFindData()->cFileName));
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
}

void VormDFSDirectoryTree::Descend() {
  while (m_stack.back()->HasMatch()) {
    const VormPath next = m_stack.back()->GetPath();
    auto matcher = std::make_unique<VormBasicFileMatcher>();
    matcher->SetSkipDots(TRUE);
    matcher->Find(next, m_pattern, m_filter);
    SkipLinks(*matcher);
    m_stack.push_back(std::move(matcher));
  }
}

void VormDFSDirectoryTree::Find(const wchar_t* root, const wchar_t* pattern, int) {
  Close();
  m_root.Assign(root ? root : L"");
  m_pattern = pattern;
  m_filter = kFolders;
  auto matcher = std::make_unique<VormBasicFileMatcher>();
  matcher->SetSkipDots(TRUE);
  matcher->Find(m_root, m_pattern, m_filter);
  SkipLinks(*matcher);
  m_stack.push_back(std::move(matcher));
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
    if (matcher->HasMatch()) relative = JoinName(relative, matcher->GetFindData()->cFileName);
  }
  return relative;
}

VormPath VormDFSDirectoryTree::GetBaseFolder() const { return VormPath(m_root, 0); }

// ---------------------------------------------------------------- file walkers

namespace VormFileTree_details {

FileTreeWalker::~FileTreeWalker() = default;

void FileTreeWalker::Close() {
  m_files.Close();
  m_directories.Close();
  m_pattern.Assign(L"");
}

BOOL FileTreeWalker::SearchFolders(bool advanceFirst) {
  for (;;) {
    if (advanceFirst) {
      if (!m_directories.HasMatch()) return FALSE;
      m_directories.FindNext();
    }
    advanceFirst = true;
    if (!m_directories.HasMatch()) return FALSE;
    m_files.Find(m_directories.GetPath(), m_pattern, m_filter);
    if (m_files.HasMatch()) return TRUE;
  }
}

void FileTreeWalker::Find(const wchar_t* root, const wchar_t* pattern, int filter) {
  m_pattern.Assign(pattern ? pattern : L"");
  m_filter = filter;
  m_directories.Find(root, L"*", kFolders);
  SearchFolders(false);
}

BOOL FileTreeWalker::FindNext() {
  if (m_files.FindNext()) return TRUE;
  return SearchFolders(true);
}

BOOL FileTreeWalker::HasMatch() const { return m_directories.HasMatch() && m_files.HasMatch(); }

VormPath FileTreeWalker::GetPath() const { return JoinName(m_directories.GetPath(), m_files.GetFindData()->cFileName); }

VormPath FileTreeWalker::GetRelativePath() const {
  return JoinName(m_directories.GetRelativePath(), m_files.GetFindData()->cFileName);
}

VormPath FileTreeWalker::GetBaseFolder() const { return m_directories.GetBaseFolder(); }

}  // namespace VormFileTree_details

VormBFSFileTree::~VormBFSFileTree() = default;

VormDFSFileTree::~VormDFSFileTree() = default;
