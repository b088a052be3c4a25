// What the ephemeris reports for one body at one time.
#pragma once

#include <cstdint>

namespace quorvel::ephem {

// rises_set_Id flags of the transit, rise and set estimate.
enum TRiseSetFlag : std::uint16_t {
  kTransitAfter24h = 0x0001,
  kCircumpolar = 0x0002,  // no rise or set computed
  kRiseAfter24h = 0x0004,
  kRiseBefore0h = 0x0008,
  kSetAfter24h = 0x0010,
  kSetBefore0h = 0x0020,
  kTransitBefore0h = 0x0040,
  kNeverRises = 0x0100,  // no rise or set computed
};

// Angles in radians unless stated. Times of transit, rise and set are the
// Universal Time of day as an angle (2*pi = 24 h after 0 h UT of the day).
// Rise and set hold NaN when they were not computed (circumpolar, never rises,
// or the body does not reach the rise altitude on that day). The fields
// marked "not set" are not computed for the Sun and stay 0.
struct TPlanetparamsOUT {
  double Julian_Day = 0;
  double Apparent_longitude = 0;              // apparent ecliptic longitude, not normalised
  double True_geocentric_distance = 0;        // not set
  double equatorial_diameter = 0;             // not set
  double approx_visual_magnitude = 0;         // not set
  double ElongationObjet_Sun_From_Earth = 0;  // not set
  double Illumination = 0;                    // not set
  double Angle_Phase = 0;                     // not set
  double Geocentric_ra = 0;  // apparent, true equator and equinox of date, [0, 2*pi)
  double Geocentric_dec = 0;
  double Local_apparent_sidereal_time = 0;
  double Atmospheric_refraction = 0;     // degrees, added to the altitude
  double Atmospheric_refraction_ra = 0;  // seconds of time
  double Atmospheric_refraction_dc = 0;  // arcseconds
  double Topocentric_Altitude = 0;       // refraction included
  double Topocentric_Azimuth = 0;        // from north through east, [0, 2*pi]
  double Topocentric_RA_Now = 0;         // with refraction, of date, [0, 2*pi)
  double Topocentric_Dec_now = 0;
  double Topocentric_RA_2000 = 0;  // the same direction precessed to J2000
  double Topocentric_DEC_2000 = 0;
  double Topocentric_RA_2000_norefract = 0;  // before refraction, J2000
  double Topocentric_DEC_2000_norefract = 0;
  double approx_local_meridian_transit = 0;
  double rises_approx = 0;
  double sets_approx = 0;
  std::uint16_t rises_set_Id = 0;
  double Speed_RA = 0;   // rad per hour, no correction across 0 / 2*pi
  double Speed_DEC = 0;  // rad per hour
};

}  // namespace quorvel::ephem
