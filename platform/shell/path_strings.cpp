// PathCombineW, PathRelativePathToW and PathCanonicalizeW: string work on '\'-separated
// paths, built on one root parser and one component splitter.
#include <cwchar>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include <vorm/platform/kernel.h>
#include <vorm/platform/shell.h>
#include <vorm/platform/text.h>

#include "platform/kernel/last_error.h"

using VormLastError_details::Fail;

namespace VormShellPath_details {
namespace {

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Length of the root at the start of `p`: "\\server\share", "X:\", "X:", "\" or nothing.
std::size_t RootLength(std::wstring_view p) {
  if (p.size() >= 2 && p[0] == L'\\' && p[1] == L'\\') {
    std::size_t server = p.find(L'\\', 2);
    if (server == std::wstring_view::npos) return p.size();
    std::size_t share = p.find(L'\\', server + 1);
    return share == std::wstring_view::npos ? p.size() : share;
  }
  if (p.size() >= 2 && IsLetter(p[0]) && p[1] == L':') return p.size() >= 3 && p[2] == L'\\' ? 3 : 2;
  if (!p.empty() && p[0] == L'\\') return 1;
  return 0;
}

bool IsUnc(std::wstring_view p) { return p.size() >= 2 && p[0] == L'\\' && p[1] == L'\\'; }

// Components of `rest` split at every '\' (empty ones kept: "a\\b" has three).
std::vector<std::wstring_view> Split(std::wstring_view rest) {
  std::vector<std::wstring_view> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t sep = rest.find(L'\\', start);
    if (sep == std::wstring_view::npos) {
      parts.push_back(rest.substr(start));
      return parts;
    }
    parts.push_back(rest.substr(start, sep - start));
    start = sep + 1;
  }
}

std::wstring Canonical(std::wstring_view src) {
  std::size_t rootLength = RootLength(src);
  std::wstring root(src.substr(0, rootLength));
  std::wstring_view rest = src.substr(rootLength);
  bool afterShare = IsUnc(root) && !rest.empty();
  if (afterShare) rest.remove_prefix(1);  // the '\' after the share

  std::vector<std::wstring_view> kept;
  if (!rest.empty() || afterShare) {
    for (std::wstring_view part : Split(rest)) {
      if (part == L".") continue;
      if (part == L"..") {
        if (!kept.empty()) {
          kept.pop_back();
        } else if (root.empty()) {
          root = L"\\";  // a relative path climbing out ends at the root
        }
        continue;
      }
      kept.push_back(part);
    }
  }
  std::wstring out = root;
  if (IsUnc(root) && !kept.empty()) out += L'\\';
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i) out += L'\\';
    out += kept[i];
  }
  if (out.size() == 2 && out[1] == L':') out += L'\\';  // a naked drive
  if (out.empty()) out = L"\\";
  return out;
}

// Root of `dir` with a trailing '\' for a file that restarts at it: "C:\", "\\s\share\",
// or "\" for paths without a drive.
std::wstring RootForRestart(std::wstring_view dir) {
  std::wstring root(dir.substr(0, RootLength(dir)));
  if (root.empty()) return L"\\";
  if (root.back() != L'\\') root += L'\\';
  return root;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && VormToUpper(a[i]) != VormToUpper(b[i])) return false;
  }
  return true;
}

struct Located {
  std::wstring_view root;
  std::vector<std::wstring_view> parts;  // non-empty components after the root
};

Located Locate(std::wstring_view p) {
  Located l;
  std::size_t rootLength = RootLength(p);
  l.root = p.substr(0, rootLength);
  for (std::wstring_view part : Split(p.substr(rootLength))) {
    if (!part.empty()) l.parts.push_back(part);
  }
  return l;
}

// Copies `text` into a MAX_PATH buffer, or empties it when it does not fit.
bool Deliver(const std::wstring& text, wchar_t* out) {
  if (text.size() >= MAX_PATH) {
    out[0] = L'\0';
    return Fail(ERROR_FILENAME_EXCED_RANGE, false);
  }
  std::wmemcpy(out, text.c_str(), text.size() + 1);
  return true;
}

