// quorvel-collect between real mosquitto brokers and a real PostgreSQL, all
// started by the tests on loopback: two simulated stations publish through
// their own brokers bridged to a central one while the collector is killed,
// the database stopped and the central broker restarted; the archive ends
// with each results line exactly once. Also bad messages and a database
// with a newer schema.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "PgTestSupport.h"
#include "SilentHost.h"
#include "e2e/RunQuorvel.h"
#include "mqtt/MqttTestSupport.h"

namespace quorvel::collecttest {
namespace {

namespace fs = std::filesystem;
using mqtttest::RunCommand;
using mqtttest::TBroker;
using mqtttest::TChild;
using pgtest::TPostgres;

constexpr const char* kMorning = "2026-05-03T08:00:00";
const std::string kMay3 = e2e::DayFileName(2026, 5, 3);

std::string ReadText(const fs::path& p) {
  std::ifstream f(p);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

template <class F>
bool WaitFor(F enough, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (enough()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return enough();
}

double Number(const std::string& text) {
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  EXPECT_TRUE(r.ec == std::errc() && r.ptr == text.data() + text.size()) << "'" << text << "'";
  return v;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const auto at = s.find(sep, start);
    out.push_back(s.substr(start, at - start));
    if (at == std::string::npos) return out;
    start = at + 1;
  }
}

class CollectEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string m = mqtttest::MissingTools(); !m.empty()) GTEST_SKIP() << m;
    if (const std::string m = pgtest::MissingPostgres(); !m.empty()) GTEST_SKIP() << m;
    dir_ = fs::temp_directory_path() /
           ("quorvel_collect_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    pg_ = std::make_unique<TPostgres>(dir_ / "pg");
    pg_->Start();
  }
  void TearDown() override {
    collector_.reset();
    pg_.reset();
    std::error_code ec;
    if (!HasFailure()) fs::remove_all(dir_, ec);
  }

  void StartCollector(int port) {
    collector_ = std::make_unique<TChild>(
        std::vector<std::string>{
            QUORVEL_COLLECT_EXE, "--mqtt-url", "mqtt://127.0.0.1:" + std::to_string(port),
            "--postgres", pg_->Conninfo(), "--client-id", "archive-test", "--batch-ms", "100"},
        dir_ / "collector.log");
  }
  std::string CollectorLog() const { return ReadText(dir_ / "collector.log"); }

  // Publishes `payload` on the central broker with QoS 1.
  static void Publish(int port, const std::string& topic, const std::string& payload) {
    int status = -1;
    RunCommand({"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(port), "-q", "1", "-t",
                topic, "-m", payload},
               &status);
    ASSERT_EQ(status, 0);
  }

  // The collector has subscribed: a probe it must call bad shows up.
  void WaitUntilSubscribed(int port) {
    ASSERT_TRUE(WaitFor(
        [&] {
          Publish(port, "quorvel/probe/measurement", "probe");
          return CollectorLog().find("bad message on quorvel/probe/measurement") !=
                 std::string::npos;
        },
        30))
        << CollectorLog();
  }

  std::size_t Rows(const std::string& where = "") const {
    return std::stoul(pg_->Psql("SELECT count(*) FROM measurements" + where));
  }

