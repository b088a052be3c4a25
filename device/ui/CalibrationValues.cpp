#include "CalibrationValues.h"

#include <cmath>
#include <limits>

#include "common/Errors.h"
#include "common/Format.h"

namespace quorvel {

namespace {

const char* const kOperatorPassword = "fornaxlu_tebri";

// Nearest float32, as IEEE rounding gives it: beyond the largest float (by
// half a unit of its last place or more) an infinity. Spelled out because a
// plain cast of an out-of-range double is undefined.
float RoundToSingle(double v) {
  const double a = std::fabs(v);
  if (std::isnan(v) || a <= std::numeric_limits<float>::max()) return static_cast<float>(v);
  const double overflow = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
  const float big =
      a >= overflow ? std::numeric_limits<float>::infinity() : std::numeric_limits<float>::max();
  return v < 0 ? -big : big;
}

TSingle32 ParseSingle(const std::string& text) {
  const auto v = ParseFloat(text);
  if (!v) throw Exception(Format("'%s' is not a valid floating point value", {text}));
  TSingle32 s;
  s.SetValue(RoundToSingle(*v));
  return s;
}

}  // namespace

std::string VersionText(std::uint8_t major, std::uint8_t minor) {
  return Format("%d.%d", {static_cast<int>(major), static_cast<int>(minor)});
}

TCalibrationTexts CalibrationTexts(const TCalibration& values) {
  TCalibrationTexts t;
  t.SNR = std::to_string(values.Serial.Value());
  t.RShunt = FormatFixed(values.RShunt.Value(), 1);
  t.GainFiltered = FormatFixed(values.GainFiltered.Value(), 1);
  t.GainUnfiltered = FormatFixed(values.GainUnfiltered.Value(), 1);
  t.Offset = FormatFixed(values.OffsetVols.Value(), 3);
  return t;
}

TCalibration ParseCalibrationTexts(const TCalibrationTexts& texts) {
  TCalibration c;
  const auto serial = ParseInt64(texts.SNR);
  if (!serial) throw Exception(Format("'%s' is not a valid integer value", {texts.SNR}));
  c.Serial.SetValue(static_cast<std::uint32_t>(static_cast<std::uint64_t>(*serial)));
  c.RShunt = ParseSingle(texts.RShunt);
  c.GainFiltered = ParseSingle(texts.GainFiltered);
  c.GainUnfiltered = ParseSingle(texts.GainUnfiltered);
  c.OffsetVols = ParseSingle(texts.Offset);
  return c;
}

bool OperatorPasswordMatches(const std::string& typed) {
  return typed == kOperatorPassword;
}

}  // namespace quorvel
