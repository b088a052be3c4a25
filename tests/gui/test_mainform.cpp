#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "common/Clock.h"
#include "device/SimBackend.h"
#include "ephemeris/SunPosition.h"
#include "gui/MainForm.h"
#include "history/ui/HistoryWindow.h"
#include "records/BuildStamp.h"
#include "tests/app/AppTestSupport.h"

namespace quorvel {
namespace {

using test::App;

constexpr std::int64_t kMorning = 1782036000000LL;  // 2026-06-21 10:00:00 UTC

// Keeps the operator's message boxes instead of showing them.
struct RecordingSink : IMessageSink {
  std::vector<std::string> errors, messages, questions;
  std::function<bool()> onQuestion;
  RecordingSink() { SetMessageSink(this); }
  ~RecordingSink() override { SetMessageSink(nullptr); }
  void ShowError(const std::string& t) override { errors.push_back(t); }
  void ShowMessage(const std::string& t) override { messages.push_back(t); }
  bool AskYesNo(const std::string& t) override {
    questions.push_back(t);
    return onQuestion ? onQuestion() : false;
  }
};

QString LabelText(const TMainForm& form, TValueLabel id) {
  return form.findChild<QLabel*>(ValueLabelName(id))->text();
}

QString StatusText(const TMainForm& form, int panel) {
  return form.findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(panel))->text();
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    dir_ = std::filesystem::temp_directory_path() /
           ("quorvel form " + std::to_string(::getpid()) + " " +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "data dir");
    GeneralParams = TGeneralParams{};
    GeneralParams.PathMainRootSav = (dir_ / "data dir").string() + "/";
    SetupLocation = TSetupLocation{};
    sim_ = std::make_shared<TSimulatedBackend>();
  }
  void TearDown() override {
    form_.reset();
    sim_.reset();
    GeneralParams = TGeneralParams{};
    ::unsetenv("QUORVEL_EDITOR");
    std::filesystem::remove_all(dir_);
  }

  void Start() {
    form_ = std::make_unique<TMainForm>(sim_);
    // Ticks come from Tick() alone, not also from the real timer under load.
    form_->Core().TimerMain().SetDrivenExternally(true);
    ASSERT_TRUE(test::PumpUntil(
        [&] { return MemoLines().size() >= 2 && HasLine("HidCtlDeviceChange loop"); }));
  }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      clock_.Advance(1000);
      form_->Core().TimerMain().Fire();
    }
  }
  // The on-screen log without its time stamps.
  std::vector<std::string> MemoLines() const {
    std::vector<std::string> lines;
    std::stringstream ss(form_->MemoBox()->toPlainText().toStdString());
    std::string l;
    while (std::getline(ss, l)) {
      const auto cut = l.find("] : ");
      lines.push_back(cut == std::string::npos ? l : l.substr(cut + 4));
    }
    return lines;
  }
  bool HasLine(const std::string& prefix) const {
    for (const auto& l : MemoLines())
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }

  VirtualClock clock_{kMorning};
  ScopedClock useClock_{clock_};
  std::filesystem::path dir_;
  std::shared_ptr<TSimulatedBackend> sim_;
  RecordingSink sink_;
  std::unique_ptr<TMainForm> form_;
};

