// The window as an observer uses it: the big seeing read-out, the bar of
// faults above the log, the panel's layout at the usual screen sizes and
// fonts, the menu's accelerators, tooltips, the charts' ticks and notes, the
// setup dialog's live values, the message boxes' width and a window-manager
// close under a modal dialog.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>

#include "common/Clock.h"
#include "common/DateTime.h"
#include "device/SimBackend.h"
#include "gui/GuiMessages.h"
#include "gui/MainForm.h"
#include "gui/TimeTicks.h"
#include "records/ProgramSettings.h"
#include "records/SettingsStore.h"
#include "setup/NumberEdit.h"
#include "setup/SetupDlg.h"
#include "tests/app/AppTestSupport.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/setup/QtTestSupport.h"

namespace quorvel {
namespace {

using testing::CaptureSink;

constexpr std::int64_t kMorning = 1782036000000LL;  // 2026-06-21 10:00:00 UTC

using test::WhenShown;

class Glance : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    dir_ = test::FreshTestDir("quorvel_glance_");
    GeneralParams = TGeneralParams{};
    GeneralParams.PathMainRootSav = dir_.string() + "/";
    SetupLocation = TSetupLocation{};
    SeeingClasses = TSeeingClasses{};
    settings_ = std::make_unique<TDatabaseRegistry>((dir_ / "settings.ini").string());
  }
  void TearDown() override {
    form_.reset();
    GeneralParams = TGeneralParams{};
    SetupLocation = TSetupLocation{};
    SeeingClasses = TSeeingClasses{};
    std::filesystem::remove_all(dir_);
  }
  void Start(const TSimInstrumentConfig& config = test::ClearSky()) {
    instrument_ = sim_->AddInstrument(config);
    form_ = std::make_unique<TMainForm>(sim_, settings_.get());
    Core().TimerMain().SetDrivenExternally(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Core().TimerMain().Enabled(); }, 3000));
    QTest::qWait(20);
  }
  TMainCore& Core() { return form_->Core(); }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      clock_.Advance(1000);
      Core().TimerMain().Fire();
    }
  }
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::stringstream ss(form_->MemoBox()->toPlainText().toStdString());
    std::string l;
    while (std::getline(ss, l)) {
      const auto cut = l.find("] : ");
      lines.push_back(cut == std::string::npos ? l : l.substr(cut + 4));
    }
    return lines;
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& l : LogLines()) n += l.rfind(prefix, 0) == 0;
    return n;
  }

  std::filesystem::path dir_;
  VirtualClock clock_{kMorning};
  ScopedClock useClock_{clock_};
  CaptureSink sink_;
  std::unique_ptr<TDatabaseRegistry> settings_;
  std::shared_ptr<TSimulatedBackend> sim_ = std::make_shared<TSimulatedBackend>();
  int instrument_ = -1;
  std::unique_ptr<TMainForm> form_;
};

// ---------------------------------------------------------------- read-out

TEST_F(Glance, TheReadOutShowsTheSeeingInTheColourOfItsClass) {
  Start(test::Replaying(std::vector<TReportBuffer>(5, test::ReferenceReport())));
  Tick();
  const TSeeingGlance& g = form_->Readout().Glance();
  ASSERT_EQ(g.State, TGlanceState::Value);
  // Zenith-corrected by default: the panel's zenith value, in large type.
  EXPECT_TRUE(g.Zenith);
  EXPECT_NEAR(g.Seeing, Core().FDataOutMes.seeingArcSecZen, 1e-12);
  auto* big = form_->findChild<QLabel*>("LabelGlanceSeeing");
  EXPECT_EQ(big->text(), QString::asprintf("%1.2f", g.Seeing) + QStringLiteral("\u2033"));
  EXPECT_GE(big->font().pointSize(),
            2 * form_->findChild<QLabel*>("LabelSignal_mV")->font().pointSize());
  EXPECT_EQ(form_->Readout().ValueBackground(), TSeeingReadout::QualityColor(g.Quality));
  EXPECT_EQ(form_->findChild<QLabel*>("LabelGlanceClass")->text(), QualityName(g.Quality));
  EXPECT_EQ(form_->findChild<QLabel*>("LabelGlanceR0")->text(),
            QString::asprintf("r0 %1.0f mm", g.R0));
}

