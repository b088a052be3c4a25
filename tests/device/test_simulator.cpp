#include <gtest/gtest.h>

#include <QThread>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "DeviceTestSupport.h"
#include "common/Clock.h"
#include "common/Errors.h"
#include "device/InstrumentProtocol.h"
#include "device/SimBackend.h"
#include "ephemeris/SunPosition.h"
#include "measure/ComputeCore.h"

namespace quorvel {
namespace {

constexpr double kDeg = 3.141592653589793 / 180.0;

std::int64_t UtcMs(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return UnixMsFromDateTime(EncodeDateTime(y, mo, d, h, mi, s, 0));
}

TEST(SimpleSunElevation, NoonAndMidnightAtTheSolstice) {
  const double lat = 45 * kDeg;
  // Solar noon at Greenwich is near 12:02 UTC on 21 June.
  const double noon = SimpleSunElevation(lat, 0, EncodeDateTime(2024, 6, 21, 12, 2, 0, 0));
  EXPECT_NEAR(noon / kDeg, 90 - 45 + 23.44, 0.3);
  const double midnight = SimpleSunElevation(lat, 0, EncodeDateTime(2024, 6, 21, 0, 2, 0, 0));
  EXPECT_NEAR(midnight / kDeg, -(90 - 45 - 23.44), 0.3);
  // West longitude: the same Sun six hours later.
  const double west = SimpleSunElevation(lat, 90 * kDeg, EncodeDateTime(2024, 6, 21, 18, 2, 0, 0));
  EXPECT_NEAR(west, noon, 0.3 * kDeg);
}

// A simulated day at 45 N through the whole chain: the Sun from the
// program's ephemeris (as the program wires the simulator), the instrument's
// answers, the protocol and the program's own decoding.
TEST(SimulatedDay, ProgramSeesTheSimulatedSeeingAndNoLightAtNight) {
  test::App();
  VirtualClock clock(UtcMs(2024, 6, 21));
  ScopedClock useClock(clock);
  auto elevation = [](TDateTime t) {
    double az = 0, el = 0;
    ephem::calcul_SUN_AZ_Elevation(t, 0.0, 45 * kDeg, 0.0, az, el);
    return el;
  };
  TSimInstrumentConfig config;
  config.Physics.SunElevation = elevation;
  config.Physics.CloudsPerHour = 0;
  config.Physics.Seed = 42;

  auto sim = std::make_shared<TSimulatedBackend>();
  sim->AddInstrument(config);
  THidDeviceController ctl(sim);
  test::TLogLines log;
  test::TStatusTexts status;
  TInstrumentProtocol protocol(log, status);
  ctl.OnDeviceChange = [&](QObject*) {
    THidDevice* d = nullptr;
    while (ctl.CheckOut(d)) protocol.FCurrentDevice = d;
  };
  ASSERT_TRUE(test::PumpUntil([&] { return protocol.FCurrentDevice != nullptr; }));
  TDataSystem ds;
  protocol.GetVersion_SNR(ds);

  struct Bin {
    double lnDecoded = 0, lnNominal = 0;
    int n = 0;
  };
  std::map<int, Bin> bins;  // by tenth of the daylight
  int day = 0, night = 0;
  double warmest = -100, coldest = 100, warmestHour = 0;
  TDataOutMes mes;
  for (int second = 0; second < 86400; second += 60) {
    clock.Set(UtcMs(2024, 6, 21) + second * 1000LL);
    TReportBuffer in, out{};
    SingleCommand_Init(in);
    protocol.DeviceRequest(kCmdReadMeasure, in, out);
    ASSERT_EQ(out[1], 0x81);
    ds.HauteurSoleil = elevation(NowUTC());
    ConvertDataToPhysValues(ds, out, mes);
    const TSimTruth truth = sim->LastTruth();
    ASSERT_EQ(mes.NbSamples, 2000u);
    if (truth.TempBoxC > warmest) {
      warmest = truth.TempBoxC;
      warmestHour = second / 3600.0;
    }
    coldest = std::min(coldest, truth.TempBoxC);
    EXPECT_NEAR(mes.TempInsideBox, truth.TempBoxC, 1e-4);
    if (!truth.SunUp) {
      ++night;
      EXPECT_NEAR(mes.Signal_UtileV, 0.0, 1e-4) << second;
      EXPECT_FALSE(mes.ValidSeeing && mes.Signal_UtileV > 0.15) << second;
      continue;
    }
    ++day;
    EXPECT_NEAR(mes.Signal_UtileV, truth.SignalV, 1e-5) << second;
    EXPECT_NEAR(mes.seeingArcSec / truth.ApparentSeeing, 1.0, 1e-4) << second;
    EXPECT_NEAR(mes.seeingArcSecZen / truth.SeeingZenith, 1.0, 1e-4) << second;
    Bin& b = bins[std::min(9, static_cast<int>(truth.DayFraction * 10))];
    b.lnDecoded += std::log(mes.seeingArcSecZen);
    b.lnNominal += std::log(truth.NominalZenithSeeing);
    ++b.n;
  }
  // About 15.4 h of daylight at 45 N at the solstice, a few minutes more
  // with refraction.
  EXPECT_NEAR(day / 60.0, 15.55, 0.2);
  EXPECT_GT(night, 0);

  // The daily course, as geometric means over tenths of the daylight; over
  // fifths the random variation averages out to within a few percent.
  ASSERT_EQ(bins.size(), 10u);
  std::vector<double> course;
  for (const auto& [tenth, b] : bins) course.push_back(std::exp(b.lnDecoded / b.n));
  for (int fifth = 0; fifth < 5; ++fifth) {
    const Bin& a = bins[2 * fifth];
    const Bin& b = bins[2 * fifth + 1];
    const double decoded = std::exp((a.lnDecoded + b.lnDecoded) / (a.n + b.n));
    const double nominal = std::exp((a.lnNominal + b.lnNominal) / (a.n + b.n));
    EXPECT_NEAR(decoded / nominal, 1.0, 0.05) << "fifth " << fifth;
  }
  EXPECT_LT(course[1], course[5]) << "worse at midday than after sunrise";
  EXPECT_GT(course[5], course[9]) << "recovers in the afternoon";
  EXPECT_GT(course[9], course[1]) << "only partly";
  EXPECT_LT(course[1], 1.6);
  EXPECT_GT(course[5], 2.5);

  // Box temperature: warmest in the afternoon (noon is 12:02 UTC here).
  EXPECT_GT(warmest - coldest, 10.0);
  EXPECT_GT(warmestHour, 12.5);
  EXPECT_LT(warmestHour, 17.0);
}

TEST(SimPhysics, CloudsDimAndDisturbTheLight) {
  TSimPhysicsConfig config;
  config.SunElevation = [](TDateTime t) { return SimpleSunElevation(45 * kDeg, 0, t); };
  config.CloudsPerHour = 3;
  TSimPhysics physics(config);
  const TDateTime start = EncodeDateTime(2024, 6, 21, 8, 0, 0, 0);
  int cloudy = 0;
  for (int s = 0; s < 8 * 3600; s += 5) {
    const TSimTruth t = physics.Evaluate(start + s / 86400.0);
    ASSERT_TRUE(t.SunUp);
    if (t.CloudTransmission > 0.8) continue;
    ++cloudy;
    EXPECT_LT(t.SignalV, 0.85 * t.ClearSkySignalV);
    EXPECT_GT(t.ApparentSeeing, t.SeeingLineOfSight);
  }
  EXPECT_GT(cloudy, 100);
  // And a clear sky has none.
  config.CloudsPerHour = 0;
  TSimPhysics clear(config);
  for (int s = 0; s < 3600; s += 10) EXPECT_EQ(clear.CloudTransmission(start + s / 86400.0), 1.0);
}

TEST(SimPhysics, SameSeedSameSkyInAnyOrder) {
  TSimPhysicsConfig config;
  config.Seed = 7;
  TSimPhysics a(config), b(config);
  config.Seed = 8;
  TSimPhysics other(config);
  const TDateTime day = EncodeDateTime(2024, 3, 20, 0, 0, 0, 0);
  const double hours[] = {13.5, 9.25, 22.0, 13.5, 11.0};
  bool differs = false;
  for (double h : hours) {
    const TSimTruth x = a.Evaluate(day + h / 24);
    const TSimTruth y = b.Evaluate(day + (24 - h) / 24);  // b visits other days first
    (void)y;
    const TSimTruth z = b.Evaluate(day + h / 24);
    EXPECT_EQ(x.PowerScintADU, z.PowerScintADU) << h;
    EXPECT_EQ(x.MeanADU_NF, z.MeanADU_NF) << h;
    EXPECT_EQ(x.TempInsideBox, z.TempInsideBox) << h;
    differs = differs || other.Evaluate(day + h / 24).PowerScintADU != x.PowerScintADU;
  }
  EXPECT_TRUE(differs);
}

// ------------------------------------------------------------ firmware

std::vector<std::uint8_t> Req(std::uint8_t command) {
  std::vector<std::uint8_t> r(65, 0xAA);
  r[0] = 0;
  r[1] = command;
  return r;
}

TEST(SimFirmware, KeepsTheCalibrationItIsSent) {
  TSimFirmware fw{TSimInstrumentConfig{}};
  auto version = fw.Answer(Req(0x80).data(), 65);
  ASSERT_TRUE(version);
  ASSERT_EQ(version->size(), 65u);
  EXPECT_EQ((*version)[1], 0x80);
  EXPECT_EQ((*version)[2], 1);
  EXPECT_EQ((*version)[3], 7);
  const TSimNvm defaults = NvmFromValues(4294900475u, 2125, 319, 1, 2.52f);
  EXPECT_TRUE(std::equal(defaults.begin(), defaults.end(), version->begin() + 6));

  std::vector<std::uint8_t> write = Req(0x84);
  const TSimNvm mine = NvmFromValues(12345, 1000, 300, 2, 2.5f);
  std::copy(mine.begin(), mine.end(), write.begin() + 2);
  auto ack = fw.Answer(write.data(), 65);
  ASSERT_TRUE(ack);
  EXPECT_EQ((*ack)[1], 0x84);
  version = fw.Answer(Req(0x80).data(), 65);
  EXPECT_TRUE(std::equal(mine.begin(), mine.end(), version->begin() + 6));

  fw.EraseCalibration();
  version = fw.Answer(Req(0x80).data(), 65);
  EXPECT_TRUE(std::all_of(version->begin() + 6, version->begin() + 26,
                          [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(SimFirmware, AnswerModes) {
  TSimFirmware fw{TSimInstrumentConfig{}};
  auto unknown = fw.Answer(Req(0x99).data(), 65);
  ASSERT_TRUE(unknown);
  EXPECT_EQ((*unknown)[1], 0x99);

  fw.SetAnswerMode(TAnswerMode::Silent);
  EXPECT_FALSE(fw.Answer(Req(0x81).data(), 65));
  fw.SetAnswerMode(TAnswerMode::WrongEcho);
  EXPECT_EQ((*fw.Answer(Req(0x81).data(), 65))[1], 0x82);
  fw.SetAnswerMode(TAnswerMode::Short);
  EXPECT_EQ(fw.Answer(Req(0x81).data(), 65)->size(), 9u);
  fw.SetAnswerMode(TAnswerMode::Garbage);
  const auto g1 = *fw.Answer(Req(0x81).data(), 65);
  const auto g2 = *fw.Answer(Req(0x81).data(), 65);
  EXPECT_EQ(g1[1], 0x81);
  EXPECT_NE(g1, g2);
  fw.SetAnswerMode(TAnswerMode::Normal);
  EXPECT_EQ(fw.Answer(Req(0x81).data(), 65)->size(), 65u);
}

// ------------------------------------------------------------ fault schedule

TEST(FaultSchedule, ParsesItemsInTimeOrder) {
  const auto events = ParseFaultSchedule(
      "600:unplug,660:plug, 900:silence ,960:talk,1000:wrong-echo,1010:normal,1200:garbage,"
      "1300:erase,1400:mouse-plug,1500:mouse-unplug,1600:short,5.5:unplug");
  ASSERT_EQ(events.size(), 12u);
  EXPECT_EQ(events[0].AtSeconds, 5.5);
  EXPECT_EQ(events[0].Action, TFaultAction::Unplug);
  EXPECT_EQ(events[1].AtSeconds, 600);
  EXPECT_EQ(FaultActionName(events[3].Action), "silence");
  EXPECT_EQ(FaultActionName(events[9].Action), "mouse-plug");
  EXPECT_TRUE(ParseFaultSchedule("").empty());
  EXPECT_TRUE(ParseFaultSchedule("  ").empty());
}

TEST(FaultSchedule, RejectsMalformedItems) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"600unplug", "Fault schedule item 1 (\"600unplug\"): expected SECONDS:ACTION"},
      {"600:unplug,,700:plug", "Fault schedule item 2 (\"\"): expected SECONDS:ACTION"},
      {"10:plug,x:unplug",
       "Fault schedule item 2 (\"x:unplug\"): \"x\" is not a number of "
       "seconds (0 or more)"},
      {"-5:plug",
       "Fault schedule item 1 (\"-5:plug\"): \"-5\" is not a number of seconds (0 or "
       "more)"},
      {"INF:plug",
       "Fault schedule item 1 (\"INF:plug\"): \"INF\" is not a number of seconds (0 "
       "or more)"},
      {"5:explode", "Fault schedule item 1 (\"5:explode\"): unknown action \"explode\""},
      {"5:Unplug", "Fault schedule item 1 (\"5:Unplug\"): unknown action \"Unplug\""},
      {"5:unplug,", "Fault schedule item 2 (\"\"): expected SECONDS:ACTION"},
  };
  for (const Case& c : cases) {
    try {
      ParseFaultSchedule(c.text);
      ADD_FAILURE() << c.text;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

TEST(FaultSchedule, ActionsHappenAtTheirVirtualTime) {
  VirtualClock clock(UtcMs(2024, 6, 21, 10));
  ScopedClock useClock(clock);
  TSimulatedBackend sim;
  const int instrument = sim.AddInstrument();
  sim.SetSchedule(ParseFaultSchedule("10:unplug,20:plug,30:erase,40:mouse-plug"));
  EXPECT_EQ(sim.ApplyDueEvents(), 0);
  clock.Advance(10'000);
  EXPECT_EQ(sim.ApplyDueEvents(), 1);
  EXPECT_FALSE(sim.IsPlugged(instrument));
  clock.Advance(25'000);
  EXPECT_EQ(sim.ApplyDueEvents(), 2);
  EXPECT_TRUE(sim.IsPlugged(instrument));
  EXPECT_EQ(sim.Nvm()[0], 0xFF);
  EXPECT_EQ(sim.MouseIndex(), -1);
  // The scheduler thread applies the rest by itself.
  clock.Advance(10'000);
  for (int i = 0; i < 200 && sim.MouseIndex() < 0; ++i) QThread::msleep(10);
  ASSERT_GE(sim.MouseIndex(), 0);
  EXPECT_TRUE(sim.IsPlugged(sim.MouseIndex()));
  EXPECT_EQ(sim.PendingEvents(), 0);
}

}  // namespace
}  // namespace quorvel
