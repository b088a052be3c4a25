#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "AppTestSupport.h"
#include "app/MainCore.h"
#include "common/Clock.h"
#include "common/Format.h"
#include "device/SimBackend.h"
#include "ephemeris/SunPosition.h"
#include "records/SettingsStore.h"

namespace quorvel {
namespace {

using test::TFakeView;

constexpr std::int64_t kMorning = 1782036000000LL;  // 2026-06-21 10:00:00 UTC

class Core : public ::testing::Test {
 protected:
  void SetUp() override {
    test::App();
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    dir_ = test::FreshTestDir("quorvel_core_");
    GeneralParams = TGeneralParams{};
    GeneralParams.PathMainRootSav = dir_.string() + "/";
    SetupLocation = TSetupLocation{};
    sim_ = std::make_shared<TSimulatedBackend>();
  }
  void TearDown() override {
    core_.reset();
    sim_.reset();
    GeneralParams = TGeneralParams{};
    std::filesystem::remove_all(dir_);
  }

  void Start(TDatabaseRegistry* settings = nullptr) {
    core_ = std::make_unique<TMainCore>(view_, sim_, settings);
    // Ticks come from Tick() alone: on a loaded machine the real 1 s timer
    // would otherwise add one while a test waits for a plug.
    core_->TimerMain().SetDrivenExternally(true);
    core_->FormCreate();
    ASSERT_TRUE(test::PumpUntil([&] { return view_.Has("HidCtlDeviceChange loop"); }));
  }
  // One virtual second and the tick it brings.
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      clock_.Advance(1000);
      core_->TimerMain().Fire();
    }
  }
  // Lets the controller see plugs and unplugs.
  void Settle() { test::Pump(30); }

  std::vector<std::string> ResultLines() {
    std::vector<std::string> lines;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      std::ifstream in(e.path(), std::ios::binary);
      std::string l;
      while (std::getline(in, l)) lines.push_back(l);
    }
    return lines;
  }

  VirtualClock clock_{kMorning};
  ScopedClock useClock_{clock_};
  std::filesystem::path dir_;
  std::shared_ptr<TSimulatedBackend> sim_;
  TFakeView view_;
  std::unique_ptr<TMainCore> core_;
};

TEST_F(Core, StartWithTheInstrument) {
  sim_->AddMouse();
  sim_->AddInstrument(test::ClearSky());
  Start();
  ASSERT_GE(view_.log.size(), 6u);
  EXPECT_EQ(view_.log[0], "Application startup");
  EXPECT_EQ(view_.log[1],
            "Site : latitude 45.5000\u00B0 N, longitude 3.5000\u00B0 E, altitude 0 m");
  EXPECT_EQ(view_.log[2], "Arrival of \"USB Optical Mouse\" -> \"USB Optical Mouse\"");
  EXPECT_EQ(view_.log[3], "Arrival of \"HID QLX SOLAR\" -> \"HID QLX SOLAR\"");
  EXPECT_EQ(view_.log[4], "Connected to -> HID QLX SOLAR");
  EXPECT_EQ(view_.log[5], "HidCtlDeviceChange loop -> 2 devices");
  EXPECT_TRUE(view_.conditions.empty());
  test::Pump(30);  // a not-found box would come after the change
  EXPECT_TRUE(view_.errors.empty());
  EXPECT_TRUE(core_->TimerMain().Enabled());
  EXPECT_EQ(view_.status[2], "Data saved in this folder : " + GeneralParams.PathMainRootSav);

  Tick();
  EXPECT_EQ(view_.status[0], "Fw version 1.7 SNR 4294900475");
  EXPECT_TRUE(
      view_.Has("Read ROM value Rshunt 2125 Ohms, Filtered Gain : 319x Unfiltered gain "
                ": 1.0x  OffsetVolts : 2.520 V"));
  Tick();
  ASSERT_EQ(view_.shapes.size(), 2u);
  EXPECT_EQ(view_.shapes[0], kBlue);
  EXPECT_EQ(view_.shapes[1], kLime);
  EXPECT_EQ(core_->FTimerConter, 2u);
  EXPECT_EQ(view_.Count("Read ROM value"), 1);  // only on the first cycle
}

TEST_F(Core, StartWithoutTheInstrumentThenAttachIt) {
  const int instrument = sim_->AddInstrument(test::ClearSky(), /*plugged=*/false);
  Start();
  EXPECT_EQ(view_.log.back(), "HidCtlDeviceChange loop -> 0 devices");
  ASSERT_TRUE(test::PumpUntil([&] { return !view_.errors.empty(); }));
  ASSERT_EQ(view_.errors.size(), 1u);
  EXPECT_EQ(view_.errors[0],
            "Hardware device not found, please attach it. Now is going to halt this software !");
  EXPECT_FALSE(core_->TimerMain().Enabled());
  Tick(2);  // nothing happens without the instrument
  EXPECT_TRUE(view_.shapes.empty());

  sim_->Plug(instrument);
  ASSERT_TRUE(test::PumpUntil([&] { return core_->TimerMain().Enabled(); }));
  EXPECT_TRUE(view_.Has("Connected to -> HID QLX SOLAR"));
  Settle();
  EXPECT_EQ(view_.errors.size(), 1u);  // acquisition runs: no second box
  Tick(3);
  EXPECT_EQ(view_.shapes.size(), 3u);
  EXPECT_NE(view_.Label(TValueLabel::Signal_mV), "???");
}

