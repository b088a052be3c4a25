#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

#include "app/MainForm.h"
#include "common/Clock.h"

namespace quorvel {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "test_app";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

TEST(MainForm, ControlsCarryTheirNamesAndStartWithQuestionMarks) {
  App();
  TMainForm form;
  for (const char* name : {"ChartSeeing", "ChartSignalLevel", "Splitter1", "Splitter2",
                           "PanelInfos", "ProgressBar", "Shape", "Memo", "StatusBar", "MainMenu"})
    EXPECT_NE(form.findChild<QObject*>(name), nullptr) << name;
  for (int i = 0; i < kValueLabelCount; ++i) {
    auto* label = form.findChild<QLabel*>(ValueLabelName(static_cast<TValueLabel>(i)));
    ASSERT_NE(label, nullptr) << i;
    EXPECT_EQ(label->text(), "???");
  }
  EXPECT_TRUE(form.windowTitle().startsWith("Quorvel Monitor -> "));
  EXPECT_EQ(form.ShapeColor(), (TColor{255, 255, 255}));
  EXPECT_TRUE(form.size().width() <= QGuiApplication::primaryScreen()->availableSize().width());
}

TEST(MainForm, SaturationBarClampsAndLabelsUpdate) {
  App();
  TMainForm form;
  auto* bar = form.findChild<QProgressBar*>("ProgressBar");
  form.SetProgressBarPosition(38);
  EXPECT_EQ(bar->value(), 38);
  form.SetProgressBarPosition(250);
  EXPECT_EQ(bar->value(), 100);
  form.SetProgressBarPosition(-4);
  EXPECT_EQ(bar->value(), 0);
  form.SetValueLabel(TValueLabel::SunPosition, "Azimuth 180.00\u00B0 Elevation 44.64\u00B0");
  EXPECT_EQ(form.findChild<QLabel*>("LabelSunPosition")->text(),
            QString::fromUtf8("Azimuth 180.00\u00B0 Elevation 44.64\u00B0"));
}

TEST(MainForm, LogKeepsTheNewestLinesOnly) {
  App();
  TMainForm form;
  // The box drops the oldest lines beyond its cap instead of growing for ever.
  form.MemoBox()->setMaximumBlockCount(50);
  for (int i = 0; i < 120; ++i) AddtoMemoLog(form.Memo(), "line " + std::to_string(i));
  EXPECT_EQ(form.MemoBox()->blockCount(), 50);
  EXPECT_TRUE(form.MemoBox()->toPlainText().endsWith("line 119"));
  TMainForm fresh;
  EXPECT_EQ(fresh.MemoBox()->maximumBlockCount(), kMemoMaxLines);
}

TEST(MainForm, FullChartsAreDrawnFromFewPoints) {
  App();
  TMainForm form;
  GeneralParams.MaxPointsDisplayed = 65535;
  TARollingBuffer buffer(65535);
  std::int32_t index = -1;
  struct NullLog : ILogSink {
    void AppendLogLine(const std::string&) override {}
  } log;
  const double t0 = EncodeDateTime(2026, 6, 21, 0, 0, 0, 0);
  for (int i = 0; i < 65536; ++i)
    AddPlot_value_Plot(t0 + i / 86400.0, i % 100, index, form.SeriesSeeing(), buffer, log);
  auto& chart = form.SeeingChart();
  chart.Flush();
  EXPECT_EQ(chart.pointCount(), 65535);
  EXPECT_LE(chart.drawnPointCount(), 2 * TChartSeries::kBuckets + 2);
  EXPECT_GT(chart.drawnPointCount(), 1000);
  // The envelope keeps the extremes.
  double lo = 1e9, hi = -1e9;
  for (const QPointF& p : chart.series()->points()) {
    lo = std::min(lo, p.y());
    hi = std::max(hi, p.y());
  }
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 99);
  GeneralParams.MaxPointsDisplayed = 1200;
}

}  // namespace
}  // namespace quorvel
