// Round axis ticks for the charts. A date-time axis spreads its ticks evenly
// between its ends, so ticks on round times (every 10 s, 1 min, 15 min, ...)
// come from ends that are themselves multiples of the step. Plain C++.
#pragma once

namespace quorvel {

struct TTimeTicks {
  double minMs = 0;  // new range, chart milliseconds
  double maxMs = 0;
  int count = 2;  // ticks, both ends included
  double stepMs = 1000;
};

// The smallest round step (1, 2, 5, 10, 15, 30 s; 1, 2, 5, 10, 15, 30 min;
// 1, 2, 3, 6, 12 h; 1, 2, 7 days) giving at most `maxTicks` ticks over
// [loMs, hiMs], and the range widened to multiples of it in local time
// (local = chart + localOffsetMs).
TTimeTicks RoundTimeTicks(double loMs, double hiMs, double localOffsetMs, int maxTicks);

// A 1, 2 or 5 times a power of ten step giving at most `maxTicks` ticks over
// [lo, hi], and the number of decimals its labels need.
struct TValueTicks {
  double step = 1;
  int decimals = 0;
};
TValueTicks NiceValueTicks(double lo, double hi, int maxTicks);

}  // namespace quorvel
