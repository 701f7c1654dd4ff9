// C runtime path helpers: _wsplitpath (pure string work) and _wtempnam.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <random>
#include <vector>

#include <sys/random.h>
#include <sys/stat.h>

#include "platform/fs/fs_internal.h"

using namespace VormFiles_details;
using VormLastError_details::Fail;

namespace {

// Copies `count` characters of `from` into `out` (room for `size` including the
// terminator), cutting what does not fit.
void PutPart(wchar_t* out, std::size_t size, const wchar_t* from, std::size_t count) {
  if (!out || size == 0) return;
  std::size_t n = count < size - 1 ? count : size - 1;
  if (n) std::wmemcpy(out, from, n);
  out[n] = L'\0';
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsFolder(const std::string& native) {
  struct stat st;
  return !native.empty() && stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::uint64_t RandomWord() {
  std::uint64_t value;
  if (getrandom(&value, sizeof(value), GRND_NONBLOCK) == static_cast<ssize_t>(sizeof(value))) return value;
  static thread_local std::mt19937_64 fallback{std::random_device{}()};
  return fallback();
}

wchar_t* TempName(const wchar_t* dir, const wchar_t* prefix) {
  std::wstring folder;
  std::string native;
  if (dir && ToNative(dir, native) && IsFolder(native)) {
    folder = dir;
  } else {
    DWORD needed = GetTempPathW(0, nullptr);
    if (needed == 0) return nullptr;
    std::vector<wchar_t> temp(needed);
    DWORD n = GetTempPathW(needed, temp.data());
    if (n == 0 || n >= needed) return nullptr;
    folder.assign(temp.data(), n);
    if (!ToNative(folder.c_str(), native) || !IsFolder(native)) return nullptr;
  }
  if (!IsSeparator(folder.back())) folder += L'/';
  folder += prefix ? prefix : L"";

  static const wchar_t kDigits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring name = folder;
    std::uint64_t r = RandomWord();
    for (int i = 0; i < 8; ++i, r /= 36) name += kDigits[r % 36];
    std::string candidate;
    if (!ToNative(name.c_str(), candidate)) return nullptr;
    struct stat st;
    if (lstat(candidate.c_str(), &st) == 0) continue;  // taken
    if (errno != ENOENT) return nullptr;               // cannot tell: too long, no access, ...
    auto* out = static_cast<wchar_t*>(std::malloc((name.size() + 1) * sizeof(wchar_t)));
    if (!out) return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<wchar_t*>(nullptr));
    std::wmemcpy(out, name.c_str(), name.size() + 1);
    return out;
  }
  return nullptr;
}

}  // namespace

void VormSplitPath(const wchar_t* path, wchar_t* drive, size_t driveSize, wchar_t* dir, size_t dirSize, wchar_t* fname,
                   size_t fnameSize, wchar_t* ext, size_t extSize) {
  if (!path) path = L"";
  std::size_t length = std::wcslen(path);
  // Any character followed by ':' opens the path as its drive, as the platform splits it.
  std::size_t driveLength = path[0] != L'\0' && path[1] == L':' ? 2 : 0;
  const wchar_t* rest = path + driveLength;
  std::size_t restLength = length - driveLength;

  std::size_t dirLength = 0;  // through the last separator
  for (std::size_t i = 0; i < restLength; ++i) {
    if (IsSeparator(rest[i])) dirLength = i + 1;
  }
  const wchar_t* name = rest + dirLength;
  std::size_t nameLength = restLength - dirLength;
  std::size_t titleLength = nameLength;  // up to the last dot
  for (std::size_t i = nameLength; i > 0; --i) {
    if (name[i - 1] == L'.') {
      titleLength = i - 1;
      break;
    }
  }
  PutPart(drive, driveSize, path, driveLength);
  PutPart(dir, dirSize, rest, dirLength);
  PutPart(fname, fnameSize, name, titleLength);
  PutPart(ext, extSize, name + titleLength, nameLength - titleLength);
}

void _wsplitpath(const wchar_t* path, wchar_t* drive, wchar_t* dir, wchar_t* fname, wchar_t* ext) {
  VormSplitPath(path, drive, _MAX_DRIVE, dir, _MAX_DIR, fname, _MAX_FNAME, ext, _MAX_EXT);
}

wchar_t* _wtempnam(const wchar_t* dir, const wchar_t* prefix) {
  DWORD saved = GetLastError();
  wchar_t* name = Guarded(static_cast<wchar_t*>(nullptr), [&] { return TempName(dir, prefix); });
  if (name) SetLastError(saved);
  return name;
}
