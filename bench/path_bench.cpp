// Micro-benchmarks of the path value's string work.
#include <string>

#include <vorm/path.h>

#include "bench_support.h"

namespace {

const wchar_t kPath[] = L"C:/Projects//Road Design\\alignments/main/\"profile\"\\station 12+500.xml";

void Canonicalize(benchmark::State& state) {
  for (auto _ : state) {
    VormPath p(kPath);
    p.Canonicalize();
    benchmark::DoNotOptimize(p);
  }
}

void Split(benchmark::State& state) {
  const VormPath p(kPath, VormPath::CanonicalForm);
  for (auto _ : state) {
    VormPath root, dir, title, ext;
    p.Split(root, dir, title, ext);
    benchmark::DoNotOptimize(ext);
  }
}

void Join(benchmark::State& state) {
  const VormPath p(L"C:\\Projects\\Road Design\\alignments\\", 0);
  for (auto _ : state) {
    VormPath joined = p.Join(L"main/profile.xml");
    benchmark::DoNotOptimize(joined);
  }
}

void RelativeTo(benchmark::State& state) {
  const VormPath p(L"C:\\Projects\\Road Design\\alignments\\main\\profile.xml", 0);
  const VormPath base(L"C:\\Projects\\Road Design\\surfaces\\ground.xml", 0);
  for (auto _ : state) {
    VormPath relative = p.RelativeTo(base);
    benchmark::DoNotOptimize(relative);
  }
}

}  // namespace

BENCHMARK(Canonicalize);
BENCHMARK(Split);
BENCHMARK(Join);
BENCHMARK(RelativeTo);
BENCHMARK_MAIN();
