// The program's steady state after a long day: both buffers full at 65535
// points, the on-screen log at its cap. What one acquisition cycle costs
// without a window (the headless runner's cycle), what the GUI thread spends
// per tick with both charts full (cycle, chart rebuild, repaint), and the CPU
// share of a real 1 Hz run with full charts.
//
// Without DISPLAY the window is drawn on Qt's offscreen platform (a raster
// image, the same painting work); run under xvfb-run to include the X server
// round trip. QUORVEL_BENCH_SECONDS sets the length of the 1 Hz run (30 s).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtCharts/QChartView>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

#include "app/HeadlessRunner.h"
#include "app/MainCore.h"
#include "app/Program.h"
#include "common/Clock.h"
#include "device/SimBackend.h"
#include "gui/MainForm.h"

using namespace quorvel;

namespace {

constexpr std::int64_t kMorning = 1782036000000LL;  // 2026-06-21 10:00:00 UTC
constexpr int kFull = 65535;

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_app";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  // The offscreen platform says at every window resize that it ignores size
  // hints: noise in the figures.
  static const QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (message.contains(QLatin1String("propagateSizeHints"))) return;
        if (previous) previous(type, context, message);
      });
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

struct NullBuf : std::streambuf {
  int overflow(int c) override { return c; }
};

struct NullLog : ILogSink {
  void AppendLogLine(const std::string&) override {}
};

// Program-wide state of one measurement: data folder, capacity, site.
class Setting {
 public:
  Setting() {
    dir_ = std::filesystem::temp_directory_path() / ("quorvel_bench_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    GeneralParams = TGeneralParams{};
    GeneralParams.PathMainRootSav = dir_.string() + "/";
    GeneralParams.MaxPointsDisplayed = kFull;
    SetupLocation = TSetupLocation{};
  }
  ~Setting() {
    GeneralParams = TGeneralParams{};
    std::filesystem::remove_all(dir_);
  }
  // Lines written to the results files, headers excluded.
  std::int64_t ResultLines() const {
    std::int64_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      std::ifstream in(e.path(), std::ios::binary);
      std::string l;
      while (std::getline(in, l)) ++n;
      --n;
    }
    return n;
  }

 private:
  std::filesystem::path dir_;
};

// The simulated instrument under a clear sky at the program's site.
std::shared_ptr<TSimulatedBackend> Instrument() {
  auto sim = std::make_shared<TSimulatedBackend>();
  TSimInstrumentConfig c;
  c.Physics.SunElevation = SunElevationAtSite;
  c.Physics.CloudsPerHour = 0;
  sim->AddInstrument(c);
  return sim;
}

