// The five values the program keeps in the settings store, under "\General".
#pragma once

#include <string>
#include <vector>

#include "measure/SeeingGlance.h"
#include "records/SettingsStore.h"

namespace quorvel {

inline constexpr char kSettingsSection[] = "\\General";
inline constexpr char kIdRetentionMaxPoints[] = "RetentionMaxPoints";  // kind 18
inline constexpr char kIdMinSignal[] = "MinSignal_mV_Meas";            // kind 18
inline constexpr char kIdLatitude[] = "latitude";                      // kind 5, rad
inline constexpr char kIdLongitude[] = "longitude";                    // kind 5, rad, west +
inline constexpr char kIdAltitude[] = "Altitude";                      // kind 5, m
// The seeing classes of the big read-out, beside the five (newer versions).
inline constexpr char kIdSeeingExcellent[] = "SeeingExcellentMax";  // kind 5, arcsec
inline constexpr char kIdSeeingGood[] = "SeeingGoodMax";            // kind 5, arcsec
inline constexpr char kIdSeeingFair[] = "SeeingFairMax";            // kind 5, arcsec
inline constexpr char kIdSeeingZenith[] = "SeeingClassesAtZenith";  // kind 11

// Outcome of one start-up read.
struct TSettingRead {
  std::string IDString;
  bool Read = false;    // false: the variable kept its value
  std::string Message;  // why not (the store's ErrorMessage of that read)
};

// Reads the five values, in the order above, into GeneralParams and
// SetupLocation, each with the variable's current value as default. A value
// that reads but makes no sense for the program (retention 0, a latitude
// beyond the poles, a longitude beyond one turn, an altitude outside -500 m
// to 10000 m, NaN or infinities) is not applied either; its message then
// goes to reg.ErrorMessage as well. Returns one entry per value.
std::vector<TSettingRead> ReadStartupSettings(TDatabaseRegistry& reg);

// Reads the seeing classes into `classes`. A missing value is not an error
// (files of older versions do not have them): those entries come back with
// Read false and an empty Message. Values that read but do not make a set
// of increasing positive limits are not used: all four keep their values.
std::vector<TSettingRead> ReadSeeingClasses(TDatabaseRegistry& reg, TSeeingClasses& classes);

// Stores the five current values (what the setup dialog does on OK), then the
// seeing classes.
void WriteProgramSettings(TDatabaseRegistry& reg);

}  // namespace quorvel
