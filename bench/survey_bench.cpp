// Survey data: walking, counting and normalizing point strings (normalizing against the
// bit-set algorithm it replaced); building the text of a sparse bit set; plan extents of
// face readers against a plain loop over a std::vector.
#include <cfloat>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <vorm/face_reader.h>
#include <vorm/point_string.h>

#include "../tests/support/point_string_reference.h"
#include "bench_support.h"

namespace {

// A text naming `count` numbers: ascending ranges of 10, descending ranges of 4 and
// singles, with gaps between them and every 16th group repeating an earlier one.
// The result never passes 2147483647, so it reads the same everywhere.
std::wstring MixedText(DWORD count) {
  std::wstring text;
  DWORD named = 0;
  DWORD next = 1;
  for (DWORD group = 0; named < count; ++group) {
    if (!text.empty()) text += L',';
    switch (group % 4) {
      case 0:
        text += std::to_wstring(next) + L'-' + std::to_wstring(next + 9);
        named += 10;
        next += 12;
        break;
      case 1:
        text += std::to_wstring(next + 3) + L" - " + std::to_wstring(next);
        named += 4;
        next += 6;
        break;
      default:
        text += std::to_wstring(group % 16 == 2 && next > 100 ? next - 100 : next);
        named += 1;
        next += 2;
        break;
    }
  }
  return text;
}

void SetPerNumber(benchmark::State& state, DWORD numbers) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * numbers);
  // Seconds per number, printed with an SI prefix ("12.5ns").
  state.counters["per_number"] = benchmark::Counter(
      static_cast<double>(numbers), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void PointStringWalk(benchmark::State& state) {
  const auto numbers = static_cast<DWORD>(state.range(0));
  VormPointString s(MixedText(numbers).c_str());
  for (auto _ : state) {
    DWORD n = 0;
    DWORD sum = 0;
    for (s.GetFirstNumber(&n); !s.IsDone(); s.GetNextNumber(&n)) sum += n;
    benchmark::DoNotOptimize(sum);
  }
  SetPerNumber(state, numbers);
}

void PointStringCount(benchmark::State& state) {
  const auto numbers = static_cast<DWORD>(state.range(0));
  VormPointString s(MixedText(numbers).c_str());
  for (auto _ : state) benchmark::DoNotOptimize(s.GetCount());
  SetPerNumber(state, numbers);
}

// The texts Normalize is measured on.
enum NormalizeText {
  kWide,       // "1-100000000"
  kJob,        // a survey job's selection: ranges and singles, a few overlaps, 40 tokens
  kScattered,  // 5,000 points picked one by one from 1-100000, in no order, some twice
  kMixed,      // MixedText of 1,000,000 numbers: 250,000 tokens
};

std::wstring TextOf(NormalizeText which) {
  switch (which) {
    case kWide: return L"1-100000000";
    case kJob:
      return L"1001-1250,1260,1262,1265-1270,1300-1420,2001-2010,1422,1424,5000-5120,4999,1251-1259,"
             L"2101,2103-2105,1109-1101,3001-3180,3190,3192,3194,3196,3198,3200-3260,1240-1300,6001-6075,"
             L"6080,6082-6090,7001-7400,7398-7380,7500,7502,7504,8001-8010,8020,8030,8040-8120,9001-9003,"
             L"2000-1990,1423";
    case kScattered: {
      std::mt19937 rng(42);
      std::wstring text;
      for (int k = 0; k < 5000; ++k) text += (k ? L"," : L"") + std::to_wstring(1 + rng() % 100000);
      return text;
    }
    case kMixed: break;
  }
  return MixedText(1'000'000);
}

// Normalize now (over ranges) and the bit-set algorithm it replaced (the peer), each on a
// fresh copy of the text.
void PointStringNormalize(benchmark::State& state, NormalizeText which, bool sorted) {
  const VormPointString original(TextOf(which).c_str());
  for (auto _ : state) {
    state.PauseTiming();
    VormPointString s(original);
    state.ResumeTiming();
    s.Normalize(sorted ? TRUE : FALSE);
    benchmark::DoNotOptimize(s.GetLength());
  }
}

void PointStringNormalizeBitSet(benchmark::State& state, NormalizeText which, bool sorted) {
  const std::wstring original = TextOf(which);
  VormPointString check(original.c_str());
  check.Normalize(sorted ? TRUE : FALSE);
  for (auto _ : state) {
    const std::wstring text = point_string_reference::Rewrite(original, nullptr, sorted);
    benchmark::DoNotOptimize(text.data());
    if (text != check.str()) state.SkipWithError("the two algorithms disagree");
  }
}

// 1 and 4,000,000,000: a 500 MB bit set with two bits set.
void SortedBuildStringSparse(benchmark::State& state) {
  VormSortedPointString s;
  s.AddPoint(DWORD{1});
  s.AddPoint(DWORD{4000000000u});
  for (auto _ : state) {
    s.BuildString();
    benchmark::DoNotOptimize(s.GetLength());
  }
  if (s.str() != L"1,4000000000") state.SkipWithError("unexpected text");
}

void SortedBuildStringDense(benchmark::State& state) {
  const auto numbers = static_cast<DWORD>(state.range(0));
  VormSortedPointString s;
  for (DWORD n = 1; n <= numbers * 2; n += 2) s.AddPoint(n);  // no runs: one number per token
  for (auto _ : state) {
    s.BuildString();
    benchmark::DoNotOptimize(s.GetLength());
  }
  SetPerNumber(state, numbers);
}

constexpr int kExtentPoints = 10'000'000;

std::vector<HxGePoint3d>& Points() {
  static std::vector<HxGePoint3d> points = [] {
    std::vector<HxGePoint3d> v;
    v.reserve(kExtentPoints);
    unsigned seed = 1;
    for (int i = 0; i < kExtentPoints; ++i) {
      seed = seed * 1664525u + 1013904223u;
      v.emplace_back(static_cast<double>(seed % 100000) * 0.01, static_cast<double>(seed / 7 % 100000) * 0.01, 0.0);
    }
    return v;
  }();
  return points;
}

const Point3dArray& PointArray() {
  static const Point3dArray array = [] {
    Point3dArray a(kExtentPoints, 8);
    for (const HxGePoint3d& p : Points()) a.Append(p);
    return a;
  }();
  return array;
}

void ExtentsPlainVector(benchmark::State& state) {
  const std::vector<HxGePoint3d>& v = Points();
  for (auto _ : state) {
    double minX = DBL_MAX, minY = DBL_MAX, maxX = -DBL_MAX, maxY = -DBL_MAX;
    for (const HxGePoint3d& p : v) {
      if (minX > p.x) minX = p.x;
      if (p.y < minY) minY = p.y;
      if (maxX < p.x) maxX = p.x;
      if (p.y > maxY) maxY = p.y;
    }
    benchmark::DoNotOptimize(minX);
    benchmark::DoNotOptimize(minY);
    benchmark::DoNotOptimize(maxX);
    benchmark::DoNotOptimize(maxY);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kExtentPoints);
}

void ExtentsSingleFaceReader(benchmark::State& state) {
  VormSingleFaceReader reader(&PointArray());
  for (auto _ : state) {
    double minX, minY, maxX, maxY;
    reader.GetExtents(minX, minY, maxX, maxY);
    benchmark::DoNotOptimize(minX);
    benchmark::DoNotOptimize(maxY);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kExtentPoints);
}

void ExtentsMultiPolyFaceReader(benchmark::State& state) {
  // One polygon of all the points (filling a tri reader point by point would spend its
  // time in the array's capped growth, not in GetExtents).
  static VormMultiPolyFaceReader* reader = [] {
    auto* r = new VormMultiPolyFaceReader;
    r->AddFace(PointArray());
    return r;
  }();
  for (auto _ : state) {
    double minX, minY, maxX, maxY;
    reader->GetExtents(minX, minY, maxX, maxY);
    benchmark::DoNotOptimize(minX);
    benchmark::DoNotOptimize(maxY);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kExtentPoints);
}

// Appending point by point: the growth step is capped at 2730 points, so long arrays
// are reallocated every 2730 points and the cost grows with the square of the length.
void Point3dArrayAppend(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    Point3dArray a;
    for (int i = 0; i < count; ++i) a.Append(HxGePoint3d(i, i, i));
    benchmark::DoNotOptimize(a.GetData());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
}

}  // namespace

