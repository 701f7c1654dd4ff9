// vorm tree: copying, moving and deleting files and trees, and making folder paths, with
// messages that name each failing path, dry runs, a verbose listing and a progress bar.
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <vorm/file_ops.h>
#include <vorm/file_trees.h>
#include <vorm/platform/console.h>
#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>

#include "cli.h"
#include "commands.h"

namespace vorm_cli {

namespace {

// Prints each item as the library reports it and feeds the progress bar.
class Reporter : public VormTreeObserver {
 public:
  Reporter(bool dry, bool verbose, ProgressBar* bar) : dry_(dry), verbose_(verbose), bar_(bar) {}
  bool DryRun() const override { return dry_; }
  void OnItem(Action action, const wchar_t* path, const wchar_t* target, DWORD error) override {
    static const char* const kVerb[] = {"create folder", "copy", "delete", "remove folder"};
    static const char* const kDone[] = {"created folder", "copied", "deleted", "removed folder"};
    if (bar_) bar_->Step();
    if (error != 0) {
      ++failures;
      Fail(kVerb[action], Shown(path), error);
      return;
    }
    if (!dry_ && !verbose_) return;
    std::printf("%s%s '%s'", dry_ ? "would " : "", dry_ ? kVerb[action] : kDone[action], Shown(path).c_str());
    if (target) std::printf(" -> '%s'", Shown(target).c_str());
    std::printf("\n");
  }
  // Paths under the absolute form of `typed` are shown under `typed`, as the user wrote it.
  void ShowAs(const std::string& typed) {
    std::string full = Os(FullPath(Wide(typed)).c_str()), shown = typed;
    while (full.size() > 1 && full.back() == '/') full.pop_back();
    while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
    if (!full.empty()) prefixes_.emplace_back(full, shown);
  }
  int failures = 0;

 private:
  std::string Shown(const wchar_t* path) const {
    std::string text = Os(path);
    for (const auto& [full, typed] : prefixes_) {
      if (text.compare(0, full.size(), full) == 0 && (text.size() == full.size() || text[full.size()] == '/')) {
        return typed + text.substr(full.size());
      }
    }
    return text;
  }

  std::vector<std::pair<std::string, std::string>> prefixes_;
  bool dry_, verbose_;
  ProgressBar* bar_;
};

// Entries of the tree `root` and the root itself: the size of the progress bar's work.
int CountEntries(const std::wstring& root) {
  int count = 1;
  VormBFSFileTree walker;
  for (walker.Find(root.c_str(), L"*", 0); walker.HasMatch(); walker.FindNext()) ++count;
  return count;
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Copies or moves one file; into TO when TO is a folder.
int FileCommand(const std::string& verb, const std::string& from, const std::string& to, bool failIfExists,
                Reporter& reporter) {
  std::wstring target = Wide(to);
  if (IsFolder(target)) target = VormPath(target).Join(VormPath(Wide(from)).LastComponent().GetText().str());
  const std::wstring source = Wide(from);
  const bool dry = reporter.DryRun();
  const bool copied = dry || VormCopyFile(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE) == 0;
  reporter.OnItem(VormTreeObserver::CopyFile, source.c_str(), target.c_str(), copied ? 0 : GetLastError());
  if (!copied) return kFailed;
  if (verb == "move") {
    const bool deleted = dry || VormDeleteFile(source.c_str()) == 0;
    reporter.OnItem(VormTreeObserver::DeleteFile, source.c_str(), nullptr, deleted ? 0 : GetLastError());
    if (!deleted) return kFailed;
  }
  return kOk;
}

}  // namespace

int TreeCommand(const Words& words, bool verbose) {
  const Args args = Parse(words, {"--no-overwrite", "--dry-run", "-v", "--verbose"}, {});
  if (!args.error.empty()) return UsageError("tree", args.error);
  if (args.operands.empty()) return UsageError("tree", "missing action");
  verbose = verbose || args.Has("-v") || args.Has("--verbose");
  const bool dry = args.Has("--dry-run");
  const std::string& verb = args.operands[0];
  const bool twoPaths = verb == "copy" || verb == "move";
  if (!twoPaths && verb != "delete" && verb != "mkdir") return UsageError("tree", "unknown action '" + verb + "'");
  if (args.operands.size() != (twoPaths ? 3u : 2u)) {
    return UsageError("tree", twoPaths ? verb + " takes FROM and TO" : verb + " takes one PATH");
  }
  const std::string& first = args.operands[1];
  const std::wstring path = Wide(first);

  if (verb == "mkdir") {
    if (dry) {
      std::printf("would create folder '%s'\n", first.c_str());
      return kOk;
    }
    if (VormCreatePath(path.c_str()) != 0) return Fail("create folder", first, GetLastError());
    if (verbose) std::printf("created folder '%s'\n", first.c_str());
    return kOk;
  }

  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (verb == "delete") return kOk;  // nothing there counts as removed, as with rm -rf
    return Fail(verb, first, GetLastError());
  }
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // The bar counts the work first; only worth it when someone can see the bar.
  std::optional<ProgressBar> bar;
  if (folder && _isatty(2)) {
    const int entries = CountEntries(path);
    bar.emplace(verb, verb == "move" ? 2 * entries : entries);
  }
  Reporter reporter(dry, verbose, bar ? &*bar : nullptr);
  reporter.ShowAs(first);

  if (verb == "delete") {
    if (!folder) {
      const bool deleted = dry || VormDeleteFile(path.c_str()) == 0;
      reporter.OnItem(VormTreeObserver::DeleteFile, path.c_str(), nullptr, deleted ? 0 : GetLastError());
      return deleted ? kOk : kFailed;
    }
    const int result = VormDeleteTree(path.c_str(), &reporter);
    if (result != 0 && reporter.failures == 0) return Fail("delete", first, GetLastError());
    return result == 0 ? kOk : kFailed;
  }

  const std::string& to = args.operands[2];
  const bool failIfExists = args.Has("--no-overwrite");
  if (!folder) return FileCommand(verb, first, to, failIfExists, reporter);
  const std::wstring target = Wide(to);
  const int result = verb == "copy" ? VormCopyTree(path.c_str(), target.c_str(), failIfExists, &reporter)
                                    : VormMoveTree(path.c_str(), target.c_str(), failIfExists, &reporter);
  if (result != 0 && reporter.failures == 0) {
    // Refused before any item: the target lies inside the source.
    return Complain("cannot " + verb + " '" + first + "' to '" + to + "': the target lies inside the source");
  }
  return result == 0 ? kOk : kFailed;
}

}  // namespace vorm_cli