  fs::path dir_;
  std::unique_ptr<TPostgres> pg_;
  std::unique_ptr<TChild> collector_;
};

TEST_F(CollectEndToEnd, EveryResultsLineOnceThroughKillsAndOutages) {
  TBroker central(dir_ / "central",
                  "allow_anonymous true\npersistence true\npersistence_location " +
                      (dir_ / "central").string() + "/\nmax_queued_messages 200000");
  central.Start();
  // Each station's broker: the shipped bridge file with this test's ports.
  const auto stationBroker = [&](const std::string& name) {
    std::string conf = ReadText(STATION_BRIDGE_CONF);
    const auto replaceLine = [&conf](const std::string& key, const std::string& value) {
      const auto at = conf.find("\n" + key + " ");
      EXPECT_NE(at, std::string::npos) << key;
      const auto end = conf.find('\n', at + 1);
      conf.replace(at + 1, end - at - 1, value);
    };
    replaceLine("listener", "# listener: the test's own");
    replaceLine("persistence_location", "persistence_location " + (dir_ / name).string() + "/");
    replaceLine("address", "address 127.0.0.1:" + std::to_string(central.Port()));
    replaceLine("clientid", "clientid bridge-" + name);
    replaceLine("restart_timeout", "restart_timeout 1 1");
    auto b = std::make_unique<TBroker>(dir_ / name, conf);
    b->Start();
    return b;
  };
  auto brokerA = stationBroker("north");
  auto brokerB = stationBroker("south");

  StartCollector(central.Port());
  WaitUntilSubscribed(central.Port());

  // Bad messages between the good ones: logged and skipped, never stored.
  struct TBad {
    const char* payload;
    const char* why;
  };
  const std::string good =
      R"({"utc":"2026-05-02T10:00:00.000Z","jd":2461162.9166667,"seeing_arcsec":1.52,)"
      R"("r0_mm":67.1,"seeing_zenith_arcsec":1.21,"r0_zenith_mm":88.0,"signal_mV":812.4,)"
      R"("sun_azimuth_deg":140.221,"sun_elevation_deg":48.117,"station":"bad-test",)"
      R"("latitude_deg":45.5,"longitude_deg":3.5,"altitude_m":100})";
  const auto with = [&](const std::string& from, const std::string& to) {
    std::string s = good;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"not json", "not a JSON object"},
      {with("\"r0_mm\":67.1,", ""), "no \"r0_mm\""},
      {with("1.52", "-3"), "\"seeing_arcsec\" is out of range"},
      {with("1.52", "\"1.52\""), "\"seeing_arcsec\" is not a number"},
      {with("2026-05-02T10:00:00.000Z", "yesterday"), "\"utc\" is not an instant"},
      {with("\"bad-test\"", "\"other\""), "\"station\" is 'other'"},
  };
  for (const auto& [payload, why] : bad)
    Publish(central.Port(), "quorvel/bad-test/measurement", payload);
  Publish(central.Port(), "quorvel/bad-test/measurement", good);

  // Both stations run 600 virtual seconds at once; at the north one's
  // stops, the collector is killed, the database stopped and the central
  // broker restarted.
  const auto stationRun = [&](const std::string& name, const std::string& stops,
                              std::function<void(int)> onStop) {
    e2e::TRunPlan plan;
    const fs::path home = dir_ / ("station-" + name);
    plan.args = {
        "--simulate",
        "--speed",
        "50",
        "--clock-start",
        kMorning,
        "--duration",
        "600",
        "--data-dir",
        (home / "data").string(),
        "--settings",
        (home / "settings.ini").string(),
        "--mqtt-url",
        "mqtt://127.0.0.1:" + std::to_string((name == "north" ? brokerA : brokerB)->Port()),
        "--mqtt-station",
        name};
    if (!stops.empty()) plan.args.insert(plan.args.end(), {"--sim-stop-at", stops});
    plan.onStop = std::move(onStop);
    plan.env = {
        {"TZ", "UTC"}, {"LC_ALL", "C"}, {"QUORVEL_SETTINGS", (home / "settings.ini").string()}};
    plan.timeoutMs = 120000;
    return e2e::RunQuorvel(plan, home / "run");
  };
  e2e::TRunResult south;
  std::thread southThread([&] { south = stationRun("south", "", {}); });
  const e2e::TRunResult north = stationRun("north", "120,240,360", [&](int n) {
    if (n == 0) {
      collector_->Kill();
      StartCollector(central.Port());
    } else if (n == 1) {
      pg_->Stop("immediate");
      std::this_thread::sleep_for(std::chrono::seconds(2));
      pg_->Start();
    } else {
      central.Stop();
      central.Start();
    }
  });
  southThread.join();
  for (const e2e::TRunResult* r : {&north, static_cast<const e2e::TRunResult*>(&south)})
    ASSERT_TRUE(r->exited && r->status == 0) << r->err << r->out;
  EXPECT_EQ(north.stops, 3);

