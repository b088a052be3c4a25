#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "common/Errors.h"
#include "common/Format.h"

namespace quorvel {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(FormatFixed, RoundsAndSpellsNonFinite) {
  struct Case {
    double v;
    int decimals;
    const char* expected;
  } cases[] = {
      {2.5, 1, "2.5"},
      {1000.0, 1, "1000.0"},
      {0.6050477 * 1000, 1, "605.0"},
      {2.52f, 3, "2.520"},
      {2125.37f, 1, "2125.4"},
      {319.0, 0, "319"},
      {-3000000000.0, 1, "-3000000000.0"},
      {0.0, 1, "0.0"},
      {-0.04, 1, "0.0"},
      {kNaN, 1, "NAN"},
      {kInf, 2, "INF"},
      {-kInf, 3, "-INF"},
      {2451545.123456789, 7, "2451545.1234568"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.v, c.decimals), c.expected) << c.v;
}

TEST(FormatGeneral, FifteenSignificantDigitsWithoutTrailingZeros) {
  struct Case {
    double v;
    const char* expected;
  } cases[] = {
      {45.5 * 3.141592653589793 / 180.0, "0.79412480965742"},
      {-3.5 * 0.017453292519943295769, "-0.0610865238198015"},
      {89.99999999, "89.99999999"},
      {9000, "9000"},
      {-300, "-300"},
      {0, "0"},
      {359.9999, "359.9999"},
      {45.5, "45.5"},
      {1e3, "1000"},
      {0.00001, "0.00001"},
      {1.5e-7, "1.5E-7"},
      {1e20, "1E20"},
      {123456789012345.0, "123456789012345"},
      {kNaN, "NAN"},
      {kInf, "INF"},
      {-kInf, "-INF"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatGeneral(c.v), c.expected) << c.v;
}

TEST(Format, ConversionsOfTheProgram) {
  EXPECT_EQ(Format("Fw version %d.%d SNR %d", {1, 7, 4294900475u}),
            "Fw version 1.7 SNR 4294900475");
  EXPECT_EQ(Format("RD $%.2x (%d bytes)->", {0, 64}), "RD $00 (64 bytes)->");
  EXPECT_EQ(Format("$%.2x ", {0x3f}), "$3F ");
  EXPECT_EQ(Format("Device VID=%.4x PID=%.4x", {0x4d8, 0x3f}), "Device VID=04D8 PID=003F");
  EXPECT_EQ(Format("HID READ ERROR: %s (%x)", {"gone", 0x1f}), "HID READ ERROR: gone (1F)");
  EXPECT_EQ(Format("%1.1f arcsec |  %1.1f R0 mm", {1.2305236, 92.19298}),
            "1.2 arcsec |  92.2 R0 mm");
  EXPECT_EQ(Format("%d  %d", {-1, 1199}), "-1  1199");
  EXPECT_EQ(Format("100%% %s", {std::string("done")}), "100% done");
  EXPECT_EQ(Format("%5d|%-4s|", {42, "ab"}), "   42|ab  |");
  EXPECT_EQ(Format("%g", {0.79412480965742}), "0.79412480965742");
}

TEST(Format, MismatchedArgumentsRaise) {
  EXPECT_THROW(Format("%d", {1.5}), Exception);
  EXPECT_THROW(Format("%f", {3}), Exception);
  EXPECT_THROW(Format("%d %d", {3}), Exception);
  EXPECT_THROW(Format("%q", {3}), Exception);
}

TEST(Format, IgnoresTheLocaleDecimalComma) {
  // A process locale with a decimal comma must not leak into our numbers.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
    GTEST_SKIP() << "no decimal-comma locale installed";
  EXPECT_EQ(FormatFixed(1.25, 2), "1.25");
  EXPECT_EQ(FormatGeneral(45.5), "45.5");
  EXPECT_EQ(ParseFloat("45.5").value(), 45.5);
  EXPECT_EQ(ParseFloat("1.5e400").value(), HUGE_VAL);
  EXPECT_EQ(ParseFloat("-1.5e400").value(), -HUGE_VAL);
  EXPECT_EQ(ParseFloat("1.5e-400").value(), 0.0);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(ParseFloat, StrictDecimalGrammar) {
  EXPECT_EQ(ParseFloat("45.5000").value(), 45.5);
  EXPECT_EQ(ParseFloat("1e3").value(), 1000.0);
  EXPECT_EQ(ParseFloat("-5").value(), -5.0);
  EXPECT_EQ(ParseFloat("+.5").value(), 0.5);
  EXPECT_TRUE(std::isnan(ParseFloat("nan").value()));
  EXPECT_EQ(ParseFloat("+Inf").value(), kInf);
  EXPECT_EQ(ParseFloat("-INF").value(), -kInf);
  EXPECT_EQ(ParseFloat("1e999").value(), kInf);
  for (const char* bad : {"", "1,5", "abc", "2 + 3", " 1", "1 ", "1e", ".", "-", "1.2.3", "0x10"})
    EXPECT_FALSE(ParseFloat(bad).has_value()) << bad;
}

TEST(ParseInt64, WholeNumbersOnly) {
  EXPECT_EQ(ParseInt64("-1").value(), -1);
  EXPECT_EQ(ParseInt64("4294967296").value(), 4294967296LL);
  EXPECT_EQ(ParseInt64("+7").value(), 7);
  for (const char* bad : {"", "12abc", "1.0", " 3", "+", "+-5", "--5", "99999999999999999999"})
    EXPECT_FALSE(ParseInt64(bad).has_value()) << bad;
}

TEST(RoundToInt32Checked, TiesToEvenAndRangeCheck) {
  EXPECT_EQ(RoundToInt32Checked(38.39), 38);
  EXPECT_EQ(RoundToInt32Checked(2.5), 2);
  EXPECT_EQ(RoundToInt32Checked(3.5), 4);
  EXPECT_EQ(RoundToInt32Checked(-2.5), -2);
  EXPECT_EQ(RoundToInt32Checked(2147483647.4), 2147483647);
  for (double bad : {kNaN, kInf, -kInf, 2147483647.5, -2147483649.0}) {
    try {
      RoundToInt32Checked(bad);
      ADD_FAILURE() << bad;
    } catch (const ERangeCheckError& e) {
      EXPECT_STREQ(e.what(), "Range check error");
    }
  }
}

}  // namespace
}  // namespace quorvel
