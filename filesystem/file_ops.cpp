#include <vorm/file_ops.h>

#include <deque>
#include <list>
#include <memory>
#include <vector>

#include <vorm/file_trees.h>
#include <vorm/platform/crt.h>
#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>

#include "tree_names.h"

namespace VormFileOps_details {

using VormTreeNames_details::IsPlainName;
using VormTreeNames_details::StaysInside;

constexpr int kFoldersOnly = 0x10;

// Refuses a walker's relative path that would leave the tree (it cannot come from a listing:
// the check keeps the tree operations inside their trees whatever a walker yields).
bool Inside(const VormPath& relative) {
  if (StaysInside(relative)) return true;
  SetLastError(ERROR_INVALID_NAME);
  return false;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A path that starts at a root separator without being a UNC name or a drive path: the
// split into components has no root part for it, and the separator has to be kept.
bool IsRootedAtSeparator(const VormPath& path) {
  const wchar_t* text = path;
  return IsSeparator(text[0]) && !path.IsUNC();
}

// Calls visit(prefix) for each folder on the way to `path` and for the path itself,
// shortest first, each made by appending the next component: "C:\a\b" gives "C:", "C:\a",
// "C:\a\b"; "/tmp/a" gives "\tmp", "\tmp\a". `path` names a folder: a last component with a
// dot is a folder name too. Stops early when visit returns false.
template <class Visit>
void ForEachPrefix(const wchar_t* path, Visit&& visit) {
  VormPath p(path);
  p.AddTrailingSeparator();
  std::list<CString> components;
  p.GetComponents(components);
  VormPath soFar;
  if (IsRootedAtSeparator(p)) soFar.Assign(L"\\");
  for (const CString& component : components) {
    soFar.Append(component.GetString());
    if (!visit(soFar)) return;
  }
}

// The current folder, whatever its length.
std::wstring CurrentFolderText() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n);
  }
  return std::wstring();
}

bool SameEntry(const wchar_t* a, ULONGLONG volume, ULONGLONG index) {
  ULONGLONG v = 0, i = 0;
  return VormGetFileId(a, &v, &i) && v == volume && i == index;
}

// `folder` as an absolute path naming the same entry: a rooted path as it stands; a
// relative one in the platform's full form when that names the same folder (it resolves ".."
// on the text), else the current folder joined with it, which the OS resolves through links.
std::wstring AbsoluteTreePath(const wchar_t* folder) {
  if (IsSeparator(folder[0]) || (folder[0] != L'\0' && folder[1] == L':')) return folder;
  const std::wstring current = CurrentFolderText();
  if (current.empty()) return folder;
  const std::wstring joined = current + L'/' + folder;
  const DWORD saved = GetLastError();
  std::wstring result = joined;
  std::vector<wchar_t> full(joined.size() + 2);
  const DWORD n = GetFullPathNameW(folder, static_cast<DWORD>(full.size()), full.data(), nullptr);
  ULONGLONG volume = 0, index = 0;
  if (n > 0 && n < full.size() && VormGetFileId(joined.c_str(), &volume, &index) &&
      SameEntry(full.data(), volume, index)) {
    result.assign(full.data(), n);
  }
  SetLastError(saved);
  return result;
}

// Whether `to` names `from` or a place inside it, through any links or case: copying a tree
// there would walk into its own copy.
bool LiesWithin(const wchar_t* to, const wchar_t* from) {
  const DWORD saved = GetLastError();
  ULONGLONG volume = 0, index = 0;
  bool within = false;
  if (VormGetFileId(from, &volume, &index)) {
    VormPath target(to);
    if (!IsSeparator(static_cast<const wchar_t*>(target)[0])) target = VormPath(CurrentFolderText()).Join(to);
    if (IsRootedAtSeparator(target) && SameEntry(L"/", volume, index)) {
      within = true;
    } else {
      ForEachPrefix(target, [&](const VormPath& prefix) {
        within = SameEntry(prefix, volume, index);
        return !within;
      });
    }
  }
  SetLastError(saved);
  return within;
}

// Reports one item to an optional observer.
void Report(VormTreeObserver* observer, VormTreeObserver::Action action, const wchar_t* path, const wchar_t* target,
            DWORD error) {
  if (observer) observer->OnItem(action, path, target, error);
}

