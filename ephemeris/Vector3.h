// Rectangular coordinates: x towards the equinox, z towards the pole.
#pragma once

#include <array>

namespace quorvel::ephem {

using TVector3 = std::array<double, 3>;

}  // namespace quorvel::ephem
