// What the live outputs cost the acquisition cycle: handing one snapshot to
// outputs whose peers have stopped reading (their queues full) must stay far
// below a millisecond.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <thread>
#include <vector>

#include "app/AlpacaServer.h"
#include "app/HeadlessRunner.h"
#include "app/LiveFile.h"
#include "app/LiveHub.h"
#include "app/MainCore.h"
#include "app/Program.h"
#include "common/Clock.h"
#include "device/SimBackend.h"
#include "measure/Declarations.h"

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

// One request on a new connection, the answer read whole.
bool Ask(int port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(request.size());
  char buf[2048];
  ok = ok && ::recv(fd, buf, sizeof buf, 0) > 0;
  ::close(fd);
  return ok;
}

struct NullBuf : std::streambuf {
  int overflow(int c) override { return c; }
};

// The complete acquisition cycle (simulated instrument, Sun, decode, means,
// results line, trigger, snapshot) with the live file and the Alpaca device
// attached, while `range(0)` client threads poll StarFWHM as fast as they can
// and 200 more connections sit idle. Reports the mean cycle, its 99th
// percentile and the longest one seen (on a shared machine the longest is
// mostly the scheduler; the CPU time is the cycle's own work).
void BM_CycleWithAlpacaUnderLoad(benchmark::State& state) {
  static int argc = 1;
  static char name[] = "bench_live";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  (void)app;
  const auto dir =
      std::filesystem::temp_directory_path() / ("quorvel_bench_live_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  // Removed after everything below has gone (the writer's last write too).
  struct TRemove {
    std::filesystem::path dir;
    ~TRemove() {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  } remove{dir};
  GeneralParams = TGeneralParams{};
  GeneralParams.PathMainRootSav = dir.string() + "/";
  SetupLocation = TSetupLocation{};
  VirtualClock clock(1782036000000LL);  // 2026-06-21 10:00 UTC
  ScopedClock use(clock);
  NullBuf buf;
  std::ostream out(&buf);
  THeadlessView view(out, false);
  auto sim = std::make_shared<TSimulatedBackend>();
  TSimInstrumentConfig c;
  c.Physics.SunElevation = SunElevationAtSite;
  c.Physics.CloudsPerHour = 0;
  sim->AddInstrument(c);
  TMainCore core(view, sim, nullptr);
  core.FormCreate();
  for (int i = 0; i < 3000 && !core.TimerMain().Enabled(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    ::usleep(1000);
  }
  TLiveFileWriter live((dir / "live.json").string(), nullptr);
  core.Live().Add(&live);
  TAlpacaServerConfig config;
  config.port = 0;  // any free port
  config.bind = "127.0.0.1";
  config.discoveryPort = 0;
  config.info.uniqueId = "bench";
  TAlpacaServer alpaca(config, nullptr);
  if (!alpaca.Start()) {
    state.SkipWithError("the Alpaca device did not start");
    return;
  }
  core.Live().Add(&alpaca);
  const int port = alpaca.Port();
  Ask(port, "PUT /api/v1/observingconditions/0/connect HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
  std::atomic<bool> stop{false};
  std::atomic<std::int64_t> answers{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < state.range(0); ++i)
    clients.emplace_back([&] {
      while (!stop)
        if (Ask(port, "GET /api/v1/observingconditions/0/starfwhm HTTP/1.1\r\n\r\n")) ++answers;
    });
  std::vector<int> idle;
  for (int i = 0; i < (state.range(0) > 0 ? 200 : 0); ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    idle.push_back(fd);
  }
  clock.Advance(1000);
  core.TimerMain().Fire();
  std::vector<double> times;
  times.reserve(static_cast<std::size_t>(state.max_iterations));
  for (auto _ : state) {
    clock.Advance(1000);
    const auto t0 = std::chrono::steady_clock::now();
    core.TimerMain().Fire();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    times.push_back(ms);
  }
  stop = true;
  for (auto& t : clients) t.join();
  for (int fd : idle) ::close(fd);
  core.Live().Remove(&alpaca);
  core.Live().Remove(&live);
  std::sort(times.begin(), times.end());
  if (!times.empty()) {
    state.counters["p99_cycle_ms"] = times[times.size() * 99 / 100];
    state.counters["max_cycle_ms"] = times.back();
  }
  state.counters["answers"] = static_cast<double>(answers.load());
}
BENCHMARK(BM_CycleWithAlpacaUnderLoad)
    ->Arg(0)
    ->Arg(4)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(3000)
    ->UseRealTime();

}  // namespace
}  // namespace quorvel
