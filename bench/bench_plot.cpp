// What a chart computes per flush and per paint over a full buffer, without
// widgets: the extent and the thinned points, then the pixel runs of the line.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "plot/ColumnSpans.h"
#include "plot/Thinning.h"

namespace quorvel {
namespace {

constexpr std::int32_t kFull = 65535;

// A full ring of one point a second, noisy like a seeing series.
TARollingBuffer FullBuffer() {
  TARollingBuffer b(kFull);
  for (int i = 0; i < 1000; ++i) b.ShiftTowardsFront();
  unsigned seed = 1;
  for (std::int32_t i = 0; i < kFull; ++i) {
    seed = seed * 1103515245u + 12345u;
    b[i].X = 46000.0 + i / 86400.0;
    b[i].Y = 1.5 + std::sin(i * 1e-4) + static_cast<double>((seed >> 16) % 1000) / 1000.0;
  }
  return b;
}

void BM_ScanAndThinFullBuffer(benchmark::State& state) {
  const TARollingBuffer b = FullBuffer();
  std::vector<std::int32_t> positions;
  TPlotExtent extent;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ScanAndThin(b, kFull, 1200, 4000, positions, extent));
  }
  state.counters["points"] = static_cast<double>(positions.size());
}
BENCHMARK(BM_ScanAndThinFullBuffer)->Unit(benchmark::kMicrosecond);

void BM_ScanThenThinFullBuffer(benchmark::State& state) {
  const TARollingBuffer b = FullBuffer();
  std::vector<std::int32_t> positions;
  for (auto _ : state) {
    const TPlotExtent e = ScanExtent(b, kFull);
    benchmark::DoNotOptimize(ThinForDrawing(b, kFull, e.MinX, e.MaxX, 1200, 4000, positions, &e));
  }
}
BENCHMARK(BM_ScanThenThinFullBuffer)->Unit(benchmark::kMicrosecond);

void BM_LineColumnSpansThinnedBand(benchmark::State& state) {
  const TARollingBuffer b = FullBuffer();
  std::vector<std::int32_t> positions;
  TPlotExtent e;
  ScanAndThin(b, kFull, 1200, 4000, positions, e);
  const TPlotMapping m{e.MinX, e.MaxX, e.MinY, e.MaxY, 1200, 400};
  std::vector<TPlotPoint> points;
  for (const std::int32_t p : positions) points.push_back(m.Map(b[p].X, b[p].Y));
  std::vector<TColumnSpan> spans;
  std::vector<std::size_t> flat;
  for (auto _ : state) {
    benchmark::DoNotOptimize(LineColumnSpans(points, {0, 0, 1200, 400}, spans, flat));
  }
  state.counters["spans"] = static_cast<double>(spans.size());
}
BENCHMARK(BM_LineColumnSpansThinnedBand)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvel
