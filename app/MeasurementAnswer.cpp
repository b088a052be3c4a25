#include "MeasurementAnswer.h"

#include "device/Commands.h"
#include "measure/ComputeCore.h"

namespace quorvel {

bool IsMeasurementAnswer(const TReportBuffer& BufferOUT) {
  if (BufferOUT[0] != 0 || BufferOUT[1] != kCmdReadMeasure) return false;
  // MeanADU_NF, EC_ADU_NF, MeanADU_F, PowerScintADU.
  for (const std::uint8_t offset :
       {std::uint8_t{1}, std::uint8_t{5}, std::uint8_t{9}, std::uint8_t{13}}) {
    const double v = decodeFrom(BufferOUT, offset);
    if (!(v >= 0 && v <= kConverterFullScaleADU)) return false;
  }
  return true;
}

}  // namespace quorvel
