// Shared bench support: the generated tree and a reporter that prints each benchmark's time
// as a ratio to a named reference benchmark after the run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace vorm_bench {

// The tree of the walker benchmarks: 40 top folders with 49 sub-folders each (2,000 folders)
// and 25 small files in every folder (50,000 files). Made once; reused while it is complete.
inline void MakeTree(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  const fs::path stamp = root / ".complete";
  if (fs::exists(stamp)) return;
  fs::remove_all(root);
  std::vector<fs::path> folders;
  for (int i = 0; i < 40; ++i) {
    fs::path top = root / ("dir" + std::to_string(i));
    folders.push_back(top);
    for (int j = 0; j < 49; ++j) folders.push_back(top / ("sub" + std::to_string(j)));
  }
  for (const fs::path& f : folders) {
    fs::create_directories(f);
    for (int k = 0; k < 25; ++k) std::ofstream(f / ("file" + std::to_string(k) + ".dat")) << k;
  }
  std::ofstream(stamp) << "ok";
}

// Prints the usual console table, then "name / reference" ratios of real time.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter(std::vector<std::pair<std::string, std::string>> pairs) : pairs_(std::move(pairs)) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nRatios (real time, lower is faster):\n");
    for (const auto& [name, reference] : pairs_) {
      if (times_.count(name) && times_.count(reference) && times_[reference] > 0) {
        std::printf("  %-40s / %-40s = %.3g\n", name.c_str(), reference.c_str(), times_[name] / times_[reference]);
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
  std::map<std::string, double> times_;
};

}  // namespace vorm_bench
