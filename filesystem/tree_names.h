// Paths of entries inside a tree, built so that a name read from a listing is always one
// component: it is appended as it stands, never split again at separators or quotes. Pure
// string work; safe from any thread.
#pragma once

#include <vorm/path.h>

namespace VormTreeNames_details {

// Whether `name` can only be a single entry of its folder: not empty, not "." or "..", and
// holding none of the characters the path grammar reads ('\', '/', ':', '*', '?', '"', '<',
// '>', '|', controls). Names from listings always pass: the file layer shows those
// characters as private-use ones.
bool IsPlainName(const wchar_t* name);

// Whether `relative` (components joined by '\' or '/') stays inside the folder it is taken
// from: not rooted, and every component a plain name. The empty path (the folder itself)
// passes.
bool StaysInside(const VormPath& relative);

// `folder` in canonical form, a separator, then `name` as one component.
//   JoinName(L"C:/dir/", L"a\xF05Cb") => L"C:\dir\a\xF05Cb"
VormPath JoinName(const VormPath& folder, const wchar_t* name);

}  // namespace VormTreeNames_details
