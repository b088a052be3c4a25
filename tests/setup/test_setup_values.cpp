#include <gtest/gtest.h>

#include <cmath>

#include "common/Format.h"
#include "setup/SetupValues.h"

namespace quorvel {
namespace {

TSetupTexts Texts(const char* lat, const char* latSide, const char* lon, const char* lonSide,
                  const char* alt, int retention = 1200, int minV = 150) {
  TSetupTexts t;
  t.SecRetention = retention;
  t.MinV = minV;
  t.Latitude = lat;
  t.LatitudeSide = latSide;
  t.Longitude = lon;
  t.LongitudeSide = lonSide;
  t.Altitude = alt;
  return t;
}

TEST(SetupValues, TextsToRadiansWithTheSidesSigns) {
  struct Case {
    TSetupTexts texts;
    const char *lat, *lon;
  };
  const Case cases[] = {
      {Texts("45.5", "N", "3.5", "E", "0"), "0.79412480965742", "-0.0610865238198015"},
      {Texts("30", "S", "70", "W", "0"), "-0.523598775598299", "1.22173047639603"},
      {Texts("30", "", "70", "", "0"), "0.523598775598299", "1.22173047639603"},
      {Texts("0", "S", "0", "E", "0"), "0", "0"},
  };
  for (const auto& c : cases) {
    const TSetupValues v = SetupValuesFromTexts(c.texts);
    EXPECT_EQ(FormatGeneral(v.Latitude), c.lat);
    EXPECT_EQ(FormatGeneral(v.Longitude), c.lon);
  }
}

TEST(SetupValues, RetentionUpTo65535IsKeptAndAboveIsRefusedNotWrapped) {
  EXPECT_EQ(SetupValuesFromTexts(Texts("1", "N", "1", "E", "0", 65535)).MaxPointsDisplayed, 65535);
  for (int retention : {65536, 70000, 86400}) {
    try {
      SetupValuesFromTexts(Texts("1", "N", "1", "E", "0", retention));
      ADD_FAILURE() << retention << " accepted";
    } catch (const ESetupInputError& e) {
      EXPECT_EQ(e.Field, TSetupField::Retention);
    }
  }
}

TEST(SetupValues, UnreadableFieldsNameTheField) {
  struct Case {
    TSetupTexts texts;
    TSetupField field;
    std::string message;
  };
  const Case cases[] = {
      {Texts("", "N", "1", "E", "0"), TSetupField::Latitude,
       "The field 'Latitude (deg)' is empty, please enter a value !"},
      {Texts("1", "N", "", "E", "0"), TSetupField::Longitude,
       "The field 'Longitude (deg)' is empty, please enter a value !"},
      {Texts("1", "N", "1", "E", ""), TSetupField::Altitude,
       "The field 'Altitude (m)' is empty, please enter a value !"},
      {Texts("1", "N", "1", "E", "90/2"), TSetupField::Altitude,
       "'90/2' in the field 'Altitude (m)' is not a number !"},
      {Texts("NAN", "N", "1", "E", "0"), TSetupField::Latitude,
       "The field 'Latitude (deg)' must hold a finite number !"},
      {Texts("1", "N", "1", "E", "-INF"), TSetupField::Altitude,
       "The field 'Altitude (m)' must hold a finite number !"},
  };
  for (const auto& c : cases) {
    try {
      SetupValuesFromTexts(c.texts);
      ADD_FAILURE() << c.message;
    } catch (const ESetupInputError& e) {
      EXPECT_EQ(e.Field, c.field);
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

TEST(SetupValues, FillsApplyAndReadTheProgramRecords) {
  TGeneralParams params;
  TSetupLocation site;
  TSetupValues v;
  v.MaxPointsDisplayed = 3600;
  v.MinValue_mV = 200;
  v.Latitude = -0.5;
  v.Longitude = 1.25;
  v.AltitudeM = 812;
  ApplySetupValues(v, params, site);
  EXPECT_EQ(params.MaxPointsDisplayed, 3600);
  EXPECT_EQ(params.MinValue_mV, 200);
  EXPECT_EQ(site.Latitude, -0.5);
  EXPECT_EQ(site.Longitude, 1.25);
  EXPECT_EQ(site.AltitudeM, 812);
  const TSetupValues back = SetupValuesFromProgram(params, site);
  EXPECT_EQ(back.MaxPointsDisplayed, 3600);
  EXPECT_EQ(back.Latitude, -0.5);

  // A site that is not a number shows as such instead of a made-up value.
  v.Latitude = std::nan("");
  EXPECT_EQ(SetupTextsFromValues(v).Latitude, "NAN");
}

}  // namespace
}  // namespace quorvel