TEST(SeeingClasses, DefaultLimitsAndEdges) {
  const TSeeingClasses c;
  struct Case {
    double arcsec;
    TSeeingQuality q;
  } cases[] = {{0.4, TSeeingQuality::Excellent}, {1.0, TSeeingQuality::Excellent},
               {1.01, TSeeingQuality::Good},     {2.0, TSeeingQuality::Good},
               {2.5, TSeeingQuality::Fair},      {3.0, TSeeingQuality::Fair},
               {3.01, TSeeingQuality::Poor},     {std::nan(""), TSeeingQuality::Poor}};
  for (const Case& k : cases) EXPECT_EQ(ClassifySeeing(k.arcsec, c), k.q) << k.arcsec;
  // Four distinct colours, none the grey of "no value".
  std::set<QRgb> colours{TSeeingReadout::NoValueColor().rgb()};
  for (auto q : {TSeeingQuality::Excellent, TSeeingQuality::Good, TSeeingQuality::Fair,
                 TSeeingQuality::Poor})
    colours.insert(TSeeingReadout::QualityColor(q).rgb());
  EXPECT_EQ(colours.size(), 5u);
}

TEST(SeeingTrend, OneMinuteAgainstFiveMinutes) {
  EXPECT_EQ(SeeingTrend(1.5, true, 2.0, true), TSeeingTrend::Better);
  EXPECT_EQ(SeeingTrend(2.5, true, 2.0, true), TSeeingTrend::Worse);
  EXPECT_EQ(SeeingTrend(2.05, true, 2.0, true), TSeeingTrend::Steady);
  EXPECT_EQ(SeeingTrend(1.5, true, 0, false), TSeeingTrend::Unknown);
  EXPECT_EQ(SeeingTrend(std::nan(""), true, 2.0, true), TSeeingTrend::Unknown);
  EXPECT_EQ(TSeeingReadout::TrendText(TSeeingTrend::Better), QStringLiteral("\u2193 better"));
  EXPECT_EQ(TSeeingReadout::TrendText(TSeeingTrend::Worse), QStringLiteral("\u2191 worse"));
}

// Six minutes of steady seeing, then a minute twice as good: the arrow turns
// from steady to better once both means exist.
TEST_F(Glance, TheTrendComparesTheLastMinuteWithTheLastFive) {
  std::vector<TReportBuffer> reports(360, test::MeasurementReport(50000.0f, 2000.0f));
  for (int i = 0; i < 60; ++i) reports.push_back(test::MeasurementReport(50000.0f, 1200.0f));
  Start(test::Replaying(reports));
  Tick(30);
  EXPECT_EQ(form_->Readout().Glance().Trend, TSeeingTrend::Unknown);
  EXPECT_FALSE(form_->findChild<QLabel*>("LabelGlanceTrend")->isVisibleTo(form_.get()));
  Tick(330);
  EXPECT_EQ(form_->Readout().Glance().Trend, TSeeingTrend::Steady);
  Tick(60);
  EXPECT_EQ(form_->Readout().Glance().Trend, TSeeingTrend::Better);
  EXPECT_EQ(form_->findChild<QLabel*>("LabelGlanceTrend")->text(), QStringLiteral("\u2193 better"));
}