TEST_F(Core, ASecondInstrumentTakesOver) {
  sim_->AddInstrument(test::ClearSky(), true, "first");
  const int second = sim_->AddInstrument(test::ClearSky(), false, "second");
  Start();
  THidDevice* first = core_->Protocol().FCurrentDevice;
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(static_cast<bool>(first->OnData()));
  sim_->Plug(second);
  ASSERT_TRUE(test::PumpUntil([&] { return core_->Protocol().FCurrentDevice != first; }));
  EXPECT_FALSE(static_cast<bool>(first->OnData()));
  EXPECT_EQ(view_.Count("Connected to -> HID QLX SOLAR"), 2);
  Tick(2);
  EXPECT_EQ(sim_->RequestCount(second), 3);  // 0x80 then two 0x81
}

TEST_F(Core, AMouseArrivingDuringAcquisitionChangesNothing) {
  sim_->AddInstrument(test::ClearSky());
  const int mouse = sim_->AddMouse(false);
  Start();
  Tick(2);
  const int changes = view_.Count("HidCtlDeviceChange loop");
  sim_->Plug(mouse);
  ASSERT_TRUE(test::PumpUntil([&] { return view_.Count("HidCtlDeviceChange loop") > changes; }));
  EXPECT_EQ(view_.log.back(), "HidCtlDeviceChange loop -> 1 devices");
  EXPECT_TRUE(view_.Has("Arrival of \"USB Optical Mouse\" -> \"USB Optical Mouse\""));
  EXPECT_TRUE(view_.errors.empty());
  Tick(2);
  EXPECT_EQ(core_->FTimerConter, 4u);
  sim_->Unplug(mouse);
  ASSERT_TRUE(test::PumpUntil([&] { return view_.Has("HidCtlDeviceChange loop -> 0 devices"); }));
  Tick();
  EXPECT_EQ(core_->FTimerConter, 5u);
}

TEST_F(Core, UnplugStopsAcquisitionAndTheNextArrivalResumesIt) {
  const int instrument = sim_->AddInstrument(test::ClearSky());
  Start();
  Tick(3);
  sim_->Unplug(instrument);
  Settle();
  Tick();
  ASSERT_TRUE(view_.Has("Main timer error : HID WRITE ERROR"));
  EXPECT_EQ(view_.shapes.back(), kRed);
  EXPECT_FALSE(core_->TimerMain().Enabled());
  EXPECT_EQ(core_->FTimerConter, 3u);
  const std::size_t lines = ResultLines().size();
  sim_->Plug(instrument);
  ASSERT_TRUE(test::PumpUntil([&] { return core_->TimerMain().Enabled(); }));
  Tick(2);
  EXPECT_EQ(core_->FTimerConter, 5u);
  EXPECT_EQ(view_.Count("Read ROM value"), 1);  // the counter went on: no second read
  EXPECT_EQ(ResultLines().size(), lines + 2);
}

TEST_F(Core, AReplugWhileTheNotFoundBoxIsOpenResumesAcquisition) {
  const int instrument = sim_->AddInstrument(test::ClearSky());
  Start();
  Tick(2);
  // The operator leaves the box open; the instrument comes back meanwhile.
  bool resumed = false;
  view_.whileErrorShown = [&] {
    sim_->Plug(instrument);
    resumed = test::PumpUntil([&] { return core_->TimerMain().Enabled(); });
  };
  sim_->Unplug(instrument);
  Tick();  // fails before the controller has seen the removal
  ASSERT_TRUE(view_.Has("Main timer error : HID WRITE ERROR"));
  ASSERT_TRUE(test::PumpUntil([&] { return !view_.errors.empty(); }));
  EXPECT_TRUE(resumed);
  view_.whileErrorShown = nullptr;
  const std::size_t lines = ResultLines().size();
  Tick(2);
  EXPECT_EQ(ResultLines().size(), lines + 2);
  EXPECT_EQ(view_.errors.size(), 1u);
}

// A results-file error no longer stops acquisition: the line waits, the
// folder is made again at the next retry, and no line is lost.
TEST_F(Core, TheDataFolderIsMadeAgainWithoutARestartAndNoLineIsLost) {
  sim_->AddInstrument(test::ClearSky());
  Start();
  // A file where the folder should be.
  std::filesystem::remove_all(dir_);
  std::ofstream(dir_.string()) << "in the way";
  Tick();
  const std::string day = GeneralParams.PathMainRootSav + "2026_ 6_21_Results.txt";
  ASSERT_TRUE(view_.Has("Main timer error : Path not found : [" + day + "]"));
  EXPECT_TRUE(core_->TimerMain().Enabled());
  EXPECT_EQ(core_->Results().Pending(), 1u);
  std::filesystem::remove(dir_);
  Tick(2);
  EXPECT_EQ(view_.Count("Main timer error"), 1);
  EXPECT_EQ(view_.Count("Results file writable again : [" + day + "]"), 1);
  EXPECT_EQ(core_->Results().Pending(), 0u);
  EXPECT_EQ(ResultLines().size(), 4u);  // header and three lines, the first one late
  EXPECT_EQ(core_->FTimerConter, 3u);
}

TEST_F(Core, GarbledAnswersAreTurnedAwayAndTheCycleGoesOn) {
  // Right echo, but values no 16-bit converter gives: each is a failed read,
  // never a stop, a calibration question or a results line.
  const float nan = std::nanf("");
  const float inf = HUGE_VALF;
  std::vector<TReportBuffer> reports = {
      test::MeasurementReport(nan, 2000.0f),   test::MeasurementReport(3e38f, 2000.0f),
      test::MeasurementReport(-1.0f, 2000.0f), test::MeasurementReport(65535.5f, 2000.0f),
      test::MeasurementReport(50000.0f, inf),  test::MeasurementReport(50000.0f, -0.5f),
      test::MeasurementReport(50000.0f, nan),
  };
  TReportBuffer noisy = test::ReferenceReport();
  noisy[6] = 0xFF;  // noise NaN
  noisy[7] = 0xC0;
  reports.push_back(noisy);
  TReportBuffer filtered = test::ReferenceReport();
  filtered[10] = 0x7F;  // filtered mean +INF
  filtered[11] = 0x80;
  filtered[12] = filtered[13] = 0;
  reports.push_back(filtered);
  const std::size_t garbled = reports.size();
  // At the edges of the range: sound.
  reports.push_back(test::MeasurementReport(65535.0f, 0.0f));
  reports.push_back(test::ReferenceReport());
  sim_->AddInstrument(test::Replaying(reports));
  Start();
  Tick(static_cast<int>(garbled));
  EXPECT_EQ(view_.Count("Failed to read data..."), static_cast<int>(garbled));
  EXPECT_EQ(view_.Count("Main timer error"), 0);
  EXPECT_TRUE(view_.questions.empty());
  EXPECT_TRUE(core_->TimerMain().Enabled());
  EXPECT_EQ(core_->FIdrol_L, -1);
  EXPECT_TRUE(ResultLines().empty());
  Tick(2);
  EXPECT_EQ(view_.Count("Failed to read data..."), static_cast<int>(garbled));
  EXPECT_EQ(core_->FIdrol_L, 1);
  EXPECT_EQ(ResultLines().size(), 2u);
  EXPECT_EQ(core_->FTimerConter, garbled + 2);
}

TEST_F(Core, ErasedCalibrationAsksAndWritesTheDefaultsOnYes) {
  TSimInstrumentConfig c = test::ClearSky();
  c.StartErased = true;
  sim_->AddInstrument(c);
  for (bool yes : {false, true}) {
    core_.reset();
    view_ = TFakeView{};
    view_.answer = yes;
    Start();
    Tick();
    ASSERT_EQ(view_.questions.size(), 1u);
    EXPECT_EQ(view_.questions[0],
              "ROM values are not filled, do you want to inject default values ?");
    EXPECT_TRUE(view_.Has("Read ROM value Rshunt NAN Ohms"));
    EXPECT_EQ(view_.status[0], "Fw version 1.7 SNR 4294967295");
    EXPECT_FALSE(core_->TimerMain().Enabled());
    EXPECT_EQ(core_->FTimerConter, 0u);
    EXPECT_TRUE(view_.shapes.empty());
    EXPECT_EQ(view_.Label(TValueLabel::Signal_mV), "???");
    const TSimNvm nvm = sim_->Nvm();
    const TSimNvm defaults =
        NvmFromValues(kDefaultSerialNumber, kDefaultRShunt, kDefaultGainFiltered,
                      kDefaultGainUnfiltered, kDefaultOffsetV);
    EXPECT_EQ(nvm == defaults, yes);
  }
}

TEST_F(Core, WrongEchoIsLoggedAndTheCycleGoesOn) {
  sim_->AddInstrument(test::ClearSky());
  Start();
  Tick();
  sim_->SetAnswerMode(TAnswerMode::WrongEcho);
  Tick(2);
  EXPECT_EQ(view_.Count("Failed to read data..."), 2);
  EXPECT_EQ(view_.shapes.size(), 3u);
  EXPECT_EQ(core_->FTimerConter, 3u);
  EXPECT_TRUE(core_->TimerMain().Enabled());
  sim_->SetAnswerMode(TAnswerMode::Normal);
  Tick();
  EXPECT_EQ(view_.Count("Failed to read data..."), 2);
}

