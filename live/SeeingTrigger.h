// The seeing trigger: GOOD while the seeing is steady enough to record, BAD
// otherwise, UNKNOWN until the first usable value. Two levels with a band in
// between, so a value wandering inside the band never flips the state.
// Plain C++, no Qt, no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "live/LiveSnapshot.h"

namespace quorvel {

// Which value of the snapshot the trigger watches.
enum class TTriggerValue { Instant = 0, OneMinute = 1, FiveMinutes = 2 };

struct TTriggerConfig {
  TTriggerValue value = TTriggerValue::OneMinute;
  bool zenith = false;
  double startArcsec = 2.0;  // GOOD once at or below this for minGoodSec
  double stopArcsec = 2.5;   // BAD as soon as above this; stop >= start
  double minGoodSec = 60;
  double maxInvalidSec = 120;  // GOOD turns BAD after this long without a value
};

// Empty when the settings hang together; otherwise why not.
std::string CheckTriggerConfig(const TTriggerConfig& config);

// "instant", "1min", "5min" (options and settings) and back.
const char* TriggerValueKey(TTriggerValue value);
std::optional<TTriggerValue> TriggerValueFromKey(const std::string& key);
// "instant value", "one-minute mean", "five-minute mean", with " at zenith".
std::string TriggerValueText(const TTriggerConfig& config);

// The watched value of a snapshot, if the cycle has one.
std::optional<double> TriggerInput(const TTriggerConfig& config, const TLiveSnapshot& snapshot);

struct TTriggerChange {
  TTriggerState from = TTriggerState::Unknown;
  TTriggerState to = TTriggerState::Unknown;
  std::optional<double> value;  // the value that decided, if any
  std::int64_t utcMs = 0;
  // Seconds without a value, when that decided.
  double invalidSec = 0;
  TInvalidReason reason = TInvalidReason::None;
};

// "Seeing trigger : GOOD (1.42 arcsec, one-minute mean)" or
// "Seeing trigger : BAD (no valid seeing for 120 s, low_light)".
std::string TriggerChangeText(const TTriggerConfig& config, const TTriggerChange& change);
// "GOOD", "BAD", "UNKNOWN".
const char* TriggerStateUpper(TTriggerState state);

class TSeeingTrigger {
 public:
  explicit TSeeingTrigger(TTriggerConfig config = {}) : config_(config) {}

  const TTriggerConfig& Config() const { return config_; }
  // New settings keep the state; the next snapshot judges with them.
  void SetConfig(const TTriggerConfig& config);
  TTriggerState State() const { return state_; }

  // One snapshot, in time order. Returns the change it caused, if any.
  std::optional<TTriggerChange> Update(const TLiveSnapshot& snapshot);

 private:
  TTriggerConfig config_;
  TTriggerState state_ = TTriggerState::Unknown;
  // Since when the value has stayed at or below the start level.
  std::optional<std::int64_t> goodSinceMs_;
  std::optional<std::int64_t> lastValueMs_;
};

}  // namespace quorvel
