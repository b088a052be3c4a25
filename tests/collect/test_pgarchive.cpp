// The archive's connection through libpq never waits without end: the time
// limit each connection string gives, a host that takes the connection but
// never answers, and a stop while waiting for one.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "SilentHost.h"
#include "archive/ArchiveSql.h"
#include "pgarchive/PgArchive.h"

namespace quorvel::archive {
namespace {

using TClock = std::chrono::steady_clock;
using pgtest::TSilentHost;

// A loopback port nobody listens on: refused at once.
int ClosedPort() {
  TSilentHost h;
  return h.Port();
}

TEST(ConnectTimeout, ValuesLibpqSettledOn) {
  struct TCase {
    const char* value;
    std::optional<int> seconds;
  };
  const TCase cases[] = {
      {"", kDefaultConnectTimeoutS},
      {"  ", kDefaultConnectTimeoutS},
      {"3", 3},
      {" 7 ", 7},
      {"1", 2},
      {"0", std::nullopt},
      {"-5", std::nullopt},
      {"abc", kDefaultConnectTimeoutS},
      {"5s", kDefaultConnectTimeoutS},
      {"99999999999", kDefaultConnectTimeoutS},
  };
  for (const auto& c : cases) EXPECT_EQ(ConnectTimeoutSeconds(c.value), c.seconds) << c.value;
}

// The limit comes from the connection string first, then PGCONNECT_TIMEOUT,
// else the default; each attempt here is refused at once.
TEST(ConnectTimeout, FromConnectionStringEnvironmentOrDefault) {
  const std::string host = "host=127.0.0.1 port=" + std::to_string(ClosedPort());
  const std::string uri = "postgresql://127.0.0.1:" + std::to_string(ClosedPort()) + "/archive";
  struct TCase {
    std::string conninfo;
    const char* env;  // PGCONNECT_TIMEOUT; nullptr: unset
    std::optional<int> seconds;
  };
  const TCase cases[] = {
      {host, nullptr, kDefaultConnectTimeoutS},
      {host + " connect_timeout=3", nullptr, 3},
      {uri + "?connect_timeout=5", nullptr, 5},
      {uri, nullptr, kDefaultConnectTimeoutS},
      {host + " connect_timeout=1", nullptr, 2},
      {host + " connect_timeout=0", nullptr, std::nullopt},
      {host, "4", 4},
      {host + " connect_timeout=7", "4", 7},
      {host, "0", std::nullopt},
  };
  for (const auto& c : cases) {
    if (c.env)
      ::setenv("PGCONNECT_TIMEOUT", c.env, 1);
    else
      ::unsetenv("PGCONNECT_TIMEOUT");
    TPgArchive db(c.conninfo);
    std::string error;
    EXPECT_FALSE(db.Connect(error)) << c.conninfo;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(db.ConnectTimeoutS(), c.seconds) << c.conninfo << " env " << (c.env ? c.env : "-");
  }
  ::unsetenv("PGCONNECT_TIMEOUT");
}

TEST(ConnectTimeout, AHostThatNeverAnswersIsGivenUpOn) {
  TSilentHost silent;
  TPgArchive db("host=127.0.0.1 port=" + std::to_string(silent.Port()) +
                " connect_timeout=2 dbname=archive user=nobody");
  std::string error;
  const auto start = TClock::now();
  EXPECT_FALSE(db.Connect(error));
  const double s = std::chrono::duration<double>(TClock::now() - start).count();
  EXPECT_GE(s, 1.9);
  EXPECT_LT(s, 5.0);
  EXPECT_NE(error.find("no answer within 2 s"), std::string::npos) << error;
  EXPECT_FALSE(db.Connected());
}

TEST(ConnectTimeout, AStopEndsTheWaitEvenWithoutALimit) {
  TSilentHost silent;
  TPgArchive db("host=127.0.0.1 port=" + std::to_string(silent.Port()) +
                " connect_timeout=0 dbname=archive user=nobody");
  std::atomic<bool> stop{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    stop = true;
  });
  std::string error;
  const auto start = TClock::now();
  EXPECT_FALSE(db.Connect(error, &stop));
  const double s = std::chrono::duration<double>(TClock::now() - start).count();
  stopper.join();
  EXPECT_LT(s, 2.0);
  EXPECT_NE(error.find("stopped"), std::string::npos) << error;
}

}  // namespace
}  // namespace quorvel::archive
