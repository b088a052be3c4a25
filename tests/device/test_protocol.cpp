#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "DeviceTestSupport.h"
#include "common/Errors.h"
#include "device/InstrumentProtocol.h"
#include "device/SimBackend.h"

namespace quorvel {
namespace {

using test::App;
using test::PumpUntil;

TSimInstrumentConfig Erased() {
  TSimInstrumentConfig c;
  c.StartErased = true;
  return c;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

// The simulated instrument, attached and checked out as the main window does.
class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override { App(); }

  void Attach(TSimInstrumentConfig config = {}) {
    instrument = sim->AddInstrument(std::move(config));
    ctl = std::make_unique<THidDeviceController>(sim);
    ctl->OnDeviceChange = [this](QObject*) {
      THidDevice* d = nullptr;
      while (ctl->CheckOut(d)) protocol.FCurrentDevice = d;
    };
    ASSERT_TRUE(PumpUntil([&] { return protocol.FCurrentDevice != nullptr; }));
  }

  TReportBuffer Request(std::uint8_t command) {
    TReportBuffer in;
    TReportBuffer out;
    SingleCommand_Init(in);
    out.fill(0x55);
    protocol.DeviceRequest(command, in, out);
    return out;
  }

  std::shared_ptr<TSimulatedBackend> sim = std::make_shared<TSimulatedBackend>();
  std::unique_ptr<THidDeviceController> ctl;
  test::TLogLines log;
  test::TStatusTexts status;
  TInstrumentProtocol protocol{log, status};
  int instrument = -1;
};

TEST_F(ProtocolTest, MeasurementRequestOnTheWire) {
  Attach();
  const TReportBuffer answer = Request(0x81);
  std::vector<std::uint8_t> expected = Bytes({0x00, 0x81});
  expected.resize(65, 0xAA);
  EXPECT_EQ(sim->LastRequest(instrument), expected);
  EXPECT_EQ(answer[0], 0x00);
  EXPECT_EQ(answer[1], 0x81);
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(ProtocolTest, DefaultCalibrationOnTheWireAndInTheInstrument) {
  Attach(Erased());
  protocol.WriteDefaultROMValues();
  std::vector<std::uint8_t> expected =
      Bytes({0x00, 0x84, 0xFF, 0xFE, 0xFA, 0xFB, 0x45, 0x04, 0xD0, 0x00, 0x43,
             0x9F, 0x80, 0x00, 0x3F, 0x80, 0x00, 0x00, 0x40, 0x21, 0x47, 0xAE});
  expected.resize(65, 0xAA);
  EXPECT_EQ(sim->LastRequest(instrument), expected);
  EXPECT_TRUE(log.lines.empty()) << "a calibration write logs nothing";

  TDataSystem ds;
  protocol.GetVersion_SNR(ds);
  EXPECT_EQ(status.texts.back(), "0:Fw version 1.7 SNR 4294900475");
}

TEST_F(ProtocolTest, VersionAnswerFillsTheCalibration) {
  Attach();
  TDataSystem ds;
  ds.HauteurSoleil = 0.5;
  protocol.GetVersion_SNR(ds);
  EXPECT_EQ(status.texts, std::vector<std::string>({"0:Fw version 1.7 SNR 4294900475"}));
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0],
            "Read ROM value Rshunt 2125 Ohms, Filtered Gain : 319x Unfiltered gain : 1.0x  "
            "OffsetVolts : 2.520 V");
  EXPECT_EQ(log.raw[0].rfind("LT ", 0), 0u);
  EXPECT_EQ(ds.MajorVersion, 1);
  EXPECT_EQ(ds.MinorVersion, 7);
  EXPECT_EQ(ds.RShuntSolar, 2125.0f);
  EXPECT_EQ(ds.Gain_Filtered, 319.0f);
  EXPECT_EQ(ds.Gain_NotFilt, 1.0f);
  EXPECT_EQ(ds.OffsetV, 2.52f);
  EXPECT_EQ(ds.HauteurSoleil, 0.5) << "untouched";
}

TEST_F(ProtocolTest, ErasedCalibrationReadsAsNan) {
  Attach(Erased());
  TDataSystem ds;
  protocol.GetVersion_SNR(ds);
  EXPECT_EQ(status.texts.back(), "0:Fw version 1.7 SNR 4294967295");
  EXPECT_EQ(log.lines.back(),
            "Read ROM value Rshunt NAN Ohms, Filtered Gain : NANx Unfiltered gain : NANx  "
            "OffsetVolts : NAN V");
  EXPECT_TRUE(std::isnan(ds.RShuntSolar));
  EXPECT_TRUE(std::isnan(ds.OffsetV));
}

TEST_F(ProtocolTest, WrongEchoOfTheVersionAnswerIsUsedAllTheSame) {
  Attach();
  sim->SetAnswerMode(TAnswerMode::WrongEcho);
  TDataSystem ds;
  protocol.GetVersion_SNR(ds);
  EXPECT_EQ(ds.MinorVersion, 7);
  EXPECT_EQ(Request(0x81)[1], 0x82);
}

TEST_F(ProtocolTest, ShortAnswerLeavesZeros) {
  Attach();
  sim->SetAnswerMode(TAnswerMode::Short);
  const TReportBuffer answer = Request(0x81);
  EXPECT_EQ(answer[1], 0x81);
  for (std::size_t i = 9; i < answer.size(); ++i) EXPECT_EQ(answer[i], 0) << i;
}

TEST_F(ProtocolTest, LateAnswerIsNotTakenForTheNextOne) {
  Attach();
  TReportBuffer stale{};
  stale[1] = 0x80;
  Request(0x81);  // opens the handle
  // A report left over from an exchange that gave up waiting.
  sim->InjectInput(instrument, std::vector<std::uint8_t>(stale.begin() + 1, stale.end()));
  EXPECT_EQ(Request(0x81)[1], 0x81);
}

TEST(ReadDebug, LineFormat) {
  std::vector<std::uint8_t> data(64, 0);
  data[0] = 0x81;
  data[1] = 0x3F;
  const std::string line = ReadDebugLine(0, data.data(), 64);
  EXPECT_EQ(line.rfind("RD $00 (64 bytes)->$81 $3F $00 ", 0), 0u);
  EXPECT_EQ(line.size(), std::string("RD $00 (64 bytes)->").size() + 64 * 4);
  const std::uint8_t two[] = {0xAB, 0x0C};
  EXPECT_EQ(ReadDebugLine(0x1F, two, 2), "RD $1F (2 bytes)->$AB $0C ");
  EXPECT_EQ(ReadDebugLine(0, nullptr, 0), "RD $00 (0 bytes)->");
}

TEST_F(ProtocolTest, ReadDebugGoesToTheLogOnlyWithHidDebugging) {
  Attach();
  protocol.FCurrentDevice->SetOnData(protocol.ReadDebugCallback());
  ASSERT_TRUE(PumpUntil([&] { return sim->OpenHandles(instrument) == 1; }));
  Request(0x81);
  test::Pump(300);
  EXPECT_TRUE(log.lines.empty());
  protocol.SetDebugHid(true);
  Request(0x81);
  ASSERT_TRUE(PumpUntil([&] { return !log.lines.empty(); }));
  EXPECT_EQ(log.lines[0].rfind("RD $00 (64 bytes)->$81 ", 0), 0u) << log.lines[0];
  EXPECT_NE(log.raw[0].find("[Main] : "), std::string::npos);
}

TEST_F(ProtocolTest, ExchangeFailures) {
  // No device at all.
  try {
    Request(0x81);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "No instrument connected");
  }
  EXPECT_TRUE(log.lines.empty());