template <class R, class F>
R Guarded(R failValue, wchar_t* out, F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    if (out) out[0] = L'\0';
    return Fail(ERROR_NOT_ENOUGH_MEMORY, failValue);
  }
}

// The engines, unbounded. Combine never fails; Relate fails for unrelated paths.
std::wstring Combine(std::wstring_view d, std::wstring_view f) {
  std::wstring joined;
  bool fileStandsAlone = !f.empty() && (f[0] == L'\\' || (f.size() >= 2 && IsLetter(f[0]) && f[1] == L':'));
  if (f.empty()) {
    joined = d;
  } else if (d.empty() || (fileStandsAlone && (f[0] != L'\\' || IsUnc(f)))) {
    joined = f;
  } else if (fileStandsAlone) {  // "\x": restart at the root of dir
    joined = RootForRestart(d);
    joined += f.substr(1);
  } else {
    joined = d;
    if (joined.back() != L'\\') joined += L'\\';
    joined += f;
  }
  return Canonical(joined);
}

bool Relate(std::wstring_view from, bool fromIsFolder, std::wstring_view to, bool toIsFolder, std::wstring& out) {
  Located a = Locate(from);
  Located b = Locate(to);
  std::size_t fromFolder = a.parts.size();
  if (!fromIsFolder && fromFolder > 0) --fromFolder;
  std::size_t toFolder = b.parts.size();
  if (!toIsFolder && toFolder > 0) --toFolder;

  std::size_t common = 0;
  while (common < fromFolder && common < toFolder && SameText(a.parts[common], b.parts[common])) ++common;
  // A UNC root must name the same share; a relative pair must share a first component.
  bool related = SameText(a.root, b.root) && (!a.root.empty() || common > 0) &&
                 (!IsUnc(a.root) || a.root.find(L'\\', 2) != std::wstring_view::npos);
  out.clear();
  if (!related) return false;
  for (std::size_t i = common; i < fromFolder; ++i) out += out.empty() ? L".." : L"\\..";
  if (out.empty()) out = L".";
  for (std::size_t i = common; i < b.parts.size(); ++i) {
    out += L'\\';
    out += b.parts[i];
  }
  return true;
}

}  // namespace
}  // namespace VormShellPath_details

using namespace VormShellPath_details;

BOOL PathCanonicalizeW(wchar_t* dest, const wchar_t* src) {
  if (!dest || !src) {
    if (dest) dest[0] = L'\0';
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  return Guarded(FALSE, dest, [&] { return Deliver(Canonical(src), dest) ? TRUE : FALSE; });
}

wchar_t* PathCombineW(wchar_t* dest, const wchar_t* dir, const wchar_t* file) {
  if (!dest) return Fail(ERROR_INVALID_PARAMETER, static_cast<wchar_t*>(nullptr));
  if (!dir && !file) {
    dest[0] = L'\0';
    return Fail(ERROR_INVALID_PARAMETER, static_cast<wchar_t*>(nullptr));
  }
  return Guarded(static_cast<wchar_t*>(nullptr), dest, [&]() -> wchar_t* {
    return Deliver(Combine(dir ? dir : L"", file ? file : L""), dest) ? dest : nullptr;
  });
}

BOOL PathRelativePathToW(wchar_t* path, const wchar_t* from, DWORD attrFrom, const wchar_t* to, DWORD attrTo) {
  if (!path) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (!from || !to) {
    path[0] = L'\0';
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  return Guarded(FALSE, path, [&]() -> BOOL {
    std::wstring result;
    if (!Relate(from, (attrFrom & FILE_ATTRIBUTE_DIRECTORY) != 0, to, (attrTo & FILE_ATTRIBUTE_DIRECTORY) != 0,
                result)) {
      path[0] = L'\0';
      return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    return Deliver(result, path) ? TRUE : FALSE;
  });
}

bool VormPathCombine(const std::wstring& dir, const std::wstring& file, std::wstring& out) {
  try {
    out = Combine(dir, file);
    return true;
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
}

bool VormPathRelativePathTo(const std::wstring& from, bool fromIsFolder, const std::wstring& to, bool toIsFolder,
                            std::wstring& out) {
  try {
    return Relate(from, fromIsFolder, to, toIsFolder, out);
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
}
