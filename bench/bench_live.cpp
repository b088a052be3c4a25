// What the live outputs cost the acquisition cycle: handing one snapshot to
// outputs whose peers have stopped reading (their queues full) must stay far
// below a millisecond.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>

#include "app/LiveHub.h"

namespace quorvel {
namespace {

class TStuckOutput final : public TSnapshotWorker {
 public:
  TStuckOutput() : TSnapshotWorker(86400) { Start(); }
  ~TStuckOutput() override {
    {
      std::lock_guard<std::mutex> l(m_);
      stuck_ = false;
    }
    cv_.notify_all();
    Stop();
  }

 protected:
  void Consume(const TSnapshotPtr&) override {
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [this] { return !stuck_; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool stuck_ = true;
};

void BM_PublishToStuckOutputs(benchmark::State& state) {
  TLiveHub hub;
  TStuckOutput a, b, c;
  hub.Add(&a);
  hub.Add(&b);
  hub.Add(&c);
  TLiveSnapshot s;
  s.valid = true;
  s.seeingArcsec = 1.23;
  s.measurement = TLiveMeasurement{};
  // A day of lines already waiting in each queue.
  for (int i = 0; i < 86400; ++i) hub.Publish(s);
  for (auto _ : state) {
    s.utcMs += 1000;
    hub.Publish(s);
  }
  hub.Remove(&a);
  hub.Remove(&b);
  hub.Remove(&c);
}
BENCHMARK(BM_PublishToStuckOutputs)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvel
