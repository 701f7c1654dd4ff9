// Hand-over throughput of the window message server and the message queue against a plain
// mutex-and-condition-variable queue doing the same work: producer threads hand kBatch
// messages to one consumer (the benchmark's thread), which takes them one at a time.
//
// ServerPost/threads:N  N threads VormWndMsgServer::Post; the window's thread pumps
//                       GetMessageW/DispatchMessageW and the callback counts.
// QueuePost             one thread VormMessageQueue::Post; the owner Gets, waiting on the
//                       queue's event callback when it runs dry.
// CvQueue/threads:N     the same hand-over through std::mutex, std::condition_variable and
//                       a std::deque.
// The ratios at the end are time / CvQueue time for the same number of threads (lower is
// faster; 2.0 means half the baseline's throughput).
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <vorm/callbacks.h>
#include <vorm/message_queue.h>
#include <vorm/wnd_msg_server.h>

#include "bench_support.h"

namespace {

// Below the message queue's 10,000-message limit, so no post is ever refused.
constexpr int kBatch = 8000;
constexpr UINT kNumber = 0x8800;

void Produce(int threads, const std::function<void(int thread, int count)>& post) {
  std::vector<std::thread> producers;
  for (int t = 0; t < threads; ++t) producers.emplace_back(post, t, kBatch / threads);
  for (std::thread& p : producers) p.join();
}

class Counting : public VormWndMsgServer::Callback {
 public:
  LONG OnMessage(const VormWndMsgServer::Message*) override {
    if (++count % kBatch == 0) PostQuitMessage(0);
    return 0;
  }
  long count = 0;
};

void ServerPost(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  VormWndMsgServer* server = VormWndMsgServer::Instance();
  Counting counter;
  DWORD cookie;
  server->Register(kNumber, &cookie, &counter);
  for (auto _ : state) {
    std::thread producer([&] {
      Produce(threads, [&](int, int count) {
        for (int i = 0; i < count; ++i) server->Post(kNumber, i, 0);
      });
    });
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
    producer.join();
  }
  server->Unregister(cookie);
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void QueuePost(benchmark::State& state) {
  HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  VormHEVENTCallback callback(ready, false);
  VormMessageQueue queue(&callback, nullptr);
  std::vector<VormMessage> messages(kBatch);
  for (auto _ : state) {
    std::thread producer([&] {
      for (VormMessage& m : messages) queue.Post(&m);
    });
    for (int received = 0; received < kBatch;) {
      VormMessage* m;
      if (queue.Get(&m) == VormOk) {
        ++received;
        continue;
      }
      WaitForSingleObjectEx(ready, INFINITE, TRUE);
    }
    producer.join();
  }
  CloseHandle(ready);
  state.SetItemsProcessed(state.iterations() * kBatch);
}

// The baseline: the hand-over as a programmer would write it without the platform layer.
class CvQueue {
 public:
  void Push(int value) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      items_.push_back(value);
    }
    ready_.notify_one();
  }
  int Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return !items_.empty(); });
    const int value = items_.front();
    items_.pop_front();
    return value;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<int> items_;
};

void CvQueueHandOver(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  CvQueue queue;
  long sum = 0;
  for (auto _ : state) {
    std::thread producer([&] {
      Produce(threads, [&](int, int count) {
        for (int i = 0; i < count; ++i) queue.Push(i);
      });
    });
    for (int i = 0; i < kBatch; ++i) sum += queue.Pop();
    producer.join();
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kBatch);
}

}  // namespace

BENCHMARK(ServerPost)->Name("ServerPost/threads")->Arg(1)->Arg(4)->UseRealTime();
BENCHMARK(QueuePost)->Name("QueuePost/threads")->Arg(1)->UseRealTime();
BENCHMARK(CvQueueHandOver)->Name("CvQueue/threads")->Arg(1)->Arg(4)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  vorm_bench::RatioReporter reporter({{"ServerPost/threads/1/real_time", "CvQueue/threads/1/real_time"},
                                      {"ServerPost/threads/4/real_time", "CvQueue/threads/4/real_time"},
                                      {"QueuePost/threads/1/real_time", "CvQueue/threads/1/real_time"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