// No stale number: at night, behind clouds and after a stop the read-out
// says why it has no value.
TEST_F(Glance, WithoutAValueTheReadOutSaysWhy) {
  struct Case {
    std::int64_t utcMs;
    TReportBuffer report;
    TGlanceState state;
    const char* reason;
  } cases[] = {
      {kMorning - 8 * 3600000LL, test::MeasurementReport(40000.0f, 10.0f), TGlanceState::Night,
       "Night: the Sun is below the horizon"},
      {kMorning, test::MeasurementReport(40000.0f, 10.0f), TGlanceState::NoSunlight,
       "No sunlight on the instrument: clouds?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    clock_.Set(c.utcMs);
    sim_ = std::make_shared<TSimulatedBackend>();
    Start(test::Replaying({test::ReferenceReport(), c.report}));
    Tick();
    ASSERT_EQ(form_->Readout().Glance().State, TGlanceState::Value);
    Tick();
    EXPECT_EQ(form_->Readout().Glance().State, c.state);
    EXPECT_EQ(form_->findChild<QLabel*>("LabelGlanceSeeing")->text(), QStringLiteral("\u2014"));
    auto* reason = form_->findChild<QLabel*>("LabelGlanceReason");
    EXPECT_EQ(reason->text(), c.reason);
    EXPECT_TRUE(reason->isVisibleTo(form_.get()));
    EXPECT_EQ(form_->Readout().ValueBackground(), TSeeingReadout::NoValueColor());
    form_.reset();
  }
}

TEST_F(Glance, TheTriggerSlotShowsItsStateAndHidesForNone) {
  Start();
  auto* trigger = form_->findChild<QLabel*>("LabelTriggerState");
  ASSERT_NE(trigger, nullptr);
  EXPECT_FALSE(trigger->isVisibleTo(form_.get()));
  IMainView& view = *form_;
  struct Case {
    TTriggerState state;
    const char* text;
  } cases[] = {{TTriggerState::Good, "Trigger: GOOD"},
               {TTriggerState::Bad, "Trigger: BAD"},
               {TTriggerState::Unknown, "Trigger: UNKNOWN"}};
  for (const Case& c : cases) {
    view.SetTriggerState(c.state);
    EXPECT_TRUE(trigger->isVisibleTo(form_.get()));
    EXPECT_EQ(trigger->text(), c.text);
  }
}

// The classes are settings beside the five; the setup dialog edits them.
TEST_F(Glance, SeeingClassesAreEditedInSetupAndStoredBesideTheFiveValues) {
  Start(test::Replaying(std::vector<TReportBuffer>(5, test::ReferenceReport())));
  Tick();
  const double seeing = form_->Readout().Glance().Seeing;  // zenith, about 1.2"
  WhenShown<TFormSetup>([](TFormSetup& d) {
    EXPECT_DOUBLE_EQ(d.SpinEditExcellent->value(), 1.0);
    EXPECT_DOUBLE_EQ(d.SpinEditGood->value(), 2.0);
    EXPECT_DOUBLE_EQ(d.SpinEditFair->value(), 3.0);
    EXPECT_EQ(d.ComboBoxClassesFor->currentText(), QStringLiteral("zenith"));
    d.SpinEditExcellent->setValue(1.5);
    d.SpinEditGood->setValue(2.5);
    d.SpinEditFair->setValue(3.5);
    d.ComboBoxClassesFor->setCurrentIndex(1);
    d.ButtonOK->click();
  });
  form_->Menu_SetupClick();
  EXPECT_DOUBLE_EQ(SeeingClasses.Excellent, 1.5);
  EXPECT_FALSE(SeeingClasses.Zenith);
  Tick();
  const TSeeingGlance& g = form_->Readout().Glance();
  EXPECT_FALSE(g.Zenith);
  EXPECT_NEAR(g.Seeing, Core().FDataOutMes.seeingArcSec, 1e-12);
  EXPECT_EQ(form_->findChild<QLabel*>("LabelGlanceKind")->text(),
            QStringLiteral("along the line of sight"));
  (void)seeing;

  std::ifstream in(dir_ / "settings.ini");
  std::stringstream stored;
  stored << in.rdbuf();
  for (const char* line :
       {"DRAVO_Solar\\General\\SeeingExcellentMax=1.5\n",
        "DRAVO_Solar\\General\\SeeingGoodMax=2.5\n", "DRAVO_Solar\\General\\SeeingFairMax=3.5\n",
        "DRAVO_Solar\\General\\SeeingClassesAtZenith=No\n",
        "DRAVO_Solar\\General\\latitude=0.79412480965742\n"})
    EXPECT_NE(stored.str().find(line), std::string::npos) << line << stored.str();

  // The next start reads them back.
  SeeingClasses = TSeeingClasses{};
  EXPECT_TRUE(ReadSeeingClasses(*settings_, SeeingClasses).at(0).Read);
  EXPECT_DOUBLE_EQ(SeeingClasses.Fair, 3.5);
  EXPECT_FALSE(SeeingClasses.Zenith);
}

TEST_F(Glance, LimitsThatDoNotGrowAreRefusedAndNothingIsApplied) {
  Start();
  WhenShown<TFormSetup>([](TFormSetup& d) {
    d.SpinEditExcellent->setValue(2.5);  // above good
    d.NumberEditLatitude->setText(QStringLiteral("10"));
    d.ButtonOK->click();
    EXPECT_TRUE(d.isVisible());
    d.reject();
  });
  form_->Menu_SetupClick();
  ASSERT_EQ(sink_.messages.size(), 1u);
  EXPECT_EQ(sink_.messages[0],
            "The seeing classes must grow: excellent below good below fair, nothing was changed !");
  EXPECT_EQ(SetupLocation.Latitude, TSetupLocation{}.Latitude);
  EXPECT_DOUBLE_EQ(SeeingClasses.Excellent, 1.0);
}

// ---------------------------------------------------------------- site log

TEST_F(Glance, TheSiteIsLoggedAtStartAndWhenItMoves) {
  Start();
  const std::string site =
      "Site : latitude 45.5000\u00B0 N, longitude 3.5000\u00B0 E, altitude 0 m";
  auto lines = LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Application startup");
  EXPECT_EQ(lines[1], site);
  // Accepting the same site logs nothing; a new one logs it once.
  WhenShown<TFormSetup>([](TFormSetup& d) { d.ButtonOK->click(); });
  form_->Menu_SetupClick();
  EXPECT_EQ(Count("Site : "), 1);
  WhenShown<TFormSetup>([](TFormSetup& d) {
    d.NumberEditLatitude->setText(QStringLiteral("30/60+45"));
    d.ComboBoxLongitude->setCurrentIndex(1);  // W
    d.NumberEditAltitude->setText(QStringLiteral("120"));
    d.ButtonOK->click();
  });
  form_->Menu_SetupClick();
  EXPECT_EQ(Count("Site : "), 2);
  EXPECT_EQ(LogLines().back(),
            "Site : latitude 45.5000\u00B0 N, longitude 3.5000\u00B0 W, altitude 120 m");
}

// ---------------------------------------------------------------- formulas

TEST(SetupPreview, EachFieldShowsTheValueOkWillApplyAsTheOperatorTypes) {
  CaptureSink sink;
  TFormSetup d(nullptr, false);
  TSetupValues v;
  v.MaxPointsDisplayed = 1200;
  v.MinValue_mV = 150;
  v.Latitude = 45.5 * kDegToRad;
  v.Longitude = -3.5 * kDegToRad;
  d.FillFrom(v);
  EXPECT_EQ(d.LabelLatitudeValue->text(), QStringLiteral("= 45.5\u00B0 N"));
  EXPECT_EQ(d.LabelLongitudeValue->text(), QStringLiteral("= 3.5\u00B0 E"));
  EXPECT_EQ(d.LabelAltitudeValue->text(), QStringLiteral("= 0 m"));
  struct Case {
    const char* typed;
    const char* shown;
  } cases[] = {
      {"45+30/60", "= 1.25\u00B0 N"},  // strictly left to right
      {"30/60+45", "= 45.5\u00B0 N"}, {"45.5", "= 45.5\u00B0 N"}, {"90", "above 89.99999999\u00B0"},
      {"-5", "below 0\u00B0"},        {"45,5", "not a number"},   {"", "empty"},
  };
  for (const Case& c : cases) {
    QTest::keyClick(d.NumberEditLatitude, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(d.NumberEditLatitude, Qt::Key_Delete);
    QTest::keyClicks(d.NumberEditLatitude, QString::fromUtf8(c.typed));
    EXPECT_EQ(d.LabelLatitudeValue->text(), QString::fromUtf8(c.shown)) << c.typed;
  }
  // The side follows the combo box.
  d.NumberEditLatitude->setText(QStringLiteral("12"));
  d.ComboBoxLatitude->setCurrentIndex(1);
  EXPECT_EQ(d.LabelLatitudeValue->text(), QStringLiteral("= 12\u00B0 S"));
  d.NumberEditAltitude->setText(QStringLiteral("1000+500"));
  EXPECT_EQ(d.LabelAltitudeValue->text(), QStringLiteral("= 1500 m"));
  EXPECT_TRUE(sink.messages.empty());  // typing reports nothing
}

// ---------------------------------------------------------------- fault bar

TEST(ConditionBar, RaiseClearDismissAndRaiseAgain) {
  VirtualClock clock(kMorning);
  ScopedClock use(clock);
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto& bar = *new TConditionBar;
  layout->addWidget(&bar);
  window.show();
  EXPECT_FALSE(bar.isVisible());
  bar.Raise(TCondition::SettingsNotSaved, "Settings not saved : disk full");
  EXPECT_TRUE(bar.isVisible());
  EXPECT_EQ(bar.Text(TCondition::SettingsNotSaved),
            QStringLiteral("Since 10:00:00 : Settings not saved : disk full"));
  // Raised again while up: the time it began stays.
  clock.Advance(65000);
  bar.Raise(TCondition::SettingsNotSaved, "Settings not saved : read-only");
  EXPECT_EQ(bar.Text(TCondition::SettingsNotSaved),
            QStringLiteral("Since 10:00:00 : Settings not saved : read-only"));
  // Dismissed: hidden, and raising it again while it lasts keeps it hidden.
  auto* row = bar.findChild<QFrame*>("SettingsNotSaved");
  QTest::mouseClick(row->findChild<QToolButton*>("Dismiss"), Qt::LeftButton);
  EXPECT_FALSE(bar.IsShown(TCondition::SettingsNotSaved));
  EXPECT_FALSE(bar.isVisible());
  bar.Raise(TCondition::SettingsNotSaved, "Settings not saved : read-only");
  EXPECT_FALSE(bar.IsShown(TCondition::SettingsNotSaved));
  // Cleared, then raised again: shown with its new start.
  bar.Clear(TCondition::SettingsNotSaved);
  clock.Advance(60000);
  bar.Raise(TCondition::SettingsNotSaved, "Settings not saved : again");
  EXPECT_TRUE(bar.IsShown(TCondition::SettingsNotSaved));
  EXPECT_EQ(bar.Text(TCondition::SettingsNotSaved),
            QStringLiteral("Since 10:02:05 : Settings not saved : again"));
  // Several at once, each on its own row.
  bar.Raise(TCondition::InstrumentLost, "Instrument lost");
  EXPECT_TRUE(bar.findChild<QFrame*>("InstrumentLost")->isVisible());
  EXPECT_TRUE(bar.findChild<QFrame*>("SettingsNotSaved")->isVisible());
  bar.Clear(TCondition::InstrumentLost);
  bar.Clear(TCondition::SettingsNotSaved);
  EXPECT_FALSE(bar.isVisible());
}

// An unplug stays in sight however many lines the log gets, until the
// instrument is back.
TEST_F(Glance, AnUnplugStaysInTheBarUntilTheInstrumentIsBack) {
  form_.reset();
  Start();
  form_->show();
  Tick(2);
  sim_->Unplug(instrument_);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return form_->Conditions().IsShown(TCondition::InstrumentLost); }, 3000));
  Tick();
  TConditionBar& bar = form_->Conditions();
  EXPECT_TRUE(bar.IsShown(TCondition::AcquisitionStopped));
  EXPECT_TRUE(
      bar.Text(TCondition::AcquisitionStopped).contains("Acquisition stopped : HID WRITE ERROR"))
      << bar.Text(TCondition::AcquisitionStopped).toStdString();
  EXPECT_TRUE(bar.Text(TCondition::InstrumentLost)
                  .startsWith("Since 10:00:02 : Instrument lost : HID QLX SOLAR was unplugged"))
      << bar.Text(TCondition::InstrumentLost).toStdString();
  // The bar sits above the log and stays whatever the log does.
  EXPECT_LT(bar.mapTo(form_.get(), QPoint()).y(),
            form_->MemoBox()->mapTo(form_.get(), QPoint()).y());
  for (int i = 0; i < 200; ++i) AddtoMemoLog(form_->Memo(), "line " + std::to_string(i));
  EXPECT_TRUE(bar.isVisible());
  EXPECT_EQ(form_->Readout().Glance().State, TGlanceState::NoMeasurement);
  EXPECT_TRUE(
      form_->findChild<QLabel*>("LabelGlanceReason")->text().startsWith("Acquisition stopped"));

  sim_->Plug(instrument_);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Core().TimerMain().Enabled(); }, 3000));
  EXPECT_FALSE(bar.IsUp(TCondition::InstrumentLost));
  EXPECT_FALSE(bar.IsUp(TCondition::AcquisitionStopped));
  EXPECT_FALSE(bar.isVisible());
}

