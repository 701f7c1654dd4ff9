// Special folders and the current folder.
#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include <unistd.h>

#include <vorm/platform/text.h>

#include "platform/fs/fs_internal.h"

using namespace VormFiles_details;
using VormLastError_details::Fail;

namespace {

// The platform's rule for folder queries: the text and its length when it fits with the
// terminator, else the size needed (terminator included) and the buffer untouched.
DWORD Deliver(const std::wstring& text, wchar_t* buffer, DWORD size) {
  if (text.size() + 1 > size || !buffer) {
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(text.size() + 1);
  }
  std::wmemcpy(buffer, text.c_str(), text.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(text.size());
}

}  // namespace

DWORD GetModuleFileNameW(HMODULE module, wchar_t* buffer, DWORD size) {
  if (module) return Fail(ERROR_MOD_NOT_FOUND, DWORD{0});
  return Guarded(DWORD{0}, [&]() -> DWORD {
    std::vector<char> link(256);
    while (true) {
      ssize_t n = readlink("/proc/self/exe", link.data(), link.size());
      if (n < 0) return Fail(VormErrorFromErrno(errno), DWORD{0});
      if (static_cast<std::size_t>(n) < link.size()) {
        link.resize(static_cast<std::size_t>(n));
        break;
      }
      link.resize(link.size() * 2);
    }
    std::wstring path = VormFromOsPath(std::string_view(link.data(), link.size()));
    if (size == 0 || !buffer) return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
    if (path.size() + 1 > size) {  // cut to fit, terminated
      std::wmemcpy(buffer, path.c_str(), size - 1);
      buffer[size - 1] = L'\0';
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return size;
    }
    std::wmemcpy(buffer, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
  });
}

UINT GetWindowsDirectoryW(wchar_t* buffer, UINT size) {
  return Guarded(UINT{0}, [&] { return Deliver(L"/etc", buffer, size); });
}

UINT GetSystemDirectoryW(wchar_t* buffer, UINT size) {
  return Guarded(UINT{0}, [&] { return Deliver(L"/usr/lib", buffer, size); });
}

DWORD GetTempPathW(DWORD size, wchar_t* buffer) {
  return Guarded(DWORD{0}, [&] {
    const char* env = std::getenv("TMPDIR");
    std::wstring path = env && *env ? VormFromOsPath(env) : std::wstring(L"/tmp/");
    if (path.back() != L'/' && path.back() != L'\\') path += L'/';
    return Deliver(path, buffer, size);
  });
}

DWORD GetCurrentDirectoryW(DWORD size, wchar_t* buffer) {
  return Guarded(DWORD{0}, [&]() -> DWORD {
    std::vector<char> cwd(512);
    while (!getcwd(cwd.data(), cwd.size())) {
      if (errno != ERANGE) return Fail(VormErrorFromErrno(errno), DWORD{0});
      cwd.resize(cwd.size() * 2);
    }
    return Deliver(VormFromOsPath(cwd.data()), buffer, size);
  });
}

BOOL SetCurrentDirectoryW(const wchar_t* path) {
  return Guarded(FALSE, [&] {
    std::string native;
    if (!ToNative(path, native)) return FALSE;
    if (chdir(native.c_str()) != 0) {
      int err = errno;
      return Fail(err == ENOTDIR && access(native.c_str(), F_OK) == 0 ? ERROR_DIRECTORY : ErrorForPath(err, native),
                  FALSE);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The lexical full path of `name` (see GetFullPathNameW); false when the current folder
// cannot be read.
bool FullPathText(const wchar_t* name, std::wstring& out) {
  std::wstring whole;
  std::size_t i = 0;
  const std::size_t n = std::wcslen(name);
  std::wstring root;
  if (n >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) {
    // UNC: "//server/share" is the root that ".." never leaves.
    root = L"/";
    i = 2;
    for (int part = 0; part < 2; ++part) {
      while (i < n && IsSeparator(name[i])) ++i;
      std::size_t start = i;
      while (i < n && !IsSeparator(name[i])) ++i;
      if (i == start) break;
      root += L'/';
      root.append(name + start, i - start);
    }
  } else if (IsDrivePath(name)) {
    root.assign(name, 2);
    i = 2;
  } else if (!IsSeparator(name[0])) {
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return false;
    std::vector<wchar_t> cwd(needed);
    DWORD got = GetCurrentDirectoryW(needed, cwd.data());
    if (got == 0 || got >= needed) return false;
    std::wstring combined(cwd.data(), got);
    if (combined.empty() || !IsSeparator(combined.back())) combined += L'/';
    combined += name;
    return FullPathText(combined.c_str(), out);
  }
  std::vector<std::wstring_view> steps;
  const std::wstring_view text(name, n);
  while (i < n) {
    while (i < n && IsSeparator(text[i])) ++i;
    std::size_t start = i;
    while (i < n && !IsSeparator(text[i])) ++i;
    std::wstring_view step = text.substr(start, i - start);
    if (step.empty() || step == L".") continue;
    if (step == L"..") {
      if (!steps.empty()) steps.pop_back();
      continue;
    }
    steps.push_back(step);
  }
  out = root;
  for (std::wstring_view step : steps) {
    out += L'/';
    out += step;
  }
  // A path that ends in a separator, or names just its root, keeps a trailing separator.
  const bool trailing = IsSeparator(text.back()) || steps.empty();
  if (trailing && (out.empty() || out.back() != L'/')) out += L'/';
  return true;
}

}  // namespace

DWORD GetFullPathNameW(const wchar_t* fileName, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart) {
  if (!fileName) return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  if (!*fileName) return Fail(ERROR_INVALID_NAME, DWORD{0});
  const DWORD saved = GetLastError();  // a success leaves it as it was
  return Guarded(DWORD{0}, [&]() -> DWORD {
    std::wstring full;
    if (!FullPathText(fileName, full)) return 0;
    SetLastError(saved);
    if (!buffer || full.size() + 1 > bufferLength) return static_cast<DWORD>(full.size() + 1);
    std::wmemcpy(buffer, full.c_str(), full.size() + 1);
    if (filePart) {
      const std::size_t slash = full.rfind(L'/');
      *filePart = slash + 1 < full.size() ? buffer + slash + 1 : nullptr;
    }
    return static_cast<DWORD>(full.size());
  });
}