bool Dry(const VormTreeObserver* observer) { return observer && observer->DryRun(); }

// Reports a folder of the source that could not be read: a copy without what it holds must
// not pass for whole. True when there was one.
bool ReadFailed(const VormReadError& read, VormTreeObserver* observer) {
  if (read.code == 0) return false;
  Report(observer, VormTreeObserver::CopyFile, read.folder, nullptr, read.code);
  SetLastError(read.code);
  return true;
}

// VormCopyFiles over a whole-tree walk with filter 0: folders are skipped (they exist
// already) and links are copied as links, never followed.
int CopyTreeEntries(VormBFSFileTree& walker, const VormPath& dest, BOOL failIfExists, VormTreeObserver* observer) {
  const DWORD linkFlags = COPY_FILE_COPY_SYMLINK | (failIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0);
  for (; walker.HasMatch(); walker.FindNext()) {
    const DWORD attributes = walker.GetKnownAttributes();
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !link) continue;
    const VormPath relative = walker.GetRelativePath();
    const VormPath source = walker.GetPath();
    if (!Inside(relative)) {
      Report(observer, VormTreeObserver::CopyFile, source, nullptr, ERROR_INVALID_NAME);
      return 1;
    }
    const VormPath target = dest.Join(relative.GetText().GetString());
    const bool copied =
        Dry(observer) || (link ? CopyFileExW(source, target, nullptr, nullptr, nullptr, linkFlags) != FALSE
                               : VormCopyFile(source, target, failIfExists) == 0);
    const DWORD error = copied ? 0 : GetLastError();
    Report(observer, VormTreeObserver::CopyFile, source, target, error);
    if (!copied) {
      SetLastError(error);
      return 1;
    }
  }
  return ReadFailed(walker.GetReadError(), observer) ? 1 : 0;
}

// VormDeleteFile with the attributes already read. A link's attributes are its target's:
// a link is removed as it is, and the target, which may lie anywhere, keeps its read-only
// state. Only a read-only file needs its attributes changed and, on failure, its exact
// permissions put back.
int DeleteWithAttributes(const wchar_t* path, DWORD attributes) {
  const bool adjust = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
                      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  DWORD permissions = 0;
  const bool saved = adjust && VormGetFilePermissions(path, &permissions);
  if (adjust) SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  if (DeleteFileW(path)) return 0;
  if (adjust) {
    const DWORD error = GetLastError();
    if (!saved || !VormSetFilePermissions(path, permissions)) SetFileAttributesW(path, attributes);
    SetLastError(error);
  }
  return 1;
}

// What RemoveTree found.
enum class Removal { Done, Failed, Missing };

