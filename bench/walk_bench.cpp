// Tree walks over the generated tree (2,000 folders, 50,000 files): the library's file and
// folder walkers against std::filesystem::recursive_directory_iterator and find(1). Each
// collects the full path of every file (or folder), as a caller printing them would.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/stat.h>

#include <vorm/file_trees.h>
#include <vorm/platform/text.h>

#include "bench_support.h"

namespace {

std::filesystem::path g_root;

template <typename Walker>
void WalkFiles(benchmark::State& state) {
  const std::wstring root = VormFromUtf8(g_root.string());
  size_t count = 0;
  for (auto _ : state) {
    Walker walker;
    count = 0;
    for (walker.Find(root.c_str(), L"*", 0x20); walker.HasMatch(); walker.FindNext()) {
      VormPath path = walker.GetPath();
      benchmark::DoNotOptimize(path);
      ++count;
    }
  }
  state.counters["items"] = static_cast<double>(count);
}

template <typename Walker>
void WalkFolders(benchmark::State& state) {
  const std::wstring root = VormFromUtf8(g_root.string());
  size_t count = 0;
  for (auto _ : state) {
    Walker walker;
    count = 0;
    for (walker.Find(root.c_str(), L"*", 0); walker.HasMatch(); walker.FindNext()) {
      VormPath path = walker.GetPath();
      benchmark::DoNotOptimize(path);
      ++count;
    }
  }
  state.counters["items"] = static_cast<double>(count);
}

void StdFilesystemFiles(benchmark::State& state) {
  size_t count = 0;
  for (auto _ : state) {
    count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(g_root)) {
      if (!entry.is_regular_file()) continue;
      std::wstring path = entry.path().wstring();
      benchmark::DoNotOptimize(path);
      ++count;
    }
  }
  state.counters["items"] = static_cast<double>(count);
}

// The same walk reading what the library's walkers deliver for each file (type, read-only
// bit, times and size: one lstat per file).
void StdFilesystemFilesStat(benchmark::State& state) {
  size_t count = 0;
  for (auto _ : state) {
    count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(g_root)) {
      if (!entry.is_regular_file()) continue;
      struct stat st;
      if (::lstat(entry.path().c_str(), &st) != 0) continue;
      std::wstring path = entry.path().wstring();
      benchmark::DoNotOptimize(path);
      benchmark::DoNotOptimize(st);
      ++count;
    }
  }
  state.counters["items"] = static_cast<double>(count);
}

void StdFilesystemFolders(benchmark::State& state) {
  size_t count = 0;
  for (auto _ : state) {
    count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(g_root)) {
      if (!entry.is_directory()) continue;
      std::wstring path = entry.path().wstring();
      benchmark::DoNotOptimize(path);
      ++count;
    }
  }
  state.counters["items"] = static_cast<double>(count);
}

void FindFiles(benchmark::State& state) {
  const std::string command = "find '" + g_root.string() + "' -type f > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
  }
}

}  // namespace

BENCHMARK(WalkFiles<VormBFSFileTree>)->Name("BFSFileTree")->Unit(benchmark::kMillisecond);
BENCHMARK(WalkFiles<VormDFSFileTree>)->Name("DFSFileTree")->Unit(benchmark::kMillisecond);
BENCHMARK(StdFilesystemFiles)->Name("std::filesystem files")->Unit(benchmark::kMillisecond);
BENCHMARK(StdFilesystemFilesStat)->Name("std::filesystem files+lstat")->Unit(benchmark::kMillisecond);
BENCHMARK(FindFiles)->Name("find -type f")->Unit(benchmark::kMillisecond);
BENCHMARK(WalkFolders<VormBFSDirectoryTree>)->Name("BFSDirectoryTree")->Unit(benchmark::kMillisecond);
BENCHMARK(WalkFolders<VormDFSDirectoryTree>)->Name("DFSDirectoryTree")->Unit(benchmark::kMillisecond);
BENCHMARK(StdFilesystemFolders)->Name("std::filesystem folders")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  const char* dir = std::getenv("VORM_BENCH_TREE");
  g_root = dir ? dir : (std::filesystem::temp_directory_path() / "vorm-bench-tree");
  vorm_bench::MakeTree(g_root);
  benchmark::Initialize(&argc, argv);
  vorm_bench::RatioReporter reporter({{"BFSFileTree", "std::filesystem files"},
                                      {"DFSFileTree", "std::filesystem files"},
                                      {"BFSFileTree", "std::filesystem files+lstat"},
                                      {"DFSFileTree", "std::filesystem files+lstat"},
                                      {"BFSFileTree", "find -type f"},
                                      {"DFSFileTree", "find -type f"},
                                      {"BFSDirectoryTree", "std::filesystem folders"},
                                      {"DFSDirectoryTree", "std::filesystem folders"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
