// The program's clock. Everything that reads "now" (UTC or local) goes through
// the current clock, so tests and the simulated instrument can run on a virtual
// clock: a whole day in seconds, across midnight or a daylight-saving change on
// purpose. Local time is always derived from UTC with the process's time zone
// (TZ), also for the virtual clock.
#pragma once

#include <atomic>
#include <cstdint>

#include "DateTime.h"

namespace quorvel {

class IClock {
 public:
  virtual ~IClock() = default;
  // Milliseconds since 1970-01-01 00:00 UTC.
  virtual std::int64_t UtcMs() const = 0;
};

// The operating system's clock.
class SystemClock final : public IClock {
 public:
  std::int64_t UtcMs() const override;
};

// A clock that only moves when told to. Safe to read from any thread.
class VirtualClock final : public IClock {
 public:
  explicit VirtualClock(std::int64_t startUtcMs = 0) : ms_(startUtcMs) {}
  std::int64_t UtcMs() const override { return ms_.load(std::memory_order_relaxed); }
  void Set(std::int64_t utcMs) { ms_.store(utcMs, std::memory_order_relaxed); }
  void Advance(std::int64_t deltaMs) { ms_.fetch_add(deltaMs, std::memory_order_relaxed); }

 private:
  std::atomic<std::int64_t> ms_;
};

// The clock in use; the system clock unless SetClock() installed another one.
// SetClock(nullptr) goes back to the system clock. The caller keeps ownership.
IClock& CurrentClock();
void SetClock(IClock* clock);

// Restores the previous clock when it goes out of scope (tests).
class ScopedClock {
 public:
  explicit ScopedClock(IClock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  IClock* previous_;
};

// The UTC clock as the platform's broken-down record (GetSystemTime).
void GetSystemTime(TSystemTime& st);
// Current UTC and local date-time values.
TDateTime NowUTC();
TDateTime Now();
// Local date-time value of a UTC instant, with the process's time zone.
TDateTime LocalFromUtcMs(std::int64_t utcMs);

// The C library reads the time zone (TZ, or /etc/localtime when TZ is not
// set) once; a station running for months would keep an old zone after the
// system's was changed. This looks at the zone's file again when at least
// `intervalMs` of clock time passed since the last look (or the clock went
// back), and makes the library load it again when it changed. Returns true
// when it did. Called from the acquisition cycle.
bool RefreshTimeZone(std::int64_t intervalMs = 10000);
// Seconds east of UTC of the local zone at a UTC instant.
long LocalUtcOffsetSeconds(std::int64_t utcMs);

}  // namespace quorvel
