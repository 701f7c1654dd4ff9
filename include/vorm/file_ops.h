// File operations beyond a single platform call: copying and deleting files, creating
// folder paths, and copying, moving and removing whole trees. Every function returns 0 on
// success and 1 on failure, runs synchronously in the calling thread and holds no lock.
// The functions taking a VormFileMatch& expect a search started with Find; they consume it
// to its end (VormCopyFiles: to the first failure) and leave it open.
#pragma once

#include <vorm/export.h>
#include <vorm/file_match.h>
#include <vorm/platform/wintypes.h>

VORM_API int VormCopyFile(const wchar_t* from, const wchar_t* to, BOOL failIfExists);
VORM_API int VormDeleteFile(const wchar_t* path);
VORM_API int VormCopyFiles(VormFileMatch& matches, const wchar_t* destFolder, BOOL failIfExists);
VORM_API int VormDeleteFiles(VormFileMatch& matches);
VORM_API int VormCreatePath(const wchar_t* path);
VORM_API int VormCreatePaths(VormFileMatch& matches, const wchar_t* destRoot);
VORM_API int VormCopyTree(const wchar_t* from, const wchar_t* to, BOOL failIfExists);
VORM_API int VormDeleteTree(const wchar_t* folder);
VORM_API int VormMoveTree(const wchar_t* from, const wchar_t* to, BOOL failIfExists);