TEST_F(Glance, ResultsFileNotWrittenIsRaisedAndClearsWithTheNextLine) {
  Start(test::Replaying(std::vector<TReportBuffer>(200, test::ReferenceReport())));
  form_->show();
  // The data folder turns into a file: no line can be written.
  std::filesystem::remove_all(dir_);
  std::ofstream(dir_.string()) << "in the way\n";
  Tick();
  TConditionBar& bar = form_->Conditions();
  ASSERT_TRUE(bar.IsShown(TCondition::ResultsFileNotWritten));
  EXPECT_TRUE(bar.Text(TCondition::ResultsFileNotWritten).contains("Results file not written : "));
  std::filesystem::remove(dir_.string());
  std::filesystem::create_directories(dir_);
  // Acquisition goes on; the waiting lines go out at the writer's next try
  // (at most a minute on), and that clears it.
  EXPECT_TRUE(Core().TimerMain().Enabled());
  for (int i = 0; i < 70 && bar.IsUp(TCondition::ResultsFileNotWritten); ++i) Tick();
  EXPECT_FALSE(bar.IsUp(TCondition::ResultsFileNotWritten));
}

TEST_F(Glance, SettingsNotSavedStaysInTheBarUntilASaveWorks) {
  Start();
  form_->show();
  // The settings file cannot be replaced: a folder stands in its place.
  std::filesystem::create_directories(dir_ / "settings.ini" / "blocked");
  WhenShown<TFormSetup>([](TFormSetup& d) { d.ButtonOK->click(); });
  form_->Menu_SetupClick();
  TConditionBar& bar = form_->Conditions();
  ASSERT_TRUE(bar.IsShown(TCondition::SettingsNotSaved))
      << form_->MemoBox()->toPlainText().toStdString();
  EXPECT_TRUE(bar.Text(TCondition::SettingsNotSaved).contains("Settings not saved : "));
  EXPECT_EQ(Count("Settings not saved : "), 1);
  std::filesystem::remove_all(dir_ / "settings.ini");
  WhenShown<TFormSetup>([](TFormSetup& d) { d.ButtonOK->click(); });
  form_->Menu_SetupClick();
  EXPECT_FALSE(bar.IsUp(TCondition::SettingsNotSaved));
}

