// Shell path-string functions. Pure string work where only '\' separates ('/' is an
// ordinary character to them); they never touch the file system. Safe from any thread.
//
// A path's root is a drive ("C:\" or "C:"), a UNC share ("\\server\share"), or a leading
// "\"; other paths are relative. Components compare case-insensitively (per code point).
// Output buffers hold MAX_PATH characters; a result that does not fit (MAX_PATH characters
// or more before the terminator) is refused: the output is emptied and the call fails.
// Inputs of any length are read safely. The output may be one of the inputs.
// Failures set the last error (ERROR_INVALID_PARAMETER, ERROR_FILENAME_EXCED_RANGE);
// successes leave it alone.
#pragma once

#include <string>

#include <vorm/platform/wintypes.h>

// Joins `dir` and `file` into `dest` and canonicalises the result (see PathCanonicalizeW).
// A `file` that starts with a single '\' restarts at the root of `dir`; a `file` with a
// drive or a UNC prefix stands alone. Either input may be null (or empty) and the other
// is used alone; both null gives NULL with `dest` emptied. Returns `dest`, or NULL.
//   ("C:", "One\Two\Three")       => "C:\One\Two\Three"
//   ("C:\dir\", "sub\f.txt")      => "C:\dir\sub\f.txt"
//   ("C:\dir\sub", "\x")          => "C:\x"
//   ("\\srv\share\dir", "\x")     => "\\srv\share\x"
//   ("C:\dir", "..\..\..\x")      => "C:\x"           (never above the root)
//   ("C:\dir", "D:\x")            => "D:\x"
//   (NULL, "a\.\b")               => "a\b"
VORM_API wchar_t* PathCombineW(wchar_t* dest, const wchar_t* dir, const wchar_t* file);

// Relative path from `from` to `to` into `path` (MAX_PATH characters); each attribute tells
// whether its path is a folder (FILE_ATTRIBUTE_DIRECTORY) or a file (whose last component
// is then not part of its folder). FALSE when the two do not share a root (and, for
// relative paths, a first component) or when the result does not fit.
//   "c:\a\b\path" (folder) to "c:\a\x\y\file" (file)   => "..\..\x\y\file"
//   "c:\FolderA\FolderB\FolderC" (folder) to "c:\FolderA\FolderD\FolderE" (folder)
//                                                       => "..\..\FolderD\FolderE"
//   "c:\a" (folder) to "C:\A\b\f.txt" (file)            => ".\b\f.txt"
//   "c:\a" (folder) to "c:\a" (folder)                  => "."
//   "\tmp\x" (folder) to "\home\y" (folder)             => "..\..\home\y"
//   "c:\a" to "d:\a", "\\s1\sh\a" to "\\s2\sh\a"        => FALSE
VORM_API BOOL PathRelativePathToW(wchar_t* path, const wchar_t* from, DWORD attrFrom, const wchar_t* to, DWORD attrTo);

// Resolves "." and ".." of `src` into `dest` (MAX_PATH characters). ".." never climbs above
// a root; a relative path that would climb out becomes rooted at "\", and an empty result
// is "\". A drive without anything after it gets its backslash.
//   "A:\name_1\.\name_2\..\name_3"  => "A:\name_1\name_3"
//   "C:\.."                         => "C:\"
//   "\\srv\share\..\x"              => "\\srv\share\x"
//   "a\..\..\b"                     => "\b"
//   "C:\dir\"                       => "C:\dir\"
VORM_API BOOL PathCanonicalizeW(wchar_t* dest, const wchar_t* src);

// The same string engines without the MAX_PATH bound, for callers that handle long texts
// whole. False where the bounded forms fail for a reason other than length; `out` is
// emptied then. They do not touch the last error.
VORM_API bool VormPathCombine(const std::wstring& dir, const std::wstring& file, std::wstring& out);
VORM_API bool VormPathRelativePathTo(const std::wstring& from, bool fromIsFolder, const std::wstring& to,
                                     bool toIsFolder, std::wstring& out);