TEST(MainForm, ControlsCarryTheirNamesAndStartWithQuestionMarks) {
  App();
  TMainForm form;
  for (const char* name :
       {"ChartSeeing", "ChartSignalLevel", "Splitter1", "Splitter2", "PanelInfos", "ProgressBar",
        "Shape", "Memo", "StatusBar", "MainMenu", "TimerMain", "HidCtl"})
    EXPECT_NE(form.findChild<QObject*>(name), nullptr) << name;
  for (int i = 0; i < kValueLabelCount; ++i) {
    auto* label = form.findChild<QLabel*>(ValueLabelName(static_cast<TValueLabel>(i)));
    ASSERT_NE(label, nullptr) << i;
    EXPECT_EQ(label->text(), "???");
  }
  EXPECT_EQ(form.windowTitle(), QString::fromStdString("Quorvel Monitor -> " + S_VersionString));
  EXPECT_EQ(form.ShapeColor(), (TColor{255, 255, 255}));
  EXPECT_FALSE(form.MemoBox()->isReadOnly());
  EXPECT_EQ(form.MemoBox()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

  // The four commands in this order, then past days and the outputs, without
  // submenus; the underlined letter is the accelerator (Alt+S, Alt+F, Alt+R,
  // Alt+O, Alt+H), the caption reads the same.
  const QList<QAction*> entries = form.menuBar()->actions();
  ASSERT_EQ(entries.size(), 6);
  const char* texts[] = {"Setup",    "Firmware",  "Reset Plots", "Open Result DataFile",
                         "&History", "Outputs..."};
  const char* names[] = {"Menu_Setup",       "Firmware1",   "MenuResetplots",
                         "MenuOpenDataFile", "MenuHistory", "MenuOutputs"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(QString(entries[i]->text()).remove('&'), QString(texts[i]).remove('&'));
    EXPECT_EQ(entries[i]->objectName(), names[i]);
    EXPECT_EQ(entries[i]->menu(), nullptr);
  }
  const int widths[] = {270, 150, 50};
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(i))->minimumWidth(),
              widths[i]);
  EXPECT_FALSE(form.Core().TimerMain().Enabled());
  EXPECT_EQ(form.Core().TimerMain().Interval(), 1000);
}

// "History" (Alt+H) opens one History window on the data folder; a second
// click raises the same one.
TEST(MainForm, HistoryEntryOpensOneHistoryWindow) {
  App();
  TMainForm form;
  QAction* entry = form.findChild<QAction*>("MenuHistory");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), "&History");
  entry->trigger();
  entry->trigger();
  const auto windows = form.findChildren<historyui::THistoryWindow*>();
  ASSERT_EQ(windows.size(), 1);
  EXPECT_TRUE(windows.front()->isVisible());
  while (windows.front()->Busy()) QTest::qWait(10);
  windows.front()->close();
}

TEST(MainForm, ChartsAreStyledAsDesigned) {
  App();
  TMainForm form;
  struct Case {
    const char* view;
    const char* title;
    const char* valueTitle;
    const char* series;
    QColor line;
  } cases[] = {
      {"ChartSeeing", "Seeing versus time", "Arcsec", "SeriesSeeing", QColor(0, 128, 128)},
      {"ChartSignalLevel", "Photodiode signal", "mV", "SeriesSignal_Level", QColor(255, 0, 0)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.view);
    auto* view = form.findChild<QChartView*>(c.view);
    ASSERT_NE(view, nullptr);
    QChart* chart = view->chart();
    EXPECT_EQ(chart->title(), c.title);
    EXPECT_EQ(chart->titleFont().pixelSize(), 15);
    EXPECT_TRUE(chart->titleFont().bold());
    EXPECT_EQ(chart->titleFont().family(), "Courier New");
    EXPECT_EQ(chart->titleBrush().color(), QColor(Qt::black));
    EXPECT_FALSE(chart->legend()->isVisible());
    EXPECT_EQ(view->rubberBand(), QChartView::RectangleRubberBand);
    EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor);
    // Numbers on the axes are not localised: "." whatever the locale.
    EXPECT_FALSE(chart->localizeNumbers());

    const auto timeAxes = chart->axes(Qt::Horizontal);
    const auto valueAxes = chart->axes(Qt::Vertical);
    ASSERT_EQ(timeAxes.size(), 1);
    ASSERT_EQ(valueAxes.size(), 1);
    auto* time = qobject_cast<QDateTimeAxis*>(timeAxes[0]);
    auto* value = qobject_cast<QValueAxis*>(valueAxes[0]);
    ASSERT_NE(time, nullptr);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(time->format(), "hh:mm:ss");
    EXPECT_EQ(std::abs(time->labelsAngle()), 90);
    EXPECT_EQ(time->titleText(), "Time (s)");
    EXPECT_EQ(value->titleText(), c.valueTitle);
    for (QAbstractAxis* axis :
         {static_cast<QAbstractAxis*>(time), static_cast<QAbstractAxis*>(value)}) {
      EXPECT_FALSE(axis->isLineVisible());
      EXPECT_EQ(axis->gridLinePen().style(), Qt::DotLine);
    }

    ASSERT_EQ(chart->series().size(), 1);
    auto* series = qobject_cast<QLineSeries*>(chart->series()[0]);
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(series->objectName(), c.series);
    EXPECT_EQ(series->color(), c.line);
    EXPECT_EQ(series->markerSize(), 2);
    EXPECT_TRUE(series->pointsVisible());
  }
}

