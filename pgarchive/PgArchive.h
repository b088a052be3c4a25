// The archive's database through libpq: one connection, the schema created
// when missing, batches of rows in one transaction each, and the rows read
// back for reports.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveRow.h"
#include "archive/ArchiveSql.h"

namespace quorvel::archive {

enum class TDbResult {
  Ok,
  ConnectionLost,  // nothing known to be stored; connect again and retry
  Failed,          // the server refused the statements; the connection is fine
};

class TPgArchive {
 public:
  // `conninfo`: a libpq connection string; empty: the PG* variables.
  explicit TPgArchive(std::string conninfo);
  ~TPgArchive();
  TPgArchive(const TPgArchive&) = delete;
  TPgArchive& operator=(const TPgArchive&) = delete;

  // Whether libpq can read the connection string; else why not.
  static bool CheckConninfo(const std::string& conninfo, std::string& error);

  // Gives up after the connect_timeout (the connection string's, the
  // environment's, else kDefaultConnectTimeoutS), or at once when `stop`
  // becomes true.
  bool Connect(std::string& error, const std::atomic<bool>* stop = nullptr);
  bool Connected() const;
  // The time limit of the last attempt, in seconds (nothing: none).
  std::optional<int> ConnectTimeoutS() const { return connectTimeoutS_; }
  void Disconnect();
  // "host:port/database" of the connection (or of the attempt).
  std::string Where() const;

  // Creates what is missing and checks the version; Failed with a message
  // when the database holds a newer schema or is not the archive's.
  TDbResult EnsureSchema(std::string& error);

  // Stores the rows (and their stations) in one transaction.
  TDbResult Insert(const std::vector<TArchiveRow>& rows, std::string& error);

  // Runs a query; `row` gets each row's values as text (never null here).
  TDbResult Query(const TStatement& statement,
                  const std::function<void(const std::vector<const char*>&)>& row,
                  std::string& error);

 private:
  TDbResult Exec(const TStatement& s, std::string& error, bool expectRows = false);
  std::string conninfo_;
  std::optional<int> connectTimeoutS_;
  struct TConn;
  std::unique_ptr<TConn> conn_;
};

}  // namespace quorvel::archive
