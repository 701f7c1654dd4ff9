// vorm walk: the tree walkers.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <vorm/file_trees.h>
#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>

#include "cli.h"
#include "commands.h"

namespace vorm_cli {

namespace {

// The attribute filter word: two bits a condition, 1 = must be set, 2 = must be clear;
// directory is the third condition, hidden the fourth, read-only the sixth.
constexpr int kDirectory = 0x10, kNotDirectory = 0x20, kHidden = 0x40, kReadOnly = 0x400;

// The filter word the options ask for; -1 when none does; kUsage-worthy text in `problem`.
int FilterFrom(const Args& args, std::string& problem) {
  int filter = -1;
  if (auto it = args.values.find("--filter"); it != args.values.end()) {
    char* end = nullptr;
    const unsigned long word = std::strtoul(it->second.c_str(), &end, 0);
    if (it->second.empty() || *end != '\0' || word > 0xFFFF) {
      problem = "bad filter word '" + it->second + "' (a number up to 0xFFFF)";
      return -1;
    }
    filter = static_cast<int>(word);
  }
  auto add = [&filter](int bits) { filter = (filter < 0 ? 0 : filter) | bits; };
  if (auto it = args.values.find("--type"); it != args.values.end()) {
    if (it->second == "f") {
      add(kNotDirectory);
    } else if (it->second == "d") {
      add(kDirectory);
    } else {
      problem = "bad type '" + it->second + "' (f or d)";
      return -1;
    }
  }
  if (args.Has("--hidden")) add(kHidden);
  if (args.Has("--readonly")) add(kReadOnly);
  return filter;
}

}  // namespace

int WalkCommand(const Words& words) {
  const Args args = Parse(words, {"--dfs", "--files", "--hidden", "--readonly", "--print0"}, {"--filter", "--type"});
  if (!args.error.empty()) return UsageError("walk", args.error);
  if (args.operands.empty() || args.operands.size() > 2) return UsageError("walk", "walk takes ROOT [PATTERN]");
  std::string problem;
  const int filter = FilterFrom(args, problem);
  if (!problem.empty()) return UsageError("walk", problem);

  const std::string& rootText = args.operands[0];
  const std::wstring root = Wide(rootText);
  // A missing root, or a file, is an error, as with find.
  const DWORD attributes = GetFileAttributesW(root.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Fail("walk", rootText, GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Fail("walk", rootText, ERROR_DIRECTORY);

  // The pattern is no path: its '*' and '?' are wildcards, typed as they are.
  const std::wstring pattern = args.operands.size() == 2 ? VormFromUtf8(args.operands[1]) : L"*";
  const bool dfs = args.Has("--dfs");
  const bool files = args.Has("--files") || filter >= 0;
  std::unique_ptr<VormFileMatch> walker;
  if (files) {
    walker = dfs ? std::unique_ptr<VormFileMatch>(std::make_unique<VormDFSFileTree>())
                 : std::unique_ptr<VormFileMatch>(std::make_unique<VormBFSFileTree>());
  } else {
    walker = dfs ? std::unique_ptr<VormFileMatch>(std::make_unique<VormDFSDirectoryTree>())
                 : std::unique_ptr<VormFileMatch>(std::make_unique<VormBFSDirectoryTree>());
  }
  const char end = args.Has("--print0") ? '\0' : '\n';
  for (walker->Find(root.c_str(), pattern.c_str(), filter < 0 ? (files ? kNotDirectory : kDirectory) : filter);
       walker->HasMatch(); walker->FindNext()) {
    const std::string path = Os(VormPath(walker->GetPath(), VormPath::CanonicalForm));
    std::fwrite(path.data(), 1, path.size(), stdout);
    std::fputc(end, stdout);
  }
  return kOk;
}

}  // namespace vorm_cli
