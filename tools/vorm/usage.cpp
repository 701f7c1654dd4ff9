#include <cstdio>
#include <cstring>

#include "cli.h"

namespace vorm_cli {

namespace {

const struct {
  const char* command;
  const char* text;
} kCommandUsage[] = {
    {"path",
     "usage: vorm path canonical PATH...     the absolute form: '.' and '..' resolved on the text\n"
     "       vorm path split PATH...         root, directory, title and extension\n"
     "       vorm path relative PATH BASE    PATH relative to BASE (a folder, or a file's folder)\n"},
    {"walk",
     "usage: vorm walk [--dfs] [--files] [--type f|d] [--hidden] [--readonly] [--filter WORD]\n"
     "                 [--print0] ROOT [PATTERN]\n"
     "  Prints the folders of the tree ROOT (breadth-first, or depth-first with --dfs), or with\n"
     "  --files the matching entries of every folder. PATTERN is a wildcard ('*', '?'); --type,\n"
     "  --hidden, --readonly and --filter (the raw attribute filter word) choose entries and\n"
     "  imply --files. --print0 ends each path with a NUL instead of a line break.\n"},
    {"tree",
     "usage: vorm tree copy FROM TO [--no-overwrite] [--dry-run] [-v]\n"
     "       vorm tree move FROM TO [--no-overwrite] [--dry-run] [-v]\n"
     "       vorm tree delete PATH [--dry-run] [-v]\n"
     "       vorm tree mkdir PATH [-v]\n"
     "  FROM may be a file (copied to TO, or into TO when TO is a folder) or a folder tree.\n"
     "  --dry-run lists what would be done and changes nothing; -v lists what was done.\n"},
    {"points",
     "usage: vorm points count|normalize|sorted TEXT\n"
     "  Counts the numbers a point list such as 1-5,7 names, or rewrites it without duplicates\n"
     "  in text order (normalize) or sorted.\n"},
    {"watch",
     "usage: vorm watch FOLDER...\n"
     "  Prints each change of the folders' entries as it is reported (time, path, changes)\n"
     "  until interrupted.\n"},
    {"xml",
     "usage: vorm xml query FILE XPATH     count and text of the selected nodes\n"
     "       vorm xml check FILE...        parse errors as file:line:column: reason\n"},
    {"survey",
     "usage: vorm survey report [--json] FOLDER\n"
     "  One row per surface of every LandXML file in the tree: points, faces, plan extents and\n"
     "  point numbers; alignments and CgPoints per file; files that do not parse as errors.\n"},
    {"help", "usage: vorm help [COMMAND]\n"},
};

const char kOverview[] =
    "usage: vorm [-v] COMMAND [ARGUMENTS]\n"
    "       vorm --version\n"
    "       vorm help COMMAND\n"
    "commands: path, walk, tree, points, watch, xml, survey\n"
    "Paths are taken and printed as the OS spells them. Exit status: 0 success, 1 failure,\n"
    "2 a command line that is wrong. See vorm(1).\n";

}  // namespace

bool PrintUsage(const std::string& command, bool toError) {
  FILE* out = toError ? stderr : stdout;
  if (command.empty()) {
    std::fputs(kOverview, out);
    return true;
  }
  for (const auto& entry : kCommandUsage) {
    if (command == entry.command) {
      std::fputs(entry.text, out);
      return true;
    }
  }
  return false;
}

}  // namespace vorm_cli
