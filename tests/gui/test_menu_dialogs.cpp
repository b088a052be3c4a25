// The main window's two dialogs end to end: the setup dialog's values applied,
// stored and the buffers resized; the calibration dialog talking to the
// simulated instrument while acquisition goes on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "common/Clock.h"
#include "common/Format.h"
#include "device/SimBackend.h"
#include "device/ui/SetupFirmware.h"
#include "ephemeris/SunPosition.h"
#include "gui/MainForm.h"
#include "records/ProgramSettings.h"
#include "records/SettingsStore.h"
#include "setup/NumberEdit.h"
#include "setup/SetupDlg.h"
#include "setup/SpinEdit.h"
#include "tests/app/AppTestSupport.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/setup/QtTestSupport.h"

namespace quorvel {
namespace {

using testing::CaptureSink;

constexpr std::int64_t kMorning = 1782036000000LL;  // 2026-06-21 10:00:00 UTC

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs `operate` on the modal dialog of type T as soon as it is shown.
using test::WhenShown;

class MenuDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::FreshTestDir("quorvel_menus_");
    GeneralParams = TGeneralParams{};
    GeneralParams.PathMainRootSav = dir_.string() + "/";
    SetupLocation = TSetupLocation{};
    settings_ = std::make_unique<TDatabaseRegistry>((dir_ / "settings.ini").string());
  }
  void TearDown() override {
    form_.reset();
    GeneralParams = TGeneralParams{};
    SetupLocation = TSetupLocation{};
    std::filesystem::remove_all(dir_);
  }

