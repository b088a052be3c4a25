// The instrument's commands and the byte layouts of the version/calibration
// answer and of the calibration write, shared by the protocol and the
// calibration dialog. Plain C++.
#pragma once

#include <cstdint>

#include "measure/Declarations.h"

namespace quorvel {

// Commands.
constexpr std::uint8_t kCmdReadVersion = 0x80;
constexpr std::uint8_t kCmdReadMeasure = 0x81;
constexpr std::uint8_t kCmdWriteCalibration = 0x84;
// Request bytes a command does not use.
constexpr std::uint8_t kRequestFiller = 0xAA;

// The calibration an instrument gets when the operator accepts the defaults.
constexpr std::uint32_t kDefaultSerialNumber = 4294900475u;  // 0xFFFEFAFB
constexpr float kDefaultRShunt = 2125.0f;
constexpr float kDefaultGainFiltered = 319.0f;
constexpr float kDefaultGainUnfiltered = 1.0f;
constexpr float kDefaultOffsetV = 2.52f;

// Fills all 65 bytes with the filler 0xAA.
inline void SingleCommand_Init(TReportBuffer& Buffer) {
  Buffer.fill(kRequestFiller);
}

// Serial number and the four calibration values, as on the wire.
struct TCalibration {
  TUint32 Serial;
  TSingle32 RShunt;  // ohm
  TSingle32 GainFiltered;
  TSingle32 GainUnfiltered;
  TSingle32 OffsetVols;  // V
};

// The default calibration above.
TCalibration DefaultCalibration();

// The answer to the version/calibration read.
struct TVersionAnswer {
  std::uint8_t VersionMaj = 0;
  std::uint8_t VersionMin = 0;
  std::uint8_t Channeltoread = 0;  // read, not used
  bool Led_Enable = false;         // read, not used
  TCalibration Calibration;
};

// Bytes 2-3 version, 4 channel, 5 LED, 6-9 serial, 10-25 the four floats,
// big-endian.
TVersionAnswer DecodeVersionAnswer(const TReportBuffer& answer);

// The write request: serial at bytes 2-5, the floats at 6-9, 10-13, 14-17,
// 18-21, most significant byte first; every other byte 0xAA (bytes 0 and 1
// are set by the exchange).
TReportBuffer CalibrationRequest(const TCalibration& values);

}  // namespace quorvel
