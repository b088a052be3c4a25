// From the apparent geocentric place to the observer: sidereal time, the day's
// transit, rise and set, diurnal parallax and aberration, azimuth, refracted
// elevation, and the refracted place of date and of J2000.
#include <cmath>
#include <limits>

#include "ephemeris/Calendar.h"
#include "ephemeris/Engine.h"
#include "ephemeris/Precession.h"
#include "ephemeris/Sidereal.h"

namespace quorvel::ephem {

namespace {

// Ratio of sidereal to solar time (IAU 1982).
constexpr double kSiderealPerSolar = 1.00273790934;
// Earth equatorial radii per astronomical unit (6378.14 km, IAU 1976).
constexpr double kEarthRadiiPerAu = 23454.78;
// Beyond this distance the diurnal parallax is below 0.005 arcsecond.
constexpr double kNoParallaxBeyondAu = 1758.8;
// Diurnal aberration at the equator: the observer's rotation speed over the
// speed of light, radians (0.3192 arcsecond).
constexpr double kDiurnalAberration = 1.5472e-6;
// Seconds of time per degree of hour angle.
constexpr double kTimeSecondsPerDegree = 240.0;
// Arcseconds of right ascension per second of time.
constexpr double kArcsecPerTimeSecond = 15.0;

// Sine of the altitude of the centre at rise and set: the Sun at -50'
// (semidiameter 16' and horizontal refraction 34'), other bodies at -34'.
constexpr double kSinSunRiseAltitude = -0.014543897651582658;
constexpr double kSinRefractionAtHorizon = -0.009890037858741148;
// The Moon: parallax minus semidiameter (0.2725 of the parallax), minus the
// horizontal refraction 34' and a small constant, radians.
constexpr double kMoonParallaxFactor = 0.7274924;
constexpr double kHorizontalRefractionRad = 0.009890199094634533;
constexpr double kMoonRiseConstant = 3.874e-7;
// sin(34') in the rate correction of the hour angle at rise and set.
constexpr double kSin34Arcmin = 0.009890037858741148;

constexpr std::uint8_t kSun = 0;
constexpr std::uint8_t kMoon = 3;

// Into [-pi, pi]. Non-finite values are left as they are (no endless loop);
// a huge finite one (a site a million kilometres up) is first cut to less
// than a turn, since adding 2 pi to it changes nothing.
double PlusMinusPi(double a) {
  if (!std::isfinite(a)) return a;
  a = ReduceManyTurns(a, kTwoPi);
  while (a < -kPi) a += kTwoPi;
  while (a > kPi) a -= kTwoPi;
  return a;
}

// Into [0, 2 pi]. Non-finite values are left as they are.
double ZeroToTwoPi(double a) {
  if (!std::isfinite(a)) return a;
  a = ReduceManyTurns(a, kTwoPi);
  while (a < 0) a += kTwoPi;
  while (a > kTwoPi) a -= kTwoPi;
  return a;
}

// The direction (ra, dec) of date precessed to J2000.
void ToJ2000(double ra, double dec, const TPrecessionOfDate& prec, double& ra2000,
             double& dec2000) {
  const double cd = std::cos(dec);
  TVector3 v = {cd * std::cos(ra), cd * std::sin(ra), std::sin(dec)};
  prec.Apply(v, TdirPrecess::JNOW_to_J2000);
  dec2000 = std::asin(v[2]);
  const double cosDec = std::cos(dec2000);
  const double q = v[0] / cosDec;
  double a;
  if (std::fabs(q - 1) <= 1e-15)
    a = 0;
  else if (std::fabs(q + 1) <= 1e-15)
    a = kPi;
  else if (std::fabs(q) > 1)
    a = 0;  // rounding pushed q out of the arccosine's domain
  else
    a = std::acos(q);  // NaN stays NaN
  if (v[1] / cosDec < 0) a = -a;
  ra2000 = ZeroToTwoPi(a);
}

}  // namespace

void TEphemeridsObj::Altaz_Loc(const TVector3& pol, double longitude_east_deg, double Julian,
                               double Motion_ra, double Motion_dec, TAltazResult& out) const {
  Altaz_Loc(pol, longitude_east_deg, Julian, Motion_ra, Motion_dec, NutationOfDate(Julian),
            TPrecessionOfDate(Julian), out);
}

THorizontalPlace TEphemeridsObj::HorizontalPlace(const TVector3& pol, double longitude_east_deg,
                                                 double Julian, const TNutationOfDate& nut) const {
  THorizontalPlace p;
  p.last = Calcule_Sideral(Julian, longitude_east_deg, nut) * kDegToRad / kTimeSecondsPerDegree;
  const double last = p.last;
  double ra = pol[0];
  double dec = pol[1];
  const double dist = pol[2];

  Diurnal_parallax(last, dist, ra, dec);
  Diurnal_aberration(last, ra, dec);
  p.ra = ra;
  p.dec = dec;

  // Azimuth from north through east and altitude; the horizon is the geodetic one.
  const double H = last - ra;
  const double phi = geodesic_latitude * kDegToRad;
  p.sinPhi = std::sin(phi);
  p.cosPhi = std::cos(phi);
  const double sinPhi = p.sinPhi, cosPhi = p.cosPhi;
  const double sinDec = std::sin(dec), cosDec = std::cos(dec);
  const double cosH = std::cos(H);
  const double N = -cosDec * std::sin(H);
  const double D = sinDec * cosPhi - cosDec * cosH * sinPhi;
  p.az = zatan2(D, N) * kRadToDeg;
  const double alt = std::asin(sinDec * sinPhi + cosDec * cosH * cosPhi) * kRadToDeg;

  p.R = Refrac(alt);
  p.alt = alt + p.R;
  return p;
}

void TEphemeridsObj::Altaz_Loc(const TVector3& pol, double longitude_east_deg, double Julian,
                               double Motion_ra, double Motion_dec, const TNutationOfDate& nut,
                               const TPrecessionOfDate& prec, TAltazResult& out) const {
  const THorizontalPlace p = HorizontalPlace(pol, longitude_east_deg, Julian, nut);
  const double last = p.last;
  out.Local_apparent_sidereal_time = last;

  // Rise and set stay NaN when they are not computed. The estimate starts
  // from the geocentric place.
  out.rises_approx = std::numeric_limits<double>::quiet_NaN();
  out.sets_approx = std::numeric_limits<double>::quiet_NaN();
  transit_time(Julian, last - pol[0], pol[1], Motion_ra, Motion_dec,
               out.approx_local_meridian_transit, out.rises_approx, out.sets_approx,
               out.rises_set_Id);

  const double ra0 = p.ra;  // topocentric, before refraction
  const double dec0 = p.dec;
  const double sinPhi = p.sinPhi, cosPhi = p.cosPhi;

  // Back to the equator with the refracted altitude.
  const double altRad = p.alt * kDegToRad;
  const double azRad = p.az * kDegToRad;
  const double y = std::sin(altRad);
  const double x = std::cos(altRad);
  const double z = std::cos(azRad);
  const double sH = -x * std::sin(azRad);
  const double cH = y * cosPhi - x * z * sinPhi;
  const double sd = y * sinPhi + x * z * cosPhi;
  const double H = zatan2(cH, sH);
  const double dec = std::asin(sd);
  const double ra = ZeroToTwoPi(last - H);

  out.Atmospheric_refraction_ra = kRadToArcsec * PlusMinusPi(ra - ra0) / kArcsecPerTimeSecond;
  out.Atmospheric_refraction_dc = kRadToArcsec * (dec - dec0);
  out.Atmospheric_refraction = p.R;

  out.Topocentric_Altitude = altRad;
  out.Topocentric_Azimuth = Inside2pi(azRad);
  out.Topocentric_RA = ra;
  out.Topocentric_Dec = dec;

  ToJ2000(ra, dec, prec, out.LocalRA_2000, out.LocalDEC_2000);
  ToJ2000(ra0, dec0, prec, out.LocalRA_2000_nfr, out.LocalDEC_2000_nfr);
}

void TEphemeridsObj::transit_time(double Julian, double Angle_horaire, double declinaison,
                                  double Motion_ra, double Motion_dec,
                                  double& approx_local_meridian_transit, double& rises_approx,
                                  double& sets_approx, std::uint16_t& rises_set_Id) const {
  const double phi = geodesic_latitude * kDegToRad;
  const double fracDay = ((Julian - 0.5) - std::floor(Julian - 0.5)) * kTwoPi;
  const double H = PlusMinusPi(Angle_horaire);
  const double dec = declinaison;

  // Transit.
  const double k = kSiderealPerSolar - Motion_ra / kTwoPi;
  double h = fracDay - H / k;
  rises_set_Id = 0;
  approx_local_meridian_transit = Inside2pi(h);
  if (h / kTwoPi > 1) rises_set_Id |= kTransitAfter24h;
  if (h < 0) rises_set_Id |= kTransitBefore0h;

  if ((dec >= kPi / 2 - phi && phi >= 0) || (dec <= -kPi / 2 - phi && phi < 0)) {
    rises_set_Id |= kCircumpolar;
    return;
  }
  if ((dec <= phi - kPi / 2 && phi >= 0) || (dec >= kPi / 2 + phi && phi < 0)) {
    rises_set_Id |= kNeverRises;
    return;
  }

  double sinRiseAltitude;
  if (Numero_objet == kSun) {
    sinRiseAltitude = kSinSunRiseAltitude;
  } else if (Numero_objet == kMoon) {
    const double p = std::asin(1.0 / (kEarthRadiiPerAu * ecliptic_polar_coordinates[2]));
    sinRiseAltitude =
        std::sin(kMoonParallaxFactor * p - kHorizontalRefractionRad - kMoonRiseConstant);
  } else {
    sinRiseAltitude = kSinRefractionAtHorizon;
  }

  const double sinPhi = std::sin(phi), cosPhi = std::cos(phi);
  const double sinDec = std::sin(dec), cosDec = std::cos(dec);
  const double y = (sinRiseAltitude - sinPhi * sinDec) / (cosPhi * cosDec);
  if (!(y > -1 && y < 1)) return;  // does not cross the rise altitude today

  // Correction of the semi-diurnal arc for the motion in declination.
  const double z = -Motion_dec * (sinPhi - kSin34Arcmin * sinDec) /
                   (kTwoPi * cosPhi * cosDec * cosDec) / std::sqrt(1 - y * y);
  const double H0 = std::acos(y);

  h = fracDay - (H + H0) * (1 + z) / k;
  rises_approx = Inside2pi(h);
  if (h / kTwoPi > 1) rises_set_Id |= kRiseAfter24h;
  if (h < 0) rises_set_Id |= kRiseBefore0h;

  h = fracDay - (H - H0) * (1 - z) / k;
  sets_approx = Inside2pi(h);
  if (h / kTwoPi > 1) rises_set_Id |= kSetAfter24h;
  if (h < 0) rises_set_Id |= kSetBefore0h;
}

void TEphemeridsObj::Diurnal_parallax(double last, double dist, double& ra, double& dec) const {
  if (dist > kNoParallaxBeyondAu) return;
  const double phiC = t_latitude * kDegToRad;
  const double rho = Distance_centre_terre;
  const double D = dist * kEarthRadiiPerAu;  // Earth radii
  const double cd = std::cos(dec);
  const double cp = std::cos(phiC);
  const TVector3 t = {D * cd * std::cos(ra) - rho * cp * std::cos(last),
                      D * cd * std::sin(ra) - rho * cp * std::sin(last),
                      D * std::sin(dec) - rho * std::sin(phiC)};
  ra = zatan2(t[0], t[1]);
  dec = std::asin(t[2] / std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]));
}

void TEphemeridsObj::Diurnal_aberration(double Last, double& ra, double& dec) const {
  const double H = Last - ra;
  const double k = kDiurnalAberration * Distance_centre_terre * std::cos(t_latitude * kDegToRad);
  const double cd = std::cos(dec);
  if (cd != 0) ra += k * std::cos(H) / cd;
  dec += k * std::sin(H) * std::sin(dec);
}

}  // namespace quorvel::ephem
