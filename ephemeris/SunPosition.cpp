// The apparent place of the Sun and the Sun position service.
#include "ephemeris/SunPosition.h"

#include <cmath>

#include "ephemeris/Calendar.h"
#include "ephemeris/Directions.h"
#include "ephemeris/Engine.h"
#include "ephemeris/KeplerSolver.h"
#include "ephemeris/Nutation.h"
#include "ephemeris/Precession.h"

namespace quorvel::ephem {

namespace {

// Speed of light, AU per day (light time for 1 AU 499.004782 s, IAU 1976).
constexpr double kLightAuPerDay = 173.1446327;
// One hour as a date-time step.
constexpr double kOneHour = 1.0 / 24.0;

// One hour after DateTime. Before 1899-12-30 a date-time value's fraction
// counts forward from midnight in absolute value, so a plain addition would
// step back in time there and turn the hourly speeds round.
TDateTime OneHourLater(TDateTime DateTime) {
  if (DateTime >= 0) return DateTime + kOneHour;
  const double date = std::trunc(DateTime);
  const double instant = date + (date - DateTime) + kOneHour;  // continuous days
  const double newDate = std::floor(instant);
  return ComposeDateTime(newDate, instant - newDate);
}

}  // namespace

void TEphemeridsObj::EarthAt(std::string_view Appel, double Julian) {
  if (Julian == FEarthJulian) return;
  Kepler(Appel, Julian, kKeplerThreshold, A_Rayon_earth, polar_coordinates_of_earth, orbit_earth);
  FEarthJulian = Julian;
}

void TEphemeridsObj::InitOrbit_Earth_Ephemerids_Engine(TDateTime DateTime) {
  EarthAt("InitOrbit_Earth_Ephemerids_Engine", Convert_TdateTime2Julian_day(DateTime));
}

TPlanetparamsOUT TEphemeridsObj::ComputeSunParameters(TDateTime DateTime) {
  TPlanetparamsOUT out;
  out.Julian_Day = Convert_TdateTime2Julian_day(DateTime);
  EarthAt("ComputeSunParameters", out.Julian_Day);

  TAltazResult place;
  Dosun(out.Julian_Day, out.Apparent_longitude, out.Geocentric_ra, out.Geocentric_dec, place);
  out.Local_apparent_sidereal_time = place.Local_apparent_sidereal_time;
  out.Atmospheric_refraction = place.Atmospheric_refraction;
  out.Atmospheric_refraction_ra = place.Atmospheric_refraction_ra;
  out.Atmospheric_refraction_dc = place.Atmospheric_refraction_dc;
  out.Topocentric_Altitude = place.Topocentric_Altitude;
  out.Topocentric_Azimuth = place.Topocentric_Azimuth;
  out.Topocentric_RA_Now = place.Topocentric_RA;
  out.Topocentric_Dec_now = place.Topocentric_Dec;
  out.Topocentric_RA_2000 = place.LocalRA_2000;
  out.Topocentric_DEC_2000 = place.LocalDEC_2000;
  out.Topocentric_RA_2000_norefract = place.LocalRA_2000_nfr;
  out.Topocentric_DEC_2000_norefract = place.LocalDEC_2000_nfr;
  out.approx_local_meridian_transit = place.approx_local_meridian_transit;
  out.rises_approx = place.rises_approx;
  out.sets_approx = place.sets_approx;
  out.rises_set_Id = place.rises_set_Id;

  Remet2Pi(out.Topocentric_RA_Now);
  Remet2Pi(out.Topocentric_RA_2000);
  Remet2Pi(out.Geocentric_ra);
  return out;
}

TVector3 TEphemeridsObj::SunDirectionJ2000(double Julian_day, double tau) {
  TVector3 ecr, pol;
  Kepler("Dosun", Julian_day - tau, kKeplerThreshold, ecr, pol, orbit_earth);
  for (double& c : ecr) c = -c;
  return ecr;
}

namespace {

// The apparent place of date of the direction ecr (J2000): precession and
// nutation of the date turn ecr in place; pol = (ra, dec, distance).
void ApparentPlace(TVector3& ecr, const TNutationOfDate& nut, const TPrecessionOfDate& prec,
                   TVector3& pol) {
  prec.Apply(ecr, TdirPrecess::J2000_to_JNOW);
  nutate(nut, ecr);
  showrd(ecr, pol);
}

}  // namespace

void TEphemeridsObj::Dosun(double Julian_day, double& Apparent_longitude, double& Geocentric_ra,
                           double& Geocentric_dec, TAltazResult& place) {
  Numero_objet = 0;

  // The Earth at the time the light left the Sun. That one correction stands
  // for the annual aberration too; no separate aberration or deflection.
  const double tau = polar_coordinates_of_earth[2] / kLightAuPerDay;
  TVector3 ecr = SunDirectionJ2000(Julian_day, tau);  // apparent direction of the Sun
  TVector3 rec;
  for (int i = 0; i < 3; ++i) rec[i] = -A_Rayon_earth[i];  // geometric direction now

  // Daily motion from the two directions, light time apart.
  double dra, ddec;
  Deltap(ecr, rec, dra, ddec);
  const double motion_day_ascension = dra / tau;
  const double motion_day_declination = ddec / tau;

  // Nutation, obliquity and precession of the date, formed once for the
  // apparent place, the sidereal time and the J2000 places.
  const TNutationOfDate nut = NutationOfDate(Julian_day);
  const TPrecessionOfDate prec(Julian_day);
  TVector3 pol;
  ApparentPlace(ecr, nut, prec, pol);

  // Mean obliquity, without the nutation in longitude.
  Apparent_longitude = zatan2(ecr[0], nut.coseps * ecr[1] + nut.sineps * ecr[2]);
  Geocentric_ra = Inside2pi(pol[0]);
  Geocentric_dec = pol[1];

  Altaz_Loc(pol, longitude, Julian_day, motion_day_ascension, motion_day_declination, nut, prec,
            place);
}

void TEphemeridsObj::SunAzimuthElevation(double Julian_day, double& Az, double& ELV) {
  // As InitOrbit_Earth_Ephemerids_Engine, ComputeSunParameters and Dosun, in
  // their order, with their failure labels.
  const double tau =
      EarthDistance("InitOrbit_Earth_Ephemerids_Engine", Julian_day) / kLightAuPerDay;
  TVector3 ecr = SunDirectionJ2000(Julian_day, tau);
  const TNutationOfDate nut = NutationOfDate(Julian_day);
  const TPrecessionOfDate prec(Julian_day);
  TVector3 pol;
  ApparentPlace(ecr, nut, prec, pol);
  const THorizontalPlace p = HorizontalPlace(pol, longitude, Julian_day, nut);
  Az = Inside2pi(p.az * kDegToRad);
  ELV = p.alt * kDegToRad;
}

TPlanetparamsOUT GetEphemSunBasic(TDateTime DateTime, double longitude, double latitude,
                                  double AltitudeM) {
  TEphemeridsObj engine;
  engine.InitEphemeridsEngine(AltitudeM, kStandardTemperatureC, kStandardPressureMb, latitude,
                              longitude);
  engine.InitOrbit_Earth_Ephemerids_Engine(DateTime);
  TPlanetparamsOUT T1 = engine.ComputeSunParameters(DateTime);
  const TDateTime later = OneHourLater(DateTime);
  engine.InitOrbit_Earth_Ephemerids_Engine(later);
  const TPlanetparamsOUT T2 = engine.ComputeSunParameters(later);
  T1.Speed_RA = T2.Topocentric_RA_Now - T1.Topocentric_RA_Now;
  T1.Speed_DEC = T2.Topocentric_Dec_now - T1.Topocentric_Dec_now;
  return T1;
}

TPlanetparamsOUT GetEphemSunAt(TDateTime DateTime, double longitude, double latitude,
                               double AltitudeM) {
  TEphemeridsObj engine;
  engine.InitEphemeridsEngine(AltitudeM, kStandardTemperatureC, kStandardPressureMb, latitude,
                              longitude);
  engine.InitOrbit_Earth_Ephemerids_Engine(DateTime);
  return engine.ComputeSunParameters(DateTime);
}

void calcul_SUN_AZ_Elevation(TDateTime Date_UT, double longitude, double latitude, double AltitudeM,
                             double& Az, double& ELV) {
  // GetEphemSunAt's azimuth and elevation, computed alone: no evaluation one
  // hour later (it only gives the hourly speeds), no records of other bodies.
  TEphemeridsObj engine;
  engine.InitSite(AltitudeM, kStandardTemperatureC, kStandardPressureMb, latitude, longitude);
  engine.InitOrbitEarth();
  engine.SunAzimuthElevation(Convert_TdateTime2Julian_day(Date_UT), Az, ELV);
}

}  // namespace quorvel::ephem
