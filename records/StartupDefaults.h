// Program-wide start-up defaults, set once before the settings store and the
// main window exist.
#pragma once

#include <string>

namespace quorvel {

// Sets, in this order: GeneralParams.DoLogFile (true), MaxPointsDisplayed
// (1200), MinValue_mV (150), PathMainRootSav (the data folder, see
// DataFolderPath; created with its parents), WaveLength_m (5.5e-7 as float),
// S_VersionString (the build stamp), then SetupLocation: Lieu "None",
// Latitude 45.5 deg, Longitude -3.5 deg (radians, west positive), AltitudeM 0,
// Pays "None".
// `dataDirOverride` is the program's --data-dir (empty: QUORVEL_DATA_DIR or
// the documents folder). Returns whether the data folder exists afterwards;
// start-up goes on either way (the first results line will report the error).
bool InitStartupDefaults(const std::string& dataDirOverride = {});

}  // namespace quorvel
