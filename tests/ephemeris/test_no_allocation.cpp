// The Sun position request runs once a second for days: it must not touch the
// heap. This executable counts every operator new of the process.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "ephemeris/Calendar.h"
#include "ephemeris/SunPosition.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace quorvel::ephem {
namespace {

TEST(SunPositionHeap, NoAllocationPerRequest) {
  double az = 0, elv = 0;
  // Day, night, polar day and an old date (the other precession regime).
  const double times[] = {45371.5, 45371.0, 45464.5, -30000.25};
  const double lats[] = {45.5, -33.9, 78.0, 0.0};
  const long before = g_allocations.load();
  for (double t : times)
    for (double lat : lats) {
      calcul_SUN_AZ_Elevation(t, -3.5 * kDegToRad, lat * kDegToRad, 100.0, az, elv);
      const TPlanetparamsOUT all = GetEphemSunBasic(t, -3.5 * kDegToRad, lat * kDegToRad, 100.0);
      EXPECT_EQ(all.Topocentric_Altitude, elv);
    }
  EXPECT_EQ(g_allocations.load() - before, 0);

  // The counter does see allocations.
  const long probe = g_allocations.load();
  ::operator delete(::operator new(16));
  EXPECT_EQ(g_allocations.load() - probe, 1);
}

}  // namespace
}  // namespace quorvel::ephem
