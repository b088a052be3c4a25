// Decoding of a measurement report into physical values, the seeing physics
// and its zenith corrections. Pure functions, apart from the clock read that
// stamps the measurement.
#pragma once

#include <cstdint>

#include "measure/Declarations.h"

namespace quorvel {

// The instrument's 16-bit converter: full scale in volts and in counts.
constexpr double kConverterFullScaleV = 4.096;
constexpr double kConverterFullScaleADU = 65535.0;
constexpr double kVoltsPerADU = kConverterFullScaleV / kConverterFullScaleADU;
// Scintillation-to-seeing factor, divided by the filtered-channel gain.
constexpr double kSeeingScale = 1900.0;
// Seeing window in arcseconds, both bounds exclusive.
constexpr double kSeeingMinArcsec = 0.1;
constexpr double kSeeingMaxArcsec = 10.0;
// Exponent of the airmass in both zenith corrections.
constexpr double kZenithExponent = 0.6;

// Big-endian uint32 / float32 at buffer indexes Index+1 .. Index+4, where Index
// is the offset after the report ID (0 = the command byte), 0..60. An index
// outside that range raises "Range check error".
std::uint32_t decodeFromW(const TReportBuffer& BufferOUT, std::uint8_t Index);
float decodeFrom(const TReportBuffer& BufferOUT, std::uint8_t Index);

// The seeing window test: 0.1 < seeing < 10, NaN is not valid.
inline bool IsSeeingValid(double seeingArcSec) {
  return kSeeingMinArcsec < seeingArcSec && seeingArcSec < kSeeingMaxArcsec;
}

// The converter values of a 0x81 answer, as the instrument sends them.
struct TMeasurementCounts {
  float MeanADU_NF = 0;
  float EC_ADU_NF = 0;
  float MeanADU_F = 0;
  float PowerScintADU = 0;
  std::uint32_t NbSamples = 0;
  float TempInsideBox = 0;
};

TMeasurementCounts DecodeMeasurementCounts(const TReportBuffer& BufferOUT);

// Fills DataOutMes (all but AZ and ELV) from the 0x81 answer. Never raises: an
// error part-way stops the decode with ValidSeeing false.
void ConvertDataToPhysValues(TDataSystem DataSystem, TReportBuffer BufferOUT,
                             TDataOutMes& DataOutMes);
// The same from counts decoded already (the answer check hands them over).
void ConvertDataToPhysValues(const TDataSystem& DataSystem, const TMeasurementCounts& counts,
                             TDataOutMes& DataOutMes);

// Seeing shrinks, r0 grows with the airmass removed: value * cos(z)^0.6 and
// value * (1/cos z)^0.6. Below the horizon both give NaN. The out value is set
// to 0 first; the result is false only if the computation itself failed.
bool Compute_CorrectionZenith_Seeing(double ValeurSeeing, double HauteurSoleil,
                                     double& valeurzenSeeing);
bool Compute_CorrectionZenith_R0(double ValeurR0, double HauteurSoleil, double& valeurzenR0);

// r0 in millimetres for a seeing in arcseconds, at GeneralParams.WaveLength_m.
double ToR0(double SeeingArcsec);

// lambda * 1000 * 180 * 3600 / pi (mm * arcsec); 113.4456 at 550 nm.
double R0Constant();

}  // namespace quorvel
