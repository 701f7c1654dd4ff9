// Wake-up latency: one round trip between two threads, each waking the other once.
//
// EventPingPong  SetEvent on an auto-reset event, the other thread's WaitForSingleObject
//                returns and answers through a second event.
// CvPingPong     the same with two std::condition_variable + flag pairs.
// The ratio at the end is EventPingPong / CvPingPong (lower is faster).
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <vorm/platform/sync.h>

#include "bench_support.h"

namespace {

constexpr int kRounds = 2000;

void EventPingPong(benchmark::State& state) {
  HANDLE ping = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE pong = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  for (auto _ : state) {
    std::thread other([&] {
      for (int i = 0; i < kRounds; ++i) {
        WaitForSingleObject(ping, INFINITE);
        SetEvent(pong);
      }
    });
    for (int i = 0; i < kRounds; ++i) {
      SetEvent(ping);
      WaitForSingleObject(pong, INFINITE);
    }
    other.join();
  }
  CloseHandle(ping);
  CloseHandle(pong);
  state.SetItemsProcessed(state.iterations() * kRounds);
}

// One direction of the baseline: a flag, its mutex and its condition variable.
class Signal {
 public:
  void Set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      set_ = true;
    }
    cv_.notify_one();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return set_; });
    set_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool set_ = false;
};

void CvPingPong(benchmark::State& state) {
  Signal ping, pong;
  for (auto _ : state) {
    std::thread other([&] {
      for (int i = 0; i < kRounds; ++i) {
        ping.Wait();
        pong.Set();
      }
    });
    for (int i = 0; i < kRounds; ++i) {
      ping.Set();
      pong.Wait();
    }
    other.join();
  }
  state.SetItemsProcessed(state.iterations() * kRounds);
}

}  // namespace

BENCHMARK(EventPingPong)->UseRealTime();
BENCHMARK(CvPingPong)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  vorm_bench::RatioReporter reporter(
      std::vector<std::pair<std::string, std::string>>{{"EventPingPong/real_time", "CvPingPong/real_time"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
