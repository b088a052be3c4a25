#include "StartupDefaults.h"

#include "measure/Declarations.h"
#include "records/BuildStamp.h"
#include "records/DataFolder.h"

namespace quorvel {

bool InitStartupDefaults(const std::string& dataDirOverride) {
  GeneralParams = TGeneralParams{};
  GeneralParams.PathMainRootSav = DataFolderPath(dataDirOverride);
  const bool folderOk = CreateDataFolder(GeneralParams.PathMainRootSav);
  S_VersionString = BuildVersionString();
  SetupLocation = TSetupLocation{};
  return folderOk;
}

}  // namespace quorvel