  for (const std::string name : {"north", "south"}) {
    std::vector<std::string> lines;
    for (const auto& l : e2e::ReadDayFile(dir_ / ("station-" + name) / "data" / kMay3).lines)
      if (l != e2e::ResultHeader()) lines.push_back(l);
    ASSERT_EQ(lines.size(), 600u) << name;
    const std::string where = " WHERE station = '" + name + "'";
    EXPECT_TRUE(WaitFor([&] { return Rows(where) >= lines.size(); }, 60))
        << name << ": " << Rows(where) << " rows\n"
        << CollectorLog();
    // Rows that might still come would be duplicates: give them the time.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto rows = Split(pg_->Psql("SELECT jd, signal_mv, seeing_arcsec, r0_mm, "
                                      "sun_azimuth_deg, sun_elevation_deg, seeing_zenith_arcsec, "
                                      "r0_zenith_mm FROM measurements" +
                                      where + " ORDER BY utc"),
                            '\n');
    ASSERT_GE(rows.size(), lines.size());
    ASSERT_EQ(rows.size() - (rows.back().empty() ? 1 : 0), lines.size()) << name;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const auto f = e2e::Fields(lines[i]);
      const auto v = Split(rows[i], '|');
      ASSERT_EQ(v.size(), 8u) << rows[i];
      for (std::size_t k = 0; k < 8; ++k)
        ASSERT_EQ(Number(v[k]), Number(f[k + 2])) << name << " line " << i << ": " << lines[i];
    }
    EXPECT_EQ(pg_->Psql("SELECT latitude_deg IS NOT NULL FROM stations" + where), "t\n");
    // The simulated instrument's serial number, from the bridged state.
    EXPECT_TRUE(WaitFor(
        [&] { return pg_->Psql("SELECT instrument ~ '^[0-9]+$' FROM stations" + where) == "t\n"; },
        10))
        << pg_->Psql("SELECT instrument FROM stations" + where);
  }

  // The bad ones: each said why, none stored, the good one next to them is.
  const std::string log = CollectorLog();
  for (const auto& [payload, why] : bad)
    EXPECT_NE(log.find("bad message on quorvel/bad-test/measurement skipped: " + why),
              std::string::npos)
        << why << "\n"
        << log;
  EXPECT_EQ(Rows(" WHERE station = 'bad-test'"), 1u);
  EXPECT_EQ(Rows(), 1201u);
  EXPECT_NE(log.find("connection to the database at"), std::string::npos) << log;

  // The report from the archive is the report from the files, per station
  // and for all stations in turn.
  const auto report = [&](std::vector<std::string> args, const std::string& settings) {
    args.insert(args.begin(), QUORVEL_REPORT_EXE);
    int status = -1;
    ::setenv("QUORVEL_SETTINGS", settings.c_str(), 1);
    const std::string out = RunCommand(args, &status);
    ::unsetenv("QUORVEL_SETTINGS");
    EXPECT_EQ(status, 0) << out;
    return out;
  };
  std::string both;
  for (const std::string name : {"north", "south"}) {
    const fs::path home = dir_ / ("station-" + name);
    const std::string fromFiles =
        report({"--tz", "UTC", "--station", name, "--json", "-", (home / "data").string()},
               (home / "settings.ini").string());
    const std::string fromArchive =
        report({"--tz", "UTC", "--station", name, "--json", "-", "--postgres", pg_->Conninfo()},
               (dir_ / "absent.ini").string());
    EXPECT_NE(fromFiles.find("\"measurements\": 600"), std::string::npos) << fromFiles;
    EXPECT_EQ(fromArchive, fromFiles) << name;
    both += "== " + name + " ==\n" +
            report({"--tz", "UTC", "--station", name, (home / "data").string()},
                   (home / "settings.ini").string());
  }
  const std::string all = report({"--tz", "UTC", "--station", "all", "--postgres", pg_->Conninfo(),
                                  "--export-csv", (dir_ / "all.csv").string()},
                                 (dir_ / "absent.ini").string());
  EXPECT_NE(all.find(both.substr(0, 200)), std::string::npos) << all;
  EXPECT_NE(all.find(both.substr(both.find("== south"))), std::string::npos) << all << both;
  EXPECT_TRUE(fs::exists(dir_ / "all-north.csv"));
  EXPECT_TRUE(fs::exists(dir_ / "all-south.csv"));

  // The dashboards' views, installed twice as an upgrade would.
  pg_->Psql(ReadText(VIEWS_SQL));
  pg_->Psql(ReadText(VIEWS_SQL));
  EXPECT_EQ(pg_->Psql("SELECT station, day_utc, measurements FROM quorvel_daily_medians "
                      "ORDER BY station"),
            "bad-test|2026-05-02|1\nnorth|2026-05-03|600\nsouth|2026-05-03|600\n");
  EXPECT_EQ(pg_->Psql("SELECT station, hour_utc, measurements FROM quorvel_hourly_medians "
                      "WHERE station = 'north'"),
            "north|2026-05-03 08:00:00+00|600\n");
  const auto median = Split(pg_->Psql("SELECT seeing_arcsec FROM quorvel_daily_medians WHERE "
                                      "station = 'north'"),
                            '\n');
  EXPECT_EQ(median[0], pg_->Psql("SELECT percentile_cont(0.5) WITHIN GROUP (ORDER BY "
                                 "seeing_arcsec) FROM measurements WHERE station = 'north'")
                           .substr(0, median[0].size()));
  // One latest row per station, at its last instant.
  EXPECT_EQ(pg_->Psql("SELECT count(*) FROM quorvel_latest l JOIN (SELECT station, max(utc) AS "
                      "utc FROM measurements GROUP BY station) x USING (station, utc)"),
            "3\n");
  EXPECT_EQ(pg_->Psql("SELECT count(*) FROM quorvel_latest"), "3\n");
}

