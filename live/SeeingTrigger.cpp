#include "live/SeeingTrigger.h"

#include <cmath>
#include <cstdio>

namespace quorvel {

std::string CheckTriggerConfig(const TTriggerConfig& c) {
  if (!std::isfinite(c.startArcsec) || c.startArcsec <= 0 || c.startArcsec > 100)
    return "the start level must be a seeing from 0 to 100 arcsec";
  if (!std::isfinite(c.stopArcsec) || c.stopArcsec <= 0 || c.stopArcsec > 100)
    return "the stop level must be a seeing from 0 to 100 arcsec";
  if (c.stopArcsec < c.startArcsec) return "the stop level must not be below the start level";
  if (!std::isfinite(c.minGoodSec) || c.minGoodSec < 0 || c.minGoodSec > 86400)
    return "the minimum good time must be from 0 to 86400 seconds";
  if (!std::isfinite(c.maxInvalidSec) || c.maxInvalidSec < 0 || c.maxInvalidSec > 86400)
    return "the longest invalid time must be from 0 to 86400 seconds";
  return {};
}

const char* TriggerValueKey(TTriggerValue value) {
  switch (value) {
    case TTriggerValue::Instant:
      return "instant";
    case TTriggerValue::OneMinute:
      return "1min";
    case TTriggerValue::FiveMinutes:
      return "5min";
  }
  return "1min";
}

std::optional<TTriggerValue> TriggerValueFromKey(const std::string& key) {
  for (TTriggerValue v :
       {TTriggerValue::Instant, TTriggerValue::OneMinute, TTriggerValue::FiveMinutes})
    if (key == TriggerValueKey(v)) return v;
  return std::nullopt;
}

std::string TriggerValueText(const TTriggerConfig& c) {
  std::string text = c.value == TTriggerValue::Instant     ? "instant value"
                     : c.value == TTriggerValue::OneMinute ? "one-minute mean"
                                                           : "five-minute mean";
  if (c.zenith) text += " at zenith";
  return text;
}

std::optional<double> TriggerInput(const TTriggerConfig& c, const TLiveSnapshot& s) {
  if (!s.valid) return std::nullopt;
  std::optional<double> v;
  switch (c.value) {
    case TTriggerValue::Instant:
      v = c.zenith ? s.seeingZenithArcsec : s.seeingArcsec;
      break;
    case TTriggerValue::OneMinute:
      v = c.zenith ? s.seeing1MinZenithArcsec : s.seeing1MinArcsec;
      break;
    case TTriggerValue::FiveMinutes:
      v = c.zenith ? s.seeing5MinZenithArcsec : s.seeing5MinArcsec;
      break;
  }
  if (v && !std::isfinite(*v)) return std::nullopt;
  return v;
}

const char* TriggerStateUpper(TTriggerState state) {
  switch (state) {
    case TTriggerState::Good:
      return "GOOD";
    case TTriggerState::Bad:
      return "BAD";
    case TTriggerState::Unknown:
      break;
  }
  return "UNKNOWN";
}

std::string TriggerChangeText(const TTriggerConfig& c, const TTriggerChange& change) {
  std::string text = std::string("Seeing trigger : ") + TriggerStateUpper(change.to) + " (";
  char buf[64];
  if (change.value) {
    std::snprintf(buf, sizeof buf, "%.2f arcsec, ", *change.value);
    text += buf + TriggerValueText(c);
  } else {
    std::snprintf(buf, sizeof buf, "no valid seeing for %.0f s", change.invalidSec);
    text += buf;
    const char* why = InvalidReasonName(change.reason);
    if (*why) text += std::string(", ") + why;
  }
  return text + ")";
}

void TSeeingTrigger::SetConfig(const TTriggerConfig& config) {
  config_ = config;
  goodSinceMs_.reset();
}

std::optional<TTriggerChange> TSeeingTrigger::Update(const TLiveSnapshot& s) {
  TTriggerChange change;
  change.from = state_;
  change.utcMs = s.utcMs;
  change.reason = s.reason;
  TTriggerState next = state_;
  const std::optional<double> v = TriggerInput(config_, s);
  if (v) {
    lastValueMs_ = s.utcMs;
    change.value = v;
    if (*v > config_.stopArcsec) {
      goodSinceMs_.reset();
      next = TTriggerState::Bad;
    } else if (*v <= config_.startArcsec) {
      if (!goodSinceMs_) goodSinceMs_ = s.utcMs;
      if (static_cast<double>(s.utcMs - *goodSinceMs_) >= config_.minGoodSec * 1000.0)
        next = TTriggerState::Good;
      else if (state_ == TTriggerState::Unknown)
        next = TTriggerState::Bad;  // measuring, not yet good
    } else {
      // Inside the band: the state holds; a good run must start over.
      goodSinceMs_.reset();
      if (state_ == TTriggerState::Unknown) next = TTriggerState::Bad;
    }
  } else {
    // Steadiness must be continuous: a gap starts the good run over.
    goodSinceMs_.reset();
    if (state_ == TTriggerState::Good) {
      const std::int64_t since = lastValueMs_.value_or(s.utcMs);
      change.invalidSec = static_cast<double>(s.utcMs - since) / 1000.0;
      if (change.invalidSec >= config_.maxInvalidSec) next = TTriggerState::Bad;
    }
  }
  if (next == state_) return std::nullopt;
  state_ = next;
  change.to = next;
  if (!v) change.value.reset();
  return change;
}

}  // namespace quorvel