// Removes everything in the tree `root` and then `root`, depth first, working inside each
// folder through its open descriptor: entries are removed by name relative to their folder
// (no path is rebuilt or resolved per entry) and sub-folders are opened without following
// links. A folder's entries go in listing order: files (read-only ones too) and links are
// deleted (links as links, their targets untouched), real sub-folders are removed the same
// way; then the folder itself. Each folder is read once and every entry is tried.
// Paths for the observer are built only when there is one: the root as given, an entry as its
// folder's canonical text, a separator and its name.
Removal RemoveTree(const wchar_t* root, VormTreeObserver* observer) {
  struct Level {
    VormFolderListing entries;
    size_t next = 0;          // the next entry to remove
    size_t entered = 0;       // the sub-folder being removed below this level
    size_t prefixLength = 0;  // this folder's report text, with a separator, in `path`
    DWORD readError = 0;      // why the folder could not be read, when it could not
  };
  const bool dry = Dry(observer);
  std::wstring path;
  const auto report = [&](VormTreeObserver::Action action, DWORD error) {
    if (observer) observer->OnItem(action, path.c_str(), nullptr, error);
  };
  const auto pathOf = [&](const Level& level, size_t i) {
    if (!observer) return;
    path.resize(level.prefixLength);
    path += level.entries.GetName(i);
  };

  std::deque<Level> stack(1);
  if (!stack.back().entries.Open(root)) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Removal::Missing;
    stack.back().readError = error;
  }
  if (observer) {
    path = VormPath(root, VormPath::CanonicalForm).GetText().str();
    if (!path.empty() && !IsSeparator(path.back())) path += L'\\';
    stack.back().prefixLength = path.size();
  }
  bool removed = true;
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next >= level.entries.GetCount()) {
      // Everything below is done: the folder itself goes, from its parent or by its name.
      const DWORD readError = level.readError;
      stack.pop_back();  // closes it first
      bool done = dry;
      if (stack.empty()) {
        if (observer) path = root;
        done = done || RemoveDirectoryW(root);
      } else {
        pathOf(stack.back(), stack.back().entered);
        done = done || stack.back().entries.RemoveFolderEntry(stack.back().entered);
      }
      DWORD error = done ? 0 : GetLastError();
      if (error == ERROR_DIR_NOT_EMPTY && readError) error = readError;  // the reason it kept entries
      if (!done) removed = false;
      report(VormTreeObserver::RemoveFolder, error);
      continue;
    }
    const size_t i = level.next++;
    const DWORD known = level.entries.GetKnownAttributes(i);
    pathOf(level, i);
    if (!IsPlainName(level.entries.GetName(i))) {
      removed = false;  // never acted on: it could name something outside the tree
      report(VormTreeObserver::DeleteFile, ERROR_INVALID_NAME);
      continue;
    }
    if ((known & FILE_ATTRIBUTE_DIRECTORY) && !(known & FILE_ATTRIBUTE_REPARSE_POINT)) {
      Level& child = stack.emplace_back();  // `level` stays valid: a deque grows at its end
      const DWORD error = child.entries.OpenEntry(level.entries, i) ? 0 : GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_DIRECTORY) {
        // Gone meanwhile, or by now a link or a file: deleted as one below, never entered.
        stack.pop_back();
        if (error == ERROR_FILE_NOT_FOUND) continue;
      } else {
        level.entered = i;
        child.readError = error;  // a folder that cannot be read is still removed when empty
        if (observer) {
          path += L'\\';
          child.prefixLength = path.size();
        }
        continue;
      }
    }
    // A file, or a link, removed as it is; a file left behind fails its folder. A link to a
    // folder is reported as a folder removed.
    VormTreeObserver::Action action = VormTreeObserver::DeleteFile;
    if (observer && (known & FILE_ATTRIBUTE_REPARSE_POINT)) {
      WIN32_FIND_DATAW data;
      level.entries.GetData(i, &data);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) action = VormTreeObserver::RemoveFolder;
    }
    const bool done = dry || level.entries.DeleteEntry(i);
    report(action, done ? 0 : GetLastError());
  }
  return removed ? Removal::Done : Removal::Failed;
}

}  // namespace VormFileOps_details

using namespace VormFileOps_details;

int VormCopyFile(const wchar_t* from, const wchar_t* to, BOOL failIfExists) {
  return CopyFileW(from, to, failIfExists) ? 0 : 1;
}

int VormDeleteFile(const wchar_t* path) { return DeleteWithAttributes(path, GetFileAttributesW(path)); }

int VormCopyFiles(VormFileMatch& matches, const wchar_t* destFolder, BOOL failIfExists) {
  const VormPath dest(destFolder ? destFolder : L"");
  while (matches.HasMatch()) {
    const VormPath target = dest.Join(matches.GetRelativePath().GetText().GetString());
    if (VormCopyFile(matches.GetPath(), target, failIfExists) != 0) return 1;
    matches.FindNext();
  }
  return 0;
}

int VormDeleteFiles(VormFileMatch& matches) {
  int result = 0;
  while (matches.HasMatch()) {
    if (VormDeleteFile(matches.GetPath()) != 0) result = 1;
    matches.FindNext();
  }
  return result;
}

int VormCreatePath(const wchar_t* path) {
  if (!path) return 1;
  const auto isFolder = [](const wchar_t* p) {
    const DWORD attributes = GetFileAttributesW(p);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  };
  DWORD failure = ERROR_SUCCESS;
  ForEachPrefix(path, [&](const VormPath& soFar) {
    if (_waccess(soFar, 0) == 0 || CreateDirectoryW(soFar, nullptr)) return true;
    const DWORD error = GetLastError();
    // A folder made meanwhile (by another process, or missed by the look before) is made.
    if (error != ERROR_ALREADY_EXISTS || !isFolder(soFar)) failure = error;
    return true;
  });
  // A file of that name is no folder: the path was not made.
  if (failure == ERROR_SUCCESS && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES && !isFolder(path)) {
    failure = ERROR_ALREADY_EXISTS;
  }
  if (failure == ERROR_SUCCESS) return 0;
  SetLastError(failure);
  return 1;
}

