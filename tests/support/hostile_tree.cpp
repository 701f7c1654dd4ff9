#include "support/hostile_tree.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include <sys/wait.h>
#include <unistd.h>

namespace vorm_test {

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& p, const std::string& content) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Names that are plain on Linux and grammar on the platform.
const char* const kFolderNames[] = {"..\\..", "..\"..", "*", "a:b", "new\nline", "bad\xff", "C:", "sub"};
const char* const kFileNames[] = {
    "a\\b", "x\"y", "?", "<>|", "Budget \"final\".xlsx", "tab\there.txt", "bad\xfe.txt", "\\", "..\\..\\keep.txt"};

const char* const kSentinels[] = {"../keep.txt", "../../keep.txt", "../x.txt", "../?", "../*", "../a:b"};

}  // namespace

std::vector<std::string> MakeHostileTree(const fs::path& tree) {
  fs::create_directories(tree);
  for (const char* name : kFileNames) Write(tree / name, std::string("file ") + name);
  for (const char* folder : kFolderNames) {
    fs::create_directory(tree / folder);
    Write(tree / folder / "..\\..\\keep.txt", std::string("inner of ") + folder);
    Write(tree / folder / "?", std::string("question in ") + folder);
  }
  // Each name also the other way round: the folder names as files, the file names as folders.
  for (const char* name : kFolderNames) Write(tree / "*" / name, std::string("file ") + name);
  fs::create_directory(tree / "|");
  for (const char* name : kFileNames) fs::create_directory(tree / "|" / name);
  // Deeper: the name that once turned a copy into a read and a write outside both trees.
  fs::create_directories(tree / "sub" / "..\\..");
  Write(tree / "sub" / "..\\..\\x.txt", "deep x");
  Write(tree / "sub" / "..\\.." / "..\\..", "deepest");
  // Links keep their target text byte for byte; a read-only file keeps its mode.
  fs::create_symlink("a\\b", tree / "link to a\\b");
  fs::create_directory_symlink("..\\..", tree / "link:dir");
  Write(tree / "read\\only", "ro");
  fs::permissions(tree / "read\\only", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  return TreeContents(tree);
}

void MakeSentinels(const fs::path& tree) {
  for (const char* rel : kSentinels) {
    const fs::path place = (tree / rel).lexically_normal();  // the tree need not exist
    fs::create_directories(place.parent_path());
    Write(place, std::string("sentinel ") + rel);
  }
}

bool SentinelsIntact(const fs::path& tree) {
  return std::all_of(std::begin(kSentinels), std::end(kSentinels), [&](const char* rel) {
    const fs::path place = (tree / rel).lexically_normal();
    return fs::is_regular_file(fs::symlink_status(place)) && Read(place) == std::string("sentinel ") + rel;
  });
}

std::vector<std::string> TreeContents(const fs::path& root) {
  std::vector<std::string> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    std::string rel = it->path().lexically_relative(root).string();  // never through a link
    if (it->is_symlink()) {
      out.push_back(rel + "->" + fs::read_symlink(it->path()).string());
    } else if (it->is_directory()) {
      out.push_back(rel + "/");
    } else {
      out.push_back(rel + "=" + Read(it->path()));
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

int RunUnprivileged(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid < 0) return 77;
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(77);
    _exit(body());
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace vorm_test