TEST(MainForm, SaturationBarClampsAndLabelsUpdate) {
  App();
  TMainForm form;
  auto* bar = form.findChild<QProgressBar*>("ProgressBar");
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
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
  // Each new line scrolls the box to its end.
  form.MemoBox()->verticalScrollBar()->setValue(0);
  AddtoMemoLog(form.Memo(), "newest");
  EXPECT_EQ(form.MemoBox()->verticalScrollBar()->value(),
            form.MemoBox()->verticalScrollBar()->maximum());
  TMainForm fresh;
  EXPECT_EQ(fresh.MemoBox()->maximumBlockCount(), kMemoMaxLines);
  EXPECT_GE(kMemoMaxLines, 100000);
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
  EXPECT_FALSE(chart.series()->pointsVisible());  // no markers on a smear of points
  EXPECT_TRUE(chart.line()->Thinned());           // filled by pixel column
  // The envelope keeps the extremes.
  double lo = 1e9, hi = -1e9;
  for (const QPointF& p : chart.drawnPoints()) {
    lo = std::min(lo, p.y());
    hi = std::max(hi, p.y());
  }
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 99);
  GeneralParams.MaxPointsDisplayed = 1200;
}

TEST(MainForm, ChartDrawsInTimeOrderAndLeavesOutWhatIsNotANumber) {
  App();
  TMainForm form;
  TChartSeries& chart = form.SignalChart();
  const double t0 = EncodeDateTime(2026, 10, 25, 2, 59, 58, 0);
  const double s = 1.0 / 86400;
  // The local clock goes back an hour between the third and the fourth point.
  chart.Append(t0, 10);
  chart.Append(t0 + s, 11);
  chart.Append(t0 + 2 * s, HUGE_VAL);
  chart.Append(t0 - 3600 * s, 12);
  chart.Append(t0 - 3599 * s, std::nan(""));
  chart.Flush();
  EXPECT_EQ(chart.pointCount(), 5);  // the held points keep their order
  const QList<QPointF> drawn = chart.drawnPoints();
  ASSERT_EQ(drawn.size(), 3);
  EXPECT_EQ(drawn[0].y(), 12);
  EXPECT_EQ(drawn[1].y(), 10);
  EXPECT_EQ(drawn[2].y(), 11);
  EXPECT_LT(drawn[0].x(), drawn[1].x());
  EXPECT_LT(drawn[1].x(), drawn[2].x());
  auto* value = qobject_cast<QValueAxis*>(chart.series()->chart()->axes(Qt::Vertical)[0]);
  EXPECT_TRUE(std::isfinite(value->min()) && std::isfinite(value->max()));
  EXPECT_LE(value->min(), 10);
  EXPECT_GE(value->max(), 12);
}

