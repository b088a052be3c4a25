#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "common/Clock.h"
#include "common/Errors.h"
#include "measure/ComputeCore.h"

namespace quorvel {
namespace {

constexpr double kPi = 3.141592653589793;

TDataSystem DefaultCalibration(double elevation) {
  TDataSystem s;
  s.RShuntSolar = 2125;
  s.Gain_Filtered = 319;
  s.Gain_NotFilt = 1;
  s.OffsetV = 2.52f;
  s.HauteurSoleil = elevation;
  return s;
}

void PutFloat(TReportBuffer& b, int index, float v) {
  TSingle32 s;
  s.SetValue(v);
  s.ToWire(&b[index]);
}

// The reference answer: MeanADU_NF 50000, PowerScintADU 2000.
TReportBuffer ReferenceReport() {
  TReportBuffer b{};
  b[1] = 0x81;
  const std::uint8_t mean[] = {0x47, 0x43, 0x50, 0x00};
  const std::uint8_t scint[] = {0x44, 0xFA, 0x00, 0x00};
  std::copy(mean, mean + 4, &b[2]);
  std::copy(scint, scint + 4, &b[14]);
  return b;
}

class Decode : public ::testing::Test {
 protected:
  VirtualClock clock{1710936000000LL};
  ScopedClock use{clock};
};

TEST_F(Decode, ReferenceReport) {
  TDataOutMes m;
  ConvertDataToPhysValues(DefaultCalibration(kPi / 2), ReferenceReport(), m);
  EXPECT_EQ(m.MeanADU_NF, 50000.0f);
  EXPECT_EQ(m.PowerScintADU, 2000.0f);
  EXPECT_NEAR(m.MeanVolts_NF, 3.1250477, 5e-8);
  EXPECT_NEAR(m.PowerScintVolts, 0.1250019, 5e-8);
  EXPECT_NEAR(m.Signal_UtileV, 0.6050477, 5e-8);
  EXPECT_NEAR(m.CurrentSolarA, 2.847283e-4, 5e-11);
  EXPECT_NEAR(m.seeingArcSec, 1.2305236, 5e-8);
  EXPECT_TRUE(m.ValidSeeing);
  EXPECT_NEAR(m.R0, 92.19298, 5e-6);
  EXPECT_NEAR(R0Constant(), 113.4456, 5e-5);
  // At the zenith nothing changes.
  EXPECT_DOUBLE_EQ(m.seeingArcSecZen, m.seeingArcSec);
  EXPECT_DOUBLE_EQ(m.R0Zen, m.R0);
  EXPECT_DOUBLE_EQ(m.UTCDate, 45371.5);
}

// A clock that moves on by a millisecond at every reading.
class SteppingClock final : public IClock {
 public:
  explicit SteppingClock(std::int64_t start) : ms_(start) {}
  std::int64_t UtcMs() const override { return ms_.fetch_add(1); }

