// quorvel-sun: the Sun's position at an instant and site, from the program's
// own ephemeris. See --help. The default site is the one the operator set in
// quorvel's Setup dialog (the settings file, or QUORVEL_SETTINGS).
#include <iostream>
#include <string>
#include <vector>

#include "common/Angles.h"
#include "measure/Declarations.h"
#include "records/ProgramSettings.h"
#include "records/SettingsStore.h"
#include "sun/SunReport.h"

int main(int argc, char** argv) {
  using namespace quorvel;
  TDatabaseRegistry settings;
  // Unreadable values leave the program's start-up site in place.
  ReadStartupSettings(settings);
  const ephem::TSunSite site{SetupLocation.Latitude * kRadToDeg,
                             -SetupLocation.Longitude * kRadToDeg, SetupLocation.AltitudeM};
  const std::vector<std::string> args(argv + 1, argv + argc);
  return ephem::RunSunTool(args, std::cin, std::cout, std::cerr, site);
}