TEST_F(Core, ReferenceReportLabels) {
  sim_->AddInstrument(test::Replaying({test::ReferenceReport()}));
  Start();
  Tick();
  EXPECT_EQ(view_.Label(TValueLabel::Signal_mV), "605.0 mV");
  EXPECT_EQ(view_.Label(TValueLabel::PDCurrent), "284.7 \u00B5A");
  EXPECT_EQ(view_.Label(TValueLabel::CurrentSeeing), "1.2 arcsec |  92.2 R0 mm");
  EXPECT_EQ(view_.Label(TValueLabel::CurrentSeeingMin), "N/A");
  EXPECT_EQ(view_.Label(TValueLabel::SeeingValue600s), "N/A");
  EXPECT_EQ(view_.Label(TValueLabel::Scintillation), "2000.0 ADU 0.125 V Scint RMS, SNR = 90.9");
  EXPECT_EQ(view_.Label(TValueLabel::ADUSignalNF), "50000 ADU  12.0 ADU NOISE");
  EXPECT_EQ(view_.Label(TValueLabel::TemperatureInBox), "21.5 \u00B0C");
  EXPECT_EQ(view_.progress, 38);
  EXPECT_EQ(view_.status[1], "0  0");
  // The label and the results line carry this cycle's Sun position.
  double az, el;
  ephem::calcul_SUN_AZ_Elevation(NowUTC(), SetupLocation.Longitude, SetupLocation.Latitude, 0, az,
                                 el);
  const std::string sun = view_.Label(TValueLabel::SunPosition);
  EXPECT_EQ(sun, Format("Azimuth %1.2f\u00B0 Elevation %1.2f\u00B0",
                        {az * 57.29577951308232, el * 57.29577951308232}));
  const auto lines = ResultLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find(
                Format(" | %1.3f | %1.3f | ", {az * 57.29577951308232, el * 57.29577951308232})),
            std::string::npos)
      << lines[1];
  EXPECT_EQ(core_->FPathDataFile, GeneralParams.PathMainRootSav + "2026_ 6_21_Results.txt");
}

// Every cycle hands the live outputs one snapshot; a valid one carries the
// values of the results line written in the same cycle, to the file's digits.
TEST_F(Core, EveryCycleHandsTheLiveOutputsItsSnapshot) {
  struct TKeep : ILiveOutput {
    std::vector<TSnapshotPtr> got;
    void Publish(const TSnapshotPtr& s) override { got.push_back(s); }
  } keep;
  sim_->AddInstrument(
      test::Replaying({test::ReferenceReport(), test::MeasurementReport(40000.0f, 10.0f),
                       test::MeasurementReport(50000.0f, 10.0f)}));
  Start();
  core_->Live().Add(&keep);
  GeneralParams.MinValue_mV = 300;
  Tick(3);
  ASSERT_EQ(keep.got.size(), 3u);
  const TLiveSnapshot& first = *keep.got[0];
  EXPECT_TRUE(first.valid);
  ASSERT_TRUE(first.measurement.has_value());
  EXPECT_EQ(first.serialNumber, std::optional<std::uint32_t>(4294900475u));
  EXPECT_EQ(first.station, "quorvel-4294900475");
  EXPECT_DOUBLE_EQ(first.latitudeDeg, 45.5);
  EXPECT_DOUBLE_EQ(first.longitudeEastDeg, 3.5);
  const auto lines = ResultLines();
  ASSERT_EQ(lines.size(), 2u);
  const std::string json = MeasurementJson(first);
  const std::string state = SnapshotJson(first);
  // Se, R0, AZ, ELV, Se zen and R0 zen of the line, as the JSON prints them.
  std::vector<std::string> fields;
  for (std::size_t at = 0, bar; (bar = lines[1].find(" | ", at)) != std::string::npos; at = bar + 3)
    fields.push_back(lines[1].substr(at, bar - at));
  ASSERT_GE(fields.size(), 8u);
  EXPECT_NE(json.find("\"jd\":" + fields[2] + ","), std::string::npos) << json;
  EXPECT_NE(json.find("\"signal_mV\":" + fields[3] + ","), std::string::npos) << json;
  EXPECT_NE(json.find("\"seeing_arcsec\":" + fields[4] + ","), std::string::npos) << json;
  EXPECT_NE(state.find("\"seeing_arcsec\":" + fields[4] + ","), std::string::npos) << state;
  EXPECT_NE(json.find("\"r0_mm\":" + fields[5] + ","), std::string::npos) << json;
  EXPECT_NE(json.find("\"sun_azimuth_deg\":" + fields[6] + ","), std::string::npos) << json;
  EXPECT_NE(json.find("\"sun_elevation_deg\":" + fields[7] + ","), std::string::npos) << json;

  EXPECT_FALSE(keep.got[1]->valid);
  EXPECT_EQ(keep.got[1]->reason, TInvalidReason::LowLight);
  EXPECT_FALSE(keep.got[1]->measurement.has_value());
  EXPECT_TRUE(keep.got[1]->signalMv.has_value());
  EXPECT_FALSE(keep.got[1]->seeingArcsec.has_value());
  EXPECT_EQ(keep.got[2]->reason, TInvalidReason::SeeingOutOfRange);
  for (const auto& s : keep.got) EXPECT_EQ(s->trigger, TTriggerState::Unknown);
  core_->Live().Remove(&keep);
}

