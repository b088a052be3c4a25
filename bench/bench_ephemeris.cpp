// Cost of one Sun position request, as the acquisition cycle makes it.
#include <benchmark/benchmark.h>

#include "ephemeris/Calendar.h"
#include "ephemeris/Nutation.h"
#include "ephemeris/SunPosition.h"

namespace {

using namespace quorvel::ephem;

// 2024-03-20 12:00 UTC at 45.5 N, 3.5 E; the instant moves by a second per
// call, as in the acquisition cycle.
void BM_calcul_SUN_AZ_Elevation(benchmark::State& state) {
  double t = 45371.5;
  double az = 0, elv = 0;
  for (auto _ : state) {
    calcul_SUN_AZ_Elevation(t, -3.5 * kDegToRad, 45.5 * kDegToRad, 0.0, az, elv);
    benchmark::DoNotOptimize(az);
    benchmark::DoNotOptimize(elv);
    t += 1.0 / 86400.0;
  }
}
BENCHMARK(BM_calcul_SUN_AZ_Elevation);
// The same for exactly 10 000 calls, for a count of instructions that the
// machine's load does not change (README, "Sun position tool"):
//   valgrind --tool=callgrind --collect-atstart=no
//     --toggle-collect='quorvel::ephem::calcul_SUN_AZ_Elevation*'
//     build/default/bench/bench_ephemeris --benchmark_filter=AZ_Elevation_Counted
BENCHMARK(BM_calcul_SUN_AZ_Elevation)
    ->Name("BM_calcul_SUN_AZ_Elevation_Counted")
    ->Iterations(10000);

// The full record with the hourly speeds: two evaluations.
void BM_GetEphemSunBasic(benchmark::State& state) {
  double t = 45371.5;
  for (auto _ : state) {
    TPlanetparamsOUT r = GetEphemSunBasic(t, -3.5 * kDegToRad, 45.5 * kDegToRad, 0.0);
    benchmark::DoNotOptimize(r);
    t += 1.0 / 86400.0;
  }
}
BENCHMARK(BM_GetEphemSunBasic);
BENCHMARK(BM_GetEphemSunBasic)->Name("BM_GetEphemSunBasic_Counted")->Iterations(10000);

// The costliest single step: the nutation series.
void BM_Nutation(benchmark::State& state) {
  double jd = 2460390.0;
  double nutl = 0, nuto = 0;
  for (auto _ : state) {
    Nutation(jd, nutl, nuto);
    benchmark::DoNotOptimize(nutl);
    benchmark::DoNotOptimize(nuto);
    jd += 1.0 / 86400.0;
  }
}
BENCHMARK(BM_Nutation);

}  // namespace