// A database whose archive is of a newer schema is not written to: the
// collector says why and ends with a failure (systemd then tries later).
TEST_F(CollectEndToEnd, ANewerSchemaIsRefused) {
  pg_->Psql("CREATE TABLE quorvel_schema (version integer NOT NULL, created timestamptz)");
  pg_->Psql("INSERT INTO quorvel_schema (version) VALUES (99)");
  TBroker central(dir_ / "central", "allow_anonymous true");
  central.Start();
  int status = -1;
  RunCommand({QUORVEL_COLLECT_EXE, "--mqtt-url",
              "mqtt://127.0.0.1:" + std::to_string(central.Port()), "--postgres", pg_->Conninfo()},
             &status);
  EXPECT_EQ(status, 1);
  StartCollector(central.Port());
  ASSERT_TRUE(WaitFor([&] { return CollectorLog().find("version 99") != std::string::npos; }, 20))
      << CollectorLog();
  EXPECT_NE(CollectorLog().find("newer than this program's (1)"), std::string::npos);
  EXPECT_EQ(pg_->Psql("SELECT count(*) FROM pg_tables WHERE tablename = 'measurements'"), "0\n");
}

// Over TLS with a password, a few hundred measurements sent at once are all
// stored, each once (what TLS decrypted ahead is read too); a collector
// that cannot verify the broker stores nothing and keeps trying.
TEST_F(CollectEndToEnd, OverTlsEveryMeasurementOnce) {
  const fs::path pki = dir_ / "pki";
  ASSERT_EQ(mqtttest::MakeTestCertificates(pki), "");
  const std::string p = pki.string() + "/";
  int status = -1;
  RunCommand({"mosquitto_passwd", "-b", "-c", p + "passwd", "archive", "s3cret word"}, &status);
  ASSERT_EQ(status, 0);
  TBroker central(dir_ / "central", "allow_anonymous false\npassword_file " + p +
                                        "passwd\ncafile " + p + "ca.pem\ncertfile " + p +
                                        "server.pem\nkeyfile " + p + "server.key");
  central.Start();
  {
    std::ofstream f(dir_ / "password");
    f << "s3cret word\n";
  }
  ::chmod((dir_ / "password").c_str(), 0600);
  const std::string url = "mqtts://127.0.0.1:" + std::to_string(central.Port());
  const auto collector = [&](const std::string& ca, const fs::path& log) {
    return std::make_unique<TChild>(
        std::vector<std::string>{QUORVEL_COLLECT_EXE, "--mqtt-url", url, "--mqtt-ca", ca,
                                 "--mqtt-user", "archive", "--mqtt-password-file",
                                 (dir_ / "password").string(), "--postgres", pg_->Conninfo(),
                                 "--client-id", "archive-tls", "--batch-ms", "100"},
        log);
  };
  // A CA that did not sign the broker's certificate.
  ASSERT_EQ(mqtttest::MakeTestCertificates(dir_ / "other"), "");
  auto untrusting = collector((dir_ / "other" / "ca.pem").string(), dir_ / "untrusting.log");
  ASSERT_TRUE(WaitFor(
      [&] {
        return ReadText(dir_ / "untrusting.log").find("cannot reach the broker") !=
               std::string::npos;
      },
      20))
      << ReadText(dir_ / "untrusting.log");
  untrusting->Stop();

  collector_ = collector(p + "ca.pem", dir_ / "collector.log");
  const std::vector<std::string> tls = {"--cafile", p + "ca.pem", "-u",
                                        "archive",  "-P",         "s3cret word"};
  // Subscribed once a probe is called bad.
  ASSERT_TRUE(WaitFor(
      [&] {
        std::vector<std::string> args = {"mosquitto_pub",
                                         "-h",
                                         "127.0.0.1",
                                         "-p",
                                         std::to_string(central.Port()),
                                         "-q",
                                         "1",
                                         "-t",
                                         "quorvel/probe/measurement",
                                         "-m",
                                         "probe"};
        args.insert(args.end(), tls.begin(), tls.end());
        RunCommand(args);
        return CollectorLog().find("bad message on quorvel/probe/measurement") != std::string::npos;
      },
      30))
      << CollectorLog();

  constexpr int kCount = 400;
  {
    std::ofstream lines(dir_ / "lines.txt");
    const std::int64_t start = 1777795200000;  // 2026-05-03T08:00:00Z
    for (int i = 0; i < kCount; ++i) {
      const std::int64_t ms = start + i * 1000LL;
      char utc[32], jd[32];
      std::snprintf(utc, sizeof utc, "2026-05-03T%02d:%02d:%02d.000Z", 8 + i / 3600, i / 60 % 60,
                    i % 60);
      std::snprintf(jd, sizeof jd, "%.7f", static_cast<double>(ms) / 86400000.0 + 2440587.5);
      lines << R"({"utc":")" << utc << R"(","jd":)" << jd
            << R"(,"seeing_arcsec":1.52,"r0_mm":67.1,"seeing_zenith_arcsec":1.21,)"
               R"("r0_zenith_mm":88.0,"signal_mV":812.4,"sun_azimuth_deg":140.221,)"
               R"("sun_elevation_deg":48.117,"station":"tls","latitude_deg":45.5,)"
               R"("longitude_deg":3.5,"altitude_m":100})"
            << "\n";
    }
  }
  RunCommand({"sh", "-c",
              "mosquitto_pub -h 127.0.0.1 -p " + std::to_string(central.Port()) +
                  " -q 1 -t quorvel/tls/measurement -l --cafile '" + p +
                  "ca.pem' -u archive -P 's3cret word' < '" + (dir_ / "lines.txt").string() + "'"},
             &status);
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(WaitFor([&] { return Rows() >= kCount; }, 30)) << Rows() << "\n" << CollectorLog();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(Rows(), static_cast<std::size_t>(kCount));
  EXPECT_EQ(pg_->Psql("SELECT count(DISTINCT utc) FROM measurements"),
            std::to_string(kCount) + "\n");
  EXPECT_EQ(CollectorLog().find("s3cret"), std::string::npos);
}

