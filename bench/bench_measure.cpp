#include <benchmark/benchmark.h>

#include "common/Clock.h"
#include "measure/ComputeCore.h"

namespace {

using namespace quorvel;

void BM_ConvertDataToPhysValues(benchmark::State& state) {
  TDataSystem cal;
  cal.RShuntSolar = 2125;
  cal.Gain_Filtered = 319;
  cal.Gain_NotFilt = 1;
  cal.OffsetV = 2.52f;
  cal.HauteurSoleil = 0.7;
  TReportBuffer report{};
  report[1] = 0x81;
  const std::uint8_t mean[] = {0x47, 0x43, 0x50, 0x00};
  const std::uint8_t scint[] = {0x44, 0xFA, 0x00, 0x00};
  std::copy(mean, mean + 4, &report[2]);
  std::copy(scint, scint + 4, &report[14]);
  TDataOutMes out;
  for (auto _ : state) {
    ConvertDataToPhysValues(cal, report, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_ConvertDataToPhysValues);

}  // namespace
