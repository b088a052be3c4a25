#include "pgarchive/PgArchive.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
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

// The value libpq settled on for a connection option ("" when unset).
std::string OptionOf(PGconn* pg, const char* keyword) {
  std::string value;
  if (PQconninfoOption* options = PQconninfo(pg)) {
    for (PQconninfoOption* o = options; o->keyword; ++o)
      if (std::strcmp(o->keyword, keyword) == 0 && o->val) value = o->val;
    PQconninfoFree(options);
  }
  return value;
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

bool TPgArchive::Connect(std::string& error, const std::atomic<bool>* stop) {
  if (Connected()) return true;
  conn_ = std::make_unique<TConn>();
  // Driven here rather than by PQconnectdb: that one waits without end for
  // a host that does not answer, deaf to a stop meanwhile.
  conn_->pg = PQconnectStart(conninfo_.c_str());
  if (!conn_->pg || PQstatus(conn_->pg) == CONNECTION_BAD) {
    error = conn_->pg ? Trimmed(PQerrorMessage(conn_->pg)) : "out of memory";
    conn_.reset();
    return false;
  }
  using TClock = std::chrono::steady_clock;
  const std::optional<int> timeoutS = connectTimeoutS_ =
      ConnectTimeoutSeconds(OptionOf(conn_->pg, "connect_timeout"));
  int socket = -1;
  std::string target;
  TClock::time_point deadline;
  PostgresPollingStatusType st = PGRES_POLLING_WRITING;
  while (st != PGRES_POLLING_OK) {
    if (st == PGRES_POLLING_FAILED) {
      error = Trimmed(PQerrorMessage(conn_->pg));
      conn_.reset();
      return false;
    }
    const auto now = TClock::now();
    // Each host of a list gets the whole time, as with libpq's own.
    const char* host = PQhost(conn_->pg);
    const char* port = PQport(conn_->pg);
    std::string nowTarget = std::string(host ? host : "") + ":" + (port ? port : "");
    if (PQsocket(conn_->pg) != socket || nowTarget != target) {
      socket = PQsocket(conn_->pg);
      target = std::move(nowTarget);
      if (timeoutS) deadline = now + std::chrono::seconds(*timeoutS);
    }
    if (stop && *stop) {
      error = "stopped while connecting";
      conn_.reset();
      return false;
    }
    if (timeoutS && now >= deadline) {
      error = "no answer within " + std::to_string(*timeoutS) + " s (connect_timeout)";
      conn_.reset();
      return false;
    }
    auto wait = std::chrono::milliseconds(100);
    if (timeoutS)
      wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                                std::chrono::milliseconds(1));
    if (socket < 0) {
      st = PQconnectPoll(conn_->pg);
      continue;
    }
    pollfd p{socket, static_cast<short>(st == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    const int ready = ::poll(&p, 1, static_cast<int>(wait.count()));
    if (ready < 0 && errno != EINTR) {
      error = std::string("cannot wait for the database: ") + std::strerror(errno);
      conn_.reset();
      return false;
    }
    if (ready > 0) st = PQconnectPoll(conn_->pg);
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
