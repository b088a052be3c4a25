// The ephemeris engine: the observing site, the orbit records and the
// reductions that take the Earth's heliocentric position to the Sun's
// topocentric place. An engine lives for one Sun position request.
//
// Only the Sun is built here. The planet records are named so that the
// engine's layout is complete, but their theories are not part of this program.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

#include "common/DateTime.h"
#include "ephemeris/Nutation.h"
#include "ephemeris/Orbit.h"
#include "ephemeris/PlanetParams.h"
#include "ephemeris/Precession.h"
#include "ephemeris/Vector3.h"

namespace quorvel::ephem {

// The outputs of Altaz_Loc, in the order of the result record.
struct TAltazResult {
  double Local_apparent_sidereal_time = 0;  // rad
  double Atmospheric_refraction = 0;        // degrees
  double Atmospheric_refraction_ra = 0;     // seconds of time
  double Atmospheric_refraction_dc = 0;     // arcseconds
  double Topocentric_Altitude = 0;          // rad, refraction included
  double Topocentric_Azimuth = 0;           // rad, from north through east
  double Topocentric_RA = 0;                // rad, refracted, of date
  double Topocentric_Dec = 0;
  double LocalRA_2000 = 0;  // refracted direction precessed to J2000
  double LocalDEC_2000 = 0;
  double LocalRA_2000_nfr = 0;  // before refraction, J2000
  double LocalDEC_2000_nfr = 0;
  double approx_local_meridian_transit = 0;  // UT of day as an angle
  double rises_approx = 0;
  double sets_approx = 0;
  std::uint16_t rises_set_Id = 0;
};

// The Sun (or a body) seen from the site, as Altaz_Loc forms it.
struct THorizontalPlace {
  double last = 0;                // local apparent sidereal time, rad
  double ra = 0, dec = 0;         // topocentric, before refraction, rad
  double sinPhi = 0, cosPhi = 0;  // of the geodetic latitude, which the horizon follows
  double az = 0;                  // degrees from north through east, not normalised
  double alt = 0;                 // degrees, refraction included
  double R = 0;                   // the refraction, degrees
};

class TEphemeridsObj {
 public:
  // --- site, orbits and the Sun (one request) ---

  // Stores the site and atmosphere: Altitude in metres, Temperature in degrees
  // C, Pression_mb in millibar, latitude_in in radians (north positive),
  // longitude_in in radians (west positive); then fills the orbit records.
  void InitEphemeridsEngine(double Altitude, double Temperature, double Pression_mb,
                            double latitude_in, double longitude_in);
  // The site and atmosphere alone, as InitEphemeridsEngine stores them.
  void InitSite(double Altitude, double Temperature, double Pression_mb, double latitude_in,
                double longitude_in);
  void InitOrbites();
  // The Earth's record alone, as InitOrbites fills it.
  void InitOrbitEarth();
  // The Earth's heliocentric position at DateTime (UTC) into A_Rayon_earth and
  // polar_coordinates_of_earth.
  void InitOrbit_Earth_Ephemerids_Engine(TDateTime DateTime);
  TPlanetparamsOUT ComputeSunParameters(TDateTime DateTime);
  // Apparent geocentric place of the Sun at Julian_day, and its topocentric
  // place at the site.
  void Dosun(double Julian_day, double& Apparent_longitude, double& Geocentric_ra,
             double& Geocentric_dec, TAltazResult& place);
  // Topocentric_Azimuth and Topocentric_Altitude of Dosun at Julian_day, bit
  // for bit, without what only the other outputs need: the Earth's direction
  // at Julian_day (its distance is enough), the daily motions, the apparent
  // longitude, the rise and set, the refracted equatorial place and the J2000
  // places. Needs the site and the Earth's record (InitSite, InitOrbitEarth).
  void SunAzimuthElevation(double Julian_day, double& Az, double& ELV);

  // --- orbit theory ---

  // Heliocentric position of the body of Orbit at Julian: rect in AU, equator
  // and equinox of J2000; polar = (ecliptic longitude, latitude, distance).
  // Failures are reported to the operator and the computation goes on; the
  // result is always true.
  bool Kepler(std::string_view Appel, double Julian, double Seuil_Muller, TVector3& rect,
              TVector3& polar, TOrbit& Orbit);
  // The Earth's element procedure and perturbation procedure.
  void oearth(TOrbit& orbit, double Julian);
  void cearth(TOrbit& orbit);
  // polar[2] of Kepler on orbit_earth at Julian, the heliocentric distance
  // (AU), alone; the same failures are reported under the label Appel.
  double EarthDistance(std::string_view Appel, double Julian);

  // --- horizontal coordinates ---

  // From the apparent geocentric place pol = (ra, dec, distance AU) of date to
  // the site: sidereal time, transit/rise/set, parallax, aberration, azimuth,
  // refracted elevation and the refracted place of date and of J2000.
  // Motion_ra and Motion_dec are the body's daily motions, radians per day.
  void Altaz_Loc(const TVector3& pol, double longitude_east_deg, double Julian, double Motion_ra,
                 double Motion_dec, TAltazResult& out) const;
  // The same with the nutation, obliquity and precession of Julian already formed.
  void Altaz_Loc(const TVector3& pol, double longitude_east_deg, double Julian, double Motion_ra,
                 double Motion_dec, const TNutationOfDate& nut, const TPrecessionOfDate& prec,
                 TAltazResult& out) const;
  // Estimate of the day's transit, rise and set from the local hour angle.
  void transit_time(double Julian, double Angle_horaire, double declinaison, double Motion_ra,
                    double Motion_dec, double& approx_local_meridian_transit, double& rises_approx,
                    double& sets_approx, std::uint16_t& rises_set_Id) const;
  void Diurnal_parallax(double last, double dist, double& ra, double& dec) const;
  void Diurnal_aberration(double Last, double& ra, double& dec) const;
  // Refraction in degrees for a true altitude in degrees, with the engine's
  // pressure and temperature.
  double Refrac(double altitude) const;
  // The part of Altaz_Loc that the azimuth and elevation need: sidereal time,
  // diurnal parallax and aberration, azimuth and refracted altitude.
  THorizontalPlace HorizontalPlace(const TVector3& pol, double longitude_east_deg, double Julian,
                                   const TNutationOfDate& nut) const;

  // --- state (every field zero until initialised) ---

  TVector3 ecliptic_polar_coordinates = {};  // the Moon's, for its rise altitude
  TVector3 A_Rayon_earth = {};               // AU, equator and equinox of J2000
  TVector3 polar_coordinates_of_earth = {};  // ecliptic longitude, latitude (rad), AU
  double Pression_mb = 0;                    // millibar, for refraction
  double longitude = 0;                      // site, degrees, east positive
  double Distance_centre_terre = 0;          // observer from the centre, equatorial radii
  double geodesic_latitude = 0;              // degrees
  double Temperature = 0;                    // degrees C, for refraction
  double t_latitude = 0;                     // geocentric latitude, degrees
  TOrbit orbit_earth;
  double Sav_T = 0;  // centuries from 1900, from oearth to cearth
  double Sav_M = 0;  // the Sun's mean anomaly, degrees
  TOrbit orbit_mercury, orbit_venus, orbit_mars, orbit_Jupiter, orbit_Saturn, orbit_Uranus,
      orbit_Neptune, orbit_Asteroid, orbit_Comet, orbit_pluton;
  std::uint8_t Numero_objet = 0;  // body being reduced: 0 Sun, 3 Moon

 private:
  // Julian day of the Earth's position now held in A_Rayon_earth and
  // polar_coordinates_of_earth (NaN: none). The Earth's theory is a pure
  // function of the date, so a second evaluation for the same date is skipped.
  double FEarthJulian = std::numeric_limits<double>::quiet_NaN();
  void EarthAt(std::string_view Appel, double Julian);
  // The Earth's elements that fix its distance (oearth's first part).
  void EarthDistanceElements(TOrbit& orbit, double Julian);
  // The Sun's direction at Julian_day seen across the light time tau, equator
  // and equinox of J2000 (the Earth's position at Julian_day - tau, reversed).
  TVector3 SunDirectionJ2000(double Julian_day, double tau);
};

}  // namespace quorvel::ephem