  Attach();
  // Silent instrument: bounded wait, then a read error.
  protocol.SetReadTimeoutMs(150);
  sim->SetAnswerMode(TAnswerMode::Silent);
  try {
    Request(0x81);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "HID READ ERROR: Read timed out after 150 ms (6E)");
  }
  EXPECT_EQ(log.lines.back(), "HID READ ERROR: Read timed out after 150 ms (6E)");

  // Unplugged: the write fails.
  TDataSystem ds;
  ds.RShuntSolar = 7;
  sim->Unplug(instrument);
  ASSERT_TRUE(PumpUntil([&] { return !protocol.FCurrentDevice->IsPluggedIn(); }));
  try {
    protocol.GetVersion_SNR(ds);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "HID WRITE ERROR: Device unplugged (13)");
  }
  EXPECT_EQ(log.lines.back(), "HID WRITE ERROR: Device unplugged (13)");
  EXPECT_EQ(ds.RShuntSolar, 7.0f) << "kept on failure";
}

TEST_F(ProtocolTest, UnusableReportLengthCannotBeWritten) {
  sim->AddInstrument();
  ctl = std::make_unique<THidDeviceController>(sim);
  bool changed = false;
  ctl->OnDeviceChange = [&](QObject*) { changed = true; };
  ASSERT_TRUE(PumpUntil([&] { return changed; }));
  protocol.FCurrentDevice = ctl->Device(0);  // never checked out: no capabilities
  try {
    Request(0x81);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "HID cannot write (0)");
  }
  EXPECT_TRUE(log.lines.empty());
}

TEST(CleanErrorText, DropsTrailingBlanksBreaksAndStops) {
  EXPECT_EQ(CleanErrorText("No such device.\r\n"), "No such device");
  EXPECT_EQ(CleanErrorText("Broken pipe . . "), "Broken pipe");
  EXPECT_EQ(CleanErrorText("v1.2 failed"), "v1.2 failed");
  EXPECT_EQ(CleanErrorText(""), "");
}

}  // namespace
}  // namespace quorvel
