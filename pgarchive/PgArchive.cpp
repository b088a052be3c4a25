#include "pgarchive/PgArchive.h"

#include <libpq-fe.h>

#include <utility>

namespace quorvel::archive {

struct TPgArchive::TConn {
  PGconn* pg = nullptr;
  ~TConn() {
    if (pg) PQfinish(pg);
  }
};

namespace {

// CREATE ... IF NOT EXISTS says "already exists, skipping": not for the log.
void QuietNotices(void*, const char*) {}

std::string Trimmed(const char* text) {
  std::string s = text ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

}  // namespace

TPgArchive::TPgArchive(std::string conninfo) : conninfo_(std::move(conninfo)) {}
TPgArchive::~TPgArchive() = default;

bool TPgArchive::CheckConninfo(const std::string& conninfo, std::string& error) {
  char* message = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &message);
  if (!options) {
    error = message ? Trimmed(message) : "cannot read the connection string";
    if (message) PQfreemem(message);
    return false;
  }
  PQconninfoFree(options);
  return true;
}

bool TPgArchive::Connect(std::string& error) {
  if (Connected()) return true;
  conn_ = std::make_unique<TConn>();
  conn_->pg = PQconnectdb(conninfo_.c_str());
  if (!conn_->pg || PQstatus(conn_->pg) != CONNECTION_OK) {
    error = conn_->pg ? Trimmed(PQerrorMessage(conn_->pg)) : "out of memory";
    conn_.reset();
    return false;
  }
  PQsetNoticeProcessor(conn_->pg, QuietNotices, nullptr);
  // Times are written and read as UTC whatever the server's zone.
  TStatement utc{"SET TIME ZONE 'UTC'", {}};
  if (Exec(utc, error) != TDbResult::Ok) {
    conn_.reset();
    return false;
  }
  return true;
}

bool TPgArchive::Connected() const {
  return conn_ && conn_->pg && PQstatus(conn_->pg) == CONNECTION_OK;
}

void TPgArchive::Disconnect() {
  conn_.reset();
}

std::string TPgArchive::Where() const {
  if (conn_ && conn_->pg) {
    const char* host = PQhost(conn_->pg);
    const char* port = PQport(conn_->pg);
    const char* db = PQdb(conn_->pg);
    return std::string(host ? host : "") + ":" + (port ? port : "") + "/" + (db ? db : "");
  }
  return conninfo_.empty() ? "the PG* environment's database" : "'" + conninfo_ + "'";
}

TDbResult TPgArchive::Exec(const TStatement& s, std::string& error, bool expectRows) {
  if (!Connected()) {
    error = "not connected";
    return TDbResult::ConnectionLost;
  }
  std::vector<const char*> values;
  values.reserve(s.params.size());
  for (const auto& p : s.params) values.push_back(p.c_str());
  PGresult* r = PQexecParams(conn_->pg, s.sql.c_str(), static_cast<int>(values.size()), nullptr,
                             values.data(), nullptr, nullptr, 0);
  const ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
  const bool ok = st == PGRES_COMMAND_OK || (expectRows && st == PGRES_TUPLES_OK) ||
                  (!expectRows && st == PGRES_TUPLES_OK);
  if (!ok) error = Trimmed(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_->pg));
  PQclear(r);
  if (ok) return TDbResult::Ok;
  if (PQstatus(conn_->pg) != CONNECTION_OK) {
    conn_.reset();
    return TDbResult::ConnectionLost;
  }
  return TDbResult::Failed;
}

TDbResult TPgArchive::EnsureSchema(std::string& error) {
  TDbResult res = Exec({"BEGIN", {}}, error);
  for (const auto& sql : SchemaStatements()) {
    if (res != TDbResult::Ok) break;
    res = Exec({sql, {}}, error);
  }
  int version = 0;
  if (res == TDbResult::Ok)
    res = Query(
        {"SELECT max(version) FROM quorvel_schema", {}},
        [&](const std::vector<const char*>& v) { version = v[0] ? std::atoi(v[0]) : 0; }, error);
  if (res == TDbResult::Ok && version > kSchemaVersion) {
    error = "the archive's schema is version " + std::to_string(version) +
            ", newer than this program's (" + std::to_string(kSchemaVersion) +
            "): use a newer quorvel-collect";
    res = TDbResult::Failed;
  }
  if (res == TDbResult::Ok) return Exec({"COMMIT", {}}, error);
  std::string ignored;
  if (res == TDbResult::Failed) Exec({"ROLLBACK", {}}, ignored);
  return res;
}

TDbResult TPgArchive::Insert(const std::vector<TArchiveRow>& rows, std::string& error) {
  TDbResult res = Exec({"BEGIN", {}}, error);
  for (const auto& s : InsertStatements(rows)) {
    if (res != TDbResult::Ok) break;
    res = Exec(s, error);
  }
  if (res == TDbResult::Ok) return Exec({"COMMIT", {}}, error);
  std::string ignored;
  if (res == TDbResult::Failed) Exec({"ROLLBACK", {}}, ignored);
  return res;
}

TDbResult TPgArchive::Query(const TStatement& s,
                            const std::function<void(const std::vector<const char*>&)>& row,
                            std::string& error) {
  if (!Connected()) {
    error = "not connected";
    return TDbResult::ConnectionLost;
  }
  std::vector<const char*> values;
  for (const auto& p : s.params) values.push_back(p.c_str());
  // Row by row: a year of a network's measurements never sits in memory.
  if (!PQsendQueryParams(conn_->pg, s.sql.c_str(), static_cast<int>(values.size()), nullptr,
                         values.data(), nullptr, nullptr, 0)) {
    error = Trimmed(PQerrorMessage(conn_->pg));
    if (PQstatus(conn_->pg) != CONNECTION_OK) {
      conn_.reset();
      return TDbResult::ConnectionLost;
    }
    return TDbResult::Failed;
  }
  PQsetSingleRowMode(conn_->pg);
  bool failed = false;
  std::vector<const char*> v;
  while (PGresult* r = PQgetResult(conn_->pg)) {
    const ExecStatusType st = PQresultStatus(r);
    if (st == PGRES_SINGLE_TUPLE || (st == PGRES_TUPLES_OK && !failed)) {
      const int n = PQntuples(r), f = PQnfields(r);
      v.assign(static_cast<std::size_t>(f), nullptr);
      for (int i = 0; i < n && !failed; ++i) {
        for (int k = 0; k < f; ++k)
          v[static_cast<std::size_t>(k)] = PQgetisnull(r, i, k) ? nullptr : PQgetvalue(r, i, k);
        row(v);
      }
    } else if (!failed) {
      failed = true;
      error = Trimmed(PQresultErrorMessage(r));
    }
    PQclear(r);
  }
  if (!failed) return TDbResult::Ok;
  if (PQstatus(conn_->pg) != CONNECTION_OK) {
    conn_.reset();
    return TDbResult::ConnectionLost;
  }
  return TDbResult::Failed;
}

}  // namespace quorvel::archive
