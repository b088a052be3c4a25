#include "device/InstrumentProtocol.h"

#include <algorithm>

#include "common/Errors.h"
#include "common/Format.h"

namespace quorvel {

std::string ReadDebugLine(std::uint8_t ReportID, const std::uint8_t* Data, std::uint16_t Size) {
  std::string line = Format("RD $%.2x (%d bytes)->", {ReportID, Size});
  line.reserve(line.size() + 4u * Size);
  for (std::uint16_t i = 0; i < Size; ++i) line += "$" + FormatHex(Data[i], 2) + " ";
  return line;
}

std::string CleanErrorText(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n' || text.back() == '.'))
    text.pop_back();
  return text;
}

TInstrumentProtocol::TInstrumentProtocol(ILogSink& log, IStatusPanel& status)
    : FLog(log), FStatus(status) {}

void TInstrumentProtocol::Fail(const char* format) {
  const THidError error = FCurrentDevice->LastError();
  const std::string message = Format(format, {CleanErrorText(error.Text), error.Code});
  AddtoMemoLog(FLog, message);
  throw Exception(message);
}

void TInstrumentProtocol::DeviceRequest(std::uint8_t Command, TReportBuffer BufferIN,
                                        TReportBuffer& BufferOUT) {
  if (!FCurrentDevice) throw Exception("No instrument connected");
  TReportBuffer report = BufferIN;
  report[0] = 0x00;
  const std::uint32_t ToWrite = FCurrentDevice->Caps().OutputReportByteLength;
  // The buffers hold 65 bytes: a longer report cannot be sent either.
  if (ToWrite == 0 || ToWrite > kReportSize)
    throw Exception(Format("HID cannot write (%d)", {ToWrite}));
  report[1] = Command;
  // An answer that came after an earlier read gave up must not pass for
  // this request's answer.
  FCurrentDevice->FlushQueue();
  std::uint32_t written = 0;
  if (!FCurrentDevice->WriteFile(report.data(), ToWrite, written)) Fail("HID WRITE ERROR: %s (%x)");
  std::fill_n(BufferOUT.begin(), ToWrite, std::uint8_t{0});
  std::uint32_t read = 0;
  if (!FCurrentDevice->ReadFile(BufferOUT.data(), ToWrite, read, FReadTimeoutMs))
    Fail("HID READ ERROR: %s (%x)");
}

void TInstrumentProtocol::GetVersion_SNR(TDataSystem& FDataSystem) {
  TReportBuffer request;
  TReportBuffer answer{};
  SingleCommand_Init(request);
  DeviceRequest(kCmdReadVersion, request, answer);

  const TVersionAnswer v = DecodeVersionAnswer(answer);
  FDataSystem.MajorVersion = v.VersionMaj;
  FDataSystem.MinorVersion = v.VersionMin;
  const TUint32 serial = v.Calibration.Serial;
  FSerialNumber = serial.Value();
  const TSingle32 rShunt = v.Calibration.RShunt;
  const TSingle32 gainFiltered = v.Calibration.GainFiltered;
  const TSingle32 gainUnfiltered = v.Calibration.GainUnfiltered;
  const TSingle32 offset = v.Calibration.OffsetVols;

  FStatus.SetStatusText(
      0, Format("Fw version %d.%d SNR %d",
                {FDataSystem.MajorVersion, FDataSystem.MinorVersion, serial.Value()}));
  AddtoMemoLog(
      FLog, Format("Read ROM value Rshunt %1.0f Ohms, Filtered Gain : %1.0fx Unfiltered "
                   "gain : %1.1fx  OffsetVolts : %1.3f V",
                   {rShunt.Value(), gainFiltered.Value(), gainUnfiltered.Value(), offset.Value()}));
  FDataSystem.RShuntSolar = rShunt.Value();
  FDataSystem.Gain_Filtered = gainFiltered.Value();
  FDataSystem.Gain_NotFilt = gainUnfiltered.Value();
  FDataSystem.OffsetV = offset.Value();
}

void TInstrumentProtocol::WriteROMValues(TUint32 SNR, TSingle32 RShunt, TSingle32 GainFiltered,
                                         TSingle32 GainUnfiltered, TSingle32 OffsetVols) {
  TReportBuffer answer{};
  DeviceRequest(kCmdWriteCalibration,
                CalibrationRequest({SNR, RShunt, GainFiltered, GainUnfiltered, OffsetVols}),
                answer);
}

void TInstrumentProtocol::WriteDefaultROMValues() {
  const TCalibration c = DefaultCalibration();
  WriteROMValues(c.Serial, c.RShunt, c.GainFiltered, c.GainUnfiltered, c.OffsetVols);
}

void TInstrumentProtocol::ShowReadDebug(THidDevice*, std::uint8_t ReportID,
                                        const std::uint8_t* Data, std::uint16_t Size) {
  if (FDebugHid) AddtoMemoLog(FLog, ReadDebugLine(ReportID, Data, Size));
}

THidDataEvent TInstrumentProtocol::ReadDebugCallback() {
  return [this](THidDevice* dev, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
    ShowReadDebug(dev, id, data, size);
  };
}

}  // namespace quorvel