BENCHMARK(PointStringWalk)->Arg(250'000)->Arg(1'000'000)->Arg(4'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(PointStringCount)->Arg(250'000)->Arg(1'000'000)->Arg(4'000'000)->Unit(benchmark::kMillisecond);
#define VORM_NORMALIZE_BENCH(name, which, sorted)                                              \
  BENCHMARK_CAPTURE(PointStringNormalize, name, which, sorted)->Unit(benchmark::kMicrosecond); \
  BENCHMARK_CAPTURE(PointStringNormalizeBitSet, name, which, sorted)->Unit(benchmark::kMicrosecond)
VORM_NORMALIZE_BENCH(wide_sorted, kWide, true);
VORM_NORMALIZE_BENCH(wide_unsorted, kWide, false);
VORM_NORMALIZE_BENCH(job_sorted, kJob, true);
VORM_NORMALIZE_BENCH(job_unsorted, kJob, false);
VORM_NORMALIZE_BENCH(scattered_sorted, kScattered, true);
VORM_NORMALIZE_BENCH(scattered_unsorted, kScattered, false);
VORM_NORMALIZE_BENCH(mixed_sorted, kMixed, true);
VORM_NORMALIZE_BENCH(mixed_unsorted, kMixed, false);
BENCHMARK(SortedBuildStringSparse)->Unit(benchmark::kMillisecond);
BENCHMARK(SortedBuildStringDense)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(ExtentsPlainVector)->Unit(benchmark::kMillisecond);
BENCHMARK(ExtentsSingleFaceReader)->Unit(benchmark::kMillisecond);
BENCHMARK(ExtentsMultiPolyFaceReader)->Unit(benchmark::kMillisecond);
BENCHMARK(Point3dArrayAppend)->Arg(100'000)->Arg(200'000)->Arg(400'000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::vector<std::pair<std::string, std::string>> ratios = {
      {"ExtentsSingleFaceReader", "ExtentsPlainVector"},
      {"ExtentsMultiPolyFaceReader", "ExtentsPlainVector"},
      {"PointStringWalk/1000000", "PointStringWalk/250000"},
      {"PointStringWalk/4000000", "PointStringWalk/1000000"},
  };
  for (const char* text : {"wide", "job", "scattered", "mixed"}) {
    for (const char* order : {"_sorted", "_unsorted"}) {
      const std::string name = std::string(text) + order;
      ratios.emplace_back("PointStringNormalize/" + name, "PointStringNormalizeBitSet/" + name);
    }
  }
  vorm_bench::RatioReporter reporter(std::move(ratios));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
