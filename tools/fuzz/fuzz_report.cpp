// libFuzzer target for the measurement answer as the acquisition cycle meets
// it: an arbitrary 65-byte report, an arbitrary calibration and Sun elevation
// go through the answer check, the decoder, the zenith corrections, the
// label and results-line formatting and the saturation bar. Any exception
// other than the bar's range error, any sanitizer report or a broken
// invariant of the decoder is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/Errors.h"
#include "common/Format.h"
#include "device/MeasurementAnswer.h"
#include "measure/ComputeCore.h"
#include "records/ResultFile.h"

namespace {

using namespace quorvel;

template <class T>
T Take(const std::uint8_t*& p, const std::uint8_t* end) {
  T v{};
  if (static_cast<std::size_t>(end - p) >= sizeof v) {
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
  }
  return v;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t* p = data;
  const std::uint8_t* end = data + size;
  TReportBuffer report{};
  const std::size_t n = std::min(size, report.size());
  std::memcpy(report.data(), p, n);
  p += n;
  // Half of the inputs decode with the default calibration, as an
  // instrument in service does; the others with whatever follows.
  const bool defaults = size % 2 == 0;
  TDataSystem ds;
  ds.RShuntSolar = defaults ? 2125.0f : Take<float>(p, end);
  ds.Gain_Filtered = defaults ? 319.0f : Take<float>(p, end);
  ds.Gain_NotFilt = defaults ? 1.0f : Take<float>(p, end);
  ds.OffsetV = defaults ? 2.52f : Take<float>(p, end);
  ds.HauteurSoleil = Take<double>(p, end);
  const std::uint16_t minMv = Take<std::uint16_t>(p, end);

  const bool answer = IsMeasurementAnswer(report);
  TDataOutMes m;
  ConvertDataToPhysValues(ds, report, m);

  Check(m.ValidSeeing == IsSeeingValid(m.seeingArcSec));
  if (m.ValidSeeing) Check(std::isfinite(m.R0) && m.R0 > 0);
  if (answer) {
    for (double v :
         {double(m.MeanADU_NF), double(m.EC_ADU_NF), double(m.MeanADU_F), double(m.PowerScintADU)})
      Check(v >= 0 && v <= kConverterFullScaleADU);
    if (defaults) {
      // A sound answer with the default calibration is a finite signal
      // that the saturation bar can always show.
      Check(std::isfinite(m.Signal_UtileV));
      Check(m.Signal_UtileV >= -2.53 && m.Signal_UtileV <= 4.096 - 2.519);
      const std::int32_t bar = RoundToInt32Checked(m.Signal_UtileV / (4.096 - ds.OffsetV) * 100);
      Check(bar >= -161 && bar <= 100);
    }
  }

  // What the cycle shows and writes for it.
  (void)Format("%1.1f mV", {m.Signal_UtileV * 1000});
  (void)Format("%1.1f arcsec |  %1.1f R0 mm", {m.seeingArcSecZen, m.R0Zen});
  (void)Format("%1.0f ADU  %1.1f ADU NOISE", {m.MeanADU_NF, m.EC_ADU_NF});
  (void)Format("%1.1f ADU %1.3f V Scint RMS, SNR = %1.1f",
               {m.PowerScintADU, m.PowerScintVolts, m.PowerScintADU / 22});
  (void)Format("%1.1f \u00B0C", {m.TempInsideBox});
  double zen = 0;
  Compute_CorrectionZenith_Seeing(m.seeingArcSec, ds.HauteurSoleil, zen);
  (void)ToR0(zen);
  if (answer && m.ValidSeeing && m.Signal_UtileV > minMv / 1000.0) {
    const std::string line =
        FormatResultLine(m, [](TDateTime) { return std::string("3 May 2026 12:00:00"); });
    Check(line.size() > 2 && line.compare(line.size() - 2, 2, "\r\n") == 0);
    Check(line.find('\n') == line.size() - 1);
    int bars = 0;
    for (char c : line) bars += c == '|';
    Check(bars == 10);
  }
  try {
    (void)RoundToInt32Checked(m.Signal_UtileV / (4.096 - ds.OffsetV) * 100);
  } catch (const ERangeCheckError&) {
  }
  return 0;
}
