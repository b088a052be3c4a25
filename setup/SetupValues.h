// The values the setup dialog edits and their conversion to and from the
// dialog's texts. Plain C++, no Qt.
#pragma once

#include <cstdint>
#include <string>

#include "common/Errors.h"
#include "measure/Declarations.h"
#include "measure/SeeingGlance.h"

namespace quorvel {

// The program values edited by the setup dialog.
struct TSetupValues {
  std::uint16_t MaxPointsDisplayed = 0;  // rolling-buffer capacity
  std::uint16_t MinValue_mV = 0;         // minimum useful Sun signal
  double Latitude = 0;                   // rad, north positive
  double Longitude = 0;                  // rad, west positive
  double AltitudeM = 0;                  // m
  TSeeingClasses Classes;                // the big read-out's classes
};

// What the dialog's controls hold.
struct TSetupTexts {
  int SecRetention = 0;       // spin box value
  int MinV = 0;               // spin box value
  std::string Latitude;       // degrees, no sign
  std::string LatitudeSide;   // "N", "S" or "" (no selection)
  std::string Longitude;      // degrees, no sign
  std::string LongitudeSide;  // "E", "W" or ""
  std::string Altitude;       // metres
  // The seeing classes: upper limits in arcseconds, and what they apply to.
  double ExcellentMax = 1, GoodMax = 2, FairMax = 3;
  bool ClassesAtZenith = true;
};

enum class TSetupField { Retention, MinSignal, Longitude, Latitude, Altitude, Classes };

// The dialog's texts cannot all be applied. Carries the control to go back to.
class ESetupInputError : public Exception {
 public:
  ESetupInputError(TSetupField field, const std::string& message)
      : Exception(message), Field(field) {}
  TSetupField Field;
};

// The largest retention a 16-bit point count holds.
constexpr int kMaxRetentionPoints = 65535;

// Fills the texts: angles as "%1.4f" of the magnitude in degrees with N/S and
// E/W from the sign (0 shows S and E), the altitude as "%1.0f".
TSetupTexts SetupTextsFromValues(const TSetupValues& values);

// Reads the texts back: degrees to radians, negated for S and for E; anything
// but "S" (resp. "E") gives a positive angle. Raises ESetupInputError, before
// anything is returned, for an empty or unreadable field, a value that is not
// a finite number, or a retention above 65535 (it would wrap around in 16
// bits), or seeing class limits that do not increase: all values are applied
// together or none.
TSetupValues SetupValuesFromTexts(const TSetupTexts& texts);

TSetupValues SetupValuesFromProgram(const TGeneralParams& params, const TSetupLocation& site,
                                    const TSeeingClasses& classes = SeeingClasses);

// Applies accepted values to the program's records, in the order the program
// has always used: retention and minimum signal, latitude, longitude,
// altitude; then the seeing classes.
void ApplySetupValues(const TSetupValues& values, TGeneralParams& params, TSetupLocation& site,
                      TSeeingClasses& classes = SeeingClasses);

}  // namespace quorvel