TEST(MainForm, WindowFitsTheScreenWithThePanelWhole) {
  App();
  struct Case {
    QSize available;
    bool panelWhole;
  } cases[] = {{QSize(1920, 1080), true}, {QSize(1366, 768), true}, {QSize(800, 600), false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.available.width());
    TMainForm form;
    form.FitToScreen(c.available);
    form.show();
    QApplication::processEvents();
    EXPECT_LE(form.width(), c.available.width());
    EXPECT_LE(form.height(), c.available.height() - 30);  // room for a title bar
    auto* seeing = form.findChild<QWidget*>("ChartSeeing");
    auto* memo = form.findChild<QWidget*>("Memo");
    auto* panelBar = form.PanelScroll()->verticalScrollBar();
    if (c.panelWhole) {
      // Every row of the information panel is on screen, and the seeing chart
      // keeps room for its time labels.
      EXPECT_EQ(panelBar->maximum(), 0);
      EXPECT_GE(seeing->height(), 240);
      EXPECT_GE(memo->height(), 60);
    } else {
      EXPECT_GT(panelBar->maximum(), 0);  // the rows scroll instead of being cut off
    }
    if (c.available.height() >= 1080) {
      EXPECT_EQ(form.width(), 1277);
      EXPECT_EQ(seeing->height(), 421);
      EXPECT_EQ(memo->height(), 98);
    }
  }
}

TEST(MainForm, WideningTheWindowWidensTheTopChartThePanelAndTheLog) {
  App();
  TMainForm form;
  form.FitToScreen(QSize(1920, 1080));
  form.show();
  QApplication::processEvents();
  auto width = [&](const char* name) { return form.findChild<QWidget*>(name)->width(); };
  const int seeing = width("ChartSeeing"), signal = width("ChartSignalLevel"),
            panel = width("PanelInfos"), memo = width("Memo");
  form.resize(form.width() + 200, form.height());
  QApplication::processEvents();
  EXPECT_EQ(width("ChartSeeing"), seeing + 200);
  EXPECT_EQ(width("PanelInfos"), panel + 200);
  EXPECT_EQ(width("Memo"), memo + 200);
  EXPECT_EQ(width("ChartSignalLevel"), signal);
}

TEST(MainForm, RubberBandZoomsAndTheRightButtonGoesBack) {
  App();
  TMainForm form;
  form.FitToScreen(QSize(1920, 1080));
  form.show();
  TChartSeries& chart = form.SeeingChart();
  const double t0 = EncodeDateTime(2026, 6, 21, 10, 0, 0, 0);
  for (int i = 0; i < 600; ++i) chart.Append(t0 + i / 86400.0, 1 + (i % 10) * 0.1);
  chart.Flush();
  QApplication::processEvents();
  auto* view = form.findChild<QChartView*>("ChartSeeing");
  const QRectF plot = view->chart()->plotArea();
  auto at = [&](double fx, double fy) {
    return view->mapFromScene(view->chart()->mapToScene(
        QPointF(plot.left() + fx * plot.width(), plot.top() + fy * plot.height())));
  };
  QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at(0.4, 0.2));
  QTest::mouseMove(view->viewport(), at(0.5, 0.8));
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at(0.5, 0.8));
  ASSERT_TRUE(view->chart()->isZoomed());
  // Zoomed in, the new points no longer move the range, and the chart draws
  // only what lies in it.
  auto* time = qobject_cast<QDateTimeAxis*>(view->chart()->axes(Qt::Horizontal)[0]);
  const QDateTime min = time->min(), max = time->max();
  chart.Append(t0 + 700 / 86400.0, 5);
  chart.Flush();
  EXPECT_EQ(time->min(), min);
  EXPECT_EQ(time->max(), max);
  EXPECT_LT(chart.drawnPointCount(), 100);
  EXPECT_FALSE(chart.line()->Thinned());  // few points: stroked one by one
  QTest::mouseClick(view->viewport(), Qt::RightButton, {}, at(0.5, 0.5));
  chart.Flush();
  EXPECT_FALSE(view->chart()->isZoomed());
  EXPECT_EQ(chart.drawnPointCount(), 601);
}

