// The one exchange the calibration dialog needs from the instrument link: one
// request report written, one answer report read. The main window's protocol
// object is adapted to it; tests use a fake instrument.
#pragma once

#include <cstdint>

#include "measure/Declarations.h"

namespace quorvel {

class ICalibrationLink {
 public:
  virtual ~ICalibrationLink() = default;
  // Sends `Command` with the payload of `BufferIN` (bytes 0 and 1 are set by
  // the link) and reads the answer into `BufferOUT`. Failures are raised as
  // exceptions carrying the operator message.
  virtual void DeviceRequest(std::uint8_t Command, const TReportBuffer& BufferIN,
                             TReportBuffer& BufferOUT) = 0;
};

}  // namespace quorvel
