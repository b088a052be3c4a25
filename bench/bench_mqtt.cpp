// What the MQTT output costs the acquisition cycle when its broker misbehaves,
// and what its queue weighs: one Publish() per cycle against a broker that
// never answers and one that stops reading after the connection; the slowest
// call is reported beside the mean, and the resident memory a full day's
// queue adds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "mqtt/MqttPublisher.h"
#include "tests/mqtt/MqttTestSupport.h"

namespace quorvel {
namespace {

std::shared_ptr<const TLiveSnapshot> Snapshot(std::int64_t i) {
  auto s = std::make_shared<TLiveSnapshot>();
  s->utcMs = 1777795200000 + i * 1000;
  s->valid = true;
  s->seeingArcsec = 2.5;
  s->serialNumber = 4294900475u;
  s->station = DefaultStationName(s->serialNumber);
  TLiveMeasurement m;
  m.utcMs = s->utcMs;
  m.julianDay = 2461163.5 + static_cast<double>(i) / 86400;
  m.seeingArcsec = 2.5;
  s->measurement = m;
  return s;
}

// Resident memory of the process, kB.
long RssKb() {
  std::ifstream f("/proc/self/status");
  std::string key;
  while (f >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      f >> kb;
      return kb;
    }
    f.ignore(1 << 20, '\n');
  }
  return 0;
}

// arg 0: the broker never answers; 1: it answers the connection, then never
// reads again. Every snapshot carries a results line, so the queue fills up
// and then drops its oldest.
void BM_PublishToMisbehavingBroker(benchmark::State& state) {
  mqtttest::TSilentBroker broker(state.range(0) == 1);
  TMqttConfig c;
  c.url = "mqtt://127.0.0.1:" + std::to_string(broker.Port());
  TMqttPublisher p(c, "", "bench", nullptr);
  std::int64_t i = 0;
  double slowestUs = 0, baselineUs = 0;
  int over5ms = 0, baselineOver5ms = 0;
  std::mutex idle;
  for (auto _ : state) {
    const auto s = Snapshot(i++);
    // This machine's own hiccups (preemption on a loaded host), without any
    // MQTT: an uncontended lock timed the same way.
    const auto b0 = std::chrono::steady_clock::now();
    {
      std::lock_guard<std::mutex> l(idle);
      benchmark::DoNotOptimize(s);
    }
    const auto b1 = std::chrono::steady_clock::now();
    const double baseUs = std::chrono::duration<double, std::micro>(b1 - b0).count();
    baselineUs = std::max(baselineUs, baseUs);
    baselineOver5ms += baseUs > 5000;
    const auto t0 = std::chrono::steady_clock::now();
    p.Publish(s);
    const auto t1 = std::chrono::steady_clock::now();
    const double us = std::chrono::duration<double, std::micro>(t1 - t0).count();
    slowestUs = std::max(slowestUs, us);
    over5ms += us > 5000;
  }
  // Let the network side take what it can before counting.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  state.counters["baseline_slowest_us"] = baselineUs;
  state.counters["over_5ms"] = over5ms;
  state.counters["baseline_over_5ms"] = baselineOver5ms;
  const auto stats = p.Stats();
  state.counters["slowest_us"] = slowestUs;
  state.counters["queued"] = static_cast<double>(stats.queued);
  state.counters["in_libmosquitto_max"] = stats.maxOutstanding;
  p.Finish(0);
}
BENCHMARK(BM_PublishToMisbehavingBroker)->Arg(0)->Arg(1)->Iterations(200000)->UseRealTime();

// The resident memory a full day's queue (86 400 results lines) adds, with
// the broker that stopped reading.
void BM_FullDayQueueMemory(benchmark::State& state) {
  for (auto _ : state) {
    mqtttest::TSilentBroker broker(true);
    TMqttConfig c;
    c.url = "mqtt://127.0.0.1:" + std::to_string(broker.Port());
    const long before = RssKb();
    TMqttPublisher p(c, "", "bench", nullptr);
    for (std::int64_t i = 0; i < 2 * static_cast<std::int64_t>(kMqttDefaultMaxQueued); ++i)
      p.Publish(Snapshot(i));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    state.counters["queue_MB"] = static_cast<double>(RssKb() - before) / 1024.0;
    state.counters["queued"] = static_cast<double>(p.Stats().queued);
    p.Finish(0);
  }
}
BENCHMARK(BM_FullDayQueueMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
