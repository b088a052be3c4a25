#include "Clock.h"

#include <sys/stat.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

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

namespace {

// What identifies the zone's file as it is now.
struct TZoneSignature {
  std::string tz;
  bool tzSet = false;
  dev_t dev = 0;
  ino_t ino = 0;
  std::int64_t mtimeNs = 0;
  off_t size = -1;
  dev_t linkDev = 0;
  ino_t linkIno = 0;
  std::int64_t linkMtimeNs = 0;
  bool operator==(const TZoneSignature& o) const {
    return tz == o.tz && tzSet == o.tzSet && dev == o.dev && ino == o.ino && mtimeNs == o.mtimeNs &&
           size == o.size && linkDev == o.linkDev && linkIno == o.linkIno &&
           linkMtimeNs == o.linkMtimeNs;
  }
};

std::int64_t MtimeNs(const struct stat& st) {
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

TZoneSignature CurrentZoneSignature() {
  TZoneSignature sig;
  const char* tz = std::getenv("TZ");
  sig.tzSet = tz != nullptr;
  if (tz) sig.tz = tz;
  std::string file;
  if (!tz) {
    file = "/etc/localtime";
  } else {
    std::string name = tz;
    if (!name.empty() && name[0] == ':') name.erase(0, 1);
    if (!name.empty() && name[0] == '/') {
      file = name;
    } else if (!name.empty()) {
      const char* dir = std::getenv("TZDIR");
      file = std::string(dir && *dir ? dir : "/usr/share/zoneinfo") + "/" + name;
    }
  }
  if (file.empty()) return sig;
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) {
    sig.dev = st.st_dev;
    sig.ino = st.st_ino;
    sig.mtimeNs = MtimeNs(st);
    sig.size = st.st_size;
  }
  // /etc/localtime is usually a link: changing the zone replaces the link.
  if (::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    sig.linkDev = st.st_dev;
    sig.linkIno = st.st_ino;
    sig.linkMtimeNs = MtimeNs(st);
  }
  return sig;
}

std::mutex g_zoneMutex;
bool g_zoneKnown = false;
TZoneSignature g_zone;
std::int64_t g_zoneCheckedMs = 0;

}  // namespace

bool RefreshTimeZone(std::int64_t intervalMs) {
  const std::int64_t now = CurrentClock().UtcMs();
  const std::lock_guard<std::mutex> lock(g_zoneMutex);
  if (g_zoneKnown && now >= g_zoneCheckedMs && now - g_zoneCheckedMs < intervalMs) return false;
  g_zoneCheckedMs = now;
  TZoneSignature sig = CurrentZoneSignature();
  if (!g_zoneKnown) {
    g_zoneKnown = true;
    g_zone = std::move(sig);
    return false;
  }
  if (sig == g_zone) return false;
  g_zone = std::move(sig);
  // The C library loads the zone again only when the TZ text changes: give
  // it another one for a moment, then the real one back.
  const char* tz = std::getenv("TZ");
  const bool had = tz != nullptr;
  const std::string saved = had ? tz : "";
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  if (had)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
  return true;
}

long LocalUtcOffsetSeconds(std::int64_t utcMs) {
  const std::time_t t = static_cast<std::time_t>(utcMs / 1000);
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_gmtoff;
}

TDateTime Now() {
  return LocalFromUtcMs(CurrentClock().UtcMs());
}

}  // namespace quorvel