TEST_F(Core, LightThresholdAndInvalidSeeing) {
  // 0.6050477 V against thresholds just below and above it, a dark report,
  // and one whose seeing is out of the window.
  sim_->AddInstrument(test::Replaying({test::ReferenceReport(), test::ReferenceReport(),
                                       test::MeasurementReport(40000.0f, 10.0f),
                                       test::MeasurementReport(50000.0f, 10.0f)}));
  Start();
  GeneralParams.MinValue_mV = 606;
  Tick();
  EXPECT_EQ(view_.Label(TValueLabel::CurrentSeeing), "Sun light level is too low");
  EXPECT_EQ(view_.Label(TValueLabel::LastseeingCorrected), "N/A");
  EXPECT_EQ(core_->FIdrol_S, -1);
  EXPECT_EQ(core_->FIdrol_L, 0);  // the signal is plotted all the same
  GeneralParams.MinValue_mV = 605;
  Tick();
  EXPECT_EQ(view_.Label(TValueLabel::CurrentSeeing), "1.2 arcsec |  92.2 R0 mm");
  EXPECT_EQ(core_->FIdrol_S, 0);
  Tick();  // 40000 ADU is below the offset: no useful signal
  EXPECT_EQ(view_.Label(TValueLabel::Signal_mV), "None");
  EXPECT_EQ(view_.Label(TValueLabel::PDCurrent), "None");
  EXPECT_EQ(view_.Label(TValueLabel::CurrentSeeing), "Sun light level is too low");
  EXPECT_EQ(core_->FIdrol_L, 2);
  Tick();  // seeing 0.006": not valid
  EXPECT_EQ(view_.Label(TValueLabel::CurrentSeeing), "Not valid (too low/too high)");
  EXPECT_EQ(core_->FIdrol_S, 0);
  EXPECT_EQ(ResultLines().size(), 2u);  // header + the one valid cycle
}

TEST_F(Core, MinimumZeroLetsAnyPositiveSignalThrough) {
  sim_->AddInstrument(test::Replaying({test::MeasurementReport(40400.0f, 5.0f)}));
  Start();
  GeneralParams.MinValue_mV = 0;
  Tick();
  EXPECT_NE(view_.Label(TValueLabel::CurrentSeeing), "Sun light level is too low");
}

