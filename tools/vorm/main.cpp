// vorm: the library's work from the command line.
//
//   vorm path canonical PATH...         canonical form of each path
//   vorm path split PATH...             root, directory, title and extension
//   vorm path relative PATH BASE        PATH relative to the folder of BASE
//   vorm walk [--dfs] [--files] [--filter N] ROOT [PATTERN]
//                                       folders (or matching files) of a tree, one per line
//   vorm tree copy|move FROM TO [--no-overwrite]
//   vorm tree delete FOLDER
//   vorm tree mkdir PATH                create a folder with its missing parents
//   vorm points count|normalize|sorted TEXT
//                                       count the numbers a point list names, or rewrite it
//                                       without duplicates (in text order, or sorted)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <vorm/file_ops.h>
#include <vorm/file_trees.h>
#include <vorm/point_string.h>
#include <vorm/path.h>
#include <vorm/platform/text.h>

namespace {

int Usage() {
  std::fputs(
      "usage: vorm path canonical PATH...\n"
      "       vorm path split PATH...\n"
      "       vorm path relative PATH BASE\n"
      "       vorm walk [--dfs] [--files] [--filter N] ROOT [PATTERN]\n"
      "       vorm tree copy|move FROM TO [--no-overwrite]\n"
      "       vorm tree delete FOLDER\n"
      "       vorm tree mkdir PATH\n"
      "       vorm points count|normalize|sorted TEXT\n",
      stderr);
  return 2;
}

// Paths are printed as the OS spells them: slashes, and every name byte for byte, so the
// output can be fed back to other tools.
std::string Os(const VormPath& p) { return VormToOsPath(p.GetText().str()); }

// An argument that is text, not a path, as it was typed.
std::wstring Plain(const std::wstring& arg) { return VormFromUtf8(VormToOsPath(arg)); }

void Print(const VormPath& p) { std::printf("%s\n", Os(p).c_str()); }

void PrintNative(const VormPath& p) { Print(VormPath(p, VormPath::CanonicalForm)); }

int PathCommand(const std::vector<std::wstring>& args) {
  if (args.size() < 2) return Usage();
  const std::wstring& verb = args[0];
  if (verb == L"canonical") {
    for (size_t i = 1; i < args.size(); ++i) Print(VormPath(args[i], VormPath::CanonicalForm));
    return 0;
  }
  if (verb == L"split") {
    for (size_t i = 1; i < args.size(); ++i) {
      VormPath root, dir, title, ext;
      VormPath(args[i]).Split(root, dir, title, ext);
      std::printf("root=%s\tdirectory=%s\ttitle=%s\textension=%s\n", Os(root).c_str(), Os(dir).c_str(),
                  Os(title).c_str(), Os(ext).c_str());
    }
    return 0;
  }
  if (verb == L"relative" && args.size() == 3) {
    const VormPath relative = VormPath(args[1]).RelativeTo(VormPath(args[2]));
    if (relative.GetText().IsEmpty()) {
      std::fputs("vorm: the paths cannot be related\n", stderr);
      return 1;
    }
    Print(relative);
    return 0;
  }
  return Usage();
}

int WalkCommand(const std::vector<std::wstring>& args) {
  bool dfs = false, files = false;
  int filter = -1;
  std::vector<std::wstring> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"--dfs") dfs = true;
    else if (args[i] == L"--files") files = true;
    else if (args[i] == L"--filter" && i + 1 < args.size()) filter = static_cast<int>(std::wcstol(args[++i].c_str(), nullptr, 0));
    else rest.push_back(args[i]);
  }
  if (rest.empty() || rest.size() > 2) return Usage();
  // The pattern is no path: its '*' and '?' are wildcards.
  const std::wstring pattern = rest.size() == 2 ? Plain(rest[1]) : L"*";
  std::unique_ptr<VormFileMatch> walker;
  if (files) walker = dfs ? std::unique_ptr<VormFileMatch>(new VormDFSFileTree) : std::make_unique<VormBFSFileTree>();
  else walker = dfs ? std::unique_ptr<VormFileMatch>(new VormDFSDirectoryTree) : std::make_unique<VormBFSDirectoryTree>();
  for (walker->Find(rest[0].c_str(), pattern.c_str(), filter < 0 ? (files ? 0x20 : 0x10) : filter); walker->HasMatch();
       walker->FindNext()) {
    PrintNative(walker->GetPath());
  }
  return 0;
}

int Failed(const char* what) {
  std::fprintf(stderr, "vorm: %s failed\n", what);
  return 1;
}

int TreeCommand(const std::vector<std::wstring>& args) {
  if (args.size() < 2) return Usage();
  const std::wstring& verb = args[0];
  if ((verb == L"copy" || verb == L"move") && (args.size() == 3 || (args.size() == 4 && args[3] == L"--no-overwrite"))) {
    const BOOL failIfExists = args.size() == 4 ? TRUE : FALSE;
    const int r = verb == L"copy" ? VormCopyTree(args[1].c_str(), args[2].c_str(), failIfExists)
                                  : VormMoveTree(args[1].c_str(), args[2].c_str(), failIfExists);
    return r == 0 ? 0 : Failed(verb == L"copy" ? "copy" : "move");
  }
  if (verb == L"delete" && args.size() == 2) return VormDeleteTree(args[1].c_str()) == 0 ? 0 : Failed("delete");
  if (verb == L"mkdir" && args.size() == 2) return VormCreatePath(args[1].c_str()) == 0 ? 0 : Failed("mkdir");
  return Usage();
}

int PointsCommand(const std::vector<std::wstring>& args) {
  if (args.size() != 2) return Usage();
  VormPointString points(Plain(args[1]).c_str());
  if (!points.IsValid()) {
    std::fputs("vorm: not a valid point list\n", stderr);
    return 1;
  }
  if (args[0] == L"count") {
    std::printf("%u\n", static_cast<unsigned>(points.GetCount()));
    return 0;
  }
  if (args[0] == L"normalize" || args[0] == L"sorted") {
    points.Normalize(args[0] == L"sorted" ? TRUE : FALSE);
    std::printf("%s\n", VormToUtf8(points.GetString()).c_str());
    return 0;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::vector<std::wstring> args;
  // Arguments are names and paths as the OS spells them: a '\\' or ':' in one is part of a
  // name, never a separator or a drive.
  for (int i = 2; i < argc; ++i) args.push_back(VormFromOsPath(argv[i]));
  if (std::strcmp(argv[1], "path") == 0) return PathCommand(args);
  if (std::strcmp(argv[1], "walk") == 0) return WalkCommand(args);
  if (std::strcmp(argv[1], "tree") == 0) return TreeCommand(args);
  if (std::strcmp(argv[1], "points") == 0) return PointsCommand(args);
  return Usage();
}
