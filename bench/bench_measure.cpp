#include <benchmark/benchmark.h>

#include "common/Clock.h"
#include "measure/ComputeCore.h"
#include "measure/RollingBuffer.h"

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

namespace {

struct NullSeries : quorvel::IPlotSeries {
  void Clear() override {}
  void Append(double, double) override {}
  void ReplaceAll(const quorvel::TARollingBuffer&, std::int32_t) override {}
};
struct NullLog : quorvel::ILogSink {
  void AppendLogLine(const std::string&) override {}
};

// One insertion into a full 65535-point buffer: the ring drops the oldest
// point without moving the others (the chart's own rebuild is not counted).
void BM_AddPlotIntoFullBuffer(benchmark::State& state) {
  using namespace quorvel;
  GeneralParams.MaxPointsDisplayed = 65535;
  TARollingBuffer buffer(65535);
  std::int32_t index = -1;
  NullSeries series;
  NullLog log;
  for (int i = 0; i < 65535; ++i) AddPlot_value_Plot(i, i, index, series, buffer, log);
  double x = 65535;
  for (auto _ : state) {
    AddPlot_value_Plot(x, x, index, series, buffer, log);
    x += 1;
  }
  benchmark::DoNotOptimize(buffer[index]);
}
BENCHMARK(BM_AddPlotIntoFullBuffer);

}  // namespace