TEST(LightTest, TheMinimumItselfIsTooLow) {
  struct Case {
    double signalV;
    std::uint16_t min_mV;
    bool tooLow;
  } cases[] = {
      {0.15, 150, true},     {std::nextafter(0.15, 1.0), 150, false},
      {0.1, 150, true},      {1e-12, 0, false},  // with a minimum of 0 any positive signal passes
      {0.0, 0, true},        {-0.2, 0, true},
      {65.535, 65535, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SunLightTooLow(c.signalV, c.min_mV), c.tooLow) << c.signalV << " " << c.min_mV;
}

TEST_F(Core, SunDueSouthShowsAzimuth180) {
  // The instant of this day's transit at the site, to the millisecond.
  std::int64_t best = 0;
  double bestGap = 1e9;
  for (std::int64_t ms = kMorning; ms < kMorning + 4 * 3600000LL; ms += 1000) {
    double az, el;
    ephem::calcul_SUN_AZ_Elevation(DateTimeFromUnixMs(ms), SetupLocation.Longitude,
                                   SetupLocation.Latitude, 0, az, el);
    if (std::abs(az - M_PI) < bestGap) bestGap = std::abs(az - M_PI), best = ms;
  }
  for (std::int64_t ms = best - 1000; ms <= best + 1000; ++ms) {
    double az, el;
    ephem::calcul_SUN_AZ_Elevation(DateTimeFromUnixMs(ms), SetupLocation.Longitude,
                                   SetupLocation.Latitude, 0, az, el);
    if (std::abs(az - M_PI) < bestGap) bestGap = std::abs(az - M_PI), best = ms;
  }
  ASSERT_LT(bestGap, 1e-6);
  sim_->AddInstrument(test::Replaying({test::ReferenceReport()}));
  Start();
  clock_.Set(best - 1000);
  Tick();
  EXPECT_EQ(view_.Label(TValueLabel::SunPosition).rfind("Azimuth 180.00\u00B0 Elevation ", 0), 0u)
      << view_.Label(TValueLabel::SunPosition);
  EXPECT_NEAR(core_->FDataOutMes.AZ, 180.0, 1e-4);
}

TEST_F(Core, MeansAppearOnceTheBufferSpansTheirInterval) {
  sim_->AddInstrument(test::Replaying(std::vector<TReportBuffer>(400, test::ReferenceReport())));
  Start();
  Tick(61);
  EXPECT_EQ(view_.Label(TValueLabel::CurrentSeeingMin), "N/A");
  EXPECT_EQ(view_.Count("One minute mean seeing"), 0);
  Tick();
  EXPECT_EQ(view_.Label(TValueLabel::CurrentSeeingMin), "1.2 arcsec");
  EXPECT_EQ(view_.Count("One minute mean seeing : 1.23 arcsec |"), 1);
  Tick(10);
  EXPECT_EQ(view_.Count("One minute mean seeing"), 11);
  EXPECT_EQ(view_.Label(TValueLabel::CurrentSeeing5Min), "N/A");
  Tick(229);  // 301 s: the first point is not yet older than five minutes
  EXPECT_EQ(view_.Count("Five minutes mean seeing"), 0);
  Tick();
  EXPECT_EQ(view_.Count("Five minutes mean seeing"), 1);
  EXPECT_NE(view_.Label(TValueLabel::SeeingValue600s), "N/A");
}

TEST_F(Core, AnInvalidCycleKeepsTheMeanLabelsAndWritesNoLine) {
  std::vector<TReportBuffer> reports(70, test::ReferenceReport());
  reports.push_back(test::MeasurementReport(50000.0f, 10.0f));
  sim_->AddInstrument(test::Replaying(reports));
  Start();
  Tick(70);
  const std::string mean = view_.Label(TValueLabel::CurrentSeeingMin);
  const std::size_t lines = ResultLines().size();
  const int logged = view_.Count("One minute mean seeing");
  Tick();
  EXPECT_EQ(view_.Label(TValueLabel::CurrentSeeingMin), mean);
  EXPECT_EQ(ResultLines().size(), lines);
  EXPECT_EQ(view_.Count("One minute mean seeing"), logged);
}

TEST_F(Core, ResetPlotsEmptiesTheChartsAndKeepsTheLabels) {
  sim_->AddInstrument(test::Replaying(std::vector<TReportBuffer>(10, test::ReferenceReport())));
  Start();
  Tick(5);
  const std::string label = view_.Label(TValueLabel::CurrentSeeing);
  core_->MenuResetplotsClick();
  EXPECT_TRUE(view_.seeing.points.empty());
  EXPECT_TRUE(view_.signal.points.empty());
  EXPECT_EQ(view_.Label(TValueLabel::CurrentSeeing), label);
  Tick();
  EXPECT_EQ(view_.status[1], "0  0");
  EXPECT_EQ(view_.signal.points.size(), 1u);
}

TEST_F(Core, SaturationBarRangeErrorStopsAcquisition) {
  // A calibration with a vanishing unfiltered gain turns a sound report into
  // a signal that no bar position can show.
  TSimInstrumentConfig c = test::Replaying({test::ReferenceReport()});
  auto script = std::make_shared<TReplayScript>(*c.Replay);
  TReportBuffer version{};
  version[1] = kCmdReadVersion;
  version[2] = 1;
  version[3] = 7;
  const TSimNvm nvm = NvmFromValues(kDefaultSerialNumber, kDefaultRShunt, kDefaultGainFiltered,
                                    1e-9f, kDefaultOffsetV);
  std::copy(nvm.begin(), nvm.end(), version.begin() + 6);
  script->VersionAnswers.push_back(version);
  c.Replay = script;
  sim_->AddInstrument(c);
  Start();
  Tick();
  EXPECT_TRUE(view_.Has("Main timer error : Range check error"));
  EXPECT_EQ(view_.shapes.back(), kRed);
  EXPECT_FALSE(core_->TimerMain().Enabled());
  EXPECT_EQ(core_->FTimerConter, 0u);
}

TEST_F(Core, MissingSettingsKeepTheDefaults) {
  TDatabaseRegistry settings((dir_ / "none.ini").string());
  sim_->AddInstrument(test::ClearSky());
  Start(&settings);
  EXPECT_EQ(GeneralParams.MaxPointsDisplayed, 1200);
  EXPECT_EQ(GeneralParams.MinValue_mV, 150);
  EXPECT_DOUBLE_EQ(SetupLocation.Latitude, 45.5 * 3.141592653589793 / 180);
  EXPECT_DOUBLE_EQ(SetupLocation.Longitude, -3.5 * 3.141592653589793 / 180);
  EXPECT_EQ(SetupLocation.AltitudeM, 0);
  EXPECT_EQ(core_->FBufrollseeing.Length(), 1200);
  EXPECT_EQ(view_.Count("Setting "), 0);  // a first run has nothing to report
  EXPECT_FALSE(std::filesystem::exists(dir_ / "none.ini"));
}

TEST_F(Core, UnreadableSettingsAreNamed) {
  const std::string file = (dir_ / "s.ini").string();
  std::ofstream(file) << "[Software]\nDRAVO_Solar\\General\\RetentionMaxPoints=12abc\n"
                         "DRAVO_Solar\\General\\MinSignal_mV_Meas=200\n";
  TDatabaseRegistry settings(file);
  sim_->AddInstrument(test::ClearSky());
  Start(&settings);
  EXPECT_EQ(GeneralParams.MaxPointsDisplayed, 1200);
  EXPECT_EQ(GeneralParams.MinValue_mV, 200);
  EXPECT_TRUE(view_.Has("Setting RetentionMaxPoints not used, default kept : "));
  EXPECT_TRUE(view_.Has("Setting latitude not used, default kept : "));
}

TEST_F(Core, DecimalCommaLocaleKeepsPointsInNumbers) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 not installed";
  sim_->AddInstrument(test::Replaying({test::ReferenceReport()}));
  Start();
  Tick();
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(view_.Label(TValueLabel::Signal_mV), "605.0 mV");
  const auto lines = ResultLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find(" | 605.0 | 1.23 | 92.2 | "), std::string::npos) << lines[1];
}

