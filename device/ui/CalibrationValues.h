// The instrument's calibration ("ROM values") as the calibration dialog reads,
// shows, parses and writes it. Plain C++, no Qt.
#pragma once

#include <cstdint>
#include <string>

#include "device/Commands.h"
#include "measure/Declarations.h"

namespace quorvel {

// The texts of the dialog's five value fields.
struct TCalibrationTexts {
  std::string SNR;
  std::string RShunt;
  std::string GainFiltered;
  std::string GainUnfiltered;
  std::string Offset;
};

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

// The operator password, compared exactly (case and blanks count).
bool OperatorPasswordMatches(const std::string& typed);

}  // namespace quorvel
