#include "Errors.h"

#include <cfenv>
#include <cmath>

namespace quorvel {

std::int32_t RoundToInt32Checked(double value) {
  if (!std::isfinite(value)) throw ERangeCheckError();
  // nearbyint honours the current rounding mode, which is round-to-nearest-even
  // unless someone changed it; be explicit.
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double r = std::nearbyint(value);
  std::fesetround(saved);
  if (r < -2147483648.0 || r > 2147483647.0) throw ERangeCheckError();
  return static_cast<std::int32_t>(r);
}

}  // namespace quorvel
