// The five values the program keeps in the settings store, under "\General".
#pragma once

#include <string>
#include <vector>

#include "records/SettingsStore.h"

namespace quorvel {

inline constexpr char kSettingsSection[] = "\\General";
inline constexpr char kIdRetentionMaxPoints[] = "RetentionMaxPoints";  // kind 18
inline constexpr char kIdMinSignal[] = "MinSignal_mV_Meas";            // kind 18
inline constexpr char kIdLatitude[] = "latitude";                      // kind 5, rad
inline constexpr char kIdLongitude[] = "longitude";                    // kind 5, rad, west +
inline constexpr char kIdAltitude[] = "Altitude";                      // kind 5, m

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

// Stores the five current values (what the setup dialog does on OK).
void WriteProgramSettings(TDatabaseRegistry& reg);

}  // namespace quorvel
