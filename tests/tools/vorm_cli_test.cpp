#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/hostile_tree.h"
#include "support/temp_tree.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Reads `fd` to its end.
std::string Drain(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// Runs the CLI with `args` (no shell) in `cwd`, standard output and error captured.
Outcome Cli(const std::vector<std::string>& args, const fs::path& cwd = fs::current_path()) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    std::vector<char*> argv{const_cast<char*>(VORM_CLI_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(VORM_CLI_PATH, argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  Outcome run;
  run.out = Drain(out[0]);  // small outputs: the error pipe cannot fill meanwhile
  run.err = Drain(err[0]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(VormCli, CommandLineAndPaths) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
      {{"--version"}, 0, "vorm 0.1.0\n"},
      {{"unknown"}, 2, ""},
      {{"help", "nosuch"}, 2, ""},
      {{"path", "canonical", "/a/./b/../c//d/"}, 0, "/a/c/d/\n"},
      {{"path", "canonical", "/a/b\\\\c"}, 0, "/a/b\\\\c\n"},  // a backslash is part of a name
      {{"path", "relative", "/tmp/a/f.txt", "/tmp/x/"}, 0, "../a/f.txt\n"},
      {{"path", "split", "/d/f.tar.gz"}, 0, "root=\tdirectory=/d/\ttitle=f.tar\textension=.gz\n"},
      {{"points", "sorted", "5,1-3,2,10-8"}, 0, "1-3,5,8-10\n"},
      {{"points", "count", "1-5,7"}, 0, "6\n"},
      {{"points", "count", "1,x"}, 1, ""},
      {{"walk"}, 2, ""},
      {{"tree", "copy", "only-one"}, 2, ""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Outcome run = Cli(cases[i].args);
    EXPECT_EQ(run.status, cases[i].status) << i << " " << run.err;
    EXPECT_EQ(run.out, cases[i].out) << i;
  }
  EXPECT_NE(Cli({"help", "walk"}).out.find("--print0"), std::string::npos);
  // Relative paths relate through the current folder.
  vorm_test::TempTree tree;
  tree.Make({"x/", "a/f.txt"});
  EXPECT_EQ(Cli({"path", "relative", "a/f.txt", tree.root().string() + "/x"}, tree.root()).out, "../a/f.txt\n");
  EXPECT_EQ(Cli({"path", "canonical", "a/../x"}, tree.root()).out, fs::canonical(tree.root()).string() + "/x\n");
}

TEST(VormCli, WalkFiltersAndErrors) {
  vorm_test::TempTree tree;
  const std::string root = tree.root().string();
  tree.Make({"a/f.txt", "a/.hidden", "b/", "top.txt", "ro.txt"});
  fs::permissions(tree.root() / "ro.txt", fs::perms::owner_read);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
      {{"walk", root}, 0, root + "\n" + root + "/a\n" + root + "/b\n"},
      {{"walk", "--type", "d", root}, 0, root + "/a\n" + root + "/b\n"},
      {{"walk", root, "--type=f", "--dfs"},
       0,
       root + "/a/.hidden\n" + root + "/a/f.txt\n" + root + "/ro.txt\n" + root + "/top.txt\n"},
      {{"walk", "--hidden", root}, 0, root + "/a/.hidden\n"},
      {{"walk", root, "--readonly", "--type", "f"}, 0, root + "/ro.txt\n"},
      {{"walk", "--files", root, "t*"}, 0, root + "/top.txt\n"},
      {{"walk", "--print0", "--files", root, "t*"}, 0, std::string(root + "/top.txt") + '\0'},
      {{"walk", "--filter", "0x10", root}, 0, root + "/a\n" + root + "/b\n"},
      {{"walk", "--filter", "banana", root}, 2, ""},
      {{"walk", "--type", "x", root}, 2, ""},
      {{"walk", "--bogus", root}, 2, ""},
      {{"walk", root + "/missing"}, 1, ""},
      {{"walk", root + "/top.txt"}, 1, ""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Outcome run = Cli(cases[i].args);
    EXPECT_EQ(run.status, cases[i].status) << i << " " << run.err;
    EXPECT_EQ(run.out, cases[i].out) << i;
  }
  EXPECT_EQ(Cli({"walk", root + "/missing"}).err,
            "vorm: cannot walk '" + root + "/missing': No such file or directory\n");
  EXPECT_EQ(Cli({"walk", root + "/top.txt"}).err, "vorm: cannot walk '" + root + "/top.txt': Not a directory\n");
}

// Names that the platform's grammar would read are printed as the OS spells them, and the
// printed paths lead back to the same entries.
TEST(VormCli, WalkPrintsNamesAsTheOsSpellsThem) {
  vorm_test::TempTree tree;
  const std::string root = tree.root().string();
  tree.Make({"odd/", "odd/back\\slash.txt", "odd/say \"hi\"/", "odd/a:b*?.txt"});
  Outcome run = Cli({"walk", "--files", "--filter", "0", root + "/odd"});
  EXPECT_EQ(run.out, root + "/odd/a:b*?.txt\n" + root + "/odd/back\\slash.txt\n" + root + "/odd/say \"hi\"\n");
  run = Cli({"walk", root + "/odd/say \"hi\""});
  EXPECT_EQ(run.out, root + "/odd/say \"hi\"\n");
}

TEST(VormCli, TreeCommands) {
  vorm_test::TempTree tree;
  const fs::path r = tree.root();
  tree.Make({"src/a.txt", "src/d/b.txt", "file.txt"});
  // Dry runs list what would be done and change nothing.
  Outcome run = Cli({"tree", "--dry-run", "copy", "src", "dst"}, r);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "would create folder 'dst'\nwould create folder 'dst/d'\nwould copy 'src/a.txt' -> 'dst/a.txt'\n"
            "would copy 'src/d/b.txt' -> 'dst/d/b.txt'\n");
  EXPECT_FALSE(fs::exists(r / "dst"));
  EXPECT_EQ(
      Cli({"tree", "delete", "src", "--dry-run"}, r).out,
      "would delete 'src/a.txt'\nwould delete 'src/d/b.txt'\nwould remove folder 'src/d'\nwould remove folder 'src'\n");
  EXPECT_TRUE(fs::exists(r / "src/d/b.txt"));

  // -v lists what was done; a file is copied as a file, into a folder by its name.
  run = Cli({"-v", "tree", "copy", "src", "dst"}, r);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "created folder 'dst'\ncreated folder 'dst/d'\ncopied 'src/a.txt' -> 'dst/a.txt'\n"
            "copied 'src/d/b.txt' -> 'dst/d/b.txt'\n");
  EXPECT_EQ(Cli({"tree", "copy", "file.txt", "dst"}, r).status, 0);
  EXPECT_EQ(tree.ReadFile("dst/file.txt"), "file.txt");
  EXPECT_EQ(Cli({"tree", "copy", "file.txt", "copy.txt"}, r).status, 0);
  EXPECT_EQ(tree.ReadFile("copy.txt"), "file.txt");

  // Failures name the path and the reason.
  run = Cli({"tree", "copy", "--no-overwrite", "src", "dst"}, r);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "vorm: cannot copy 'src/a.txt': File exists\n");
  run = Cli({"tree", "mkdir", "file.txt"}, r);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "vorm: cannot create folder 'file.txt': File exists\n");
  run = Cli({"tree", "copy", "missing", "x"}, r);
  EXPECT_EQ(run.err, "vorm: cannot copy 'missing': No such file or directory\n");
  run = Cli({"tree", "copy", "src", "src/inner"}, r);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("inside the source"), std::string::npos);

  EXPECT_EQ(Cli({"tree", "move", "dst", "moved"}, r).status, 0);
  EXPECT_FALSE(fs::exists(r / "dst"));
  EXPECT_EQ(Cli({"tree", "delete", "moved"}, r).status, 0);
  EXPECT_FALSE(fs::exists(r / "moved"));
  EXPECT_EQ(Cli({"tree", "delete", "moved"}, r).status, 0);  // nothing there: as rm -rf
}

// As an unprivileged user a folder that cannot be read fails with the OS's reason, and the
// delete goes on with the rest.
TEST(VormCli, PermissionFailuresGoOn) {
  vorm_test::TempTree tree;
  const fs::path r = tree.root();
  tree.Make({"t/locked/f.txt", "t/free/g.txt", "t/h.txt"});
  fs::permissions(r, static_cast<fs::perms>(0755));
  fs::permissions(r / "t/locked", static_cast<fs::perms>(0555));
  for (const auto& entry : fs::recursive_directory_iterator(r)) {
    if (geteuid() == 0 && entry.path().string().find("/t") != std::string::npos) {
      ASSERT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0);
    }
  }
  if (geteuid() == 0) {
    ASSERT_EQ(lchown((r / "t").c_str(), 65534, 65534), 0);
    ASSERT_EQ(lchown((r / "t/locked").c_str(), 0, 0), 0);  // not theirs: they cannot change it
  }
  const int code = vorm_test::RunUnprivileged([&] {
    const Outcome run = Cli({"tree", "delete", "t"}, r);
    // The read-only folder is refused as the platform refuses it; `t` lies in a folder
    // that is not theirs.
    const bool ok = run.status == 1 && run.err ==
                                           "vorm: cannot delete 't/locked/f.txt': Permission denied\n"
                                           "vorm: cannot remove folder 't/locked': Permission denied\n"
                                           "vorm: cannot remove folder 't': Permission denied\n";
    if (!ok) std::fprintf(stderr, "status %d, errors:\n%s", run.status, run.err.c_str());
    return ok ? 0 : 1;
  });
  if (code == 77) GTEST_SKIP() << "cannot run a child process as an unprivileged user";
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(fs::exists(r / "t/free"));
  EXPECT_FALSE(fs::exists(r / "t/h.txt"));
  EXPECT_TRUE(fs::exists(r / "t/locked/f.txt"));
}

