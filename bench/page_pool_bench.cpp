// Block list Pop/Push against malloc/free of the same size.
//
// Pair:  one allocation and one free per iteration (the steady state of a busy list).
// Batch: 1000 allocations, then 1000 frees, per iteration; for the pool this includes
//        carving fresh pages and giving them back as they empty.
// The ratios at the end are pool time / malloc time (lower is faster).
#include <cstdlib>
#include <string>
#include <vector>

#include <vorm/page_pool.h>

#include "bench_support.h"

namespace {

constexpr int kBatch = 1000;

inline void* PoolAllocate(VormBlockList& list, unsigned size) {
  if (list.IsEmpty()) list.Refill(size);
  return list.Pop();
}

void PoolPair(benchmark::State& state) {
  const unsigned size = static_cast<unsigned>(state.range(0));
  VormBlockList list;
  void* keep = PoolAllocate(list, size);  // keeps the page carved between iterations
  for (auto _ : state) {
    void* p = PoolAllocate(list, size);
    benchmark::DoNotOptimize(p);
    list.Push(p);
  }
  list.Push(keep);
}

void MallocPair(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = std::malloc(size);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}

void PoolBatch(benchmark::State& state) {
  const unsigned size = static_cast<unsigned>(state.range(0));
  VormBlockList list;
  std::vector<void*> blocks(kBatch);
  for (auto _ : state) {
    for (void*& p : blocks) p = PoolAllocate(list, size);
    benchmark::DoNotOptimize(blocks.data());
    for (void* p : blocks) list.Push(p);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void MallocBatch(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  std::vector<void*> blocks(kBatch);
  for (auto _ : state) {
    for (void*& p : blocks) p = std::malloc(size);
    benchmark::DoNotOptimize(blocks.data());
    for (void* p : blocks) std::free(p);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

}  // namespace

BENCHMARK(PoolPair)->Arg(8)->Arg(32)->Arg(100);
BENCHMARK(MallocPair)->Arg(8)->Arg(32)->Arg(100);
BENCHMARK(PoolBatch)->Arg(8)->Arg(32)->Arg(100);
BENCHMARK(MallocBatch)->Arg(8)->Arg(32)->Arg(100);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const char* kind : {"Pair", "Batch"}) {
    for (const char* size : {"8", "32", "100"}) {
      pairs.emplace_back(std::string("Pool") + kind + "/" + size, std::string("Malloc") + kind + "/" + size);
    }
  }
  vorm_bench::RatioReporter reporter(pairs);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
