// A real PostgreSQL server for the tests: a cluster in a temporary folder,
// run by an unprivileged user on a loopback port, stopped and started by the
// test.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quorvel::pgtest {

namespace fs = std::filesystem;

// Why a cluster cannot be run here (empty when it can): no PostgreSQL
// server programs, or root without an unprivileged user to run them.
std::string MissingPostgres();

class TPostgres {
 public:
  // The cluster's files go to `dir` (created).
  explicit TPostgres(fs::path dir);
  ~TPostgres();
  // initdb once, then pg_ctl start; throws with the server's log on failure.
  // Not `durable`: without fsync, which only a power cut would notice.
  void Start(bool durable = false);
  // pg_ctl stop: "fast" (clean) or "immediate" (like a crash).
  void Stop(const std::string& mode = "fast");
  int Port() const { return port_; }
  // A libpq connection string for the archive database.
  std::string Conninfo() const;
  // psql's unaligned, tuples-only output of `sql` (throws on failure).
  std::string Psql(const std::string& sql) const;

 private:
  std::string Run(const std::vector<std::string>& argv, int* status) const;
  fs::path dir_, data_, socket_;
  int port_;
  bool initialised_ = false, running_ = false;
};

}  // namespace quorvel::pgtest
