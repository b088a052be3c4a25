// The instrument's calibration ("ROM values") as the calibration dialog reads,
// shows, parses and writes it. Plain C++, no Qt.
#pragma once

#include <cstdint>
#include <string>

#include "measure/Declarations.h"

namespace quorvel {

constexpr std::uint8_t kCmdReadVersion = 0x80;
constexpr std::uint8_t kCmdWriteCalibration = 0x84;

// Serial number and the four calibration values, as on the wire.
struct TCalibration {
  TUint32 Serial;
  TSingle32 RShunt;  // ohm
  TSingle32 GainFiltered;
  TSingle32 GainUnfiltered;
  TSingle32 OffsetVols;  // V
};

// The answer to the version/calibration read.
struct TVersionAnswer {
  std::uint8_t VersionMaj = 0;
  std::uint8_t VersionMin = 0;
  std::uint8_t Channeltoread = 0;  // read, not used
  bool Led_Enable = false;         // read, not used
  TCalibration Calibration;
};

// The texts of the dialog's five value fields.
struct TCalibrationTexts {
  std::string SNR;
  std::string RShunt;
  std::string GainFiltered;
  std::string GainUnfiltered;
  std::string Offset;
};

// A request with every byte 0xAA: bytes a command does not fill stay so.
void InitRequestBuffer(TReportBuffer& Buffer);

// Bytes 2-3 version, 4 channel, 5 LED, 6-9 serial, 10-25 the four floats.
TVersionAnswer DecodeVersionAnswer(const TReportBuffer& answer);

// "%d.%d"
std::string VersionText(std::uint8_t major, std::uint8_t minor);

// Serial as unsigned decimal; "%1.1f" for the shunt and the gains, "%1.3f" for
// the offset; NaN shows as NAN.
TCalibrationTexts CalibrationTexts(const TCalibration& values);

// Serial: a signed 64-bit decimal integer taken modulo 2^32 (-1 gives
// 4294967295). Floats: "." as separator, NAN/INF/+INF/-INF in any case,
// rounded to float32. Raises Exception "'%s' is not a valid integer value" or
// "'%s' is not a valid floating point value" with the offending text.
TCalibration ParseCalibrationTexts(const TCalibrationTexts& texts);

// The write request: serial at bytes 2-5, the floats at 6-9, 10-13, 14-17,
// 18-21, most significant byte first; every other byte 0xAA.
TReportBuffer CalibrationRequest(const TCalibration& values);

// The operator password, compared exactly (case and blanks count).
bool OperatorPasswordMatches(const std::string& typed);

}  // namespace quorvel
