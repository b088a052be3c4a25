#include "device/InstrumentProtocol.h"

#include <algorithm>

#include "common/Errors.h"
#include "common/Format.h"

namespace quorvel {

void SingleCommand_Init(TReportBuffer& Buffer) {
  Buffer.fill(kRequestFiller);
}

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

  FDataSystem.MajorVersion = answer[2];
  FDataSystem.MinorVersion = answer[3];
  const std::uint8_t Channeltoread = answer[4];  // read, not used
  const bool Led_Enable = answer[5] != 0;        // read, not used
  (void)Channeltoread;
  (void)Led_Enable;
  const TUint32 serial = TUint32::FromWire(&answer[6]);
  const TSingle32 rShunt = TSingle32::FromWire(&answer[10]);
  const TSingle32 gainFiltered = TSingle32::FromWire(&answer[14]);
  const TSingle32 gainUnfiltered = TSingle32::FromWire(&answer[18]);
  const TSingle32 offset = TSingle32::FromWire(&answer[22]);

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
  TReportBuffer request;
  TReportBuffer answer{};
  SingleCommand_Init(request);
  SNR.ToWire(&request[2]);
  RShunt.ToWire(&request[6]);
  GainFiltered.ToWire(&request[10]);
  GainUnfiltered.ToWire(&request[14]);
  OffsetVols.ToWire(&request[18]);
  DeviceRequest(kCmdWriteCalibration, request, answer);
}

void TInstrumentProtocol::WriteDefaultROMValues() {
  TUint32 serial;
  serial.SetValue(kDefaultSerialNumber);
  TSingle32 rShunt, gainFiltered, gainUnfiltered, offset;
  rShunt.SetValue(kDefaultRShunt);
  gainFiltered.SetValue(kDefaultGainFiltered);
  gainUnfiltered.SetValue(kDefaultGainUnfiltered);
  offset.SetValue(kDefaultOffsetV);
  WriteROMValues(serial, rShunt, gainFiltered, gainUnfiltered, offset);
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
