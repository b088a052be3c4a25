#include "Clock.h"

#include <chrono>
#include <ctime>

namespace quorvel {

namespace {

SystemClock g_systemClock;
std::atomic<IClock*> g_clock{&g_systemClock};

}  // namespace

std::int64_t SystemClock::UtcMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

IClock& CurrentClock() {
  return *g_clock.load(std::memory_order_acquire);
}

void SetClock(IClock* clock) {
  g_clock.store(clock ? clock : &g_systemClock, std::memory_order_release);
}

ScopedClock::ScopedClock(IClock& clock) : previous_(&CurrentClock()) {
  SetClock(&clock);
}
ScopedClock::~ScopedClock() {
  SetClock(previous_);
}

void GetSystemTime(TSystemTime& st) {
  st = SystemTimeFromDateTime(DateTimeFromUnixMs(CurrentClock().UtcMs()));
}

TDateTime NowUTC() {
  return DateTimeFromUnixMs(CurrentClock().UtcMs());
}

TDateTime LocalFromUtcMs(std::int64_t utcMs) {
  std::int64_t secs = utcMs / 1000;
  std::int64_t ms = utcMs % 1000;
  if (ms < 0) {
    ms += 1000;
    --secs;
  }
  const std::time_t t = static_cast<std::time_t>(secs);
  std::tm local{};
  localtime_r(&t, &local);
  // tm_gmtoff is the zone's offset east of UTC at that instant, DST included.
  return DateTimeFromUnixMs((secs + local.tm_gmtoff) * 1000 + ms);
}

TDateTime Now() {
  return LocalFromUtcMs(CurrentClock().UtcMs());
}

}  // namespace quorvel