// A station's instrument comes from its retained state, also when the
// state comes before the station's first measurement; bad states are said
// and skipped, and nothing stops.
TEST_F(CollectEndToEnd, TheStationsTableKeepsTheInstrument) {
  TBroker central(dir_ / "central", "allow_anonymous true");
  central.Start();
  const auto state = [](const std::string& station, const std::string& serial) {
    return R"({"utc":"2026-05-02T10:00:00.000Z","valid":false,"reason":"no_instrument",)"
           R"("seeing_arcsec":null,"r0_mm":null,"seeing_zenith_arcsec":null,"r0_zenith_mm":null,)"
           R"("seeing_1min_arcsec":null,"seeing_5min_arcsec":null,"seeing_1min_zenith_arcsec":null,)"
           R"("seeing_5min_zenith_arcsec":null,"signal_mV":null,"sun_azimuth_deg":null,)"
           R"("sun_elevation_deg":null,"trigger":"unknown","serial_number":)" +
           serial + R"(,"station":")" + station +
           R"(","latitude_deg":45.5,"longitude_deg":3.5,"altitude_m":100})";
  };
  const auto measurement = [](const std::string& second) {
    return R"({"utc":"2026-05-02T10:00:)" + second + R"(.000Z","jd":)" +
           (second == "00" ? "2461162.9166667" : "2461162.9167824") +
           R"(,"seeing_arcsec":1.52,"r0_mm":67.1,"seeing_zenith_arcsec":1.21,"r0_zenith_mm":88.0,)"
           R"("signal_mV":812.4,"sun_azimuth_deg":140.221,"sun_elevation_deg":48.117,)"
           R"("station":"north","latitude_deg":45.5,"longitude_deg":3.5,"altitude_m":100})";
  };
  const auto publishState = [&](const std::string& station, const std::string& payload) {
    int status = -1;
    RunCommand({"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(central.Port()), "-r",
                "-t", "quorvel/" + station + "/state", "-m", payload},
               &status);
    ASSERT_EQ(status, 0);
  };
  const auto instrument = [&] { return pg_->Psql("SELECT instrument FROM stations"); };

  // Retained before the collector runs, before any measurement.
  publishState("north", state("north", "4294900475"));
  publishState("east", state("east", "77"));
  StartCollector(central.Port());
  WaitUntilSubscribed(central.Port());
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  Publish(central.Port(), "quorvel/north/measurement", measurement("00"));
  EXPECT_TRUE(WaitFor([&] { return instrument() == "4294900475\n"; }, 15))
      << instrument() << CollectorLog();

  const std::vector<std::pair<std::string, std::string>> bad = {
      {"not json", "not a JSON object"},
      {state("south", "5"), "\"station\" is 'south' on the topic of 'north'"},
      {state("north", "-5"), "\"serial_number\" is not a serial number: -5"},
  };
  for (const auto& [payload, why] : bad) publishState("north", payload);
  publishState("north", state("north", "null"));  // not read yet: no word
  publishState("north", state("north", "17"));
  EXPECT_TRUE(WaitFor([&] { return instrument() == "17\n"; }, 15))
      << instrument() << CollectorLog();
  const std::string log = CollectorLog();
  for (const auto& [payload, why] : bad)
    EXPECT_NE(log.find("bad message on quorvel/north/state skipped: " + why), std::string::npos)
        << why << "\n"
        << log;
  EXPECT_EQ(log.find("quorvel/east/state"), std::string::npos) << log;
  EXPECT_EQ(log.find("null"), std::string::npos) << log;

  // Measurements still go in; the station without any has no row.
  Publish(central.Port(), "quorvel/north/measurement", measurement("10"));
  EXPECT_TRUE(WaitFor([&] { return Rows() == 2; }, 15)) << CollectorLog();
  EXPECT_EQ(pg_->Psql("SELECT station, instrument FROM stations"), "north|17\n");
}

