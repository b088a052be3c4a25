// Shared helpers of the program tests: the application object (a
// QCoreApplication for the core's tests, a QApplication where the test binary
// defines QUORVEL_TEST_WIDGETS), an event loop to pump,
// a view that keeps what the core shows, and a simulated instrument with
// reports chosen by the test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#ifdef QUORVEL_TEST_WIDGETS
#include <QApplication>
#else
#include <QCoreApplication>
#endif
#include <QThread>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/MainView.h"
#include "app/Program.h"
#include "device/Commands.h"
#include "device/Replay.h"
#include "device/SimInstrument.h"
#include "measure/Declarations.h"

namespace quorvel::test {

// A fresh, empty folder of its own for the running test case.
inline std::filesystem::path FreshTestDir(const std::string& prefix) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      (prefix + std::to_string(::getpid()) + "_" +
       ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// The simulated sky at the program's site, without clouds.
inline TSimInstrumentConfig ClearSky() {
  TSimInstrumentConfig c;
  c.Physics.SunElevation = SunElevationAtSite;
  c.Physics.CloudsPerHour = 0;
  return c;
}

// An instrument that answers with these reports, then falls silent.
inline TSimInstrumentConfig Replaying(std::vector<TReportBuffer> reports) {
  TSimInstrumentConfig c;
  auto script = std::make_shared<TReplayScript>();
  script->Answers = std::move(reports);
  c.Replay = script;
  return c;
}

inline QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "test_app";
  static char* argv[] = {name, nullptr};
#ifdef QUORVEL_TEST_WIDGETS
  static QCoreApplication* app = new QApplication(argc, argv);
#else
  static QCoreApplication* app = new QCoreApplication(argc, argv);
#endif
  return *app;
}

inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
  App();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

inline void Pump(int ms = 50) {
  PumpUntil([] { return false; }, ms);
}

// A series that keeps its points.
struct TVectorSeries : IPlotSeries {
  std::vector<TRollingBuffer> points;
  std::int64_t insertions = 0;  // appends and rebuilds: one per point plotted
  void Clear() override { points.clear(); }
  void Append(double x, double y) override {
    points.push_back({x, y});
    ++insertions;
  }
  void ReplaceAll(const TARollingBuffer& b, std::int32_t count) override {
    b.CopyOut(0, count - 1, points);
    ++insertions;
  }
};

// A view that keeps everything the core shows.
struct TFakeView : IMainView, ILogSink {
  std::array<std::string, kValueLabelCount> labels;
  std::array<std::string, 3> status;
  std::vector<std::string> log;  // without time stamps
  std::vector<std::string> errors;
  std::vector<std::string> questions;
  std::vector<TColor> shapes;
  std::int32_t progress = -1;
  std::string caption;
  bool answer = false;
  int stopped = 0;
  TVectorSeries seeing, signal;

  TFakeView() { labels.fill("???"); }
  void SetValueLabel(TValueLabel l, const std::string& t) override {
    labels[static_cast<int>(l)] = t;
  }
  const std::string& Label(TValueLabel l) const { return labels[static_cast<int>(l)]; }
  void SetProgressBarPosition(std::int32_t p) override { progress = p; }
  void SetShapeColor(TColor c) override { shapes.push_back(c); }
  void SetStatusText(int panel, const std::string& t) override {
    status[static_cast<std::size_t>(panel)] = t;
  }
  void SetCaption(const std::string& s) override { caption = s; }
  ILogSink& Memo() override { return *this; }
  IPlotSeries& SeriesSeeing() override { return seeing; }
  IPlotSeries& SeriesSignal_Level() override { return signal; }
  bool AskYesNo(const std::string& q) override {
    questions.push_back(q);
    return answer;
  }
  // Runs while an error box would be on screen (a modal box's own loop).
  std::function<void()> whileErrorShown;
  void ShowError(const std::string& t) override {
    errors.push_back(t);
    if (whileErrorShown) whileErrorShown();
  }
  void OnAcquisitionStopped() override { ++stopped; }
  // The conditions up now, with their texts, and every raise in order.
  std::map<TCondition, std::string> conditions;
  std::vector<TCondition> raised;
  void RaiseCondition(TCondition id, const std::string& text) override {
    conditions[id] = text;
    raised.push_back(id);
  }
  void ClearCondition(TCondition id) override { conditions.erase(id); }
  bool Up(TCondition id) const { return conditions.count(id) > 0; }
  TSeeingGlance glance;
  int glances = 0;
  void SetSeeingGlance(const TSeeingGlance& g) override {
    glance = g;
    ++glances;
  }
  void AppendLogLine(const std::string& line) override {
    const auto cut = line.find("] : ");
    log.push_back(cut == std::string::npos ? line : line.substr(cut + 4));
  }
  int Count(const std::string& text) const {
    int n = 0;
    for (const auto& l : log) n += l.rfind(text, 0) == 0;
    return n;
  }
  bool Has(const std::string& text) const { return Count(text) > 0; }
};

// A 0x81 answer: mean ADU of the unfiltered channel and scintillation ADU.
inline TReportBuffer MeasurementReport(float meanAdu, float scintAdu, float temperature = 21.5f) {
  TReportBuffer b{};
  b[1] = kCmdReadMeasure;
  auto put = [&b](int index, float v) {
    TSingle32 s;
    s.SetValue(v);
    s.ToWire(&b[static_cast<std::size_t>(index)]);
  };
  put(2, meanAdu);
  put(6, 12.0f);
  put(10, 32768.0f);
  put(14, scintAdu);
  TUint32 n;
  n.SetValue(2000);
  n.ToWire(&b[18]);
  put(26, temperature);
  return b;
}

// The reference answer: useful signal 0.6050477 V, seeing 1.2305236".
inline TReportBuffer ReferenceReport() {
  return MeasurementReport(50000.0f, 2000.0f);
}

}  // namespace quorvel::test