TEST_F(Window, StartWithTheInstrument) {
  sim_->AddMouse();
  sim_->AddInstrument(test::ClearSky());
  Start();
  const auto lines = MemoLines();
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  ASSERT_EQ(lines.size(), 6u) << all;
  EXPECT_EQ(lines[0], "Application startup");
  // The site every Sun position starts from.
  EXPECT_EQ(lines[1], "Site : latitude 45.5000\u00B0 N, longitude 3.5000\u00B0 E, altitude 0 m");
  EXPECT_EQ(lines[2], "Arrival of \"USB Optical Mouse\" -> \"USB Optical Mouse\"");
  EXPECT_EQ(lines[3], "Arrival of \"HID QLX SOLAR\" -> \"HID QLX SOLAR\"");
  EXPECT_EQ(lines[4], "Connected to -> HID QLX SOLAR");
  EXPECT_EQ(lines[5], "HidCtlDeviceChange loop -> 2 devices");
  test::Pump(30);  // a not-found box would come after the change
  EXPECT_TRUE(sink_.errors.empty());
  EXPECT_EQ(StatusText(*form_, 2),
            QString::fromStdString("Data saved in this folder : " + GeneralParams.PathMainRootSav));

  Tick();
  EXPECT_EQ(StatusText(*form_, 0), "Fw version 1.7 SNR 4294900475");
  EXPECT_TRUE(HasLine("Read ROM value Rshunt 2125 Ohms"));
  EXPECT_EQ(form_->ShapeColor(), kBlue);
  EXPECT_TRUE(LabelText(*form_, TValueLabel::Signal_mV).endsWith(" mV"));
  EXPECT_TRUE(LabelText(*form_, TValueLabel::CurrentSeeing).contains(" arcsec |  "));
  EXPECT_EQ(LabelText(*form_, TValueLabel::CurrentSeeingMin), "N/A");
  Tick();
  EXPECT_EQ(form_->ShapeColor(), kLime);
  EXPECT_EQ(StatusText(*form_, 1), "1  1");
  EXPECT_EQ(form_->SeeingChart().pointCount(), 2);
  EXPECT_EQ(form_->SignalChart().pointCount(), 2);
  EXPECT_TRUE(sink_.errors.empty());
}

TEST_F(Window, StartWithoutTheInstrumentWarnsOnceThenAttachingStartsAcquisition) {
  const int instrument = sim_->AddInstrument(test::ClearSky(), /*plugged=*/false);
  Start();
  // The box comes once the change has been handled.
  ASSERT_TRUE(test::PumpUntil([&] { return !sink_.errors.empty(); }));
  test::Pump(30);
  ASSERT_EQ(sink_.errors.size(), 1u);
  EXPECT_EQ(sink_.errors[0],
            "Hardware device not found, please attach it. Now is going to halt this software !");
  EXPECT_FALSE(form_->Core().TimerMain().Enabled());
  EXPECT_TRUE(form_->isEnabled());  // the program goes on running

  sim_->Plug(instrument);
  ASSERT_TRUE(test::PumpUntil([&] { return form_->Core().TimerMain().Enabled(); }));
  test::Pump(30);
  EXPECT_EQ(sink_.errors.size(), 1u);
  EXPECT_TRUE(HasLine("Connected to -> HID QLX SOLAR"));
  Tick();
  EXPECT_EQ(form_->ShapeColor(), kBlue);
  EXPECT_EQ(StatusText(*form_, 0), "Fw version 1.7 SNR 4294900475");
}

TEST_F(Window, UnplugTurnsTheIndicatorRedAndTheNextArrivalResumes) {
  const int instrument = sim_->AddInstrument(test::ClearSky());
  Start();
  Tick(2);
  sim_->Unplug(instrument);
  test::Pump(30);
  Tick();
  EXPECT_TRUE(HasLine("Main timer error : HID WRITE ERROR"));
  EXPECT_EQ(form_->ShapeColor(), kRed);
  EXPECT_FALSE(form_->Core().TimerMain().Enabled());
  sim_->Plug(instrument);
  ASSERT_TRUE(test::PumpUntil([&] { return form_->Core().TimerMain().Enabled(); }));
  Tick();
  EXPECT_EQ(form_->ShapeColor(), kBlue);  // third completed cycle: counter 2, even
}