TEST_F(Core, AWholeDayCrossesLocalMidnightIntoANewFile) {
  // Local midnight in Tokyo falls in the site's afternoon, so measurements
  // run across it.
  ::setenv("TZ", "Asia/Tokyo", 1);
  ::tzset();
  clock_.Set(1781967600000LL);  // 2026-06-20 15:00 UTC, local midnight of the 21st
  sim_->AddInstrument(test::ClearSky());
  Start();
  Tick(86400 + 3600);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir_))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"2026_ 6_21_Results.txt", "2026_ 6_22_Results.txt"}));
  EXPECT_EQ(view_.Count("Main timer error"), 0);
  std::size_t lines = 0;
  for (const auto& name : names) {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::string l;
    std::getline(in, l);
    EXPECT_EQ(l.substr(0, 10), "Local Date") << name;
    while (std::getline(in, l)) {
      ++lines;
      // No line while the Sun is down: the elevation column is positive.
      std::vector<std::string> fields;
      std::stringstream ss(l);
      std::string f;
      while (std::getline(ss, f, '|')) fields.push_back(f);
      ASSERT_GE(fields.size(), 10u) << l;
      ASSERT_GT(std::stod(fields[7]), 0) << l;
    }
  }
  EXPECT_GT(lines, 40000u);
  EXPECT_LT(lines, 86400u);
  // One line for every seeing point plotted, that is every valid measurement.
  EXPECT_EQ(static_cast<std::int64_t>(lines), view_.seeing.insertions);
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

// Conditions the core keeps in sight: raised with their operator text when
// they begin, cleared when they are over.
TEST_F(Core, AnUnplugRaisesInstrumentLostAndAcquisitionStoppedAndAReplugClearsBoth) {
  const int instrument = sim_->AddInstrument(test::ClearSky());
  Start();
  Tick(2);
  sim_->Unplug(instrument);
  Settle();
  Tick();
  ASSERT_TRUE(view_.Up(TCondition::InstrumentLost));
  EXPECT_EQ(view_.conditions[TCondition::InstrumentLost],
            "Instrument lost : HID QLX SOLAR was unplugged, please attach it again");
  ASSERT_TRUE(view_.Up(TCondition::AcquisitionStopped));
  EXPECT_EQ(view_.conditions[TCondition::AcquisitionStopped].rfind(
                "Acquisition stopped : HID WRITE ERROR", 0),
            0u);
  EXPECT_EQ(view_.glance.State, TGlanceState::NoMeasurement);
  sim_->Plug(instrument);
  ASSERT_TRUE(test::PumpUntil([&] { return core_->TimerMain().Enabled(); }));
  EXPECT_TRUE(view_.conditions.empty());
}

TEST_F(Core, NoInstrumentAtStartIsInTheBarUntilItArrives) {
  const int instrument = sim_->AddInstrument(test::ClearSky(), /*plugged=*/false);
  Start();
  ASSERT_TRUE(view_.Up(TCondition::InstrumentLost));
  EXPECT_EQ(view_.conditions[TCondition::InstrumentLost],
            "Instrument not found : please attach it");
  sim_->Plug(instrument);
  ASSERT_TRUE(test::PumpUntil([&] { return core_->TimerMain().Enabled(); }));
  EXPECT_FALSE(view_.Up(TCondition::InstrumentLost));
}

