#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/Errors.h"
#include "device/ui/CalibrationValues.h"

namespace quorvel {
namespace {

TReportBuffer AnswerWith(const std::vector<std::uint8_t>& bytesFrom2) {
  TReportBuffer b{};
  b[1] = 0x80;
  for (std::size_t i = 0; i < bytesFrom2.size(); ++i) b[2 + i] = bytesFrom2[i];
  return b;
}

TEST(CalibrationValues, DecodesTheVersionAnswerAndShowsIt) {
  const TVersionAnswer a = DecodeVersionAnswer(
      AnswerWith({0x01, 0x07, 0x00, 0x01, 0xFF, 0xFE, 0xFA, 0xFB, 0x45, 0x04, 0xD0, 0x00,
                  0x43, 0x9F, 0x80, 0x00, 0x3F, 0x80, 0x00, 0x00, 0x40, 0x21, 0x47, 0xAE}));
  EXPECT_EQ(VersionText(a.VersionMaj, a.VersionMin), "1.7");
  EXPECT_TRUE(a.Led_Enable);
  const TCalibrationTexts t = CalibrationTexts(a.Calibration);
  EXPECT_EQ(t.SNR, "4294900475");
  EXPECT_EQ(t.RShunt, "2125.0");
  EXPECT_EQ(t.GainFiltered, "319.0");
  EXPECT_EQ(t.GainUnfiltered, "1.0");
  EXPECT_EQ(t.Offset, "2.520");

  TReportBuffer erased;
  erased.fill(0xFF);
  const TCalibrationTexts e = CalibrationTexts(DecodeVersionAnswer(erased).Calibration);
  EXPECT_EQ(e.SNR, "4294967295");
  EXPECT_EQ(e.RShunt, "NAN");
  EXPECT_EQ(e.GainFiltered, "NAN");
  EXPECT_EQ(e.GainUnfiltered, "NAN");
  EXPECT_EQ(e.Offset, "NAN");
}

TEST(CalibrationValues, WriteRequestLaysOutTheDefaultCalibration) {
  TCalibrationTexts t{"4294900475", "2125", "319", "1", "2.52"};
  const TReportBuffer r = CalibrationRequest(ParseCalibrationTexts(t));
  const std::vector<std::uint8_t> payload = {0xFF, 0xFE, 0xFA, 0xFB, 0x45, 0x04, 0xD0,
                                             0x00, 0x43, 0x9F, 0x80, 0x00, 0x3F, 0x80,
                                             0x00, 0x00, 0x40, 0x21, 0x47, 0xAE};
  EXPECT_EQ(r[0], 0xAA);  // report ID and command are the link's to set
  EXPECT_EQ(r[1], 0xAA);
  for (std::size_t i = 0; i < payload.size(); ++i) EXPECT_EQ(r[2 + i], payload[i]) << i;
  for (std::size_t i = 22; i < r.size(); ++i) EXPECT_EQ(r[i], 0xAA) << i;
}

TEST(CalibrationValues, SerialIsTakenModulo2To32) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"-1", 4294967295u}, {"4294967296", 0u},          {"4294967297", 1u},
      {"+12", 12u},        {"-4294967296", 0u},         {"9223372036854775807", 4294967295u},
      {"0", 0u},           {"-9223372036854775808", 0u}};
  for (const auto& [text, serial] : cases) {
    TCalibrationTexts t{text, "1", "1", "1", "1"};
    EXPECT_EQ(ParseCalibrationTexts(t).Serial.Value(), serial) << text;
  }
}

TEST(CalibrationValues, FloatsAreRoundedToSingleAndAcceptSpecialTexts) {
  struct Case {
    const char* text;
    std::uint32_t bits;
  };
  const Case cases[] = {
      {"2125.4", 0x4504D666},
      {"2.520", 0x402147AE},
      {"nan", 0x7FC00000},
      {"NaN", 0x7FC00000},
      {"inf", 0x7F800000},
      {"+INF", 0x7F800000},
      {"-Inf", 0xFF800000},
      {"1e39", 0x7F800000},
      {"-0", 0x80000000},
      {"1E-50", 0x00000000},
      // Around the largest float: rounded to it, or beyond half a unit to INF.
      {"3.4028235e38", 0x7F7FFFFF},
      {"3.40282356e38", 0x7F7FFFFF},
      {"-3.40282357e38", 0xFF800000},
  };
  for (const auto& c : cases) {
    TCalibrationTexts t{"1", c.text, "1", "1", "1"};
    EXPECT_EQ(ParseCalibrationTexts(t).RShunt.Bits(), c.bits) << c.text;
  }
}

TEST(CalibrationValues, UnreadableTextsNameTheText) {
  struct Case {
    TCalibrationTexts texts;
    const char* message;
  };
  const Case cases[] = {
      {{"12a", "1", "1", "1", "1"}, "'12a' is not a valid integer value"},
      {{"", "1", "1", "1", "1"}, "'' is not a valid integer value"},
      {{"1.5", "1", "1", "1", "1"}, "'1.5' is not a valid integer value"},
      {{"+-1", "1", "1", "1", "1"}, "'+-1' is not a valid integer value"},
      {{"99999999999999999999", "1", "1", "1", "1"},
       "'99999999999999999999' is not a valid integer value"},
      {{"1", "2125,4", "1", "1", "1"}, "'2125,4' is not a valid floating point value"},
      {{"1", "1", " 319", "1", "1"}, "' 319' is not a valid floating point value"},
      {{"1", "1", "1", "", "1"}, "'' is not a valid floating point value"},
      {{"1", "1", "1", "1", "2.5V"}, "'2.5V' is not a valid floating point value"},
  };
  for (const auto& c : cases) {
    try {
      ParseCalibrationTexts(c.texts);
      ADD_FAILURE() << c.message;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

TEST(CalibrationValues, PasswordMustMatchExactly) {
  EXPECT_TRUE(OperatorPasswordMatches("fornaxlu_tebri"));
  for (const char* wrong : {"fornaxlu_tebri ", " fornaxlu_tebri", "Fornaxlu_tebri",
                            "FORNAXLU_TEBRI", "fornaxlu_tebr", "", "fornaxlu_tebrii"})
    EXPECT_FALSE(OperatorPasswordMatches(wrong)) << "'" << wrong << "'";
}

}  // namespace
}  // namespace quorvel
