// The orbit record that drives the engine's general orbit routine (Kepler).
#pragma once

#include <cstdint>

namespace quorvel::ephem {

class TEphemeridsObj;
struct TOrbit;

// Element procedure: writes the elements for a Julian day into the record.
using TElementProc = void (TEphemeridsObj::*)(TOrbit& orbit, double Julian);
// Complete-position procedure: heliocentric polar position for a Julian day.
using TPositionProc = void (*)(double Julian, double* polar);
// Perturbation procedure: corrects L, r and plat of the record.
using TPerturbationProc = void (TEphemeridsObj::*)(TOrbit& orbit);

struct TOrbit {
  char obname[24] = {};  // body name, at most 23 characters
  double epoch = 0;      // Julian day of the elements
  double i = 0;          // inclination, degrees
  double Wo = 0;         // longitude of the ascending node, degrees
  double w_ = 0;         // argument of perihelion, degrees
  double a = 0;          // semi-major axis, AU
  double dm = 0;         // daily motion, degrees per day; 0: derived from a
  double ecc = 0;        // eccentricity
  double M = 0;          // mean anomaly at epoch, degrees
  double equinox = 0;    // Julian day of the ecliptic and equinox of the elements
  double mag = 0;        // magnitude parameter (planetary methods)
  double sdiam = 0;      // semidiameter parameter (planetary methods)
  TElementProc oelmnt = nullptr;
  bool xoelmnt = false;
  TPositionProc celmnt1 = nullptr;
  bool xcelmnt1 = false;
  TPerturbationProc celmnt2 = nullptr;
  bool xcelmnt2 = false;
  // Mean longitude in degrees as the element procedure writes it; during the
  // perturbation step, the heliocentric longitude in radians.
  double L = 0;
  double r = 0;     // radius vector during the perturbation step, AU
  double plat = 0;  // perturbation in latitude, radians
  double n = 0;     // planetary methods only
  bool UnkMag = false;
  double GslopeA = 0;
  std::uint8_t TypeObj = 0;
};

}  // namespace quorvel::ephem
