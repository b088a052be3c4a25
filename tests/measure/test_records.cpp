#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "measure/Declarations.h"

namespace quorvel {
namespace {

TEST(Overlays, WireBytesDecodeBigEndian) {
  const std::uint8_t rsh[] = {0x45, 0x04, 0xD0, 0x00};
  const std::uint8_t off[] = {0x40, 0x21, 0x47, 0xAE};
  const std::uint8_t snr[] = {0xFF, 0xFE, 0xFA, 0xFB};
  EXPECT_EQ(TSingle32::FromWire(rsh).Value(), 2125.0f);
  EXPECT_EQ(TSingle32::FromWire(off).Value(), 2.52f);
  EXPECT_EQ(TUint32::FromWire(snr).Value(), 4294900475u);
  const TUint32 u = TUint32::FromWire(snr);
  EXPECT_EQ(u.as4, 0xFF);
  EXPECT_EQ(u.as1, 0xFB);
}

TEST(Overlays, ErasedBytesAreNaNAndAllOnes) {
  const std::uint8_t ff[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_TRUE(std::isnan(TSingle32::FromWire(ff).Value()));
  EXPECT_EQ(TUint32::FromWire(ff).Value(), 4294967295u);
}

TEST(Overlays, EncodeDecodeKeepsTheBitPatternNaNPayloadsIncluded) {
  for (std::uint32_t bits : {0x00000000u, 0x80000000u, 0x7FC00000u, 0x7FA00001u, 0xFFFFFFFFu,
                             0x7F800000u, 0x00000001u, 0x4504D000u, 0x402147AEu}) {
    float f;
    std::memcpy(&f, &bits, 4);
    TSingle32 s;
    s.SetValue(f);
    std::uint8_t wire[4];
    s.ToWire(wire);
    EXPECT_EQ(TSingle32::FromWire(wire).Bits(), bits) << std::hex << bits;
    EXPECT_EQ(wire[0], bits >> 24);
    TUint32 u;
    u.SetValue(bits);
    u.ToWire(wire);
    EXPECT_EQ(TUint32::FromWire(wire).Value(), bits);
  }
}

TEST(Records, DefaultsAndWidths) {
  TGeneralParams p;
  EXPECT_TRUE(p.DoLogFile);
  EXPECT_EQ(p.MaxPointsDisplayed, 1200);
  EXPECT_EQ(p.MinValue_mV, 150);
  EXPECT_FLOAT_EQ(p.WaveLength_m, 5.4999998e-7f);
  static_assert(sizeof(p.MaxPointsDisplayed) == 2 && sizeof(p.WaveLength_m) == 4);
  static_assert(sizeof(TDataOutMes::MeanADU_NF) == 4 && sizeof(TDataSystem::OffsetV) == 4);
  TSetupLocation s;
  EXPECT_DOUBLE_EQ(s.Latitude, 45.5 * 3.141592653589793 / 180);
  EXPECT_DOUBLE_EQ(s.Longitude, -3.5 * 3.141592653589793 / 180);
}

TEST(FormatCurr, PrefixTable) {
  struct Case {
    double amps;
    const char* expected;
  } cases[] = {
      {2.5, "2.5 A"},  {1.0, "1000.0 mA"},          {5e-4, "500.0 \u00B5A"},  {2e-9, "2.0 nA"},
      {0.0, "0.0 pA"}, {-3e-3, "-3000000000.0 pA"}, {std::nan(""), "NAN pA"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatCurr(c.amps), c.expected) << c.amps;
}

}  // namespace
}  // namespace quorvel