// ---------------------------------------------------------------- layout

// Every caption, value and note of the panel and the read-out, in panel
// coordinates.
std::vector<std::pair<QWidget*, QRect>> PanelItems(QWidget* panel) {
  std::vector<std::pair<QWidget*, QRect>> out;
  for (QWidget* w : panel->findChildren<QWidget*>()) {
    const bool leaf =
        qobject_cast<QLabel*>(w) || qobject_cast<QProgressBar*>(w) || w->objectName() == "Shape";
    if (!leaf || !w->isVisibleTo(panel)) continue;
    out.emplace_back(w, QRect(w->mapTo(panel, QPoint(0, 0)), w->size()));
  }
  return out;
}

void FillLongestTexts(TMainForm& form) {
  const std::pair<TValueLabel, const char*> texts[] = {
      {TValueLabel::CurrentSeeing, "Not valid (too low/too high)"},
      {TValueLabel::LastseeingCorrected, "12.3 arcsec |  123.4 R0 mm"},
      {TValueLabel::CurrentSeeingMin, "12.3 arcsec"},
      {TValueLabel::SeeingValue60s, "12.3 arcsec |  123.4 R0 mm"},
      {TValueLabel::CurrentSeeing5Min, "12.3 arcsec"},
      {TValueLabel::SeeingValue600s, "12.3 arcsec |  123.4 R0 mm"},
      {TValueLabel::Signal_mV, "2475.0 mV"},
      {TValueLabel::PDCurrent, "1164.7 \u00B5A"},
      {TValueLabel::ADUSignalNF, "65535 ADU  1234.5 ADU NOISE"},
      {TValueLabel::Scintillation, "12345.6 ADU 1.234 V Scint RMS, SNR = 1234.5"},
      {TValueLabel::TemperatureInBox, "-12.3 \u00B0C"},
      {TValueLabel::SunPosition, "Azimuth 359.99\u00B0 Elevation -89.99\u00B0"}};
  for (const auto& [id, text] : texts) form.SetValueLabel(id, text);
}

