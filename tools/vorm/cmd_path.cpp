// vorm path: the path value's work on paths as the OS spells them.
#include <cstdio>
#include <vector>

#include <vorm/path.h>
#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>

#include "cli.h"
#include "commands.h"

namespace vorm_cli {

std::wstring FullPath(const std::wstring& path) {
  std::vector<wchar_t> buffer(path.size() + 4096);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n);
  }
  return std::wstring();
}

int PathCommand(const Words& words) {
  const Args args = Parse(words, {}, {});
  if (!args.error.empty()) return UsageError("path", args.error);
  if (args.operands.size() < 2) return UsageError("path", "missing operand");
  const std::string& verb = args.operands[0];
  const std::vector<std::string> paths(args.operands.begin() + 1, args.operands.end());
  if (verb == "canonical") {
    for (const std::string& path : paths) {
      const std::wstring full = path.empty() ? std::wstring() : FullPath(Wide(path));
      if (full.empty()) return Fail("resolve", path, ERROR_INVALID_NAME);
      std::printf("%s\n", Os(full.c_str()).c_str());
    }
    return kOk;
  }
  if (verb == "split") {
    for (const std::string& path : paths) {
      VormPath root, dir, title, ext;
      VormPath(Wide(path)).Split(root, dir, title, ext);
      std::printf("root=%s\tdirectory=%s\ttitle=%s\textension=%s\n", Os(root).c_str(), Os(dir).c_str(),
                  Os(title).c_str(), Os(ext).c_str());
    }
    return kOk;
  }
  if (verb == "relative") {
    if (paths.size() != 2) return UsageError("path", "relative takes PATH and BASE");
    const std::wstring path = FullPath(Wide(paths[0]));
    std::wstring base = FullPath(Wide(paths[1]));
    // A folder that exists is the base itself, as with realpath --relative-to.
    const DWORD attributes = GetFileAttributesW(base.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) && base.back() != L'/') {
      base += L'/';
    }
    const VormPath relative = VormPath(path).RelativeTo(VormPath(base));
    if (path.empty() || base.empty() || relative.GetText().IsEmpty()) {
      return Complain("cannot relate '" + paths[0] + "' to '" + paths[1] + "'");
    }
    std::string text = Os(relative);
    if (text.rfind("./", 0) == 0 && text.size() > 2) text.erase(0, 2);  // "a/f.txt", as realpath gives it
    std::printf("%s\n", text.c_str());
    return kOk;
  }
  return UsageError("path", "unknown action '" + verb + "'");
}

}  // namespace vorm_cli
