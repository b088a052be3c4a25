// The Sun's position for the program: azimuth and elevation at the observing
// site, and the full result record. Each call builds its own engine; nothing is
// kept between calls, nothing is allocated, and the calls are independent of
// each other (safe from any thread as long as the message sink is).
#pragma once

#include "common/DateTime.h"
#include "ephemeris/PlanetParams.h"

namespace quorvel::ephem {

// Atmosphere assumed for refraction.
constexpr double kStandardTemperatureC = 10.0;
constexpr double kStandardPressureMb = 1010.0;

// The Sun at Date_UT (UTC) seen from the site: longitude in radians, WEST
// positive; latitude in radians, north positive; AltitudeM in metres. Az from
// north through east and ELV (refraction included), radians; the same values,
// bit for bit, as GetEphemSunBasic's Topocentric_Azimuth and
// Topocentric_Altitude, computed without the rest of the record.
// Raises EConvertError for a year outside 1..9999.
void calcul_SUN_AZ_Elevation(TDateTime Date_UT, double longitude, double latitude, double AltitudeM,
                             double& Az, double& ELV);

// The whole result for the same arguments; Speed_RA and Speed_DEC are the
// changes of the topocentric place over the following hour.
TPlanetparamsOUT GetEphemSunBasic(TDateTime DateTime, double longitude, double latitude,
                                  double AltitudeM);

// The same without the evaluation one hour later: every field as
// GetEphemSunBasic gives it, except Speed_RA and Speed_DEC, which stay 0.
// Half the cost; the quorvel-sun report uses it.
TPlanetparamsOUT GetEphemSunAt(TDateTime DateTime, double longitude, double latitude,
                               double AltitudeM);

}  // namespace quorvel::ephem