bool WaitForAttachment(TMainCore& core) {
  for (int i = 0; i < 3000 && !core.TimerMain().Enabled(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    ::usleep(1000);
  }
  return core.TimerMain().Enabled();
}

// Both buffers full: one point a second up to now, through the series.
void FillBuffers(TMainCore& core, IMainView& view) {
  NullLog log;
  const double now = Now();
  for (int i = 0; i < kFull; ++i) {
    const double x = now - (kFull - i) / 86400.0;
    AddPlot_value_Plot(x, 2.0 + (i % 17) * 0.05, core.FIdrol_S, view.SeriesSeeing(),
                       core.FBufrollseeing, log);
    AddPlot_value_Plot(x, 1100.0 + (i % 23), core.FIdrol_L, view.SeriesSignal_Level(),
                       core.FBufrollLevel, log);
  }
}

// One complete cycle of the headless runner: 0x81 exchange with the simulated
// instrument, Sun position, decode, labels, both buffers full, both means,
// the log lines and the results line.
void BM_AcquisitionCycleFullBuffers(benchmark::State& state) {
  App();
  Setting setting;
  VirtualClock clock(kMorning);
  ScopedClock use(clock);
  NullBuf buf;
  std::ostream out(&buf);
  THeadlessView view(out, false);
  TMainCore core(view, Instrument(), nullptr);
  core.FormCreate();
  if (!WaitForAttachment(core)) {
    state.SkipWithError("the simulated instrument did not attach");
    return;
  }
  FillBuffers(core, view);
  clock.Advance(1000);
  core.TimerMain().Fire();  // the first cycle also reads the calibration
  const std::int64_t before = setting.ResultLines();
  std::int64_t cycles = 0;
  for (auto _ : state) {
    clock.Advance(1000);
    core.TimerMain().Fire();
    ++cycles;
  }
  // Every cycle measured was a complete one: a valid seeing, its line written.
  if (setting.ResultLines() - before != cycles || core.FIdrol_S != kFull - 1 ||
      core.FIdrol_L != kFull - 1)
    state.SkipWithError("a cycle was not complete");
}
BENCHMARK(BM_AcquisitionCycleFullBuffers)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Counts the paint events of the two chart views.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

struct ShownWindow {
  explicit ShownWindow(std::shared_ptr<IHidBackend> backend) : form(std::move(backend)) {
    form.FitToScreen(QSize(1920, 1080));
    form.show();
    for (const char* name : {"ChartSeeing", "ChartSignalLevel"})
      form.findChild<QChartView*>(name)->viewport()->installEventFilter(&counter);
  }
  // A day's worth of log lines: the box at its cap.
  void FillLog() {
    form.MemoBox()->setUpdatesEnabled(false);
    for (int i = 0; i < kMemoMaxLines; ++i)
      AddtoMemoLog(form.Memo(), "One minute mean seeing : 2.31 arcsec |  57.8 R0 mm");
    form.MemoBox()->setUpdatesEnabled(true);
  }
  void Settle() {
    form.SeeingChart().Flush();
    form.SignalChart().Flush();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }
  TMainForm form;
  PaintCounter counter;
};

// The GUI thread's work for one tick with both charts full: the cycle (with
// both series rebuilt from their buffers), the charts' drawing lists, and the
// repaint of everything that changed.
void BM_GuiTickFullCharts(benchmark::State& state) {
  App();
  Setting setting;
  VirtualClock clock(kMorning);
  ScopedClock use(clock);
  ShownWindow w(Instrument());
  if (!WaitForAttachment(w.form.Core())) {
    state.SkipWithError("the simulated instrument did not attach");
    return;
  }
  w.FillLog();
  FillBuffers(w.form.Core(), w.form);
  clock.Advance(1000);
  w.form.Core().TimerMain().Fire();
  w.Settle();
  const int paints = w.counter.paints;
  std::int64_t ticks = 0;
  for (auto _ : state) {
    clock.Advance(1000);
    w.form.Core().TimerMain().Fire();
    w.Settle();
    ++ticks;
  }
  state.counters["chart_paints_per_tick"] =
      static_cast<double>(w.counter.paints - paints) / static_cast<double>(ticks);
  state.counters["points_per_chart"] = w.form.SeeingChart().pointCount();
  state.counters["drawn_per_chart"] = w.form.SeeingChart().drawnPointCount();
  if (w.form.SeeingChart().pointCount() != kFull || w.form.SignalChart().pointCount() != kFull)
    state.SkipWithError("the charts are not full");
}
BENCHMARK(BM_GuiTickFullCharts)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The system clock moved to a summer morning, so that a run at any hour
// measures daylight cycles.
class ShiftedClock final : public IClock {
 public:
  explicit ShiftedClock(std::int64_t startUtcMs) : shift_(startUtcMs - SystemClock().UtcMs()) {}
  std::int64_t UtcMs() const override { return SystemClock().UtcMs() + shift_; }

 private:
  std::int64_t shift_;
};

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The real timer at 1 Hz with full charts and a full log, for a while: the
// process's CPU time (GUI thread and the instrument's read thread) over the
// wall time.
void BM_SteadyOneHertzFullCharts(benchmark::State& state) {
  App();
  Setting setting;
  ShiftedClock clock(kMorning);
  ScopedClock use(clock);
  ShownWindow w(Instrument());
  if (!WaitForAttachment(w.form.Core())) {
    state.SkipWithError("the simulated instrument did not attach");
    return;
  }
  w.FillLog();
  FillBuffers(w.form.Core(), w.form);
  w.Settle();
  const char* env = std::getenv("QUORVEL_BENCH_SECONDS");
  const int seconds = env ? std::max(2, std::atoi(env)) : 30;
  for (auto _ : state) {
    const std::uint32_t ticks = w.form.Core().FTimerConter;
    const double cpu = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    state.SetIterationTime(elapsed);
    state.counters["cpu_share_pct"] = 100.0 * (CpuSeconds() - cpu) / elapsed;
    state.counters["ticks"] = w.form.Core().FTimerConter - ticks;
  }
  if (w.form.SeeingChart().pointCount() != kFull) state.SkipWithError("the charts are not full");
}
BENCHMARK(BM_SteadyOneHertzFullCharts)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

}  // namespace
