// quorvel-report's goals: one day's results file (about 53 000 lines,
// 6.8 MB) summarised in under 0.5 s, a year of them in under 60 s with
// under 200 MB of memory. The day is a simulated clear day, 05:00 to 19:50
// UTC at one line a second, written in the program's own line format.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "history/Report.h"
#include "report/ReportTool.h"

namespace {

namespace fs = std::filesystem;
using namespace quorvel;

std::string TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "quorvel_bench_XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return "/tmp";
  return pattern;
}

// 53 400 lines like a long June day, with a seeing that wanders as the
// simulated one does.
std::string DayFile() {
  std::string out =
      "Local Date          | UTC Date            | Julian Day      |Sig(mV)| Se \" |R0 mm | AZ "
      "\xB0    | ELV \xB0  | "
      "Se \" zen | R0 mm Zen |\r\n";
  std::mt19937 rng(1);
  std::normal_distribution<double> n(0, 1);
  double slow = 0;
  const double t0 = 1782018000;  // 2026-06-21T05:00:00Z
  for (int i = 0; i < 53400; ++i) {
    const double t = t0 + i;
    slow = 0.999 * slow + 0.02 * n(rng);
    const double elev = 5 + 60 * std::sin(M_PI * i / 53400.0);
    const double zen = 2.0 * std::exp(0.3 * slow + 0.05 * n(rng));
    const double los = zen / std::pow(std::sin(elev * M_PI / 180), 0.6);
    char line[200];
    const int h = static_cast<int>(std::fmod(t, 86400) / 3600),
              m = static_cast<int>(std::fmod(t, 3600) / 60), s = static_cast<int>(std::fmod(t, 60));
    std::snprintf(line, sizeof line,
                  "21.06.26 %02d:%02d:%02d | 21.06.26 %02d:%02d:%02d | %.7f | %.1f | %.2f | %.1f | "
                  "%.3f | %.3f | "
                  "%.2f     | %.1f     |\r\n",
                  (h + 2) % 24, m, s, h, m, s, t / 86400.0 + 2440587.5, 800.0 + n(rng), los,
                  113.4456 / los, 90.0 + i * 0.003, elev, zen, 113.4456 / zen);
    out += line;
  }
  return out;
}

void BM_SummariseOneDay(benchmark::State& state) {
  const std::string folder = TempFolder();
  const std::string path = folder + "/2026_ 6_21_Results.txt";
  std::ofstream(path, std::ios::binary) << DayFile();
  state.counters["MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    history::TReportBuilder b([](double) { return 7200; }, 2.0, false);
    b.BeginDay("2026-06-21");
    b.Read(in);
    benchmark::DoNotOptimize(b.EndDay());
    benchmark::DoNotOptimize(b.Finish());
  }
  fs::remove_all(folder);
}
BENCHMARK(BM_SummariseOneDay)->Unit(benchmark::kMillisecond)->Iterations(10);

// The whole program's work over 365 files for the statistics: the table
// and the JSON, as `quorvel-report --json F FOLDER` does (an export adds
// writing 3 GB of text, which the disk sets the pace of).
// The files are hard links to one day's file, so the year costs no disk.
void BM_ReportOneYear(benchmark::State& state) {
  const std::string folder = TempFolder();
  const std::string data = folder + "/data";
  fs::create_directories(data);
  const std::string first = data + "/2026_ 1_ 1_Results.txt";
  std::ofstream(first, std::ios::binary) << DayFile();
  int files = 1;
  for (int doy = 1; doy < 365; ++doy) {
    const long long day = 20454 + doy;  // days since 1970 from 2026-01-01
    const std::time_t t = static_cast<std::time_t>(day * 86400);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char name[64];
    std::snprintf(name, sizeof name, "/%d_%2d_%2d_Results.txt", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday);
    fs::create_hard_link(first, data + name);
    ++files;
  }
  state.counters["files"] = files;
  for (auto _ : state) {
    std::ostringstream out, err;
    int code = 0;
    const auto request =
        report::ParseReportArgs({"--site", "45.5,3.5,0", "--station", "bench", "--tz",
                                 "Europe/Paris", "--json", folder + "/r.json", data},
                                out, err, code);
    if (!request || report::RunReport(*request, out, err) != 0)
      state.SkipWithError(err.str().c_str());
  }
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  state.counters["peak_RSS_MB"] = static_cast<double>(ru.ru_maxrss) / 1024.0;
  fs::remove_all(folder);
}
BENCHMARK(BM_ReportOneYear)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
