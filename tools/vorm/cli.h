// Shared pieces of the vorm commands: argument parsing with options anywhere, paths as the
// OS spells them, failure messages that name the path and the reason, and the progress bar.
// The tool is single-threaded but for `watch`'s signal thread.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include <vorm/path.h>
#include <vorm/platform/wintypes.h>

namespace vorm_cli {

// Exit codes: success, a failure the messages explain, and a command line that is wrong.
constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

// A command line taken apart: options may stand anywhere among the operands; "--" ends
// the options. `valued` names the options that take a value ("--filter 0x10" or
// "--filter=0x10"); the others are flags.
struct Args {
  std::vector<std::string> operands;
  std::set<std::string> flags;
  std::map<std::string, std::string> values;
  std::string error;  // a bad command line: what is wrong with it

  bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
};
Args Parse(const std::vector<std::string>& words, const std::set<std::string>& knownFlags,
           const std::set<std::string>& valued);

// The wide form of a path the OS spells (every name byte for byte; see VormFromOsPath).
std::wstring Wide(const std::string& path);
// A path as the OS spells it: slashes, names byte for byte.
std::string Os(const wchar_t* path);
std::string Os(const VormPath& path);

// "vorm: cannot <action> '<path>': <reason>" on standard error; `error` is the platform's
// error code. Returns kFailed.
int Fail(const std::string& action, const std::string& path, DWORD error);
// "vorm: <message>" on standard error; returns `code`.
int Complain(const std::string& message, int code = kFailed);
// The OS's words for a platform error code ("Permission denied", "No such file or directory").
std::string Reason(DWORD error);

// Usage of one command ("" for the overview), and whether that command exists.
bool PrintUsage(const std::string& command, bool toError);
// kUsage after printing `problem` and the command's usage to standard error.
int UsageError(const std::string& command, const std::string& problem);

// A progress bar on standard error, fed by the library's progress hook: shown only when
// standard error is a terminal and the work has run for more than a second. Installs the
// hook for its lifetime.
class ProgressBar {
 public:
  ProgressBar(const std::string& label, int total);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;
  void Step();

 private:
  int done_ = 0;
};

}  // namespace vorm_cli