 private:
  mutable std::atomic<std::int64_t> ms_;
};

TEST(DecodeStamps, LocalAndUtcTimeAreOneReading) {
  const char* tz = std::getenv("TZ");
  const std::string savedTz = tz ? tz : "";
  ::setenv("TZ", "CET-1", 1);  // one hour east of UTC, all year
  ::tzset();
  SteppingClock clock(1710936000999LL);  // 2024-03-20 12:00:00.999 UTC
  ScopedClock use(clock);
  TDataOutMes m;
  ConvertDataToPhysValues(DefaultCalibration(1.0), ReferenceReport(), m);
  if (tz)
    ::setenv("TZ", savedTz.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
  EXPECT_DOUBLE_EQ(m.UTCDate, 45371.5 + 999 / 86400000.0);
  EXPECT_DOUBLE_EQ(m.CurrentDate, m.UTCDate + 1.0 / 24);
}

TEST_F(Decode, ZenithCorrectionAtThirtyDegrees) {
  TDataOutMes m;
  ConvertDataToPhysValues(DefaultCalibration(kPi / 6), ReferenceReport(), m);
  EXPECT_NEAR(m.seeingArcSecZen, 0.8118428, 5e-7);
  EXPECT_NEAR(m.R0Zen, 139.7384, 5e-4);
}

TEST_F(Decode, BelowTheHorizonTheCorrectedValuesAreNaN) {
  TDataOutMes m;
  ConvertDataToPhysValues(DefaultCalibration(-0.1), ReferenceReport(), m);
  EXPECT_TRUE(std::isnan(m.seeingArcSecZen));
  EXPECT_TRUE(std::isnan(m.R0Zen));
  double out = 1;
  EXPECT_TRUE(Compute_CorrectionZenith_Seeing(1.0, -0.1, out));
  EXPECT_TRUE(std::isnan(out));
  EXPECT_TRUE(Compute_CorrectionZenith_R0(1.0, -0.1, out));
  EXPECT_TRUE(std::isnan(out));
}

TEST_F(Decode, InvalidSeeingKeepsTheLastR0Zen) {
  TDataOutMes m;
  ConvertDataToPhysValues(DefaultCalibration(kPi / 6), ReferenceReport(), m);
  const double r0zen = m.R0Zen;
  TReportBuffer quiet = ReferenceReport();
  PutFloat(quiet, 14, 0.0f);  // no scintillation: seeing 0, not valid
  ConvertDataToPhysValues(DefaultCalibration(kPi / 6), quiet, m);
  EXPECT_FALSE(m.ValidSeeing);
  EXPECT_EQ(m.R0, 0);
  EXPECT_EQ(m.R0Zen, r0zen);
  EXPECT_EQ(m.seeingArcSecZen, 0);  // always recomputed
}

TEST(SeeingWindow, BoundsAreExclusive) {
  EXPECT_FALSE(IsSeeingValid(0.1));
  EXPECT_FALSE(IsSeeingValid(10.0));
  EXPECT_TRUE(IsSeeingValid(0.1000001));
  EXPECT_TRUE(IsSeeingValid(9.999999));
  EXPECT_FALSE(IsSeeingValid(std::nan("")));
  EXPECT_FALSE(IsSeeingValid(std::numeric_limits<double>::infinity()));
}

TEST_F(Decode, FieldsAndIgnoredBytes) {
  TReportBuffer b = ReferenceReport();
  for (int i = 18; i <= 21; ++i) b[i] = 0xFF;
  PutFloat(b, 26, 31.5f);
  TDataOutMes a;
  ConvertDataToPhysValues(DefaultCalibration(1.0), b, a);
  EXPECT_EQ(a.NbSamples, 4294967295u);
  EXPECT_EQ(a.TempInsideBox, 31.5f);
  // Bytes 22-25 and 30-64 change nothing.
  for (int i : {22, 23, 24, 25}) b[i] = 0x5A;
  for (int i = 30; i <= 64; ++i) b[i] = static_cast<std::uint8_t>(i * 7);
  TDataOutMes c;
  ConvertDataToPhysValues(DefaultCalibration(1.0), b, c);
  EXPECT_EQ(std::memcmp(&a.MeanADU_NF, &c.MeanADU_NF, sizeof(float) * 4), 0);
  EXPECT_EQ(a.seeingArcSec, c.seeingArcSec);
  EXPECT_EQ(a.R0Zen, c.R0Zen);
  EXPECT_EQ(a.TempInsideBox, c.TempInsideBox);
}

TEST_F(Decode, BadCalibrationGivesNonFiniteValuesNeverAnError) {
  struct Case {
    float rsh, gf, gnf;
    bool signalFinite, seeingValid;
  } cases[] = {
      {2125, 319, 0, false, false},  // Gain_NotFilt 0: infinite signal, seeing 0
      {2125, 0, 1, true, false},     // Gain_Filtered 0: infinite seeing
      {0, 319, 1, true, true},       // RShuntSolar 0: infinite current only
  };
  for (const auto& c : cases) {
    TDataSystem s = DefaultCalibration(1.0);
    s.RShuntSolar = c.rsh;
    s.Gain_Filtered = c.gf;
    s.Gain_NotFilt = c.gnf;
    TDataOutMes m;
    m.R0 = 5;
    EXPECT_NO_THROW(ConvertDataToPhysValues(s, ReferenceReport(), m));
    EXPECT_EQ(std::isfinite(m.Signal_UtileV), c.signalFinite);
    EXPECT_EQ(m.ValidSeeing, c.seeingValid);
    EXPECT_EQ(m.R0 == 0, !c.seeingValid);
    if (c.rsh == 0) {
      EXPECT_TRUE(std::isinf(m.CurrentSolarA));
    }
  }
  // Erased calibration: NaN useful signal, which the cycle tests for.
  TDataSystem erased = DefaultCalibration(1.0);
  erased.Gain_NotFilt = erased.OffsetV = erased.RShuntSolar = erased.Gain_Filtered =
      std::numeric_limits<float>::quiet_NaN();
  TDataOutMes m;
  ConvertDataToPhysValues(erased, ReferenceReport(), m);
  EXPECT_TRUE(std::isnan(m.Signal_UtileV));
  EXPECT_FALSE(m.ValidSeeing);
}

TEST(DecodeFrom, ReadsFourBytesAfterTheOffsetAndChecksTheRange) {
  TReportBuffer b{};
  b[61] = 0x01;
  b[64] = 0x02;
  EXPECT_EQ(decodeFromW(b, 60), 0x01000002u);
  EXPECT_THROW(decodeFromW(b, 61), ERangeCheckError);
  EXPECT_THROW(decodeFrom(b, 255), ERangeCheckError);
}

TEST(ToR0, NoGuardAtZero) {
  EXPECT_TRUE(std::isinf(ToR0(0)));
  EXPECT_NEAR(ToR0(1.2305236), 92.19298, 5e-5);
}

}  // namespace
}  // namespace quorvel
