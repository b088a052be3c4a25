// The Earth's heliocentric position: the orbit records, the general orbit
// routine and the Earth's low-precision theory (Newcomb's mean elements
// referred to 1900 January 0.5, with the periodic perturbations by Venus,
// Jupiter and the Moon of Meeus's "Astronomical Formulae for Calculators").
#include <cmath>

#include "common/EventLog.h"
#include "common/Format.h"
#include "ephemeris/Calendar.h"
#include "ephemeris/Engine.h"
#include "ephemeris/KeplerSolver.h"
#include "ephemeris/Obliquity.h"
#include "ephemeris/Precession.h"

namespace quorvel::ephem {

namespace {

// Gaussian gravitational constant as a daily motion, degrees per day, for a = 1 AU.
constexpr double kGaussDailyMotionDeg = 0.9856076686;

// The Earth's mean elements, degrees (angles) and AU, polynomials in T,
// Julian centuries from 1900 January 0.5.
constexpr double kMeanAnomaly[4] = {358.47583, 35999.04975, -0.00015, -0.0000033};
constexpr double kEccentricity[3] = {0.01675104, -0.0000418, -0.000000126};
constexpr double kInclination[4] = {-0.0130762, 0.0130855, -0.00000927, 0.000000014};
constexpr double kPerihelionArg[4] = {287.511505, 0.564792, 0.0001361, 0.000003333};
constexpr double kNodeLongitude[4] = {175.105679, -0.2416582, 0.00000794, -0.000000028};
constexpr double kSemiMajorAxis = 1.0000002;

// Arguments of the perturbations, degrees: A, B by Venus, C by Jupiter, D the
// lunar inequality (the Earth-Moon barycentre offset), E a long-period term,
// H by Venus.
constexpr double kArgA[2] = {153.23, 22518.7541};
constexpr double kArgB[2] = {216.57, 45037.5082};
constexpr double kArgC[2] = {312.69, 32964.3577};
constexpr double kArgH[2] = {353.4, 65928.7155};
constexpr double kArgD[3] = {350.74, 445267.1142, -0.00144};
constexpr double kArgE[2] = {231.19, 20.2};
// Amplitudes: longitude in degrees, radius in AU.
constexpr double kLonA = 0.00134, kLonB = 0.00154, kLonC = 0.002, kLonD = 0.00179, kLonE = 0.00178;
constexpr double kRadA = 0.00000543, kRadB = 0.00001575, kRadC = 0.00001627, kRadD = 0.00003076,
                 kRadH = 0.00000927;

// Cosine and sine of the mean obliquity of `equinox`; that of J2000, which
// the Earth's elements use, is formed once.
void EclipticToEquatorOf(double equinox, double& coseps, double& sineps) {
  struct Obliquity {
    double eps, coseps, sineps;
  };
  static const Obliquity kJ2000Obliquity = [] {
    Obliquity o{};
    Ecliptic_Obliquity(kJ2000, o.eps, o.coseps, o.sineps);
    return o;
  }();
  if (equinox == kJ2000) {
    coseps = kJ2000Obliquity.coseps;
    sineps = kJ2000Obliquity.sineps;
    return;
  }
  double eps;
  Ecliptic_Obliquity(equinox, eps, coseps, sineps);
}

// "Caller : <Appel>   S_1448<obname>S_1449<e> JD= <JD>", formed on failure only.
class KeplerLabel final : public TSolverLabel {
 public:
  KeplerLabel(std::string_view appel, const char* obname, double ecc, double jd)
      : appel_(appel), obname_(obname), ecc_(ecc), jd_(jd) {}
  std::string Text() const override {
    return "Caller : " + std::string(appel_) + "   " + "S_1448" + obname_ + "S_1449" +
           FormatGeneral(ecc_, 8) + " JD= " + FormatGeneral(jd_, 7);
  }

