#include "TimeTicks.h"

#include <algorithm>
#include <cmath>

namespace quorvel {

TTimeTicks RoundTimeTicks(double loMs, double hiMs, double localOffsetMs, int maxTicks) {
  static const double kSteps[] = {1e3,     2e3,     5e3,     10e3,    15e3,     30e3,    60e3,
                                  120e3,   300e3,   600e3,   900e3,   1800e3,   3600e3,  7200e3,
                                  10800e3, 21600e3, 43200e3, 86400e3, 172800e3, 604800e3};
  maxTicks = std::max(maxTicks, 2);
  if (!(hiMs > loMs)) hiMs = loMs + 1000;
  TTimeTicks t;
  for (const double step : kSteps) {
    const double first = std::floor((loMs + localOffsetMs) / step) * step - localOffsetMs;
    const double last = std::ceil((hiMs + localOffsetMs) / step) * step - localOffsetMs;
    const int count = static_cast<int>(std::lround((last - first) / step)) + 1;
    t = {first, last, count, step};
    if (count <= maxTicks) break;
  }
  return t;
}

TValueTicks NiceValueTicks(double lo, double hi, int maxTicks) {
  TValueTicks t;
  const double span = hi - lo;
  if (!(span > 0) || !std::isfinite(span)) return t;
  maxTicks = std::max(maxTicks, 2);
  double power = std::pow(10.0, std::floor(std::log10(span / maxTicks)));
  for (int guard = 0; guard < 40; ++guard, power *= 10) {
    for (const double m : {1.0, 2.0, 5.0}) {
      const double step = m * power;
      if (span / step + 1 <= maxTicks) {
        t.step = step;
        t.decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
        return t;
      }
    }
  }
  t.step = span;
  return t;
}

}  // namespace quorvel
