#include "device/MeasurementAnswer.h"

#include "device/Commands.h"

namespace quorvel {

std::optional<TMeasurementCounts> CheckMeasurementAnswer(const TReportBuffer& BufferOUT) {
  if (BufferOUT[0] != 0 || BufferOUT[1] != kCmdReadMeasure) return std::nullopt;
  const TMeasurementCounts c = DecodeMeasurementCounts(BufferOUT);
  for (const double v :
       {double{c.MeanADU_NF}, double{c.EC_ADU_NF}, double{c.MeanADU_F}, double{c.PowerScintADU}})
    if (!(v >= 0 && v <= kConverterFullScaleADU)) return std::nullopt;
  return c;
}

}  // namespace quorvel
