// Special folders and the current folder.
#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include <unistd.h>

#include <vorm/platform/text.h>

#include "platform/fs/fs_internal.h"

using namespace VormFiles_details;

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
  if (module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  return Guarded(DWORD{0}, [&]() -> DWORD {
    std::vector<char> link(256);
    while (true) {
      ssize_t n = readlink("/proc/self/exe", link.data(), link.size());
      if (n < 0) {
        SetLastError(VormErrorFromErrno(errno));
        return 0;
      }
      if (static_cast<std::size_t>(n) < link.size()) {
        link.resize(static_cast<std::size_t>(n));
        break;
      }
      link.resize(link.size() * 2);
    }
    std::wstring path = VormFromUtf8(std::string_view(link.data(), link.size()));
    if (size == 0 || !buffer) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
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
    std::wstring path = env && *env ? VormFromUtf8(env) : std::wstring(L"/tmp/");
    if (path.back() != L'/' && path.back() != L'\\') path += L'/';
    return Deliver(path, buffer, size);
  });
}

DWORD GetCurrentDirectoryW(DWORD size, wchar_t* buffer) {
  return Guarded(DWORD{0}, [&]() -> DWORD {
    std::vector<char> cwd(512);
    while (!getcwd(cwd.data(), cwd.size())) {
      if (errno != ERANGE) {
        SetLastError(VormErrorFromErrno(errno));
        return 0;
      }
      cwd.resize(cwd.size() * 2);
    }
    return Deliver(VormFromUtf8(cwd.data()), buffer, size);
  });
}

BOOL SetCurrentDirectoryW(const wchar_t* path) {
  return Guarded(FALSE, [&] {
    std::string native;
    if (!ToNative(path, native)) return FALSE;
    if (chdir(native.c_str()) != 0) {
      int err = errno;
      SetLastError(err == ENOTDIR && access(native.c_str(), F_OK) == 0 ? ERROR_DIRECTORY : ErrorForPath(err, native));
      return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}
