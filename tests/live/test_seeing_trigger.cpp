#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "live/SeeingTrigger.h"

namespace quorvel {
namespace {

constexpr std::int64_t kT0 = 1782043200000LL;  // 2026-06-21 12:00:00 UTC
constexpr double kInvalid = -1;

TLiveSnapshot At(int second, double seeing) {
  TLiveSnapshot s;
  s.utcMs = kT0 + second * 1000LL;
  if (seeing == kInvalid) {
    s.reason = TInvalidReason::LowLight;
    return s;
  }
  s.valid = true;
  s.reason = TInvalidReason::None;
  s.seeingArcsec = seeing;
  s.seeingZenithArcsec = seeing / 2;
  s.seeing1MinArcsec = seeing + 10;  // never chosen in the table
  return s;
}

struct TStep {
  int second;
  double seeing;  // kInvalid: a cycle without a value
  TTriggerState expected;
  bool changes;
};

constexpr auto U = TTriggerState::Unknown;
constexpr auto G = TTriggerState::Good;
constexpr auto B = TTriggerState::Bad;

TEST(SeeingTrigger, TransitionsOverBothLevelsTheBandTheMinimumTimeAndGaps) {
  TTriggerConfig c;
  c.value = TTriggerValue::Instant;
  c.startArcsec = 1.5;
  c.stopArcsec = 2.0;
  c.minGoodSec = 3;
  c.maxInvalidSec = 5;
  ASSERT_EQ(CheckTriggerConfig(c), "");
  TSeeingTrigger t(c);
  // clang-format off
  const std::vector<TStep> steps = {
      {0, kInvalid, U, false},  // night at start: unknown
      {1, kInvalid, U, false},
      {2, 1.8, B, true},        // a value in the band: measuring, not good
      {3, 1.4, B, false},       // below start: the good run begins
      {4, 1.5, B, false},       // at the start level counts as good
      {5, 1.3, B, false},
      {6, 1.2, G, true},        // 3 s at or below start
      {7, 1.9, G, false},       // inside the band: no flapping
      {8, 2.0, G, false},       // at the stop level: still good
      {9, 1.6, G, false},
      {10, 2.01, B, true},      // above stop: bad at once
      {11, 1.7, B, false},      // inside the band: stays bad
      {12, 1.4, B, false},
      {13, 1.9, B, false},      // back in the band: the run starts over
      {14, 1.4, B, false},
      {15, 1.4, B, false},
      {16, kInvalid, B, false}, // a gap starts the run over too
      {17, 1.4, B, false},
      {18, 1.4, B, false},
      {19, 1.4, B, false},
      {20, 1.4, G, true},
      {21, kInvalid, G, false}, // clouds: good holds for a while
      {24, kInvalid, G, false},
      {25, kInvalid, B, true},  // 5 s after the last value
      {27, kInvalid, B, false},
      {28, 1.0, B, false},
  };
  // clang-format on

  for (const TStep& s : steps) {
    const auto change = t.Update(At(s.second, s.seeing));
    EXPECT_EQ(t.State(), s.expected) << "second " << s.second;
    EXPECT_EQ(change.has_value(), s.changes) << "second " << s.second;
  }
}

TEST(SeeingTrigger, WatchesTheChosenValueAndIgnoresNonFinite) {
  TTriggerConfig c;
  c.value = TTriggerValue::Instant;
  c.zenith = true;
  c.startArcsec = 1.0;
  c.stopArcsec = 1.0;
  c.minGoodSec = 0;
  TSeeingTrigger t(c);
  auto change = t.Update(At(0, 1.8));  // zenith 0.9
  ASSERT_TRUE(change);
  EXPECT_EQ(change->to, G);
  ASSERT_TRUE(change->value);
  EXPECT_DOUBLE_EQ(*change->value, 0.9);
  EXPECT_EQ(TriggerChangeText(c, *change),
            "Seeing trigger : GOOD (0.90 arcsec, instant value at zenith)");

  TLiveSnapshot nan = At(1, 1.0);
  nan.seeingZenithArcsec = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(TriggerInput(c, nan));

  c.value = TTriggerValue::OneMinute;
  c.zenith = false;
  TSeeingTrigger m(c);
  TLiveSnapshot noMean = At(0, 0.5);
  noMean.seeing1MinArcsec.reset();
  EXPECT_FALSE(m.Update(noMean));  // no mean yet: still unknown
  EXPECT_EQ(m.State(), U);
}

TEST(SeeingTrigger, ChangeTextsAndSettingsChecks) {
  TTriggerConfig c;
  TTriggerChange ch;
  ch.to = B;
  ch.invalidSec = 120;
  ch.reason = TInvalidReason::LowLight;
  EXPECT_EQ(TriggerChangeText(c, ch),
            "Seeing trigger : BAD (no valid seeing for 120 s, low_light)");
  ch.to = G;
  ch.value = 1.4249;
  EXPECT_EQ(TriggerChangeText(c, ch), "Seeing trigger : GOOD (1.42 arcsec, one-minute mean)");

  struct TCase {
    double start, stop, minGood, maxInvalid;
    bool ok;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const TCase& k : std::vector<TCase>{{1, 1, 0, 0, true},
                                           {1.5, 2, 60, 120, true},
                                           {2, 1.5, 60, 120, false},
                                           {0, 1, 60, 120, false},
                                           {nan, 1, 60, 120, false},
                                           {1, 2, -1, 120, false},
                                           {1, 2, 60, 1e9, false}}) {
    TTriggerConfig t;
    t.startArcsec = k.start;
    t.stopArcsec = k.stop;
    t.minGoodSec = k.minGood;
    t.maxInvalidSec = k.maxInvalid;
    EXPECT_EQ(CheckTriggerConfig(t).empty(), k.ok) << k.start << " " << k.stop;
  }
  for (auto v : {TTriggerValue::Instant, TTriggerValue::OneMinute, TTriggerValue::FiveMinutes})
    EXPECT_EQ(TriggerValueFromKey(TriggerValueKey(v)), v);
  EXPECT_FALSE(TriggerValueFromKey("2min"));
}

}  // namespace
}  // namespace quorvel