  // The window with the simulated instrument; acquisition is paced by Tick().
  void Start() {
    instrument_ = sim_->AddInstrument(test::ClearSky());
    form_ = std::make_unique<TMainForm>(sim_, settings_.get());
    Core().TimerMain().SetDrivenExternally(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Core().TimerMain().Enabled(); }, 3000));
    QTest::qWait(20);
  }
  TMainCore& Core() { return form_->Core(); }
  void Tick() {
    clock_.Advance(1000);
    Core().TimerMain().Fire();
  }
  std::string Log() const { return form_->MemoBox()->toPlainText().toStdString(); }
  std::string StatusPanel0() const {
    return form_->findChild<QLabel*>("StatusPanel0")->text().toStdString();
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

TEST_F(MenuDialogs, SetupOkAppliesStoresTheFiveValuesAndResizesBothBuffers) {
  Start();
  Tick();
  WhenShown<TFormSetup>([](TFormSetup& d) {
    EXPECT_EQ(d.NumberEditLatitude->text(), QStringLiteral("45.5000"));
    d.SpinEditSecRetention->setValue(3600);
    d.SpinEditMinV->setValue(200);
    d.ButtonOK->click();
  });
  form_->Menu_SetupClick();
  EXPECT_EQ(GeneralParams.MaxPointsDisplayed, 3600);
  EXPECT_EQ(GeneralParams.MinValue_mV, 200);
  EXPECT_EQ(Core().FBufrollseeing.Length(), 3600);
  EXPECT_EQ(Core().FBufrollLevel.Length(), 3600);
  const std::string stored = ReadAll(dir_ / "settings.ini");
  for (const char* line : {"DRAVO_Solar\\General\\RetentionMaxPoints=3600\n",
                           "DRAVO_Solar\\General\\MinSignal_mV_Meas=200\n",
                           "DRAVO_Solar\\General\\latitude=0.79412480965742\n",
                           "DRAVO_Solar\\General\\longitude=-0.0610865238198015\n",
                           "DRAVO_Solar\\General\\Altitude=0\n"})
    EXPECT_NE(stored.find(line), std::string::npos) << line << stored;

  // Stored with their kinds: the two counts read back as 16-bit unsigned,
  // the site as 64-bit floats.
  std::uint16_t retention = 0;
  double latitude = 0;
  EXPECT_TRUE(
      settings_->ReadValueRegisterDFset(kSettingsSection, retention, kIdRetentionMaxPoints, 18));
  EXPECT_TRUE(settings_->ReadValueRegisterDFset(kSettingsSection, latitude, kIdLatitude, 5));
  EXPECT_EQ(retention, 3600);
  EXPECT_DOUBLE_EQ(latitude, SetupLocation.Latitude);

  // The new capacity holds: 3600 points once more than that were measured.
  for (int i = 0; i < 3700; ++i) Tick();
  EXPECT_EQ(form_->SignalChart().pointCount(), 3600);
}

TEST_F(MenuDialogs, SetupCancelTouchesNothing) {
  Start();
  WriteProgramSettings(*settings_);
  const std::string before = ReadAll(dir_ / "settings.ini");
  for (int i = 0; i < 3; ++i) Tick();
  const std::int32_t indexBefore = Core().FIdrol_L;
  WhenShown<TFormSetup>([](TFormSetup& d) {
    d.SpinEditSecRetention->setValue(3600);
    d.NumberEditLatitude->setText(QStringLiteral("12"));
    d.Button1->click();
  });
  form_->Menu_SetupClick();
  EXPECT_EQ(GeneralParams.MaxPointsDisplayed, 1200);
  EXPECT_EQ(SetupLocation.Latitude, TSetupLocation{}.Latitude);
  EXPECT_EQ(Core().FBufrollLevel.Length(), 1200);
  EXPECT_EQ(Core().FIdrol_L, indexBefore);
  EXPECT_EQ(ReadAll(dir_ / "settings.ini"), before);
}

// Acquisition goes on while the calibration dialog is open, and the dialog's
// exchanges never mix with the cycle's: every answer is the one asked for.
TEST_F(MenuDialogs, CalibrationDialogWritesWhileAcquisitionGoesOn) {
  Start();
  Tick();
  ASSERT_EQ(Core().FTimerConter, 1u);
  WhenShown<TFormSetupHW>([this](TFormSetupHW& d) {
    d.PasswordPrompt = [](QWidget*) { return std::optional<std::string>("fornaxlu_tebri"); };
    EXPECT_EQ(d.LabelVersion->text(), QStringLiteral("1.7"));
    for (int i = 0; i < 5; ++i) Tick();
    d.EditSNR->setText(QStringLiteral("123"));
    d.EditRSH->setText(QStringLiteral("2000"));
    d.ButtonUpdateFirm->click();
    for (int i = 0; i < 5; ++i) Tick();
    d.close();
  });
  form_->Firmware1Click();
  EXPECT_EQ(Core().FTimerConter, 11u);
  EXPECT_TRUE(Core().TimerMain().Enabled());
  EXPECT_EQ(sim_->Nvm(), NvmFromValues(123, 2000.0f, 319.0f, 1.0f, 2.52f));
  // Read again when the dialog closed.
  EXPECT_EQ(Core().FDataSystem.RShuntSolar, 2000.0f);
  EXPECT_EQ(StatusPanel0(), "Fw version 1.7 SNR 123");
  const std::string log = Log();
  EXPECT_NE(log.find("Read ROM value Rshunt 2000 Ohms"), std::string::npos) << log;
  EXPECT_EQ(log.find("Failed to read data"), std::string::npos) << log;
  EXPECT_EQ(log.find("Main timer error"), std::string::npos) << log;
  EXPECT_TRUE(sink_.errors.empty());
  EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(MenuDialogs, CalibrationReadFailureAfterTheDialogIsShownInAMessageBox) {
  Start();
  WhenShown<TFormSetupHW>([this](TFormSetupHW& d) {
    sim_->Unplug(instrument_);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !Core().Protocol().FCurrentDevice->IsPluggedIn(); }, 3000));
    d.close();
  });
  form_->Firmware1Click();
  ASSERT_EQ(sink_.errors.size(), 1u);
  EXPECT_EQ(sink_.errors[0], "HID WRITE ERROR: Device unplugged (13)");
}

// A headless replay ends when the file is exhausted, with status 0, long
// before the --duration it was given.
TEST(HeadlessReplay, EndsWhenTheFileIsExhausted) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("quorvel_replay_run_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  TReportBuffer report{};
  report[1] = 0x81;
  std::string line;
  for (std::uint8_t b : report) line += Format("%.2x", {b});
  std::ofstream(dir / "replay.txt") << "# two reports\n" << line << "\n" << line << "\n";

  QProcess run;
  run.setProgram(QStringLiteral(QUORVEL_EXE));
  run.setArguments({"--headless", "--replay", QString::fromStdString((dir / "replay.txt").string()),
                    "--speed", "1", "--clock-start", "2026-06-21T10:00:00", "--duration", "86400",
                    "--data-dir", QString::fromStdString((dir / "data").string()), "--settings",
                    QString::fromStdString((dir / "s.ini").string())});
  run.start();
  ASSERT_TRUE(run.waitForFinished(60000)) << "still waiting for --duration";
  const std::string out = run.readAllStandardOutput().toStdString();
  EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(run.exitCode(), 0) << out;
  EXPECT_NE(out.find("[Main] : Replay over: the replay file has no more reports"),
            std::string::npos)
      << out;
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quorvel