TEST_F(Core, AnErasedCalibrationStopsAcquisitionInSight) {
  TSimInstrumentConfig c = test::ClearSky();
  c.StartErased = true;
  sim_->AddInstrument(c);
  Start();
  Tick();
  ASSERT_TRUE(view_.Up(TCondition::AcquisitionStopped));
  EXPECT_EQ(view_.conditions[TCondition::AcquisitionStopped],
            "Acquisition stopped : the instrument has no calibration");
}

// The read-out's value follows the classes' choice of zenith or line of
// sight; too little light says why.
TEST_F(Core, TheGlanceOfEachCycle) {
  sim_->AddInstrument(test::Replaying({test::ReferenceReport(), test::ReferenceReport(),
                                       test::MeasurementReport(40000.0f, 10.0f)}));
  Start();
  Tick();
  ASSERT_EQ(view_.glance.State, TGlanceState::Value);
  EXPECT_TRUE(view_.glance.Zenith);
  EXPECT_EQ(view_.glance.Seeing, core_->FDataOutMes.seeingArcSecZen);
  EXPECT_EQ(view_.glance.R0, core_->FDataOutMes.R0Zen);
  SeeingClasses.Zenith = false;
  Tick();
  EXPECT_FALSE(view_.glance.Zenith);
  EXPECT_EQ(view_.glance.Seeing, core_->FDataOutMes.seeingArcSec);
  EXPECT_EQ(view_.glance.Quality, ClassifySeeing(core_->FDataOutMes.seeingArcSec, SeeingClasses));
  SeeingClasses = TSeeingClasses{};
  Tick();
  EXPECT_EQ(view_.glance.State, TGlanceState::NoSunlight);
  EXPECT_EQ(view_.glance.Reason, "No sunlight on the instrument: clouds?");
}

TEST_F(Core, SeeingClassesFromTheSettingsFile) {
  struct Case {
    const char* lines;
    TSeeingClasses expected;
    const char* named;  // a "Setting ... not used" line, or none
  } cases[] = {
      // Files of older versions do not have them: nothing to say.
      {"", TSeeingClasses{}, nullptr},
      {"DRAVO_Solar\\General\\SeeingExcellentMax=0.8\nDRAVO_Solar\\General\\SeeingGoodMax=1.6\n"
       "DRAVO_Solar\\General\\SeeingFairMax=2.4\nDRAVO_Solar\\General\\SeeingClassesAtZenith=No\n",
       TSeeingClasses{0.8, 1.6, 2.4, false}, nullptr},
      {"DRAVO_Solar\\General\\SeeingExcellentMax=5\n", TSeeingClasses{},
       "Setting SeeingExcellentMax not used, default kept : "},
      {"DRAVO_Solar\\General\\SeeingGoodMax=1,5\n", TSeeingClasses{},
       "Setting SeeingGoodMax not used, default kept : "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    SeeingClasses = TSeeingClasses{};
    view_ = TFakeView{};
    const std::string file = (dir_ / "s.ini").string();
    std::ofstream(file) << "[Software]\nDRAVO_Solar\\General\\Altitude=10\n" << c.lines;
    TDatabaseRegistry settings(file);
    Start(&settings);
    EXPECT_EQ(SeeingClasses.Excellent, c.expected.Excellent);
    EXPECT_EQ(SeeingClasses.Good, c.expected.Good);
    EXPECT_EQ(SeeingClasses.Fair, c.expected.Fair);
    EXPECT_EQ(SeeingClasses.Zenith, c.expected.Zenith);
    EXPECT_EQ(view_.Count("Setting Seeing"), c.named ? 1 : 0);
    if (c.named) {
      EXPECT_TRUE(view_.Has(c.named));
    }
    core_.reset();
  }
  SeeingClasses = TSeeingClasses{};
}

// The setup dialog's acceptance through the core: the values are stored;
// a store that fails is said once in the log and stays up until a save works.
TEST_F(Core, SettingsNotSavedIsRaisedAndClearedBySetupApplied) {
  TDatabaseRegistry settings((dir_ / "blocked.ini").string());
  std::filesystem::create_directories(dir_ / "blocked.ini" / "x");
  Start(&settings);
  core_->SetupApplied();
  ASSERT_TRUE(view_.Up(TCondition::SettingsNotSaved));
  EXPECT_EQ(view_.conditions[TCondition::SettingsNotSaved].rfind("Settings not saved : ", 0), 0u);
  EXPECT_EQ(view_.Count("Settings not saved : "), 1);
  std::filesystem::remove_all(dir_ / "blocked.ini");
  SetupLocation.AltitudeM = 250;
  core_->SetupApplied();
  EXPECT_FALSE(view_.Up(TCondition::SettingsNotSaved));
  EXPECT_EQ(view_.log.back(),
            "Site : latitude 45.5000\u00B0 N, longitude 3.5000\u00B0 E, altitude 250 m");
  SetupLocation = TSetupLocation{};
}

}  // namespace
}  // namespace quorvel