class PanelLayout : public ::testing::TestWithParam<const char*> {};

TEST_P(PanelLayout, NoTwoLabelsOverlapAndEveryTextFitsAtThreeSizes) {
  const QString family = QString::fromLatin1(GetParam());
  { TMainForm warmUp; }  // the window's own font substitutions, then ours
  const QStringList saved = QFont::substitutes("Tahoma");
  QFont::removeSubstitutions("Tahoma");
  QFont::insertSubstitution("Tahoma", family);
  ASSERT_EQ(QFontInfo(QFont("Tahoma", 10)).family(), family) << "font not installed";

  for (const QSize screen : {QSize(1024, 600), QSize(1366, 768), QSize(1920, 1080)}) {
    SCOPED_TRACE(std::to_string(screen.width()) + "x" + std::to_string(screen.height()));
    for (int variant = 0; variant < 2; ++variant) {
      TMainForm form;
      FillLongestTexts(form);
      TSeeingGlance g;
      if (variant == 0) {
        g = GlanceValue(12.34, 123, 12.34, 123, TSeeingTrend::Better, TSeeingClasses{});
        form.SetTriggerState(TTriggerState::Unknown);
      } else {
        g = GlanceNotValid();
      }
      form.SetSeeingGlance(g);
      form.FitToScreen(screen);
      form.show();
      QApplication::processEvents();
      EXPECT_LE(form.width(), screen.width());
      // The whole width of the panel is on screen: no column behind a
      // horizontal scroll bar.
      EXPECT_EQ(form.PanelScroll()->horizontalScrollBar()->maximum(), 0);
      if (screen.height() >= 768) {
        EXPECT_EQ(form.PanelScroll()->verticalScrollBar()->maximum(), 0);
      }

      const auto items = PanelItems(form.Panel());
      ASSERT_GT(items.size(), 30u);
      for (std::size_t i = 0; i < items.size(); ++i) {
        auto* label = qobject_cast<QLabel*>(items[i].first);
        if (label && !label->wordWrap() && !label->text().isEmpty()) {
          const int need = label->fontMetrics().horizontalAdvance(label->text());
          EXPECT_LE(need, label->contentsRect().width())
              << label->objectName().toStdString() << " '" << label->text().toStdString() << "'";
        }
        for (std::size_t j = i + 1; j < items.size(); ++j)
          EXPECT_FALSE(items[i].second.intersects(items[j].second))
              << items[i].first->objectName().toStdString() << " '"
              << (qobject_cast<QLabel*>(items[i].first)
                      ? qobject_cast<QLabel*>(items[i].first)->text().toStdString()
                      : "")
              << "' overlaps " << items[j].first->objectName().toStdString() << " '"
              << (qobject_cast<QLabel*>(items[j].first)
                      ? qobject_cast<QLabel*>(items[j].first)->text().toStdString()
                      : "")
              << "'";
      }
    }
  }
  QFont::removeSubstitutions("Tahoma");
  QFont::insertSubstitutions("Tahoma", saved);
}

