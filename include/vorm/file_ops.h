// File operations beyond a single platform call: copying and deleting files, creating
// folder paths, and copying, moving and removing whole trees. Every function returns 0 on
// success and 1 on failure, runs synchronously in the calling thread and holds no lock;
// after a failure the last error is usually the failing platform call's.
// The functions taking a VormFileMatch& expect a search started with Find; they consume it
// to its end (VormCopyFiles: to the first failure) and leave it open.
//
// Symbolic links inside a tree are never followed by the tree operations:
//  - VormCopyTree copies a link as a link with the same target text, as `cp -r` does: a
//    link to a file, to a folder or a dangling link becomes the same link in the copy (a
//    relative target then resolves from the copy's place). Nothing outside the tree is read
//    through a link, and a link to an enclosing folder cannot make the copy endless.
//  - VormDeleteTree removes a link as a link and leaves its target alone, whatever its
//    read-only state. It works inside each folder through the folder's open descriptor and
//    opens sub-folders without following links, so a sub-folder swapped for a link while the
//    tree is removed is removed as a link, never entered.
//  - VormMoveTree (copy, then delete) therefore moves links as links.
// A root that is itself a link is walked through, as the walkers enter it: its target's
// content is copied or deleted, and VormDeleteTree then removes the link.
#pragma once

#include <vorm/export.h>
#include <vorm/file_match.h>
#include <vorm/platform/wintypes.h>

// CopyFileW(from, to, failIfExists): content, last-write time and read-only state. An
// existing target is replaced only after the copy is complete; copying a file onto itself
// fails and leaves it intact.
//   VormCopyFile(L"a.txt", L"b.txt", TRUE) => 0; again => 1 (b.txt exists)
VORM_API int VormCopyFile(const wchar_t* from, const wchar_t* to, BOOL failIfExists);

// Deletes a file, read-only or not: the read-only attribute is cleared first and put back
// when the deletion fails. A link is deleted as a link without touching its target's
// attributes. 1 for a missing file or a folder.
VORM_API int VormDeleteFile(const wchar_t* path);

// Copies every match to destFolder Join its relative path; stops at the first failure. No
// folder is created: each target's folder must exist. 0 when nothing matched.
VORM_API int VormCopyFiles(VormFileMatch& matches, const wchar_t* destFolder, BOOL failIfExists);

// Deletes every match with VormDeleteFile; 1 when any deletion failed.
VORM_API int VormDeleteFiles(VormFileMatch& matches);

// Creates every missing folder of `path`, the last component included (it names a folder,
// dots or not). Existing folders are fine, also one made meanwhile by someone else; every
// component is tried and 1 returned when any creation failed (for instance a component that
// is a file; the last error is the failure's), and when `path` itself names an existing file
// (last error ERROR_ALREADY_EXISTS). Null => 1.
//   "/data/a/b"      => creates /data/a and /data/a/b as needed, 0
//   "/data/a/b.txt"  => creates the folder b.txt
//   "C:\x"           => 1 (a drive path names no folder here)
VORM_API int VormCreatePath(const wchar_t* path);

// VormCreatePath(destRoot Join relative path) for every match; 1 when any call failed.
VORM_API int VormCreatePaths(VormFileMatch& matches, const wchar_t* destRoot);

// Copies the tree `from` into `to`: first every folder (breadth-first, `to` itself
// included), then every file and link in breadth-first order, stopping at the first failed
// copy (with failIfExists: the first existing target; no later file is copied).
// 1 when `from` does not exist or cannot be read (nothing is created), when `to` is `from` or
// lies inside it (checked by identity, through links; nothing is created), when a folder of
// the source cannot be read (the copy would lack what it holds), or on any failure.
//   VormCopyTree(L"/data/src", L"/backup/src", TRUE) => 0, /backup/src mirrors /data/src
VORM_API int VormCopyTree(const wchar_t* from, const wchar_t* to, BOOL failIfExists);

// Removes the tree `folder` in one depth-first pass that reads each folder once: a folder's
// files (read-only ones too) and links are deleted and its sub-folders removed the same
// way, then the folder itself. Every entry is tried. A missing folder counts as removed (0);
// 1 when any folder could not be removed (a file left behind keeps its folder; a folder that
// could not be read is reported with the reason it could not). Null or empty => 0, nothing
// touched.
// A relative `folder` is first made absolute (GetFullPathNameW when that names the same
// folder, else the current folder joined with it), so that it names the same tree however
// the current folder moves. When the current folder's path begins with the tree's path,
// compared without regard to case on the upper-cased canonical texts, or the current folder
// lies inside the tree by identity, the current folder first moves to the tree's parent,
// and stays there whatever the outcome. The text test also moves "/data2" as current folder
// for the tree "/data". Changes the process-wide current folder, which affects every thread.
//   cwd /d/T/sub:  VormDeleteTree(L"..") => 0, /d/T removed, cwd /d
//
// Names inside a tree are data. A walker's entry is always one component of its folder (a
// file named "..\..", "a\b" or "x:y" is that file, see VormFromOsPath in text.h), and the
// tree operations never act on a path that would leave the tree they were given: such an
// entry fails the operation with ERROR_INVALID_NAME instead of being touched.
VORM_API int VormDeleteTree(const wchar_t* folder);

// VormCopyTree, then VormDeleteTree(from) only when the copy fully succeeded.
VORM_API int VormMoveTree(const wchar_t* from, const wchar_t* to, BOOL failIfExists);

// Watches a tree operation item by item, for progress displays and messages, and can make it
// a dry run. Thread rule: called on the operation's thread. Ownership: the caller's.
class VORM_API VormTreeObserver {
 public:
  enum Action { CreateFolder, CopyFile, DeleteFile, RemoveFolder };
  virtual ~VormTreeObserver();
  // True: walk and report every item as it would be done, and change nothing (no folder is
  // created, no file copied or deleted, the current folder stays).
  virtual bool DryRun() const { return false; }
  // After each item: what was done to `path` (a copy's target in `target`, else null), and 0
  // or the platform's error code of the failure. Folders are reported only when created;
  // a copy reports the file that stopped it, or as a CopyFile item the source folder it
  // could not read. Every failure that makes an operation return 1 is reported, except the
  // refusal of a copy into its own source.
  virtual void OnItem(Action action, const wchar_t* path, const wchar_t* target, DWORD error) = 0;
};

// The tree operations above, reporting to `observer` (null: the same as without one). The
// results and the order of the work are the same.
VORM_API int VormCopyTree(const wchar_t* from, const wchar_t* to, BOOL failIfExists, VormTreeObserver* observer);
VORM_API int VormDeleteTree(const wchar_t* folder, VormTreeObserver* observer);
VORM_API int VormMoveTree(const wchar_t* from, const wchar_t* to, BOOL failIfExists, VormTreeObserver* observer);
