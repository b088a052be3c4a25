// Cost of the results-file line that the acquisition cycle writes once a
// second on the GUI thread: formatting, and open / append / close.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "common/DateTime.h"
#include "records/RegionalFormat.h"
#include "records/ResultFile.h"

namespace {

using namespace quorvel;

TDataOutMes Record() {
  TDataOutMes m;
  m.CurrentDate = EncodeDateTime(2026, 5, 3, 14, 7, 9, 0);
  m.UTCDate = EncodeDateTime(2026, 5, 3, 12, 7, 9, 0);
  m.Signal_UtileV = 0.41234;
  m.seeingArcSec = 1.25;
  m.R0 = 85.26;
  m.AZ = 135.5;
  m.ELV = 52.25;
  m.seeingArcSecZen = 1.126;
  m.R0Zen = 103.76;
  return m;
}

std::string TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvel_bench_XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return "/tmp";
  return pattern + "/";
}

void BM_FormatResultLine(benchmark::State& state) {
  const TDataOutMes m = Record();
  const TDateTimeTextFn regional = [](TDateTime v) { return RegionalDateTimeText(v); };
  for (auto _ : state) benchmark::DoNotOptimize(FormatResultLine(m, regional));
}
BENCHMARK(BM_FormatResultLine);

void BM_AppendResultLine(benchmark::State& state) {
  const std::string folder = TempFolder();
  const std::string line =
      FormatResultLine(Record(), [](TDateTime v) { return RegionalDateTimeText(v); });
  for (auto _ : state) AppendResultLine(folder + "bench_Results.txt", line);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_AppendResultLine)->Iterations(20000);

void BM_SaveData(benchmark::State& state) {
  const std::string folder = TempFolder();
  const TDataOutMes m = Record();
  std::string path;
  for (auto _ : state) SaveData(folder, m, path);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SaveData)->Iterations(20000);

}  // namespace
