// quorvel-headless publishing to real mosquitto brokers that the tests start
// on loopback ports: every topic and payload against the JSON Schema, the
// measurements against the results file, the Last Will, TLS with a password,
// a station network through a bridge with brokers stopped and restarted, and
// brokers that never answer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <thread>

#include "MqttTestSupport.h"
#include "e2e/RunQuorvel.h"
#include "mqtt/MqttSettings.h"

namespace quorvel::mqtttest {
namespace {

using e2e::Fields;
using e2e::ReadDayFile;
using e2e::ResultHeader;
using e2e::RunQuorvel;
using e2e::TRunPlan;
using e2e::TRunResult;

constexpr const char* kMorning = "2026-05-03T08:00:00";
const std::string kMay3 = e2e::DayFileName(2026, 5, 3);
constexpr const char* kStation = "quorvel-4294900475";  // the simulated instrument's serial

std::string ReadText(const fs::path& p) {
  std::ifstream f(p);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// The results file's data lines.
std::vector<std::string> DataLines(const fs::path& file) {
  std::vector<std::string> out;
  for (const auto& l : ReadDayFile(file).lines)
    if (l != ResultHeader()) out.push_back(l);
  return out;
}

// The measurement payload's values equal the line's fields, as printed.
void ExpectSameAsLine(const std::string& json, const std::string& line) {
  const auto f = Fields(line);
  ASSERT_GE(f.size(), 10u) << line;
  EXPECT_EQ(JsonField(json, "jd"), f[2]) << json << "\n" << line;
  EXPECT_EQ(JsonField(json, "signal_mV"), f[3]) << json;
  EXPECT_EQ(JsonField(json, "seeing_arcsec"), f[4]) << json;
  EXPECT_EQ(JsonField(json, "r0_mm"), f[5]) << json;
  EXPECT_EQ(JsonField(json, "sun_azimuth_deg"), f[6]) << json;
  EXPECT_EQ(JsonField(json, "sun_elevation_deg"), f[7]) << json;
  EXPECT_EQ(JsonField(json, "seeing_zenith_arcsec"), f[8]) << json;
  EXPECT_EQ(JsonField(json, "r0_zenith_mm"), f[9]) << json;
  EXPECT_EQ(JsonField(json, "station"), kStation) << json;
}

// Every results line arrived; a line that came more than once came as the
// very same text. `inOrder`: in the order of the file, by first arrival
// (straight from the publisher). Across a bridge and a restarted broker
// MQTT does not keep the order, so there each line is found by its Julian
// day.
void ExpectEveryLineOnce(const std::vector<TMessage>& messages,
                         const std::vector<std::string>& lines, bool inOrder = true) {
  std::map<std::string, std::string> byUtc;
  std::map<std::string, std::string> byJd;
  std::vector<std::string> order;
  for (const auto& m : messages) {
    if (m.topic != std::string("quorvel/") + kStation + "/measurement") continue;
    const std::string utc = JsonField(m.payload, "utc");
    const auto [it, fresh] = byUtc.emplace(utc, m.payload);
    if (fresh) {
      order.push_back(m.payload);
      byJd[JsonField(m.payload, "jd")] = m.payload;
    } else {
      EXPECT_EQ(it->second, m.payload) << "a duplicate that is not an exact copy";
    }
  }
  ASSERT_EQ(order.size(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (inOrder) {
      ExpectSameAsLine(order[i], lines[i]);
      continue;
    }
    const auto it = byJd.find(Fields(lines[i]).at(2));
    ASSERT_NE(it, byJd.end()) << "no measurement for " << lines[i];
    ExpectSameAsLine(it->second, lines[i]);
  }
}

std::size_t CountTopic(const std::vector<TMessage>& ms, const std::string& suffix) {
  std::size_t n = 0;
  for (const auto& m : ms)
    n += m.topic.size() >= suffix.size() &&
         m.topic.compare(m.topic.size() - suffix.size(), suffix.size(), suffix) == 0;
  return n;
}

// Polls until `enough` holds or `seconds` have gone.
template <class F>
bool WaitFor(F enough, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    if (enough()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return enough();
}

class MqttEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = MissingTools(); !missing.empty()) GTEST_SKIP() << missing;
    // Parameterised names hold '/'.
    std::string name = std::string("quorvel_mqtt_") + std::to_string(::getpid()) + "_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
      if (c == '/') c = '_';
    dir_ = fs::temp_directory_path() / name;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    data_ = dir_ / "data";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::vector<std::string> Args(int seconds, const std::string& url,
                                std::vector<std::string> more = {},
                                const std::string& speed = "0") {
    std::vector<std::string> a = {"--simulate",
                                  "--speed",
                                  speed,
                                  "--clock-start",
                                  kMorning,
                                  "--duration",
                                  std::to_string(seconds),
                                  "--data-dir",
                                  data_.string(),
                                  "--settings",
                                  (dir_ / "settings.ini").string()};
    if (!url.empty()) a.insert(a.end(), {"--mqtt-url", url});
    a.insert(a.end(), more.begin(), more.end());
    return a;
  }

  TRunResult Run(TRunPlan plan) {
    plan.env.emplace("TZ", "UTC");
    plan.env.emplace("LC_ALL", "C");
    plan.env.emplace("QUORVEL_SETTINGS", (dir_ / "settings.ini").string());
    return RunQuorvel(plan, dir_ / ("run" + std::to_string(runs_++)));
  }
  TRunResult Run(std::vector<std::string> args) {
    TRunPlan plan;
    plan.args = std::move(args);
    return Run(plan);
  }

  // Validates a file of messages with the schema; the checker's output.
  static void ExpectValid(const fs::path& messages) {
    int status = -1;
    const std::string out =
        RunCommand({PYTHON3_EXE, CHECK_PAYLOADS, SCHEMA_FILE, messages.string()}, &status);
    EXPECT_EQ(status, 0) << out;
  }

  static void ExpectCleanEnd(const TRunResult& r) {
    EXPECT_TRUE(r.exited && r.status == 0) << "status " << r.status << "\n" << r.err << r.out;
  }

  fs::path dir_, data_;
  int runs_ = 0;
};

TEST_F(MqttEndToEnd, EveryTopicAndPayloadFollowsTheSchemaAndTheResultsFile) {
  TBroker broker(dir_ / "broker", "allow_anonymous true");
  broker.Start();
  const std::string url = "mqtt://127.0.0.1:" + std::to_string(broker.Port());
  const fs::path live = dir_ / "live.txt";
  auto sub = StartSubscriber(broker.Port(), {"quorvel/#", "homeassistant/#"}, live, {"-q", "1"});

  const TRunResult r = Run(Args(900, url));
  ExpectCleanEnd(r);
  const auto lines = DataLines(data_ / kMay3);
  ASSERT_GT(lines.size(), 600u);
  const std::string measurementTopic = std::string("quorvel/") + kStation + "/measurement";
  ASSERT_TRUE(
      WaitFor([&] { return CountTopic(ReadMessages(live), "/measurement") >= lines.size(); }, 20));
  sub->Stop();
  const auto ms = ReadMessages(live);

  ExpectValid(live);
  ExpectEveryLineOnce(ms, lines);
  for (const auto& m : ms)
    if (m.topic == measurementTopic) {
      EXPECT_EQ(m.qos, 1) << m.payload;
    }

  // A state's seeing is the one of its cycle's results line.
  std::map<std::string, std::string> seeingAt;
  for (const auto& m : ms)
    if (m.topic == measurementTopic)
      seeingAt[JsonField(m.payload, "utc")] = JsonField(m.payload, "seeing_arcsec");
  int compared = 0;
  for (const auto& m : ms) {
    if (m.topic != std::string("quorvel/") + kStation + "/state") continue;
    if (JsonField(m.payload, "valid") != "true") {
      EXPECT_EQ(JsonField(m.payload, "seeing_arcsec"), "null") << m.payload;
      continue;
    }
    const auto it = seeingAt.find(JsonField(m.payload, "utc"));
    ASSERT_NE(it, seeingAt.end()) << m.payload;
    EXPECT_EQ(JsonField(m.payload, "seeing_arcsec"), it->second) << m.payload;
    ++compared;
  }
  EXPECT_GT(compared, 0);

  // Status online first, offline last; the trigger on each change only.
  std::vector<std::string> status;
  for (const auto& m : ms)
    if (m.topic == std::string("quorvel/") + kStation + "/status") status.push_back(m.payload);
  ASSERT_GE(status.size(), 2u);
  EXPECT_EQ(status.front(), "online");
  EXPECT_EQ(status.back(), "offline");
  std::vector<std::string> trigger;
  for (const auto& m : ms)
    if (m.topic == std::string("quorvel/") + kStation + "/trigger") trigger.push_back(m.payload);
  ASSERT_GE(trigger.size(), 1u);
  for (std::size_t i = 0; i < trigger.size(); ++i) {
    EXPECT_TRUE(trigger[i] == "good" || trigger[i] == "bad" || trigger[i] == "unknown")
        << trigger[i];
    if (i > 0) {
      EXPECT_NE(trigger[i], trigger[i - 1]);
    }
  }

  // What stays on the broker: the retained status, state, trigger and the
  // eleven discovery configs.
  const auto retained = Retained(broker.Port(), "#");
  std::map<std::string, std::string> kept;
  for (const auto& m : retained) {
    EXPECT_TRUE(m.retained) << m.topic;
    kept[m.topic] = m.payload;
  }
  EXPECT_EQ(kept[std::string("quorvel/") + kStation + "/status"], "offline");
  EXPECT_EQ(kept[std::string("quorvel/") + kStation + "/trigger"], trigger.back());
  EXPECT_EQ(JsonField(kept[std::string("quorvel/") + kStation + "/state"], "station"), kStation);
  EXPECT_EQ(kept.count(measurementTopic), 0u);
  EXPECT_EQ(CountTopic(retained, "/config"), 11u);
  EXPECT_TRUE(
      kept.count(std::string("homeassistant/sensor/") + kStation + "/seeing_arcsec/config"));
  EXPECT_TRUE(
      kept.count(std::string("homeassistant/binary_sensor/") + kStation + "/trigger/config"));
  EXPECT_EQ(r.Count("MQTT: connected to the broker at " + url), 1) << r.out;

  // Discovery turned off removes the configs.
  ExpectCleanEnd(Run(Args(5, url, {"--mqtt-discovery", "no"})));
  EXPECT_EQ(CountTopic(Retained(broker.Port(), "homeassistant/#"), "/config"), 0u);
}

TEST_F(MqttEndToEnd, TheSchemaRefusesWhatThePayloadsMustNotBe) {
  const fs::path bad = dir_ / "bad.txt";
  const std::string state =
      R"({"utc":"2026-05-03T08:00:01.000Z","valid":false,"reason":"low_light","seeing_arcsec":2.5,)"
      R"("r0_mm":null,"seeing_zenith_arcsec":null,"r0_zenith_mm":null,"seeing_1min_arcsec":null,)"
      R"("seeing_5min_arcsec":null,"seeing_1min_zenith_arcsec":null,"seeing_5min_zenith_arcsec":null,)"
      R"("signal_mV":100.0,"sun_azimuth_deg":1.000,"sun_elevation_deg":2.000,"trigger":"unknown",)"
      R"("serial_number":null,"station":"s","latitude_deg":45.5,"longitude_deg":3.5,"altitude_m":0})";
  // An invalid cycle with a seeing; a measurement without jd; a status of a
  // third kind; a UTC without milliseconds.
  for (const std::string& line :
       {"0 0 quorvel/s/state " + state,
        std::string(R"(0 1 quorvel/s/measurement {"utc":"2026-05-03T08:00:01.000Z"})"),
        std::string("1 1 quorvel/s/status maybe"), std::string(R"(0 0 quorvel/s/trigger good)")}) {
    {
      std::ofstream f(bad);
      f << line << "\n";
    }
    int status = -1;
    const std::string out =
        RunCommand({PYTHON3_EXE, CHECK_PAYLOADS, SCHEMA_FILE, bad.string()}, &status);
    if (line.find("trigger good") != std::string::npos)
      EXPECT_EQ(status, 0) << out;
    else
      EXPECT_EQ(status, 1) << line << "\n" << out;
  }
}

TEST_F(MqttEndToEnd, TheLastWillSaysOfflineAfterSigkill) {
  TBroker broker(dir_ / "broker", "allow_anonymous true");
  broker.Start();
  const fs::path seen = dir_ / "status.txt";
  auto sub = StartSubscriber(broker.Port(), {"quorvel/+/status"}, seen);
  TRunPlan plan;
  plan.args = Args(3600, "mqtt://127.0.0.1:" + std::to_string(broker.Port()), {}, "1");
  plan.armed = [&] { return ReadText(seen).find("status online") != std::string::npos; };
  plan.killAfterMs = 300;
  plan.timeoutMs = 30000;
  const TRunResult r = Run(plan);
  EXPECT_FALSE(r.exited);
  EXPECT_EQ(r.status, SIGKILL);
  const auto retained = Retained(broker.Port(), "quorvel/+/status");
  ASSERT_EQ(retained.size(), 1u);
  EXPECT_EQ(retained[0].payload, "offline");
  EXPECT_TRUE(
      WaitFor([&] { return ReadText(seen).find("status offline") != std::string::npos; }, 5));
}

// The settings file turns MQTT on for every run; stored values that no
// longer work leave the run going without it, and say why.
TEST_F(MqttEndToEnd, StoredSettingsTurnItOnAndABadStoredPasswordFileOnlyStopsMqtt) {
  TBroker broker(dir_ / "broker", "allow_anonymous true");
  broker.Start();
  TMqttConfig c;
  c.enabled = true;
  c.url = "mqtt://127.0.0.1:" + std::to_string(broker.Port());
  c.station = "north";
  c.discovery = false;
  {
    TDatabaseRegistry reg((dir_ / "settings.ini").string());
    WriteMqttSettings(reg, c);
  }
  const fs::path live = dir_ / "live.txt";
  auto sub = StartSubscriber(broker.Port(), {"site/#", "quorvel/#"}, live, {"-q", "1"});
  ExpectCleanEnd(Run(Args(60, "")));
  ASSERT_TRUE(WaitFor([&] { return CountTopic(ReadMessages(live), "/measurement") >= 60; }, 20));
  for (const auto& m : ReadMessages(live))
    EXPECT_EQ(m.topic.rfind("quorvel/north/", 0), 0u) << m.topic;
  // The command line replaces a stored value for one run.
  ExpectCleanEnd(Run(Args(5, "", {"--mqtt-prefix", "site"})));
  ASSERT_TRUE(
      WaitFor([&] { return CountTopic(ReadMessages(live), "site/north/status") >= 2; }, 20));

  const fs::path pw = dir_ / "password";
  std::ofstream(pw) << "secret\n";
  ::chmod(pw.c_str(), 0644);
  c.user = "station";
  c.passwordFile = pw.string();
  {
    TDatabaseRegistry reg((dir_ / "settings.ini").string());
    WriteMqttSettings(reg, c);
  }
  fs::remove_all(data_);
  const TRunResult r = Run(Args(30, ""));
  ExpectCleanEnd(r);
  EXPECT_EQ(r.Count("MQTT not started : the MQTT password file '" + pw.string() +
                    "' can be read or written by other users"),
            1)
      << r.out;
  EXPECT_EQ(DataLines(data_ / kMay3).size(), 30u);
}

// TLS with a CA made here, and a user with a password from a private file.
class MqttTls : public MqttEndToEnd {
 protected:
  void SetUp() override {
    MqttEndToEnd::SetUp();
    if (IsSkipped()) return;
    pki_ = dir_ / "pki";
    ASSERT_EQ(mqtttest::MakeTestCertificates(pki_), "");
    const std::string p = pki_.string() + "/";
    int status = -1;
    RunCommand({"mosquitto_passwd", "-b", "-c", p + "passwd", "station", "s3cret word"}, &status);
    ASSERT_EQ(status, 0);
    ::chmod((p + "passwd").c_str(), 0600);
    broker_ = std::make_unique<TBroker>(
        dir_ / "broker", "allow_anonymous false\npassword_file " + p + "passwd\ncafile " + p +
                             "ca.pem\ncertfile " + p + "server.pem\nkeyfile " + p + "server.key");
    broker_->Start();
    url_ = "mqtts://127.0.0.1:" + std::to_string(broker_->Port());
    clientTls_ = {"--cafile", p + "ca.pem", "-u", "station", "-P", "s3cret word"};
  }
  fs::path PasswordFile(const std::string& text, mode_t mode) {
    const fs::path f = dir_ / ("password" + std::to_string(files_++));
    {
      std::ofstream o(f);
      o << text;
    }
    ::chmod(f.c_str(), mode);
    return f;
  }
  std::vector<std::string> Tls(const fs::path& password) {
    return {"--mqtt-ca", (pki_ / "ca.pem").string(), "--mqtt-user",
            "station",   "--mqtt-password-file",     password.string()};
  }
  fs::path pki_;
  std::unique_ptr<TBroker> broker_;
  std::string url_;
  std::vector<std::string> clientTls_;
  int files_ = 0;
};

TEST_F(MqttTls, MeasurementsArriveOverTlsWithThePasswordOfAPrivateFile) {
  const fs::path live = dir_ / "live.txt";
  auto extra = clientTls_;
  extra.insert(extra.end(), {"-q", "1"});
  auto sub = StartSubscriber(broker_->Port(), {"quorvel/#"}, live, extra);
  const TRunResult r = Run(Args(120, url_, Tls(PasswordFile("s3cret word\n", 0600))));
  ExpectCleanEnd(r);
  const auto lines = DataLines(data_ / kMay3);
  ASSERT_TRUE(
      WaitFor([&] { return CountTopic(ReadMessages(live), "/measurement") >= lines.size(); }, 20));
  sub->Stop();
  ExpectValid(live);
  ExpectEveryLineOnce(ReadMessages(live), lines);
  // The password is nowhere in what the program wrote.
  EXPECT_EQ(r.out.find("s3cret"), std::string::npos);
  EXPECT_EQ(ReadText(dir_ / "settings.ini").find("s3cret"), std::string::npos);
}

TEST_F(MqttTls, APasswordFileOthersCanReadIsRefusedByName) {
  for (const mode_t mode : {mode_t{0644}, mode_t{0640}, mode_t{0604}, mode_t{0620}}) {
    const fs::path f = PasswordFile("s3cret word\n", mode);
    const TRunResult r = Run(Args(5, url_, Tls(f)));
    EXPECT_TRUE(r.exited && r.status == 2) << std::oct << mode;
    EXPECT_NE(r.err.find(f.string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("chmod 600"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(data_ / kMay3));
  }
}

TEST_F(MqttTls, AWrongPasswordIsLoggedOnceAndMeasuringGoesOn) {
  const TRunResult r = Run(Args(60, url_, Tls(PasswordFile("wrong\n", 0600)), "10"));
  ExpectCleanEnd(r);
  EXPECT_EQ(r.Count("MQTT: the broker at " + url_ + " refused the connection"), 1) << r.out;
  EXPECT_EQ(DataLines(data_ / kMay3).size(), 60u);
}

// The station network: Quorvel publishes to the station's broker, which is
// bridged to a central one by the configuration shipped in packaging/.
struct TOutage {
  const char* name;
  bool restartStation;  // the station's broker restarts while the centre is away
};

void PrintTo(const TOutage& o, std::ostream* os) {
  *os << o.name;
}

class StationNetwork : public MqttEndToEnd, public ::testing::WithParamInterface<TOutage> {};

TEST_P(StationNetwork, TheArchiveGetsEveryResultsLine) {
  TBroker central(dir_ / "central",
                  "allow_anonymous true\npersistence true\npersistence_location " +
                      (dir_ / "central").string() + "/\nmax_queued_messages 200000");
  central.Start();
  // The shipped file, with this test's ports and folders, and retries every
  // second so that the test does not wait for a minute's back-off.
  std::string conf = ReadText(STATION_BRIDGE_CONF);
  const auto replaceLine = [&conf](const std::string& key, const std::string& value) {
    const auto at = conf.find("\n" + key + " ");
    ASSERT_NE(at, std::string::npos) << key;
    const auto end = conf.find('\n', at + 1);
    conf.replace(at + 1, end - at - 1, value);
  };
  replaceLine("listener", "# listener: the test's own");
  replaceLine("persistence_location", "persistence_location " + (dir_ / "station").string() + "/");
  replaceLine("address", "address 127.0.0.1:" + std::to_string(central.Port()));
  replaceLine("restart_timeout", "restart_timeout 1 1");
  TBroker station(dir_ / "station", conf);
  station.Start();

  const fs::path archive = dir_ / "archive.txt";
  const std::vector<std::string> session = {"-c", "-i", "quorvel-archive", "-q", "1"};
  auto sub = StartSubscriber(central.Port(), {"quorvel/+/measurement"}, archive, session);
  // Wait for the bridge to be up before the run starts.
  ASSERT_TRUE(WaitFor(
      [&] {
        RunCommand({"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(station.Port()), "-t",
                    "quorvel/bridge-check/measurement", "-m", "{}", "-q", "1"});
        return ReadText(archive).find("bridge-check") != std::string::npos;
      },
      20));

  TRunPlan plan;
  // Virtual seconds 120 to 420 without the central broker; with the
  // station's broker restarted at 240.
  plan.args = Args(600, "mqtt://127.0.0.1:" + std::to_string(station.Port()),
                   {"--sim-stop-at", GetParam().restartStation ? "120,240,420" : "120,420"}, "50");
  const bool restart = GetParam().restartStation;
  // The archive stays up: it reconnects by itself when the central broker
  // is back (killing it could lose a message it has acknowledged but not
  // yet written).
  plan.onStop = [&](int n) {
    if (n == 0) {
      central.Stop();
    } else if (restart && n == 1) {
      station.Stop();
      station.Start();
    } else {
      central.Start();
    }
  };
  plan.timeoutMs = 180000;
  const TRunResult r = Run(plan);
  ExpectCleanEnd(r);
  EXPECT_EQ(r.stops, restart ? 3 : 2);
  const auto lines = DataLines(data_ / kMay3);
  ASSERT_EQ(lines.size(), 600u);
  ASSERT_TRUE(WaitFor(
      [&] {
        std::set<std::string> utc;
        for (const auto& m : ReadMessages(archive))
          if (m.topic == std::string("quorvel/") + kStation + "/measurement")
            utc.insert(JsonField(m.payload, "utc"));
        return utc.size() >= lines.size();
      },
      60))
      << ReadText(station.Dir() / "broker.log");
  sub->Stop();
  ExpectEveryLineOnce(ReadMessages(archive), lines, false);
  if (restart) {
    EXPECT_EQ(r.Count("MQTT: connection to the broker at mqtt://127.0.0.1:" +
                      std::to_string(station.Port()) + " lost"),
              1)
        << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Outages, StationNetwork,
                         ::testing::Values(TOutage{"CentralStopped", false},
                                           TOutage{"CentralStoppedAndStationRestarted", true}),
                         [](const auto& p) { return std::string(p.param.name); });

// A broker that accepts the connection and never answers, and one that
// answers the connection and then never reads again: the run measures
// exactly as without MQTT, the queue keeps its bound and says so, and the
// program still ends cleanly.
class SilentBroker : public MqttEndToEnd, public ::testing::WithParamInterface<bool> {};

TEST_P(SilentBroker, TheRunIsTheSameAsWithoutMqttAndTheQueueKeepsItsBound) {
  TSilentBroker silent(GetParam());
  const std::string url = "mqtt://127.0.0.1:" + std::to_string(silent.Port());
  const TRunResult r = Run(Args(1800, url, {"--mqtt-queue", "300"}));
  ExpectCleanEnd(r);
  const std::string with = ReadText(data_ / kMay3);
  const auto lines = DataLines(data_ / kMay3);
  fs::rename(data_ / kMay3, dir_ / "with-mqtt.txt");
  ExpectCleanEnd(Run(Args(1800, "")));
  EXPECT_EQ(ReadText(data_ / kMay3), with) << "MQTT changed what was measured";
  ASSERT_GT(lines.size(), 300u);
  EXPECT_GE(silent.Accepted(), 1);
  // Said once per time the queue filled up, with the count when it ends.
  const int full = r.Count("MQTT: the queue is full (300 measurements)");
  EXPECT_GE(full, 1) << r.out;
  std::size_t dropped = 0;
  int summaries = 0;
  for (const auto& l : r.log) {
    const auto at = l.find(" measurements were dropped from the full queue");
    if (l.rfind("MQTT: ", 0) != 0 || at == std::string::npos) continue;
    dropped += std::stoul(l.substr(6, at - 6));
    ++summaries;
  }
  EXPECT_EQ(summaries, full) << r.out;
  EXPECT_EQ(dropped, lines.size() - 300) << r.out;
  EXPECT_EQ(r.Count("MQTT: 300 measurements not sent at exit"), 1) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Kinds, SilentBroker, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "StopsReading" : "NeverAnswers"; });

}  // namespace
}  // namespace quorvel::mqtttest
