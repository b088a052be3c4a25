#include "ComputeCore.h"

#include <cmath>
#include <exception>

#include "common/Angles.h"
#include "common/Clock.h"
#include "common/Errors.h"

namespace quorvel {

namespace {

// b^e for the non-integral exponent: 0 at b = 0, NaN for b < 0.
double PowerNonIntegral(double b, double e) {
  return b == 0 ? 0.0 : std::exp(e * std::log(b));
}

}  // namespace

std::uint32_t decodeFromW(const TReportBuffer& BufferOUT, std::uint8_t Index) {
  if (Index > 60) throw ERangeCheckError();
  return TUint32::FromWire(&BufferOUT[Index + 1u]).Value();
}

float decodeFrom(const TReportBuffer& BufferOUT, std::uint8_t Index) {
  if (Index > 60) throw ERangeCheckError();
  return TSingle32::FromWire(&BufferOUT[Index + 1u]).Value();
}

double R0Constant() {
  return static_cast<double>(GeneralParams.WaveLength_m) * 1000.0 * 180.0 * 3600.0 / kPi;
}

double ToR0(double SeeingArcsec) {
  return R0Constant() / SeeingArcsec;
}

bool Compute_CorrectionZenith_Seeing(double ValeurSeeing, double HauteurSoleil,
                                     double& valeurzenSeeing) {
  valeurzenSeeing = 0;
  const double z = kPi / 2 - HauteurSoleil;
  valeurzenSeeing = ValeurSeeing * PowerNonIntegral(std::cos(z), kZenithExponent);
  return true;
}

bool Compute_CorrectionZenith_R0(double ValeurR0, double HauteurSoleil, double& valeurzenR0) {
  valeurzenR0 = 0;
  const double z = kPi / 2 - HauteurSoleil;
  valeurzenR0 = ValeurR0 * PowerNonIntegral(1.0 / std::cos(z), kZenithExponent);
  return true;
}

TMeasurementCounts DecodeMeasurementCounts(const TReportBuffer& BufferOUT) {
  TMeasurementCounts c;
  c.MeanADU_NF = decodeFrom(BufferOUT, 1);
  c.EC_ADU_NF = decodeFrom(BufferOUT, 5);
  c.MeanADU_F = decodeFrom(BufferOUT, 9);
  c.PowerScintADU = decodeFrom(BufferOUT, 13);
  c.NbSamples = decodeFromW(BufferOUT, 17);
  c.TempInsideBox = decodeFrom(BufferOUT, 25);
  return c;
}

void ConvertDataToPhysValues(TDataSystem DataSystem, TReportBuffer BufferOUT,
                             TDataOutMes& DataOutMes) {
  TMeasurementCounts counts;
  try {
    counts = DecodeMeasurementCounts(BufferOUT);
  } catch (const std::exception&) {
    DataOutMes.ValidSeeing = false;
    return;
  }
  ConvertDataToPhysValues(DataSystem, counts, DataOutMes);
}

void ConvertDataToPhysValues(const TDataSystem& DataSystem, const TMeasurementCounts& counts,
                             TDataOutMes& DataOutMes) {
  TDataOutMes& d = DataOutMes;
  try {
    d.MeanADU_NF = counts.MeanADU_NF;
    d.EC_ADU_NF = counts.EC_ADU_NF;
    d.MeanADU_F = counts.MeanADU_F;
    d.PowerScintADU = counts.PowerScintADU;
    d.NbSamples = counts.NbSamples;

    d.MeanVolts_NF = kVoltsPerADU * d.MeanADU_NF;
    d.ECVolts_NF = kVoltsPerADU * d.EC_ADU_NF;
    d.PowerScintVolts = kVoltsPerADU * d.PowerScintADU;
    d.MeanScintVolts = kVoltsPerADU * d.MeanADU_F;

    d.Signal_UtileV = d.MeanVolts_NF / DataSystem.Gain_NotFilt - DataSystem.OffsetV;
    d.CurrentSolarA = d.Signal_UtileV / DataSystem.RShuntSolar;
    d.seeingArcSec =
        (kSeeingScale / DataSystem.Gain_Filtered) * (d.PowerScintVolts / d.Signal_UtileV);
    Compute_CorrectionZenith_Seeing(d.seeingArcSec, DataSystem.HauteurSoleil, d.seeingArcSecZen);
    d.ValidSeeing = IsSeeingValid(d.seeingArcSec);
    d.TempInsideBox = counts.TempInsideBox;

    if (d.seeingArcSec > 0 && d.ValidSeeing) {
      d.R0 = R0Constant() / d.seeingArcSec;
      Compute_CorrectionZenith_R0(d.R0, DataSystem.HauteurSoleil, d.R0Zen);
    } else {
      d.R0 = 0;
    }

    // One clock reading for both stamps, so that they name the same instant.
    const std::int64_t utcMs = CurrentClock().UtcMs();
    d.CurrentDate = LocalFromUtcMs(utcMs);
    d.UTCDate = DateTimeFromUnixMs(utcMs);
  } catch (const std::exception&) {
    // The decode reports nothing to its caller: it stops where it failed.
    d.ValidSeeing = false;
  }
}

}  // namespace quorvel
