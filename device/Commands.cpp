#include "Commands.h"

namespace quorvel {

TCalibration DefaultCalibration() {
  TCalibration c;
  c.Serial.SetValue(kDefaultSerialNumber);
  c.RShunt.SetValue(kDefaultRShunt);
  c.GainFiltered.SetValue(kDefaultGainFiltered);
  c.GainUnfiltered.SetValue(kDefaultGainUnfiltered);
  c.OffsetVols.SetValue(kDefaultOffsetV);
  return c;
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

TReportBuffer CalibrationRequest(const TCalibration& values) {
  TReportBuffer request;
  SingleCommand_Init(request);
  values.Serial.ToWire(&request[2]);
  values.RShunt.ToWire(&request[6]);
  values.GainFiltered.ToWire(&request[10]);
  values.GainUnfiltered.ToWire(&request[14]);
  values.OffsetVols.ToWire(&request[18]);
  return request;
}

}  // namespace quorvel
