// vorm: the library's work from the command line. `vorm help` lists the commands; vorm.1
// describes them.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

#ifndef VORM_VERSION
#define VORM_VERSION "0"
#endif

using namespace vorm_cli;

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  // Options before the command: -v (verbose), --version, --help.
  bool verbose = false;
  while (!words.empty() && words.front().size() > 1 && words.front()[0] == '-') {
    const std::string option = words.front();
    if (option == "--version") {
      std::printf("vorm %s\n", VORM_VERSION);
      return kOk;
    }
    if (option == "--help" || option == "-h") {
      PrintUsage("", false);
      return kOk;
    }
    if (option != "-v" && option != "--verbose") return UsageError("", "unknown option '" + option + "'");
    verbose = true;
    words.erase(words.begin());
  }
  if (words.empty()) return UsageError("", "missing command");
  const std::string command = words.front();
  const Words rest(words.begin() + 1, words.end());
  if (command == "help") {
    if (rest.size() > 1) return UsageError("help", "help takes one COMMAND");
    if (!PrintUsage(rest.empty() ? "" : rest[0], false)) return Complain("no command '" + rest[0] + "'", kUsage);
    return kOk;
  }
  if (command == "path") return PathCommand(rest);
  if (command == "walk") return WalkCommand(rest);
  if (command == "tree") return TreeCommand(rest, verbose);
  if (command == "points") return PointsCommand(rest);
  if (command == "watch") return WatchCommand(rest);
  if (command == "xml") return XmlCommand(rest);
  if (command == "survey") return SurveyCommand(rest);
  return UsageError("", "unknown command '" + command + "'");
}
