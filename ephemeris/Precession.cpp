#include "ephemeris/Precession.h"

#include <cmath>

#include "ephemeris/Calendar.h"
#include "ephemeris/Obliquity.h"

namespace quorvel::ephem {

namespace {

// Beyond this many centuries from J2000 the IAU 1976 angles are not used.
constexpr double kShortRegimeCenturies = 2.0;

// IAU 1976 precession angles (Lieske et al. 1977), arcseconds, coefficients of
// T, T^2, T^3 with T in Julian centuries from J2000.
constexpr double kZeta1 = 2306.2181, kZeta2 = 0.30188, kZeta3 = 0.017998;
constexpr double kZ1 = 2306.2181, kZ2 = 1.09468, kZ3 = 0.018203;
constexpr double kTheta1 = 2004.3109, kTheta2 = -0.42665, kTheta3 = -0.041833;

// Laskar (1986), in powers of tau = T / 10, highest power first.
// General precession in longitude, arcseconds (multiplied once more by tau).
constexpr double pAcof[10] = {-8.66e-10,  -4.759e-8, 2.424e-7, 1.3095e-5, 1.7451e-4,
                              -1.8055e-3, -0.235316, 0.07732,  111.1971,  50290.966};
// Longitude of the node of the ecliptic of date on the J2000 ecliptic, radians.
constexpr double nodecof[11] = {6.6402e-16,      -2.69151e-15,    -1.547021e-12,   7.521313e-12,
                                6.3190131e-10,   -3.48388152e-9,  -1.813065896e-7, 2.75036225e-8,
                                7.4394531426e-5, -0.042078604317, 3.052112654975};
// Inclination of the ecliptic of date on the J2000 ecliptic, radians.
constexpr double inclcof[11] = {1.2147e-16,
                                7.3759e-17,
                                -8.26287e-14,
                                2.50341e-13,
                                2.4650839e-11,
                                -5.4000441e-11,
                                1.32115526e-9,
                                -5.998737027e-7,
                                -1.6242797091e-5,
                                0.002278495537,
                                0.0};

template <int N>
double Horner(const double (&c)[N], double x) {
  double v = c[0];
  for (int k = 1; k < N; ++k) v = v * x + c[k];
  return v;
}

// (x, y) <- (cos a x + sin a y, -sin a x + cos a y)
void RotateZ(double a, double& x, double& y) {
  const double c = std::cos(a), s = std::sin(a);
  const double nx = c * x + s * y;
  y = -s * x + c * y;
  x = nx;
}

void Laskar1986(TVector3& R, double J, double T, TdirPrecess Dir) {
  const bool toJ2000 = Dir == TdirPrecess::JNOW_to_J2000;
  double eps, coseps, sineps;

  // Equator -> ecliptic of the starting epoch.
  Ecliptic_Obliquity(toJ2000 ? J : kJ2000, eps, coseps, sineps);
  double x = R[0];
  double y = coseps * R[1] + sineps * R[2];
  double w = -sineps * R[1] + coseps * R[2];

  const double tau = T / 10.0;
  const double pA = Horner(pAcof, tau) * tau * kArcsecToRad;
  const double W = Horner(nodecof, tau);
  const double I = Horner(inclcof, tau);

  // Node, inclination, node back plus the precession in longitude.
  RotateZ(toJ2000 ? W + pA : W, x, y);
  RotateZ(toJ2000 ? -I : I, y, w);  // about the x axis: same form on (y, w)
  RotateZ(toJ2000 ? -W : -W - pA, x, y);

  // Ecliptic -> equator of the target epoch.
  Ecliptic_Obliquity(toJ2000 ? kJ2000 : J, eps, coseps, sineps);
  const double ny = coseps * y - sineps * w;
  w = sineps * y + coseps * w;
  R = {x, ny, w};
}

}  // namespace

void Precession_Apply(TVector3& R, double J, TdirPrecess Dir) {
  TPrecessionOfDate(J).Apply(R, Dir);
}

TPrecessionOfDate::TPrecessionOfDate(double J) : J_(J), T_(CenturiesFromJ2000(J)) {
  if (J == kJ2000) {
    regime_ = Regime::Identity;
    return;
  }
  if (std::fabs(T_) > kShortRegimeCenturies) {
    regime_ = Regime::Laskar1986;
    return;
  }
  regime_ = Regime::Iau1976;
  const double T = T_;
  const double zeta = ((kZeta3 * T + kZeta2) * T + kZeta1) * T * kArcsecToRad;
  const double z = ((kZ3 * T + kZ2) * T + kZ1) * T * kArcsecToRad;
  const double theta = ((kTheta3 * T + kTheta2) * T + kTheta1) * T * kArcsecToRad;
  const double sinZeta = std::sin(zeta), cosZeta = std::cos(zeta);
  const double sinZ = std::sin(z), cosZ = std::cos(z);
  const double sinTheta = std::sin(theta), cosTheta = std::cos(theta);
  const double A = cosZeta * cosTheta;
  const double B = sinZeta * cosTheta;
  m_[0][0] = A * cosZ - sinZeta * sinZ;
  m_[0][1] = -(B * cosZ + cosZeta * sinZ);
  m_[0][2] = -(sinTheta * cosZ);
  m_[1][0] = A * sinZ + sinZeta * cosZ;
  m_[1][1] = -(B * sinZ - cosZeta * cosZ);
  m_[1][2] = -(sinTheta * sinZ);
  m_[2][0] = cosZeta * sinTheta;
  m_[2][1] = -(sinZeta * sinTheta);
  m_[2][2] = cosTheta;
}

void TPrecessionOfDate::Apply(TVector3& R, TdirPrecess Dir) const {
  switch (regime_) {
    case Regime::Identity:
      return;
    case Regime::Laskar1986:
      Laskar1986(R, J_, T_, Dir);
      return;
    case Regime::Iau1976:
      break;
  }
  const auto& m = m_;
  if (Dir == TdirPrecess::J2000_to_JNOW)
    R = {m[0][0] * R[0] + m[0][1] * R[1] + m[0][2] * R[2],
         m[1][0] * R[0] + m[1][1] * R[1] + m[1][2] * R[2],
         m[2][0] * R[0] + m[2][1] * R[1] + m[2][2] * R[2]};
  else
    R = {m[0][0] * R[0] + m[1][0] * R[1] + m[2][0] * R[2],
         m[0][1] * R[0] + m[1][1] * R[1] + m[2][1] * R[2],
         m[0][2] * R[0] + m[1][2] * R[1] + m[2][2] * R[2]};
}

}  // namespace quorvel::ephem