TEST_F(Window, ResetPlotsEmptiesBothChartsAndKeepsTheLabels) {
  sim_->AddInstrument(test::Replaying(std::vector<TReportBuffer>(10, test::ReferenceReport())));
  Start();
  Tick(4);
  form_->SeeingChart().Flush();
  form_->SignalChart().Flush();
  ASSERT_EQ(form_->SeeingChart().drawnPointCount(), 4);
  std::vector<QString> before;
  for (int i = 0; i < kValueLabelCount; ++i)
    before.push_back(LabelText(*form_, static_cast<TValueLabel>(i)));

  form_->ActionResetPlots()->trigger();
  form_->SeeingChart().Flush();
  form_->SignalChart().Flush();
  EXPECT_EQ(form_->SeeingChart().drawnPointCount(), 0);
  EXPECT_EQ(form_->SignalChart().drawnPointCount(), 0);
  for (int i = 0; i < kValueLabelCount; ++i)
    EXPECT_EQ(LabelText(*form_, static_cast<TValueLabel>(i)), before[static_cast<std::size_t>(i)]);
  Tick();
  EXPECT_EQ(StatusText(*form_, 1), "0  0");
  EXPECT_EQ(form_->SignalChart().pointCount(), 1);
}

TEST_F(Window, DecimalCommaLocaleStillShowsPoints) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 not installed";
  const QLocale savedLocale;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  sim_->AddInstrument(test::Replaying({test::ReferenceReport()}));
  Start();
  Tick();
  EXPECT_EQ(LabelText(*form_, TValueLabel::Signal_mV), "605.0 mV");
  EXPECT_EQ(LabelText(*form_, TValueLabel::TemperatureInBox), QString::fromUtf8("21.5 \u00B0C"));
  EXPECT_TRUE(
      HasLine("Read ROM value Rshunt 2125 Ohms, Filtered Gain : 319x Unfiltered gain : 1.0x  "
              "OffsetVolts : 2.520 V"));
  QLocale::setDefault(savedLocale);
  std::setlocale(LC_ALL, saved.c_str());
}

// A stand-in editor: writes the number of its arguments and each argument,
// then stays until the test lets it go, so the test sees whether the window
// waited for it.
std::string WriteEditor(const std::filesystem::path& dir) {
  const std::filesystem::path script = dir / "fake editor.sh";
  std::ofstream(script) << "#!/bin/sh\n"
                           "d=$(dirname \"$0\")\n"
                           "printf '%s\\n' \"$#\" > \"$d/args.tmp\"\n"
                           "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$d/args.tmp\"; done\n"
                           "mv \"$d/args.tmp\" \"$d/args\"\n"
                           "i=0\n"
                           "while [ ! -e \"$d/release\" ] && [ $i -lt 200 ]; do sleep 0.05; "
                           "i=$((i+1)); done\n"
                           ": > \"$d/done\"\n";
  ::chmod(script.c_str(), 0755);
  return script.string();
}

TEST_F(Window, OpenResultDataFileBeforeAnyLineShowsTheFolder) {
  ::setenv("QUORVEL_EDITOR", WriteEditor(dir_).c_str(), 1);
  // A file of an earlier run is not the one of this run.
  std::ofstream(dir_ / "data dir" / "2026_ 6_20_Results.txt") << "old\n";
  sim_->AddInstrument(test::Replaying({test::MeasurementReport(40000.0f, 10.0f)}));
  Start();
  Tick();  // no useful signal: no results line
  form_->ActionOpenDataFile()->trigger();
  ASSERT_EQ(sink_.messages.size(), 1u);
  EXPECT_EQ(sink_.messages[0],
            "Result data file is stored here : " + GeneralParams.PathMainRootSav);
  test::Pump(300);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "args"));  // no editor started
}