// Two stations in the archive: --station all gives each station's own
// report and one comparison whose figures are each station's own, in the
// text, the JSON and the HTML.
TEST_F(CollectEndToEnd, StationsSideBySideHaveEachStationsOwnFigures) {
  // The collector creates the schema (its broker is not there).
  StartCollector(1);
  ASSERT_TRUE(WaitFor(
      [&] {
        return pg_->Psql("SELECT count(*) FROM pg_tables WHERE tablename = 'measurements'") ==
               "1\n";
      },
      20))
      << CollectorLog();
  collector_.reset();
  pg_->Psql(
      "INSERT INTO stations VALUES ('north', 45.5, 3.5, 100, NULL, now(), now()), "
      "('south-ridge', -30.25, -70.75, 2200, NULL, now(), now())");
  // North: two mornings of varying seeing; south-ridge: one afternoon, worse.
  const auto insert = [&](const std::string& station, const std::string& start, int seconds,
                          double base) {
    pg_->Psql(
        "INSERT INTO measurements (station, utc, jd, signal_mv, seeing_arcsec, r0_mm, "
        "sun_azimuth_deg, sun_elevation_deg, seeing_zenith_arcsec, r0_zenith_mm) "
        "SELECT '" +
        station +
        "', t, 2440587.5 + extract(epoch FROM t) / 86400, 800, s, 100 / s, 150, "
        "40, s * 0.8, 125 / s FROM (SELECT t, " +
        std::to_string(base) +
        " + 0.6 * sin(extract(epoch FROM t) / 900) AS s FROM generate_series(timestamptz '" +
        start + "', timestamptz '" + start + "' + interval '" + std::to_string(seconds) +
        " seconds', interval '10 seconds') AS t) AS x");
  };
  insert("north", "2026-05-03 07:00:00+00", 3 * 3600, 1.6);
  insert("north", "2026-05-04 08:30:00+00", 2 * 3600, 1.3);
  insert("south-ridge", "2026-05-03 13:00:00+00", 4 * 3600, 2.4);

  int status = -1;
  const std::string text =
      RunCommand({QUORVEL_REPORT_EXE, "--tz", "UTC", "--station", "all", "--postgres",
                  pg_->Conninfo(), "--json", (dir_ / "all.json").string(), "--html",
                  (dir_ / "all.html").string(), "--plots", (dir_ / "plots").string()},
                 &status);
  ASSERT_EQ(status, 0) << text;
  const auto side = text.find("== Stations side by side ==");
  ASSERT_NE(side, std::string::npos) << text;
  const std::string comparison = text.substr(side);
  const std::string json = ReadText(dir_ / "all.json");
  const std::string html = ReadText(dir_ / "all.html");

  struct TStation {
    std::string name;
    int days;
  };
  for (const TStation& st : {TStation{"north", 2}, TStation{"south-ridge", 1}}) {
    // Text: the station's "All" row is its comparison row.
    const auto own = text.find("== " + st.name + " ==");
    ASSERT_NE(own, std::string::npos) << text;
    const auto allRow = text.find("\nAll ", own);
    ASSERT_LT(allRow, side);
    const std::string figures = text.substr(allRow + 12, text.find('\n', allRow + 1) - allRow - 12);
    ASSERT_GT(figures.size(), 40u) << figures;
    const auto row = comparison.find("\n" + st.name + " ");
    ASSERT_NE(row, std::string::npos) << comparison;
    const std::string line = comparison.substr(row + 1, comparison.find('\n', row + 1) - row - 1);
    EXPECT_EQ(line.substr(line.size() - figures.size()), figures) << line;
    EXPECT_EQ(
        std::stoi(line.substr(st.name.size(), line.size() - figures.size() - 1 - st.name.size())),
        st.days)
        << line;

    // JSON: the station's "overall" as in its own report.
    const std::string ownJson = ReadText(dir_ / ("all-" + st.name + ".json"));
    const auto from = ownJson.find("\"overall\": ");
    const auto to = ownJson.find(",\n \"station\"");
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos) << ownJson;
    EXPECT_NE(json.find(ownJson.substr(from, to - from)), std::string::npos) << st.name << "\n"
                                                                             << json;
    EXPECT_NE(json.find("{\"station\": \"" + st.name + "\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"days\": " + std::to_string(st.days)), std::string::npos) << json;

    // HTML: a row linking the station's own report.
    EXPECT_NE(html.find("<a href=\"all-" + st.name + ".html\">" + st.name + "</a>"),
              std::string::npos)
        << html;
    EXPECT_TRUE(fs::exists(dir_ / ("all-" + st.name + ".html")));
    EXPECT_TRUE(fs::exists(dir_ / "plots" / st.name / "histogram.png"));
  }
  EXPECT_NE(comparison.find("30.2500 S 70.7500 W 2200 m; 2026-05-03 to 2026-05-03"),
            std::string::npos)
      << comparison;
  EXPECT_NE(json.find("\"site_latitude_deg\": -30.25"), std::string::npos) << json;
  EXPECT_NE(html.find("<svg"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "plots" / "hourly-by-station.png"));
  EXPECT_TRUE(fs::exists(dir_ / "plots" / "hourly-by-station.svg"));
}