// The bar appears on a terminal (here a pseudo-terminal, with the one-second wait taken away).
TEST(VormCli, ProgressBarOnATerminal) {
  vorm_test::TempTree tree;
  tree.Make({"src/a", "src/b", "src/d/c"});
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("VORM_PROGRESS_AFTER_MS", "0", 1);
    if (chdir(tree.root().c_str()) != 0) _exit(126);
    execl(VORM_CLI_PATH, VORM_CLI_PATH, "tree", "copy", "src", "dst", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string screen;
  char buffer[1024];
  ssize_t n;
  while ((n = read(master, buffer, sizeof buffer)) > 0) screen.append(buffer, static_cast<size_t>(n));
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(screen.find("copy ["), std::string::npos) << screen;
  EXPECT_NE(screen.find("\r\033[K"), std::string::npos);  // the bar is cleared at the end
  EXPECT_TRUE(fs::exists(tree.root() / "dst/d/c"));
}

// watch prints each reported change and ends cleanly on Ctrl-C.
TEST(VormCli, WatchUntilInterrupted) {
  vorm_test::TempTree tree;
  tree.Make({"w/f.txt"});
  int out[2], err[2];
  ASSERT_EQ(pipe(out), 0);
  ASSERT_EQ(pipe(err), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    execl(VORM_CLI_PATH, VORM_CLI_PATH, "watch", (tree.root() / "w").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  // Reads from `fd` until `text` appears or 20 s pass.
  auto await = [](int fd, std::string& seen, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (seen.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 1000) > 0) {
        char buffer[512];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        seen.append(buffer, static_cast<size_t>(n));
      }
    }
    return seen.find(text) != std::string::npos;
  };
  std::string errors, lines;
  ASSERT_TRUE(await(err[0], errors, "watching")) << errors;
  std::ofstream(tree.root() / "w/f.txt", std::ios::app) << "more";
  EXPECT_TRUE(await(out[0], lines, "/w/f.txt size,last-write\n")) << lines;
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  close(out[0]);
  close(err[0]);
}

TEST(VormCli, XmlQueryAndCheck) {
  vorm_test::TempTree tree;
  tree.WriteFile("a.xml", "<LandXML><Surfaces><Surface name='s1'/><Surface name='s2'>t</Surface></Surfaces></LandXML>");
  tree.WriteFile("bad.xml", "<LandXML>\n  <Surfaces>\n</LandXML>\n");
  const fs::path r = tree.root();
  Outcome run = Cli({"xml", "query", "a.xml", "//Surface"}, r);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "2\n\nt\n");
  EXPECT_EQ(Cli({"xml", "query", "a.xml", "count(//Surface)"}, r).status, 1);  // not a node set
  EXPECT_EQ(Cli({"xml", "query", "a.xml", "//["}, r).status, 1);
  run = Cli({"xml", "check", "a.xml", "bad.xml", "missing.xml"}, r);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')).rfind("bad.xml:3:", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("missing.xml: "), std::string::npos) << run.err;
  EXPECT_EQ(Cli({"xml", "check", "a.xml"}, r).status, 0);
}

TEST(VormCli, SurveyReport) {
  vorm_test::TempTree tree;
  tree.Make({"site/sub/"});
  tree.WriteFile("site/tin.xml",
                 "<LandXML xmlns='http://www.landxml.org/schema/LandXML-1.2'><Surfaces><Surface name='EG'><Definition>"
                 "<Pnts><P id='1'>10 20 1</P><P id='2'>10 30 1</P><P id='3'>15 25 2</P><P id='5'>99 99 9</P></Pnts>"
                 "<Faces><F>1 2 3</F></Faces></Definition></Surface></Surfaces>"
                 "<Alignments><Alignment name='A'/></Alignments><CgPoints><CgPoint>1 2</CgPoint></CgPoints></LandXML>");
  tree.WriteFile("site/sub/broken.xml", "<LandXML><Surfaces></LandXML>");
  tree.WriteFile("site/notes.txt", "not xml");
  const fs::path r = tree.root();
  Outcome run = Cli({"survey", "report", "site"}, r);
  EXPECT_EQ(run.status, 1);  // one file does not parse
  // Plan extents come from the faces: x is the easting, y the northing.
  EXPECT_NE(run.out.find("tin.xml"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("20.000,10.000 .. 30.000,15.000"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("1-3,5"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("sub/broken.xml"), std::string::npos) << run.out;
  run = Cli({"survey", "--json", "report", "site"}, r);
  EXPECT_NE(run.out.find("{\"file\": \"tin.xml\", \"surface\": \"EG\", \"points\": 4, \"faces\": 1, \"extents\": "
                         "{\"minX\": 20, \"minY\": 10, \"maxX\": 30, \"maxY\": 15}, \"pointNumbers\": \"1-3,5\"}"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"landxml\": true, \"surfaces\": 1, \"alignments\": 1, \"cgpoints\": 1, \"error\": null"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("{\"file\": \"sub/broken.xml\", \"error\": {\"line\": 1, "), std::string::npos) << run.out;
  EXPECT_EQ(Cli({"survey", "report", "missing"}, r).status, 1);
}

}  // namespace
