#include "StartupDefaults.h"

#include "measure/Declarations.h"
#include "records/BuildStamp.h"
#include "records/DataFolder.h"

namespace quorvel {

bool InitStartupDefaults(const std::string& dataDirOverride) {
  constexpr double kDegToRad = 3.141592653589793 / 180.0;
  GeneralParams.DoLogFile = true;
  GeneralParams.MaxPointsDisplayed = 1200;
  GeneralParams.MinValue_mV = 150;
  GeneralParams.PathMainRootSav = DataFolderPath(dataDirOverride);
  const bool folderOk = CreateDataFolder(GeneralParams.PathMainRootSav);
  GeneralParams.WaveLength_m = 5.5e-7f;
  S_VersionString = BuildVersionString();
  SetupLocation.Lieu = "None";
  SetupLocation.Latitude = 45.5 * kDegToRad;
  SetupLocation.Longitude = -3.5 * kDegToRad;
  SetupLocation.AltitudeM = 0;
  SetupLocation.Pays = "None";
  return folderOk;
}

}  // namespace quorvel
