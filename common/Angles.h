// Angle constants of the whole program, written once: the ephemeris, the
// site's degrees and radians, the displays.
#pragma once

namespace quorvel {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kDegToRad = 0.017453292519943295;
constexpr double kRadToDeg = 57.29577951308232;

}  // namespace quorvel
