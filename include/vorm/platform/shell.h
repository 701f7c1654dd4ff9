// Shell path-string functions. Pure string work where only '\' separates ('/' is an
// ordinary character to them). Safe from any thread.
#pragma once

#include <vorm/platform/wintypes.h>

// Joins `dir` and `file` into `dest` (MAX_PATH characters): a `file` starting with '\'
// restarts at the root of `dir`'s drive; "." and ".." are resolved and never climb above
// a root. A result longer than MAX_PATH-1 gives NULL with `dest` emptied.
VORM_API wchar_t* PathCombineW(wchar_t* dest, const wchar_t* dir, const wchar_t* file);
// Relative path from `from` to `to` into `path` (MAX_PATH characters); the attributes say
// whether each is a folder. FALSE when they share no root or the result does not fit.
VORM_API BOOL PathRelativePathToW(wchar_t* path, const wchar_t* from, DWORD attrFrom, const wchar_t* to, DWORD attrTo);
// Canonicalises "." and ".." of `src` into `dest` (MAX_PATH characters).
VORM_API BOOL PathCanonicalizeW(wchar_t* dest, const wchar_t* src);

#include <string>

// The same string engines without the MAX_PATH bound, for callers that handle long texts
// whole. False where the bounded forms fail for a reason other than length.
VORM_API bool VormPathCombine(const std::wstring& dir, const std::wstring& file, std::wstring& out);
VORM_API bool VormPathRelativePathTo(const std::wstring& from, bool fromIsFolder, const std::wstring& to, bool toIsFolder,
                                     std::wstring& out);
