// Whether an answer to the measurement command can be a measurement at all.
// Plain C++, so that the fuzzers use it as the program does.
#pragma once

#include <optional>

#include "measure/ComputeCore.h"
#include "measure/Declarations.h"

namespace quorvel {

// The converter values of an answer with report ID 0, the 0x81 echo and
// values that a 16-bit converter can give: the two means, the noise and the
// scintillation RMS within 0 .. 65535 counts (NaN is not); nothing otherwise.
// A garbled answer that merely carries the right echo is thus turned away
// like a wrong echo, instead of stopping acquisition (a signal no bar can
// show), asking for the calibration (a NaN signal) or writing a line of
// nonsense. The temperature and the sample count are not judged: a faulty
// sensor must not cost the seeing measurement. The counts handed back are
// the ones the cycle converts, so an answer is decoded once.
std::optional<TMeasurementCounts> CheckMeasurementAnswer(const TReportBuffer& BufferOUT);

inline bool IsMeasurementAnswer(const TReportBuffer& BufferOUT) {
  return CheckMeasurementAnswer(BufferOUT).has_value();
}

}  // namespace quorvel
