// Find handles: FindFirstFileExW reads the matching entries of one folder, with every entry's
// record, into a snapshot; FindNextFileW walks it.
#include "platform/fs/listing.h"
#include "platform/kernel/handles.h"

using namespace VormFiles_details;
using VormLastError_details::Fail;

namespace {

// A listing snapshot behind a find handle. Thread rule: one call at a time per handle.
// Ownership: the handle table.
class FindObject final : public VormKernelObject {
 public:
  FindObject() : VormKernelObject(VormObjectType::Find) {}
  bool ClosableByCloseHandle() const override { return false; }

  Listing listing;
  std::size_t next = 0;
};

HANDLE StartFind(const wchar_t* fileName, void* findData, bool foldersOnly, DWORD additionalFlags) {
  auto find = std::make_shared<FindObject>();
  // The records are read while the folder is open: the handle hands out the entries as they
  // were when the search started.
  DWORD flags = Listing::kReadRecords | (foldersOnly ? VormFolderListing::FoldersOnly : 0);
  if (additionalFlags & FIND_FIRST_EX_CASE_SENSITIVE) flags |= VormFolderListing::CaseSensitive;
  if (const DWORD error = find->listing.ReadPath(fileName, flags)) return Fail(error, INVALID_HANDLE_VALUE);
  find->listing.Fill(0, static_cast<WIN32_FIND_DATAW*>(findData));
  find->next = 1;
  HANDLE handle = VormHandles_details::Register(find);
  if (!handle) return INVALID_HANDLE_VALUE;
  SetLastError(ERROR_SUCCESS);
  return handle;
}

}  // namespace

HANDLE FindFirstFileExW(const wchar_t* fileName, FINDEX_INFO_LEVELS infoLevel, void* findData,
                        FINDEX_SEARCH_OPS searchOp, void* searchFilter, DWORD additionalFlags) {
  if (!fileName || !findData || searchFilter || (infoLevel != FindExInfoStandard && infoLevel != FindExInfoBasic) ||
      (searchOp != FindExSearchNameMatch && searchOp != FindExSearchLimitToDirectories)) {
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  return Guarded(INVALID_HANDLE_VALUE, [&] {
    return StartFind(fileName, findData, searchOp == FindExSearchLimitToDirectories, additionalFlags);
  });
}

HANDLE FindFirstFileW(const wchar_t* fileName, WIN32_FIND_DATAW* findData) {
  return FindFirstFileExW(fileName, FindExInfoStandard, findData, FindExSearchNameMatch, nullptr, 0);
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* findData) {
  auto object = VormHandles_details::LookupAs<FindObject>(find, VormObjectType::Find);
  if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!findData) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (object->next >= object->listing.Count()) return Fail(ERROR_NO_MORE_FILES, FALSE);
  object->listing.Fill(object->next++, findData);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  if (!VormHandles_details::Remove(find, VormObjectType::Find)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
