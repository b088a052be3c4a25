// The simulated instrument runs whole virtual days in tests and demos: how
// much one simulated measurement costs, from the sky model to the answer.
#include <benchmark/benchmark.h>

#include "common/DateTime.h"
#include "device/SimInstrument.h"

using namespace quorvel;

namespace {

constexpr double kDeg = 3.141592653589793 / 180.0;

TSimPhysicsConfig Config() {
  TSimPhysicsConfig c;
  c.SunElevation = [](TDateTime t) { return SimpleSunElevation(45 * kDeg, 0, t); };
  return c;
}

void BM_SimPhysicsEvaluate(benchmark::State& state) {
  TSimPhysics physics(Config());
  TDateTime t = EncodeDateTime(2024, 6, 21, 6, 0, 0, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(physics.Evaluate(t));
    t += 1.0 / 86400;  // one report per second
  }
}
BENCHMARK(BM_SimPhysicsEvaluate);

void BM_SimFirmwareMeasurementAnswer(benchmark::State& state) {
  TSimInstrumentConfig config;
  config.Physics = Config();
  TSimFirmware firmware(config);
  std::uint8_t request[65];
  std::fill(std::begin(request), std::end(request), 0xAA);
  request[0] = 0;
  request[1] = 0x81;
  for (auto _ : state) benchmark::DoNotOptimize(firmware.Answer(request, sizeof request));
}
BENCHMARK(BM_SimFirmwareMeasurementAnswer);

}  // namespace
