#include "ephemeris/Nutation.h"

#include <cmath>
#include <utility>

#include "ephemeris/Calendar.h"
#include "ephemeris/Obliquity.h"

namespace quorvel::ephem {

namespace {

// Fundamental arguments (IAU 1980 theory of nutation, polynomials in degrees of
// T, Julian centuries from J2000), in the order of the table's columns.
struct Polynomial3 {
  double c0, c1, c2, c3;
  double operator()(double T) const { return c0 + c1 * T + c2 * T * T + c3 * T * T * T; }
};
constexpr Polynomial3 kMoonAnomaly{134.9629814, 477198.8673981, 0.0086972, 0.00001778};
constexpr Polynomial3 kSunAnomaly{357.5277233, 35999.05034, -0.0001603, -0.00000333};
constexpr Polynomial3 kMoonLatitude{93.2719103, 483202.0175381, -0.0036825, 0.000003056};
constexpr Polynomial3 kMoonElongation{297.8503631, 445267.11148, -0.0019142, 0.000005278};
constexpr Polynomial3 kMoonNode{125.0445222, -1934.1362608, 0.00207833, 0.00000222};

// Largest multiple of each argument in the table.
constexpr int kMaxMultiple[5] = {3, 2, 4, 4, 2};

// Principal term (0 0 0 0 1) of the series, arcseconds and arcseconds per century.
constexpr double kPsi0 = -17.1996, kPsi0Rate = -0.01742;
constexpr double kEps0 = 9.2025, kEps0Rate = 0.00089;

// Units of the table's coefficients, arcseconds.
constexpr double kTermUnit = 0.0001;
constexpr double kRateUnit = 0.00001;

// The table's coefficients in arcseconds (a * 1e-4 and b * 1e-5 and so on),
// formed once at compile time.
struct Coefficients {
  double a, b, c, d;
};
struct CoefficientTable {
  Coefficients row[kNutationRows];
};
constexpr CoefficientTable MakeCoefficients() {
  CoefficientTable t{};
  for (int r = 0; r < kNutationRows; ++r)
    t.row[r] = {Nt[r][5] * kTermUnit, Nt[r][6] * kRateUnit, Nt[r][7] * kTermUnit,
                Nt[r][8] * kRateUnit};
  return t;
}
constexpr CoefficientTable kCoefficients = MakeCoefficients();

constexpr bool MultiplesWithinTables() {
  for (const auto& row : Nt)
    for (int m = 0; m < 5; ++m)
      if (row[m] > kMaxMultiple[m] || -row[m] > kMaxMultiple[m]) return false;
  return true;
}
static_assert(MultiplesWithinTables(), "a multiple exceeds its multiple-angle table");

// One term of the series. The sine and cosine of its argument are composed by
// angle addition over its non-zero multiples, in the table's order; which
// multiples are non-zero is known at compile time, so each row becomes
// straight-line code without the zero entries.
template <int Row>
constexpr int FirstNonZeroMultiple() {
  int m = 0;
  while (m < 4 && Nt[Row][m] == 0) ++m;
  return m;
}

template <int Row, int M>
inline void ComposeMultiple(const TMultipleAngles& ss, const TMultipleAngles& cc, double& sv,
                            double& cv) {
  constexpr int j = Nt[Row][M];
  if constexpr (j != 0) {
    constexpr int col = (j < 0 ? -j : j) - 1;
    const double su = j < 0 ? -ss[M][col] : ss[M][col];
    const double cu = cc[M][col];
    if constexpr (M == FirstNonZeroMultiple<Row>()) {
      sv = su;
      cv = cu;
    } else {
      const double s = su * cv + cu * sv;
      cv = cu * cv - su * sv;
      sv = s;
    }
  }
}

template <int Row>
inline void AddTerm(const TMultipleAngles& ss, const TMultipleAngles& cc, double T, double& sumPsi,
                    double& sumEps) {
  double sv = 0, cv = 0;
  ComposeMultiple<Row, 0>(ss, cc, sv, cv);
  ComposeMultiple<Row, 1>(ss, cc, sv, cv);
  ComposeMultiple<Row, 2>(ss, cc, sv, cv);
  ComposeMultiple<Row, 3>(ss, cc, sv, cv);
  ComposeMultiple<Row, 4>(ss, cc, sv, cv);
  constexpr Coefficients k = kCoefficients.row[Row];
  // A rate of 0 adds nothing.
  if constexpr (k.b != 0)
    sumPsi += (k.a + k.b * T) * sv;
  else
    sumPsi += k.a * sv;
  if constexpr (k.d != 0)
    sumEps += (k.c + k.d * T) * cv;
  else
    sumEps += k.c * cv;
}

template <int... Rows>
inline void SumSeries(const TMultipleAngles& ss, const TMultipleAngles& cc, double T,
                      double& sumPsi, double& sumEps, std::integer_sequence<int, Rows...>) {
  // Local sums stay in registers (the outputs could alias the tables).
  double psi = sumPsi, eps = sumEps;
  (AddTerm<Rows>(ss, cc, T, psi, eps), ...);
  sumPsi = psi;
  sumEps = eps;
}

double ArgumentRad(const Polynomial3& poly, double T) {
  return mod360(poly(T)) * kDegToRad;
}

}  // namespace

void sscc(int k, double arg, int n, TMultipleAngles& ss, TMultipleAngles& cc) {
  const double su = std::sin(arg);
  const double cu = std::cos(arg);
  ss[k][0] = su;
  cc[k][0] = cu;
  double sv = 2.0 * su * cu;
  double cv = cu * cu - su * su;
  ss[k][1] = sv;
  cc[k][1] = cv;
  for (int i = 2; i < n; ++i) {
    const double s = cu * sv + su * cv;
    cv = cu * cv - su * sv;
    sv = s;
    ss[k][i] = sv;
    cc[k][i] = cv;
  }
}

void Nutation(double Julian, double& nutl, double& nuto) {
  const double T = CenturiesFromJ2000(Julian);
  const double args[5] = {ArgumentRad(kMoonAnomaly, T), ArgumentRad(kSunAnomaly, T),
                          ArgumentRad(kMoonLatitude, T), ArgumentRad(kMoonElongation, T),
                          ArgumentRad(kMoonNode, T)};
  TMultipleAngles ss, cc;
  for (int k = 0; k < 5; ++k) sscc(k, args[k], kMaxMultiple[k], ss, cc);

  // Principal term; sin and cos of Omega are the first column of its row.
  double sumPsi = (kPsi0 + kPsi0Rate * T) * ss[4][0];
  double sumEps = (kEps0 + kEps0Rate * T) * cc[4][0];
  SumSeries(ss, cc, T, sumPsi, sumEps, std::make_integer_sequence<int, kNutationRows>{});

  nutl = sumPsi * kDegToRad / 3600.0;
  nuto = sumEps * kDegToRad / 3600.0;
}

TNutationOfDate NutationOfDate(double Julian) {
  TNutationOfDate nut;
  nut.Julian = Julian;
  Nutation(Julian, nut.nutl, nut.nuto);
  Ecliptic_Obliquity(Julian, nut.eps, nut.coseps, nut.sineps);
  return nut;
}

void nutate(double J, TVector3& p) {
  nutate(NutationOfDate(J), p);
}

void nutate(const TNutationOfDate& nut, TVector3& p) {
  const double coseps = nut.coseps, sineps = nut.sineps;
  const double ce = std::cos(nut.eps + nut.nuto);  // true obliquity
  const double se = std::sin(nut.eps + nut.nuto);
  const double so = std::sin(nut.nuto);
  const double cl = std::cos(nut.nutl);
  const double sl = std::sin(nut.nutl);

  const double x = cl * p[0] - sl * coseps * p[1] - sl * sineps * p[2];
  const double y = sl * ce * p[0] + (cl * coseps * ce + sineps * se) * p[1] -
                   (so + (1.0 - cl) * sineps * ce) * p[2];
  const double z = sl * se * p[0] + (so + (cl - 1.0) * se * coseps) * p[1] +
                   (cl * sineps * se + coseps * ce) * p[2];
  p = {x, y, z};
}

}  // namespace quorvel::ephem