INSTANTIATE_TEST_SUITE_P(Fonts, PanelLayout, ::testing::Values("DejaVu Sans", "Liberation Sans"));

TEST(PanelTips, EveryRowExplainsItself) {
  TMainForm form;
  for (int i = 0; i < kValueLabelCount; ++i) {
    auto* label = form.findChild<QLabel*>(ValueLabelName(static_cast<TValueLabel>(i)));
    EXPECT_GE(label->toolTip().size(), 30) << label->objectName().toStdString();
  }
  EXPECT_TRUE(form.findChild<QLabel*>("LabelCurrentSeeing")->toolTip().contains("r0"));
  EXPECT_TRUE(form.findChild<QLabel*>("LabelLastseeingCorrected")->toolTip().contains("zenith"));
  EXPECT_TRUE(form.findChild<QLabel*>("LabelScintillation")->toolTip().contains("Scintillation"));
  EXPECT_TRUE(form.findChild<QLabel*>("LabelADUSignalNF")->toolTip().contains("ADU"));
  EXPECT_TRUE(form.findChild<QProgressBar*>("ProgressBar")->toolTip().contains("saturates"));
}

// ---------------------------------------------------------------- menu

TEST(MenuKeys, AltLettersOpenTheFourEntries) {
  CaptureSink sink;
  TMainForm form;
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  struct Case {
    Qt::Key key;
    QAction* action;
    const char* caption;
  } cases[] = {{Qt::Key_S, form.ActionSetup(), "Setup"},
               {Qt::Key_F, form.ActionFirmware(), "Firmware"},
               {Qt::Key_R, form.ActionResetPlots(), "Reset Plots"},
               {Qt::Key_O, form.ActionOpenDataFile(), "Open Result DataFile"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    // The caption reads as before; the letter is the accelerator.
    EXPECT_EQ(c.action->iconText(), c.caption);
    int fired = 0;
    auto connection = QObject::connect(c.action, &QAction::triggered, [&] { ++fired; });
    // The action's own work is not wanted here: a dialog would block.
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTimer::singleShot(0, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    QTimer::singleShot(50, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    QTest::keyClick(&form, c.key, Qt::AltModifier);
    QTest::qWait(80);
    EXPECT_EQ(fired, 1);
    QObject::disconnect(connection);
  }
}

// ---------------------------------------------------------------- charts

TEST(ChartTicks, TimeTicksFallOnRoundTimes) {
  // 4 min 10 s of points from 09:30:03.4: every 30 s from 09:30:00 to 09:34:30.
  const double t0 = (9 * 3600 + 30 * 60 + 3.4) * 1000;
  TTimeTicks t = RoundTimeTicks(t0, t0 + 250000, 0, 12);
  EXPECT_EQ(t.stepMs, 30000);
  EXPECT_EQ(t.minMs, (9 * 3600 + 30 * 60) * 1000.0);
  EXPECT_EQ(t.maxMs, (9 * 3600 + 34 * 60 + 30) * 1000.0);
  EXPECT_EQ(t.count, 10);
  // In local time: an offset of 5 h 30 min still gives round local minutes.
  const double offset = 5.5 * 3600000;
  t = RoundTimeTicks(t0, t0 + 20 * 60000, offset, 12);
  EXPECT_EQ(t.stepMs, 120000);
  EXPECT_EQ(std::fmod(t.minMs + offset, t.stepMs), 0);
  EXPECT_LE(t.count, 12);
  // A single point: a one-second range.
  t = RoundTimeTicks(t0, t0, 0, 12);
  EXPECT_LE(t.count, 3);
  EXPECT_EQ(t.stepMs, 1000);
  // Value ticks: round steps with the decimals they need.
  EXPECT_EQ(NiceValueTicks(1.9, 2.7, 8).step, 0.2);
  EXPECT_EQ(NiceValueTicks(1.9, 2.7, 8).decimals, 1);
  EXPECT_EQ(NiceValueTicks(1261.1, 1263.9, 8).step, 0.5);
  EXPECT_EQ(NiceValueTicks(0, 900, 8).decimals, 0);
}

TEST(ChartTicks, TheChartUsesThemAndAnEmptyChartSaysSo) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  TMainForm form;
  form.FitToScreen(QSize(1920, 1080));
  form.show();
  TChartSeries& chart = form.SeeingChart();
  QChart* qchart = chart.series()->chart();
  auto* time = qobject_cast<QDateTimeAxis*>(qchart->axes(Qt::Horizontal)[0]);
  auto* value = qobject_cast<QValueAxis*>(qchart->axes(Qt::Vertical)[0]);
  chart.Flush();
  EXPECT_EQ(chart.NoteText(), QStringLiteral("No points yet"));
  EXPECT_FALSE(time->labelsVisible());
  EXPECT_FALSE(value->labelsVisible());

  const double t0 = EncodeDateTime(2026, 6, 21, 9, 30, 3, 400);
  for (int i = 0; i < 250; ++i) chart.Append(t0 + i / 86400.0, 2 + (i % 7) * 0.1);
  chart.Flush();
  EXPECT_TRUE(chart.NoteText().isEmpty());
  EXPECT_TRUE(time->labelsVisible());
  EXPECT_EQ(time->min().toUTC().time(), QTime(9, 30, 0));
  EXPECT_EQ(time->max().toUTC().time(), QTime(9, 34, 30));
  EXPECT_EQ(time->tickCount(), 10);
  EXPECT_EQ(value->tickType(), QValueAxis::TicksDynamic);
  EXPECT_EQ(value->tickAnchor(), 0);
  EXPECT_EQ(value->labelFormat(), QStringLiteral("%.1f"));
}

TEST(ChartTicks, AZoomedChartSaysThatTheRightButtonFollowsAgain) {
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
  ASSERT_TRUE(chart.Zoomed());
  EXPECT_EQ(
      chart.NoteText(),
      QStringLiteral("Zoomed: new points are not followed \u2014 right button follows again"));
  QTest::mouseClick(view->viewport(), Qt::RightButton, {}, at(0.5, 0.5));
  EXPECT_FALSE(chart.Zoomed());
  EXPECT_TRUE(chart.NoteText().isEmpty());
}

// ---------------------------------------------------------------- boxes

TEST(MessageBoxes, AShortTextStillLeavesTheTitleRoom) {
  TGuiMessageSink sink;
  int width = 0;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    width = box->width();
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Quorvel"));
    box->close();
  });
  sink.ShowMessage("Password error !");
  EXPECT_GE(width, kMinBoxWidth);
}

