// The instrument's command protocol, shared by every front end (main window,
// headless runner, calibration dialog): one output report with a command
// byte, answered by one input report. No widgets: log lines go to an
// ILogSink, the status text to an IStatusPanel.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/EventLog.h"
#include "device/Commands.h"
#include "device/HidController.h"
#include "measure/Declarations.h"

namespace quorvel {

// The status bar as the protocol sees it (the main window and the headless
// runner implement it).
class IStatusPanel {
 public:
  virtual ~IStatusPanel() = default;
  virtual void SetStatusText(int panel, const std::string& text) = 0;
};

// "RD $00 (64 bytes)->$81 $3F ..." (each byte followed by a blank).
std::string ReadDebugLine(std::uint8_t ReportID, const std::uint8_t* Data, std::uint16_t Size);

// A platform error text without trailing blanks, line breaks and full stops.
std::string CleanErrorText(std::string text);

class TInstrumentProtocol {
 public:
  TInstrumentProtocol(ILogSink& log, IStatusPanel& status);

  // The attached instrument, owned by the HID controller; none before the
  // first attachment.
  THidDevice* FCurrentDevice = nullptr;
  // The serial number of the last version read, for the live outputs.
  std::optional<std::uint32_t> FSerialNumber;

  // One write/read exchange with the current device. Raises
  // quorvel::Exception: "No instrument connected" without a device, "HID
  // cannot write (%d)" for an unusable report length, "HID WRITE ERROR: %s
  // (%x)" / "HID READ ERROR: %s (%x)" (also logged) when the transfer fails,
  // a read that gets no answer within ReadTimeoutMs() included. The number
  // in brackets is the platform's error code (errno), 0 when it gave none.
  void DeviceRequest(std::uint8_t Command, TReportBuffer BufferIN, TReportBuffer& BufferOUT);

  // 0x80: version and calibration into FDataSystem, status panel 0 and the
  // log. On an exchange error FDataSystem keeps what it held.
  void GetVersion_SNR(TDataSystem& FDataSystem);
  // 0x84 with these values; the answer is not examined.
  void WriteROMValues(TUint32 SNR, TSingle32 RShunt, TSingle32 GainFiltered,
                      TSingle32 GainUnfiltered, TSingle32 OffsetVols);
  void WriteDefaultROMValues();

  // The data callback of the current device: logs the debug line when HID
  // debugging is on, does nothing otherwise.
  void ShowReadDebug(THidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
                     std::uint16_t Size);
  // ShowReadDebug bound to this object, for THidDevice::SetOnData.
  THidDataEvent ReadDebugCallback();

  void SetDebugHid(bool on) { FDebugHid = on; }
  bool DebugHid() const { return FDebugHid; }
  // Longest wait for an answer (real time).
  void SetReadTimeoutMs(int ms) { FReadTimeoutMs = ms; }
  int ReadTimeoutMs() const { return FReadTimeoutMs; }

 private:
  [[noreturn]] void Fail(const char* format);

  ILogSink& FLog;
  IStatusPanel& FStatus;
  bool FDebugHid = false;
  int FReadTimeoutMs = kDefaultReadTimeoutMs;
};

}  // namespace quorvel
