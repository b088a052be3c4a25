// Atmospheric refraction.
#pragma once

namespace quorvel::ephem {

// Refraction in degrees to add to a true (unrefracted) altitude in degrees,
// for a pressure in millibar and a temperature in degrees C. 0 below -2
// degrees and from 90 degrees up.
double Refraction(double altitude, double pressureMb, double temperatureC);

}  // namespace quorvel::ephem