int VormCreatePaths(VormFileMatch& matches, const wchar_t* destRoot) {
  const VormPath root(destRoot ? destRoot : L"");
  int result = 0;
  while (matches.HasMatch()) {
    if (VormCreatePath(root.Join(matches.GetRelativePath().GetText().GetString())) != 0) result = 1;
    matches.FindNext();
  }
  return result;
}

int VormCopyTree(const wchar_t* from, const wchar_t* to, BOOL failIfExists) {
  return VormCopyTree(from, to, failIfExists, nullptr);
}

int VormCopyTree(const wchar_t* from, const wchar_t* to, BOOL failIfExists, VormTreeObserver* observer) {
  if (!from || !to) return 1;
  if (GetFileAttributesW(from) == INVALID_FILE_ATTRIBUTES) {  // missing or unreadable: nothing is made
    const DWORD error = GetLastError();
    Report(observer, VormTreeObserver::CopyFile, from, to, error);
    SetLastError(error);
    return 1;
  }
  if (LiesWithin(to, from)) return 1;
  {
    const VormPath dest(to);
    VormBFSDirectoryTree folders;
    int created = 0;
    for (folders.Find(from, L"*", kFoldersOnly); folders.HasMatch(); folders.FindNext()) {
      const VormPath relative = folders.GetRelativePath();
      if (!Inside(relative)) {
        Report(observer, VormTreeObserver::CreateFolder, folders.GetPath(), nullptr, ERROR_INVALID_NAME);
        return 1;
      }
      const VormPath target = dest.Join(relative.GetText().GetString());
      if (_waccess(target, 0) == 0) continue;  // there already
      const bool done = Dry(observer) || VormCreatePath(target) == 0;
      Report(observer, VormTreeObserver::CreateFolder, target, nullptr, done ? 0 : GetLastError());
      if (!done) created = 1;
    }
    if (ReadFailed(folders.GetReadError(), observer) || created != 0) return 1;
  }
  VormBFSFileTree files;
  files.Find(from, L"*", 0);
  return CopyTreeEntries(files, VormPath(to), failIfExists, observer);
}

int VormDeleteTree(const wchar_t* folder) { return VormDeleteTree(folder, nullptr); }

int VormDeleteTree(const wchar_t* folder, VormTreeObserver* observer) {
  if (!folder || !*folder) return 0;
  // The tree by an absolute name, so that moving the current folder does not change what
  // it names.
  const VormPath tree(AbsoluteTreePath(folder));
  const VormPath current(CurrentFolderText(),
                         VormPath::ToUpperCase | VormPath::EnsureTrailingSeparator | VormPath::CanonicalForm);
  const VormPath target(tree, VormPath::ToUpperCase | VormPath::CanonicalForm);
  const bool byName = _wcsnicmp(current, target, target.GetText().GetLength()) == 0;
  if (!Dry(observer) && (byName || LiesWithin(current, tree))) {
    // The current folder lies in the tree (or merely starts with its name): leave it for
    // the tree's parent. The parent keeps its case: file names here are case-sensitive.
    VormPath parent(tree, VormPath::CanonicalForm);
    const VormPath last = parent.LastComponent();
    if (last.GetText() == L"." || last.GetText() == L"..") {
      parent = parent.Join(L"..");
    } else {
      parent.RemoveLastComponent();
      if (parent.GetText().IsEmpty() && IsRootedAtSeparator(target)) parent.Assign(L"\\");
    }
    SetCurrentDirectoryW(parent);
  }
  // A missing tree counts as removed.
  return RemoveTree(tree, observer) == Removal::Failed ? 1 : 0;
}

int VormMoveTree(const wchar_t* from, const wchar_t* to, BOOL failIfExists) {
  return VormMoveTree(from, to, failIfExists, nullptr);
}

int VormMoveTree(const wchar_t* from, const wchar_t* to, BOOL failIfExists, VormTreeObserver* observer) {
  if (VormCopyTree(from, to, failIfExists, observer) != 0) return 1;
  return VormDeleteTree(from, observer) != 0 ? 1 : 0;
}

VormTreeObserver::~VormTreeObserver() = default;
