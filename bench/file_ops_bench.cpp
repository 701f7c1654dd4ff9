// Tree copies and removals over the generated tree (2,000 folders, 50,000 files): the
// library's VormCopyTree against `cp -r`, and VormDeleteTree against `rm -rf`. Every
// iteration works on a fresh target: the copy's target is removed, the removal's tree is
// copied, and the file system synced and left to settle, outside the timed part.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <unistd.h>

#include <vorm/file_ops.h>
#include <vorm/platform/text.h>

#include "bench_support.h"

namespace {

namespace fs = std::filesystem;

fs::path g_root;
fs::path g_target;

// Writes the file system's journal out and lets a disk finish discarding what the previous
// iteration freed, so that neither side pays for the other's work.
void Settle() {
  sync();
  std::this_thread::sleep_for(std::chrono::seconds(2));
}

void Shell(benchmark::State& state, const std::string& command) {
  if (std::system(command.c_str()) != 0) state.SkipWithError(command.c_str());
}

std::string Quoted(const fs::path& p) {
  std::string quoted(1, '\'');
  quoted += p.string();
  quoted += '\'';
  return quoted;
}

void CopyTree(benchmark::State& state) {
  const std::wstring from = VormFromUtf8(g_root.string());
  const std::wstring to = VormFromUtf8(g_target.string());
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(g_target);
    Settle();
    state.ResumeTiming();
    if (VormCopyTree(from.c_str(), to.c_str(), TRUE) != 0) state.SkipWithError("VormCopyTree failed");
  }
  fs::remove_all(g_target);
}

void CpR(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(g_target);
    Settle();
    state.ResumeTiming();
    Shell(state, "cp -r " + Quoted(g_root) + " " + Quoted(g_target));
  }
  fs::remove_all(g_target);
}

void DeleteTree(benchmark::State& state) {
  const std::wstring target = VormFromUtf8(g_target.string());
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(g_target);
    fs::copy(g_root, g_target, fs::copy_options::recursive);
    Settle();
    state.ResumeTiming();
    if (VormDeleteTree(target.c_str()) != 0) state.SkipWithError("VormDeleteTree failed");
  }
}

void RmRf(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(g_target);
    fs::copy(g_root, g_target, fs::copy_options::recursive);
    Settle();
    state.ResumeTiming();
    Shell(state, "rm -rf " + Quoted(g_target));
  }
}

}  // namespace

BENCHMARK(CopyTree)->Name("VormCopyTree")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(CpR)->Name("cp -r")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(DeleteTree)->Name("VormDeleteTree")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(RmRf)->Name("rm -rf")->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
  const char* dir = std::getenv("VORM_BENCH_TREE");
  g_root = dir ? dir : (fs::temp_directory_path() / "vorm-bench-tree");
  g_target = g_root.string() + "-ops";
  vorm_bench::MakeTree(g_root);
  benchmark::Initialize(&argc, argv);
  vorm_bench::RatioReporter reporter(
      {{"VormCopyTree/iterations:3", "cp -r/iterations:3"}, {"VormDeleteTree/iterations:3", "rm -rf/iterations:3"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