TEST_F(Window, OpenResultDataFileStartsTheEditorOnTheDaysFileWithoutWaiting) {
  ::setenv("QUORVEL_EDITOR", WriteEditor(dir_).c_str(), 1);
  sim_->AddInstrument(test::Replaying(std::vector<TReportBuffer>(3, test::ReferenceReport())));
  Start();
  Tick();
  ASSERT_EQ(form_->Core().FPathDataFile, GeneralParams.PathMainRootSav + "2026_ 6_21_Results.txt");
  form_->ActionOpenDataFile()->trigger();
  // Back at once, the editor still running.
  EXPECT_FALSE(std::filesystem::exists(dir_ / "done"));
  ASSERT_TRUE(test::PumpUntil([&] { return std::filesystem::exists(dir_ / "args"); }, 5000));
  std::ifstream in(dir_ / "args");
  std::string count, path;
  std::getline(in, count);
  std::getline(in, path);
  EXPECT_EQ(count, "1");
  EXPECT_EQ(path, form_->Core().FPathDataFile);  // blanks and all, one argument
  EXPECT_TRUE(sink_.messages.empty());
  EXPECT_TRUE(sink_.errors.empty());
  std::ofstream(dir_ / "release") << "";
  EXPECT_TRUE(test::PumpUntil([&] { return std::filesystem::exists(dir_ / "done"); }, 5000));
}

TEST_F(Window, AnEditorThatCannotStartIsReportedAndTheProgramGoesOn) {
  const std::filesystem::path notExecutable = dir_ / "editor.txt";
  std::ofstream(notExecutable) << "not a program\n";
  ::chmod(notExecutable.c_str(), 0644);
  struct Case {
    std::string editor;
    std::string message;
  } cases[] = {
      {(dir_ / "missing editor").string(), "System Error.  Code: 2.\nNo such file or directory (" +
                                               (dir_ / "missing editor").string() + ")"},
      {"quorvel-no-such-editor",
       "System Error.  Code: 2.\nNo such file or directory (quorvel-no-such-editor)"},
      {notExecutable.string(),
       "System Error.  Code: 13.\nPermission denied (" + notExecutable.string() + ")"},
  };
  sim_->AddInstrument(test::Replaying(std::vector<TReportBuffer>(5, test::ReferenceReport())));
  Start();
  Tick();
  for (const Case& c : cases) {
    ::setenv("QUORVEL_EDITOR", c.editor.c_str(), 1);
    sink_.errors.clear();
    form_->ActionOpenDataFile()->trigger();
    ASSERT_EQ(sink_.errors.size(), 1u) << c.editor;
    EXPECT_EQ(sink_.errors[0], c.message);
  }
  EXPECT_TRUE(form_->Core().TimerMain().Enabled());
  Tick();
  EXPECT_EQ(form_->Core().FTimerConter, 2u);
}

TEST_F(Window, ClosingIsGrantedAndStopsAcquisition) {
  sim_->AddInstrument(test::ClearSky());
  Start();
  form_->show();
  Tick();
  EXPECT_TRUE(form_->close());
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(form_->Core().TimerMain().Enabled());
  const std::uint32_t cycles = form_->Core().FTimerConter;
  Tick();
  EXPECT_EQ(form_->Core().FTimerConter, cycles);
}

TEST_F(Window, ClosingWhileTheSetupDialogIsOpen) {
  sim_->AddInstrument(test::ClearSky());
  Start();
  form_->show();
  bool closed = false;
  QTimer::singleShot(0, form_.get(), [&] {
    closed = form_->close();
    // Ticks come on while the dialog is open; the window is gone, so none runs.
    Tick(2);
    if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
  });
  form_->Menu_SetupClick();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(form_->isVisible());
  EXPECT_EQ(form_->Core().FTimerConter, 0u);
}

TEST_F(Window, ClosingWhileACycleAsksAboutTheCalibration) {
  TSimInstrumentConfig c = test::ClearSky();
  c.StartErased = true;
  sim_->AddInstrument(c);
  // Set before the start: on a loaded machine the window's own timer may
  // run the first cycle before the test's tick does.
  sink_.onQuestion = [&] { return !form_->close(); };  // the window closes under the box
  Start();
  form_->show();
  Tick();
  ASSERT_EQ(sink_.questions.size(), 1u);
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(form_->Core().TimerMain().Enabled());
  EXPECT_TRUE(HasLine("Read ROM value Rshunt NAN Ohms"));
}

}  // namespace
}  // namespace quorvel
