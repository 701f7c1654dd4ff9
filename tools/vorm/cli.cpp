#include "cli.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <vorm/platform/console.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>
#include <vorm/progress.h>

namespace vorm_cli {

Args Parse(const std::vector<std::string>& words, const std::set<std::string>& knownFlags,
           const std::set<std::string>& valued) {
  Args args;
  bool optionsEnded = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      args.operands.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    if (valued.count(name)) {
      if (equals != std::string::npos) {
        args.values[name] = word.substr(equals + 1);
      } else if (i + 1 < words.size()) {
        args.values[name] = words[++i];
      } else {
        args.error = "option '" + name + "' needs a value";
      }
    } else if (knownFlags.count(word)) {
      args.flags.insert(word);
    } else {
      args.error = "unknown option '" + word + "'";
    }
  }
  return args;
}

std::wstring Wide(const std::string& path) { return VormFromOsPath(path); }

std::string Os(const wchar_t* path) { return VormToOsPath(path ? path : L""); }

std::string Os(const VormPath& path) { return VormToOsPath(path.GetText().str()); }

std::string Reason(DWORD error) {
  // The errno that stands behind each code the file layer produces, for the OS's wording.
  static const struct {
    DWORD code;
    int err;
  } kCodes[] = {
      {ERROR_FILE_NOT_FOUND, ENOENT},
      {ERROR_PATH_NOT_FOUND, ENOENT},
      {ERROR_ACCESS_DENIED, EACCES},
      {ERROR_FILE_EXISTS, EEXIST},
      {ERROR_ALREADY_EXISTS, EEXIST},
      {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
      {ERROR_DIRECTORY, ENOTDIR},
      {ERROR_DISK_FULL, ENOSPC},
      {ERROR_SHARING_VIOLATION, EBUSY},
      {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
      {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
      {ERROR_WRITE_PROTECT, EROFS},
      {ERROR_INVALID_PARAMETER, EINVAL},
      {ERROR_NOT_SAME_DEVICE, EXDEV},
      {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
      {ERROR_CANT_RESOLVE_FILENAME, ELOOP},
  };
  for (const auto& entry : kCodes) {
    if (entry.code == error) return std::strerror(entry.err);
  }
  if (error == ERROR_INVALID_NAME) return "Name would leave the tree";
  wchar_t text[512] = {};
  if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512,
                     nullptr) != 0) {
    std::string reason = VormToUtf8(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
      reason.pop_back();
    }
    return reason;
  }
  return "error " + std::to_string(error);
}

namespace {
void ClearProgressLine();
}  // namespace

int Fail(const std::string& action, const std::string& path, DWORD error) {
  ClearProgressLine();
  std::fprintf(stderr, "vorm: cannot %s '%s': %s\n", action.c_str(), path.c_str(), Reason(error).c_str());
  return kFailed;
}

int Complain(const std::string& message, int code) {
  ClearProgressLine();
  std::fprintf(stderr, "vorm: %s\n", message.c_str());
  return code;
}

int UsageError(const std::string& command, const std::string& problem) {
  std::fprintf(stderr, "vorm: %s\n", problem.c_str());
  PrintUsage(command, true);
  return kUsage;
}

// ---------------------------------------------------------------- progress

namespace {

using Clock = std::chrono::steady_clock;

struct BarState {
  std::string label;
  int total = 0;
  Clock::time_point start;
  bool drawn = false;
  bool terminal = false;
  Clock::duration delay = std::chrono::seconds(1);  // short work shows no bar
} g_bar;

void ClearProgressLine() {
  if (!g_bar.drawn) return;
  std::fprintf(stderr, "\r\033[K");
  g_bar.drawn = false;
}

void Draw(int pos) {
  constexpr int kWidth = 30;
  const int total = g_bar.total > 0 ? g_bar.total : 1;
  const int filled = static_cast<int>(static_cast<long long>(kWidth) * std::min(pos, total) / total);
  std::string bar(static_cast<size_t>(filled), '=');
  bar.resize(kWidth, ' ');
  std::fprintf(stderr, "\r%s [%s] %d/%d", g_bar.label.c_str(), bar.c_str(), pos, g_bar.total);
  std::fflush(stderr);
  g_bar.drawn = true;
}

// The library's progress hook: meter-1 start (code 3) and positions (code 1).
int Hook(int code, int a, int) {
  if (code == 3) {
    g_bar.total = a;
    g_bar.start = Clock::now();
  } else if (code == 1 && g_bar.terminal && Clock::now() - g_bar.start > g_bar.delay) {
    Draw(a);
  }
  return 1;  // go on
}

}  // namespace

ProgressBar::ProgressBar(const std::string& label, int total) {
  g_bar = BarState{};
  g_bar.label = label;
  g_bar.terminal = _isatty(2) != 0;
  // VORM_PROGRESS_AFTER_MS moves the one-second threshold (the tests show the bar at once).
  if (const char* after = std::getenv("VORM_PROGRESS_AFTER_MS"))
    g_bar.delay = std::chrono::milliseconds(std::atol(after));
  VormSetProgressCallback(&Hook);
  VormProgressStart(0, total);  // sends (3, total, 0)
}

ProgressBar::~ProgressBar() {
  ClearProgressLine();
  VormSetProgressCallback(nullptr);
}

void ProgressBar::Step() { VormProgressSetPos(++done_); }

}  // namespace vorm_cli
