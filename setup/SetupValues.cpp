#include "SetupValues.h"

#include <cmath>

#include "common/Angles.h"
#include "common/Format.h"

namespace quorvel {

namespace {

double ReadField(TSetupField field, const char* label, const std::string& text) {
  if (text.empty())
    throw ESetupInputError(field,
                           Format("The field '%s' is empty, please enter a value !", {label}));
  const auto v = ParseFloat(text);
  if (!v)
    throw ESetupInputError(field,
                           Format("'%s' in the field '%s' is not a number !", {text, label}));
  // NAN would be accepted by the field itself, but a site without a number
  // would silently stop every Sun position and be stored for the next runs.
  if (!std::isfinite(*v))
    throw ESetupInputError(field, Format("The field '%s' must hold a finite number !", {label}));
  return *v;
}

std::uint16_t ReadCount(TSetupField field, const char* label, int value) {
  if (value < 0 || value > kMaxRetentionPoints)
    throw ESetupInputError(field, Format("%s cannot be more than %d, nothing was changed !",
                                         {label, kMaxRetentionPoints}));
  return static_cast<std::uint16_t>(value);
}

}  // namespace

TSetupTexts SetupTextsFromValues(const TSetupValues& values) {
  TSetupTexts t;
  t.SecRetention = values.MaxPointsDisplayed;
  t.MinV = values.MinValue_mV;
  t.Latitude = FormatFixed(std::fabs(values.Latitude * kRadToDeg), 4);
  t.LatitudeSide = values.Latitude > 0 ? "N" : "S";
  t.Longitude = FormatFixed(std::fabs(values.Longitude * kRadToDeg), 4);
  t.LongitudeSide = values.Longitude > 0 ? "W" : "E";
  t.Altitude = FormatFixed(values.AltitudeM, 0);
  t.ExcellentMax = values.Classes.Excellent;
  t.GoodMax = values.Classes.Good;
  t.FairMax = values.Classes.Fair;
  t.ClassesAtZenith = values.Classes.Zenith;
  return t;
}

TSetupValues SetupValuesFromTexts(const TSetupTexts& texts) {
  TSetupValues v;
  v.MaxPointsDisplayed =
      ReadCount(TSetupField::Retention, "Displayed points retention", texts.SecRetention);
  v.MinValue_mV = ReadCount(TSetupField::MinSignal, "Minimum SUN signal", texts.MinV);
  v.Latitude = ReadField(TSetupField::Latitude, "Latitude (deg)", texts.Latitude) * kDegToRad;
  if (texts.LatitudeSide == "S") v.Latitude = -v.Latitude;
  v.Longitude = ReadField(TSetupField::Longitude, "Longitude (deg)", texts.Longitude) * kDegToRad;
  if (texts.LongitudeSide == "E") v.Longitude = -v.Longitude;
  v.AltitudeM = ReadField(TSetupField::Altitude, "Altitude (m)", texts.Altitude);
  v.Classes.Excellent = texts.ExcellentMax;
  v.Classes.Good = texts.GoodMax;
  v.Classes.Fair = texts.FairMax;
  v.Classes.Zenith = texts.ClassesAtZenith;
  if (!SeeingClassesValid(v.Classes))
    throw ESetupInputError(TSetupField::Classes,
                           "The seeing classes must grow: excellent below good below fair, "
                           "nothing was changed !");
  return v;
}

TSetupValues SetupValuesFromProgram(const TGeneralParams& params, const TSetupLocation& site,
                                    const TSeeingClasses& classes) {
  TSetupValues v;
  v.MaxPointsDisplayed = params.MaxPointsDisplayed;
  v.MinValue_mV = params.MinValue_mV;
  v.Latitude = site.Latitude;
  v.Longitude = site.Longitude;
  v.AltitudeM = site.AltitudeM;
  v.Classes = classes;
  return v;
}

void ApplySetupValues(const TSetupValues& values, TGeneralParams& params, TSetupLocation& site,
                      TSeeingClasses& classes) {
  params.MaxPointsDisplayed = values.MaxPointsDisplayed;
  params.MinValue_mV = values.MinValue_mV;
  site.Latitude = values.Latitude;
  site.Longitude = values.Longitude;
  site.AltitudeM = values.AltitudeM;
  classes = values.Classes;
}

}  // namespace quorvel
