#include <vorm/platform/shell.h>

// Temporary bridge over the bounded entry points.
bool VormPathCombine(const std::wstring& dir, const std::wstring& file, std::wstring& out) {
  wchar_t buffer[MAX_PATH] = {};
  if (!PathCombineW(buffer, dir.c_str(), file.c_str())) return false;
  out = buffer;
  return true;
}

bool VormPathRelativePathTo(const std::wstring& from, bool fromIsFolder, const std::wstring& to, bool toIsFolder,
                            std::wstring& out) {
  wchar_t buffer[MAX_PATH] = {};
  if (!PathRelativePathToW(buffer, from.c_str(), fromIsFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL,
                           to.c_str(), toIsFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL)) {
    return false;
  }
  out = buffer;
  return true;
}
