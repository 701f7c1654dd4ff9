// Tree walkers: the VormFileMatch protocol over a whole folder tree, iterative (no
// recursion, no depth limit, no threads). Each walker belongs to one thread and owns the
// matchers and listings it reads; Close or destruction releases them. No entry's record
// (read-only bit, times, size) is read unless GetFindData or the filter asks for it.
//
// For the tree  root/{a/{a1,a2}, b}  listed in that order, pattern "*":
//   VormBFSDirectoryTree yields  (root), a, b, a\a1, a\a2     (breadth-first, root first)
//   VormDFSDirectoryTree yields  a\a1, a\a2, a, b, (root)     (post-order, root last)
// The file walkers yield the entries matching pattern and filter of every folder, taking
// the folders in the order of the corresponding directory walker; within one folder the
// entries come in listing order. With filter 0 they yield sub-folders as entries too.
//
// The pattern given to a directory walker selects the root's immediate sub-folders (BFS)
// or the sub-folders at every level (DFS); deeper BFS levels take every sub-folder.
//
// Symbolic links. A link to a folder is listed with the directory and reparse-point
// attributes. The directory walkers neither yield nor enter such a folder below the root,
// so a walk ends on a tree holding a link cycle and never reaches outside the tree through
// a link; the file walkers list the link itself as an entry of its parent folder when the
// filter admits it. The root is entered even when it is itself a link.
//
// A root that does not exist still yields itself once from a directory walker; the file
// walkers then find nothing there. Folders that cannot be listed are yielded without
// descendants; the walk goes on and GetReadError names the first such folder.
#pragma once

#include <deque>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include <vorm/export.h>
#include <vorm/file_match.h>

// Breadth-first folders: the root first, then every sub-folder. One thread.
class VORM_API VormBFSDirectoryTree : public VormFileMatch {
 public:
  VormBFSDirectoryTree();
  virtual ~VormBFSDirectoryTree();

  void Close() override;
  void Find(const wchar_t* root, const wchar_t* pattern, int filter) override;  // filter unused
  BOOL FindNext() override;
  BOOL HasMatch() const override;
  VormPath GetPath() const override;          // root Join relative path
  VormPath GetRelativePath() const override;  // empty for the root
  VormPath GetBaseFolder() const override;
  // The first folder of this walk that could not be read.
  const VormReadError& GetReadError() const { return m_readError; }

 private:
  void Push(const VormPath& relative);
  // Lists the sub-folders of `folder` with the matcher, noting a folder it cannot read.
  void ListFolders(const VormPath& folder, const wchar_t* pattern);

  VormPath m_root;
  std::list<VormPath> m_queue;  // pending folders relative to the root; front = current
  VormBasicFileMatcher m_matcher;
  int m_filter;
  VormReadError m_readError;
};

// Depth-first post-order folders: every folder after all of its sub-folders, the root
// last. Holds one open search per level of the current path. One thread.
class VORM_API VormDFSDirectoryTree : public VormFileMatch {
 public:
  VormDFSDirectoryTree();
  virtual ~VormDFSDirectoryTree();
  VormDFSDirectoryTree(const VormDFSDirectoryTree&) = delete;
  VormDFSDirectoryTree& operator=(const VormDFSDirectoryTree&) = delete;

  void Close() override;
  void Find(const wchar_t* root, const wchar_t* pattern, int filter) override;  // filter unused
  BOOL FindNext() override;
  BOOL HasMatch() const override;
  VormPath GetPath() const override;  // the root as passed for the root; empty when done
  VormPath GetRelativePath() const override;
  VormPath GetBaseFolder() const override;
  // The first folder of this walk that could not be read.
  const VormReadError& GetReadError() const { return m_readError; }

 private:
  void Descend();
  // A new level searching `folder`, appended to the stack.
  void Push(const VormPath& folder);

  VormPath m_root;
  // One matcher per level, root (front) down to the current folder (back); each current
  // entry is the sub-folder the walk went down through.
  std::list<std::unique_ptr<VormBasicFileMatcher>> m_stack;
  int m_filter;
  CString m_pattern;
  VormReadError m_readError;
};

namespace VormFileTree_details {

// The file walk shared by both orders. Each folder is read once (VormFolderListing with
// EveryFolder): the same read gives its matching entries and the sub-folders to walk into, and
// no entry's record is read unless the filter or GetFindData asks for it. One thread; owns the
// listings of the folders it holds (depth first: one per level of the current path).
class VORM_API FileTreeWalker : public VormFileMatch {
 public:
  void Close() override;
  void Find(const wchar_t* root, const wchar_t* pattern, int filter) override;
  BOOL FindNext() override;
  BOOL HasMatch() const override;
  VormPath GetPath() const override;          // folder Join entry name; empty when done
  VormPath GetRelativePath() const override;  // folder's relative path Join entry name
  VormPath GetBaseFolder() const override;
  // The platform record of the current entry (read on the first call for each entry), and
  // the attributes known without reading it (VormFolderListing::GetKnownAttributes).
  const WIN32_FIND_DATAW* GetFindData() const;
  DWORD GetKnownAttributes() const;
  // The first folder of this walk that could not be read.
  const VormReadError& GetReadError() const { return m_readError; }

 protected:
  explicit FileTreeWalker(bool depthFirst);
  virtual ~FileTreeWalker();
  FileTreeWalker(const FileTreeWalker&) = delete;
  FileTreeWalker& operator=(const FileTreeWalker&) = delete;

 private:
  struct Folder;  // a folder read for the walk, its paths and the walk's place in it

  // Reads the folder `relative` (to the root) and makes it the deepest on the stack.
  void Enter(std::wstring relative);
  // From the current folder's entry `from` on, the first that matches and passes the filter.
  BOOL SeekEntry(size_t from);
  // Goes on to the next folder whose entries are due, in the walk's order, and to its first
  // matching entry; FALSE when the walk is over.
  BOOL NextFolder();

  bool m_depthFirst;
  VormPath m_root;
  std::wstring m_rootPrefix;  // the root's canonical text, ready for a name to follow
  std::wstring m_pattern;
  int m_filter;
  // Depth first: the folders from the root down to the current one. Breadth first: the
  // current folder only, with the folders still to read in m_queue (relative to the root).
  std::vector<std::unique_ptr<Folder>> m_stack;
  std::deque<std::wstring> m_queue;
  mutable WIN32_FIND_DATAW m_findData;
  mutable bool m_haveData;
  VormReadError m_readError;
};

}  // namespace VormFileTree_details

// Matching entries of every folder, folders breadth-first. One thread.
class VORM_API VormBFSFileTree : public VormFileTree_details::FileTreeWalker {
 public:
  VormBFSFileTree() : FileTreeWalker(false) {}
  virtual ~VormBFSFileTree();
};

// Matching entries of every folder, folders depth-first in post-order. One thread.
class VORM_API VormDFSFileTree : public VormFileTree_details::FileTreeWalker {
 public:
  VormDFSFileTree() : FileTreeWalker(true) {}
  virtual ~VormDFSFileTree();
};
