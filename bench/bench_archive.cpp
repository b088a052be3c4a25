// The network archive's goal: rows per second into PostgreSQL as the
// collector stores them (one transaction per batch), against a real server
// started here in a temporary folder. 100 stations at one measurement a
// second need 100 rows/s.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <memory>

#include "archive/ArchiveRow.h"
#include "pgarchive/PgArchive.h"
#include "tests/collect/PgTestSupport.h"
#include "tests/collect/SamplePayload.h"

namespace {

using quorvel::archive::TArchiveRow;

struct TServer {
  std::unique_ptr<quorvel::pgtest::TPostgres> pg;
  std::string why;
  std::filesystem::path dir;
  ~TServer() {
    pg.reset();
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
  TServer() {
    why = quorvel::pgtest::MissingPostgres();
    if (!why.empty()) return;
    dir = std::filesystem::temp_directory_path() /
          ("quorvel_bench_archive_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    pg = std::make_unique<quorvel::pgtest::TPostgres>(dir / "pg");
    pg->Start(/*durable=*/true);
  }
};

TServer& Server() {
  static TServer s;
  return s;
}

TArchiveRow Row(int station, std::int64_t utcMs) {
  const std::string name = "station-" + std::to_string(station);
  std::string error;
  return *quorvel::archive::ParseMeasurement(
      name, quorvel::archive::test::SamplePayload(name, utcMs), error);
}

// Batches of `range(0)` rows from 100 stations, each batch committed.
void BM_InsertBatches(benchmark::State& state) {
  auto& server = Server();
  if (!server.pg) {
    state.SkipWithError(server.why.c_str());
    return;
  }
  quorvel::archive::TPgArchive db(server.pg->Conninfo());
  std::string error;
  if (!db.Connect(error) || db.EnsureSchema(error) != quorvel::archive::TDbResult::Ok) {
    state.SkipWithError(error.c_str());
    return;
  }
  static std::int64_t utcMs = 1777795200000;
  const int batch = static_cast<int>(state.range(0));
  std::vector<TArchiveRow> rows;
  for (auto _ : state) {
    state.PauseTiming();
    rows.clear();
    for (int i = 0; i < batch; ++i) {
      rows.push_back(Row(i % 100, utcMs));
      if (i % 100 == 99) utcMs += 1000;
    }
    utcMs += 1000;
    state.ResumeTiming();
    if (db.Insert(rows, error) != quorvel::archive::TDbResult::Ok) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_InsertBatches)->Arg(1)->Arg(20)->Arg(200)->Arg(1000)->UseRealTime();

}  // namespace