 private:
  std::string_view appel_;
  const char* obname_;
  double ecc_, jd_;
};

// The position in the orbit from the record's elements: the true anomaly nu
// and the radius r (AU); the record's mean longitude L, when set, moves on by
// the mean motion. Floating point does not trap, so the failures that would
// (empty or non-elliptic records) are recognised explicitly and reported; the
// computation then goes on with the values it has.
void PlaceInOrbit(std::string_view Appel, double Julian, double Seuil_Muller, TOrbit& Orbit,
                  double& nu, double& r) {
  const double a = Orbit.a;
  const double e = Orbit.ecc;
  const double M0 = Orbit.M;
  double E = 0, M = 0;
  const char* failure = nullptr;
  do {
    double n = Orbit.dm;
    if (n == 0) {
      const double a32 = a * std::sqrt(a);
      if (a < 0) {
        failure = kInvalidOperation;
        break;
      }
      if (a32 == 0) {
        failure = kDivisionByZero;
        break;
      }
      n = kGaussDailyMotionDeg / a32;
    }
    n *= Julian - Orbit.epoch;
    M = modtp((M0 + n) * kDegToRad);
    if (Orbit.L != 0) Orbit.L = mod360(Orbit.L + n);

    std::array<double, 4> p = {0.0, M / 2, M, 0.0};
    MullerResolving(KeplerLabel(Appel, Orbit.obname, e, Julian), MaxIter, Seuil_Muller, e, M, p,
                    FunctionKepler0_1, E);

    if (e == 1) {
      failure = kDivisionByZero;
      break;
    }
    if ((1 + e) / (1 - e) < 0) {
      failure = kInvalidOperation;
      break;
    }
    nu = modtp(2 * std::atan(std::sqrt((1 + e) / (1 - e)) * std::tan(E / 2)));
    r = a * (1 - e * e) / (1 + e * std::cos(nu));
  } while (false);
  if (failure != nullptr)
    ShowMessageError(std::string(Appel) + " [" + Orbit.obname + "]" + " ->" + failure);
}

// The arguments of the Earth's perturbations for T, centuries from 1900, radians.
struct TEarthArguments {
  double A, B, C, H, D, E;
};
inline TEarthArguments EarthArguments(double T) {
  return {(kArgA[0] + kArgA[1] * T) * kDegToRad,
          (kArgB[0] + kArgB[1] * T) * kDegToRad,
          (kArgC[0] + kArgC[1] * T) * kDegToRad,
          (kArgH[0] + kArgH[1] * T) * kDegToRad,
          (kArgD[0] + kArgD[1] * T + kArgD[2] * T * T) * kDegToRad,
          (kArgE[0] + kArgE[1] * T) * kDegToRad};
}
// The perturbation in longitude, radians.
inline double EarthLongitudeTerms(const TEarthArguments& g) {
  return (kLonA * std::cos(g.A) + kLonB * std::cos(g.B) + kLonC * std::cos(g.C) +
          kLonD * std::sin(g.D) + kLonE * std::sin(g.E)) *
         kDegToRad;
}
// The perturbation of the radius vector, AU.
inline double EarthRadiusTerms(const TEarthArguments& g) {
  return kRadA * std::sin(g.A) + kRadB * std::sin(g.B) + kRadC * std::sin(g.C) +
         kRadD * std::cos(g.D) + kRadH * std::sin(g.H);
}

constexpr TOrbit NamedOrbit(const char* name) {
  TOrbit o{};
  for (int k = 0; name[k] != '\0' && k < 23; ++k) o.obname[k] = name[k];
  return o;
}

constexpr TOrbit EarthOrbitRecord() {
  TOrbit o = NamedOrbit("Earth");
  o.epoch = 2446800.5;
  o.i = 0;
  o.Wo = 0;
  o.w_ = 102.884;
  o.a = 0.999999;
  o.dm = 0.985611;
  o.ecc = 0.016713;
  o.M = 1.1791;
  o.equinox = 2446800.5;
  o.mag = -3.86;
  o.sdiam = 0;
  o.oelmnt = &TEphemeridsObj::oearth;
  o.xoelmnt = true;
  o.celmnt2 = &TEphemeridsObj::cearth;
  o.xcelmnt2 = true;
  return o;
}

// The records as the engine starts them. The planetary theories are not part
// of this program: their records carry their names only.
constexpr TOrbit kEarthRecord = EarthOrbitRecord();
constexpr TOrbit kMercuryRecord = NamedOrbit("Mercury");
constexpr TOrbit kVenusRecord = NamedOrbit("Venus");
constexpr TOrbit kMarsRecord = NamedOrbit("Mars");
constexpr TOrbit kJupiterRecord = NamedOrbit("Jupiter");
constexpr TOrbit kSaturnRecord = NamedOrbit("Saturn");
constexpr TOrbit kUranusRecord = NamedOrbit("Uranus");
constexpr TOrbit kNeptuneRecord = NamedOrbit("Neptune");
constexpr TOrbit kPlutoRecord = NamedOrbit("Pluto");
constexpr TOrbit kEmptyRecord{};

}  // namespace

void TEphemeridsObj::InitOrbites() {
  InitOrbitEarth();
  orbit_mercury = kMercuryRecord;
  orbit_venus = kVenusRecord;
  orbit_mars = kMarsRecord;
  orbit_Jupiter = kJupiterRecord;
  orbit_Saturn = kSaturnRecord;
  orbit_Uranus = kUranusRecord;
  orbit_Neptune = kNeptuneRecord;
  orbit_pluton = kPlutoRecord;
  orbit_Asteroid = kEmptyRecord;
  orbit_Comet = kEmptyRecord;
}

void TEphemeridsObj::InitOrbitEarth() {
  orbit_earth = kEarthRecord;
}

void TEphemeridsObj::EarthDistanceElements(TOrbit& orbit, double Julian) {
  const double T = CenturiesFrom1900(Julian);
  const double T2 = T * T, T3 = T2 * T;
  orbit.epoch = Julian;
  Sav_T = T;
  const double M =
      mod360(kMeanAnomaly[0] + kMeanAnomaly[1] * T + kMeanAnomaly[2] * T2 + kMeanAnomaly[3] * T3);
  orbit.M = M;
  Sav_M = M;
  orbit.ecc = kEccentricity[0] + kEccentricity[1] * T + kEccentricity[2] * T2;
  orbit.a = kSemiMajorAxis;
  orbit.equinox = kJ2000;  // the elements refer to the ecliptic and equinox of J2000
}

void TEphemeridsObj::oearth(TOrbit& orbit, double Julian) {
  EarthDistanceElements(orbit, Julian);
  const double T = Sav_T;
  const double T2 = T * T, T3 = T2 * T;
  const double M = orbit.M;
  orbit.i = kInclination[0] + kInclination[1] * T + kInclination[2] * T2 + kInclination[3] * T3;
  orbit.w_ = mod360(kPerihelionArg[0] + kPerihelionArg[1] * T + kPerihelionArg[2] * T2 +
                    kPerihelionArg[3] * T3);
  orbit.Wo = mod360(kNodeLongitude[0] + kNodeLongitude[1] * T + kNodeLongitude[2] * T2 +
                    kNodeLongitude[3] * T3);
  orbit.L = mod360(orbit.w_ + M + orbit.Wo);
}

void TEphemeridsObj::cearth(TOrbit& orbit) {
  const TEarthArguments g = EarthArguments(Sav_T);
  orbit.L += EarthLongitudeTerms(g);
  orbit.r += EarthRadiusTerms(g);
}

double TEphemeridsObj::EarthDistance(std::string_view Appel, double Julian) {
  EarthDistanceElements(orbit_earth, Julian);
  double nu = 0, r = 0;
  PlaceInOrbit(Appel, Julian, kKeplerThreshold, orbit_earth, nu, r);
  return r + EarthRadiusTerms(EarthArguments(Sav_T));
}

bool TEphemeridsObj::Kepler(std::string_view Appel, double Julian, double Seuil_Muller,
                            TVector3& rect, TVector3& polar, TOrbit& Orbit) {
  if (Orbit.xoelmnt && Orbit.oelmnt != nullptr) (this->*Orbit.oelmnt)(Orbit, Julian);

  const double inclination = Orbit.i * kDegToRad;
  const double node = Orbit.Wo * kDegToRad;
  const double perihelionArg = Orbit.w_;
  const double M0 = Orbit.M;

  double nu = 0, r = 0;
  PlaceInOrbit(Appel, Julian, Seuil_Muller, Orbit, nu, r);

  // Argument of latitude, heliocentric ecliptic longitude and latitude.
  const double u = Orbit.L != 0 ? Orbit.L * kDegToRad + nu - M0 * kDegToRad - node
                                : nu + perihelionArg * kDegToRad;
  const double sinU = std::sin(u);
  double lambda = zatan2(std::cos(u), sinU * std::cos(inclination)) + node;
  double beta = std::asin(sinU * std::sin(inclination));

  if (Orbit.xcelmnt2 && Orbit.celmnt2 != nullptr) {
    Orbit.L = lambda;
    Orbit.r = r;
    (this->*Orbit.celmnt2)(Orbit);
    lambda = Orbit.L;
    r = Orbit.r;
    beta += Orbit.plat;
  }
  polar = {lambda, beta, r};

  // Ecliptic rectangular, then equatorial of the elements' equinox, then J2000.
  const double z = r * std::sin(beta);
  const double rcb = r * std::cos(beta);
  const double y = rcb * std::sin(lambda);
  const double x = rcb * std::cos(lambda);
  double coseps, sineps;
  EclipticToEquatorOf(Orbit.equinox, coseps, sineps);
  rect = {x, coseps * y - sineps * z, sineps * y + coseps * z};
  Precession_Apply(rect, Orbit.equinox, TdirPrecess::JNOW_to_J2000);
  return true;
}

}  // namespace quorvel::ephem