// A database host that takes the connection but never answers: the
// collector keeps trying without hanging and ends at once on SIGTERM; the
// report gives up after connect_timeout. Needs neither a broker nor a
// server.
TEST(CollectSilentDatabase, NeitherCollectorNorReportHangs) {
  pgtest::TSilentHost silent;
  const std::string host =
      "host=127.0.0.1 port=" + std::to_string(silent.Port()) + " dbname=archive user=nobody";
  const fs::path dir =
      fs::temp_directory_path() / ("quorvel_collect_silent_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  using TClock = std::chrono::steady_clock;
  const auto seconds = [](TClock::time_point since) {
    return std::chrono::duration<double>(TClock::now() - since).count();
  };
  const auto collector = [&](const std::string& conninfo) {
    return std::make_unique<TChild>(
        std::vector<std::string>{QUORVEL_COLLECT_EXE, "--mqtt-url", "mqtt://127.0.0.1:1",
                                 "--postgres", conninfo},
        dir / "collector.log");
  };

  // The default limit (10 s) has not run out: SIGTERM ends the wait.
  auto c = collector(host);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  auto start = TClock::now();
  c->Stop();
  EXPECT_LT(seconds(start), 1.5);

  // A limit of 2 s: said, and tried again, still ending promptly.
  c = collector(host + " connect_timeout=2");
  EXPECT_TRUE(WaitFor(
      [&] {
        return ReadText(dir / "collector.log").find("no answer within 2 s") != std::string::npos;
      },
      8))
      << ReadText(dir / "collector.log");
  start = TClock::now();
  c->Stop();
  EXPECT_LT(seconds(start), 1.5);

  int status = -1;
  start = TClock::now();
  RunCommand({QUORVEL_REPORT_EXE, "--station", "all", "--postgres", host + " connect_timeout=2"},
             &status);
  EXPECT_EQ(status, 1);
  EXPECT_GE(seconds(start), 1.9);
  EXPECT_LT(seconds(start), 6.0);
  std::error_code ec;
  if (!HasFailure()) fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace quorvel::collecttest
