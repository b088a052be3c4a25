#include "CalibrationValues.h"

#include "common/Errors.h"
#include "common/Format.h"

namespace quorvel {

namespace {

const char* const kOperatorPassword = "fornaxlu_tebri";

TSingle32 ParseSingle(const std::string& text) {
  const auto v = ParseFloat(text);
  if (!v) throw Exception(Format("'%s' is not a valid floating point value", {text}));
  TSingle32 s;
  s.SetValue(static_cast<float>(*v));  // IEEE rounding; beyond the float range gives INF
  return s;
}

}  // namespace

void InitRequestBuffer(TReportBuffer& Buffer) {
  Buffer.fill(0xAA);
}

TVersionAnswer DecodeVersionAnswer(const TReportBuffer& answer) {
  TVersionAnswer a;
  a.VersionMaj = answer[2];
  a.VersionMin = answer[3];
  a.Channeltoread = answer[4];
  a.Led_Enable = answer[5] != 0;
  a.Calibration.Serial = TUint32::FromWire(&answer[6]);
  a.Calibration.RShunt = TSingle32::FromWire(&answer[10]);
  a.Calibration.GainFiltered = TSingle32::FromWire(&answer[14]);
  a.Calibration.GainUnfiltered = TSingle32::FromWire(&answer[18]);
  a.Calibration.OffsetVols = TSingle32::FromWire(&answer[22]);
  return a;
}

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

TReportBuffer CalibrationRequest(const TCalibration& values) {
  TReportBuffer request;
  InitRequestBuffer(request);
  values.Serial.ToWire(&request[2]);
  values.RShunt.ToWire(&request[6]);
  values.GainFiltered.ToWire(&request[10]);
  values.GainUnfiltered.ToWire(&request[14]);
  values.OffsetVols.ToWire(&request[18]);
  return request;
}

bool OperatorPasswordMatches(const std::string& typed) {
  return typed == kOperatorPassword;
}

}  // namespace quorvel
