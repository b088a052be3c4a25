#include "PgTestSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "mqtt/MqttTestSupport.h"

namespace quorvel::pgtest {

namespace {

// The newest server installed the Debian way.
fs::path ServerBin() {
  fs::path best;
  int bestVersion = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    const int v = std::atoi(e.path().filename().c_str());
    if (v > bestVersion && ::access((e.path() / "bin" / "initdb").c_str(), X_OK) == 0 &&
        ::access((e.path() / "bin" / "pg_ctl").c_str(), X_OK) == 0) {
      bestVersion = v;
      best = e.path() / "bin";
    }
  }
  return best;
}

// initdb and the server refuse root: as root, they run as "nobody".
bool RunAsUser(uid_t& uid, gid_t& gid) {
  if (::geteuid() != 0) {
    uid = ::geteuid();
    gid = ::getegid();
    return true;
  }
  const passwd* pw = ::getpwnam("nobody");
  if (!pw || pw->pw_uid == 0) return false;
  uid = pw->pw_uid;
  gid = pw->pw_gid;
  return true;
}

std::string ReadText(const fs::path& p) {
  std::ifstream f(p);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace

std::string MissingPostgres() {
  if (ServerBin().empty())
    return "no PostgreSQL server programs (initdb, pg_ctl) under /usr/lib/postgresql "
           "(Debian package postgresql)";
  if (::access("/usr/bin/psql", X_OK) != 0)
    return "psql is not installed (Debian package postgresql-client)";
  uid_t u;
  gid_t g;
  if (!RunAsUser(u, g)) return "running as root without a user 'nobody' to run PostgreSQL";
  return {};
}

TPostgres::TPostgres(fs::path dir)
    : dir_(std::move(dir)),
      data_(dir_ / "data"),
      socket_(dir_ / "socket"),
      port_(mqtttest::FreePort()) {
  fs::create_directories(socket_);
  uid_t u;
  gid_t g;
  if (RunAsUser(u, g)) {
    // The test's folders must let the server's user through.
    for (fs::path p = dir_; !p.empty() && p != p.root_path(); p = p.parent_path()) {
      if (p == fs::temp_directory_path()) break;
      fs::permissions(p, fs::perms::others_exec | fs::perms::others_read, fs::perm_options::add);
    }
    if (::chown(dir_.c_str(), u, g) != 0 || ::chown(socket_.c_str(), u, g) != 0)
      throw std::runtime_error("cannot give " + dir_.string() + " to the server's user");
  }
}

TPostgres::~TPostgres() {
  if (running_) Stop("immediate");
}

std::string TPostgres::Run(const std::vector<std::string>& argv, int* status) const {
  uid_t uid;
  gid_t gid;
  RunAsUser(uid, gid);
  const fs::path out = dir_ / "command.log";
  std::vector<std::string> args = argv;
  std::vector<char*> p;
  for (auto& a : args) p.push_back(a.data());
  p.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd >= 0) {
      ::dup2(fd, STDOUT_FILENO);
      ::dup2(fd, STDERR_FILENO);
    }
    if (::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(126);
    }
    ::setenv("LC_ALL", "C", 1);
    ::unsetenv("PGDATA");
    ::chdir(dir_.c_str());
    ::execv(p[0], p.data());
    ::_exit(127);
  }
  int st = 0;
  ::waitpid(pid, &st, 0);
  if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return ReadText(out);
}

void TPostgres::Start(bool durable) {
  const fs::path bin = ServerBin();
  int status = -1;
  if (!initialised_) {
    const std::string out = Run({(bin / "initdb").string(), "-D", data_.string(), "-U", "quorvel",
                                 "--auth=trust", "-E", "UTF8", "--no-sync", "--locale=C"},
                                &status);
    if (status != 0) throw std::runtime_error("initdb failed:\n" + out);
    initialised_ = true;
  }
  const std::string options = "-c listen_addresses=127.0.0.1 -p " + std::to_string(port_) + " -k " +
                              socket_.string() + (durable ? "" : " -c fsync=off");
  const std::string out =
      Run({(bin / "pg_ctl").string(), "-D", data_.string(), "-l", (dir_ / "server.log").string(),
           "-o", options, "-w", "-t", "60", "start"},
          &status);
  if (status != 0)
    throw std::runtime_error("pg_ctl start failed:\n" + out + ReadText(dir_ / "server.log"));
  running_ = true;
  if (Psql("SELECT 1 FROM pg_database WHERE datname = 'archive'").empty())
    Psql("CREATE DATABASE archive");
}

void TPostgres::Stop(const std::string& mode) {
  int status = -1;
  Run({(ServerBin() / "pg_ctl").string(), "-D", data_.string(), "-m", mode, "-w", "stop"}, &status);
  running_ = false;
}

std::string TPostgres::Conninfo() const {
  return "host=127.0.0.1 port=" + std::to_string(port_) +
         " user=quorvel dbname=archive connect_timeout=5";
}

std::string TPostgres::Psql(const std::string& sql) const {
  int status = -1;
  const std::string db =
      sql.rfind("CREATE DATABASE", 0) == 0 || sql.find("pg_database") != std::string::npos
          ? "postgres"
          : "archive";
  const std::string out =
      Run({"/usr/bin/psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", "127.0.0.1",
           "-p", std::to_string(port_), "-U", "quorvel", "-d", db, "-c", sql},
          &status);
  if (status != 0) throw std::runtime_error("psql failed on " + sql + ":\n" + out);
  return out;
}

}  // namespace quorvel::pgtest