// ---------------------------------------------------------------- closing

// The window manager's close request reaches the window even while a modal
// dialog blocks it (the real request is tested end to end under a window
// manager; here its handler): the dialogs close as if cancelled and the
// window closes.
TEST_F(Glance, ACloseRequestUnderTheSetupDialogClosesDialogAndWindow) {
  Start();
  form_->show();
  bool sawDialog = false;
  QTimer::singleShot(0, form_.get(), [&] {
    auto* dialog = qobject_cast<TFormSetup*>(QApplication::activeModalWidget());
    sawDialog = dialog != nullptr;
    if (dialog) dialog->NumberEditLatitude->setText("10");
    // A message box on top of the dialog, as a field's error would show.
    QTimer::singleShot(0, form_.get(), [&] { form_->CloseFromWindowManager(); });
    TGuiMessageSink boxes(QApplication::activeModalWidget());
    boxes.ShowMessage("Nombre trop grand");
  });
  const bool applied =
      RunSetupDialog(form_.get(), false, SetupValuesFromProgram(GeneralParams, SetupLocation),
                     [](const TSetupValues&) {});
  EXPECT_FALSE(applied);
  EXPECT_TRUE(sawDialog);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form_->isVisible(); }, 2000));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_FALSE(Core().TimerMain().Enabled());
  EXPECT_EQ(SetupLocation.Latitude, TSetupLocation{}.Latitude);
}

}  // namespace
}  // namespace quorvel
