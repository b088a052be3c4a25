// The MQTT publisher's pure parts (URL, checks, topics, discovery), the
// password file, its settings, and the publisher itself against brokers that
// never answer or stop reading: the queue and libmosquitto stay bounded.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "MqttTestSupport.h"
#include "common/Errors.h"
#include "mqtt/MqttConfig.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttSecrets.h"
#include "mqtt/MqttSettings.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

struct TUrlCase {
  const char* url;
  bool ok;
  bool tls;
  const char* host;
  int port;
};

TEST(MqttUrl, AcceptsBrokerUrlsAndRefusesTheRest) {
  const TUrlCase cases[] = {
      {"mqtt://127.0.0.1:1883", true, false, "127.0.0.1", 1883},
      {"mqtt://broker.example.org", true, false, "broker.example.org", 1883},
      {"mqtts://broker.example.org", true, true, "broker.example.org", 8883},
      {"mqtts://broker:9999/", true, true, "broker", 9999},
      {"mqtt://[::1]:1884", true, false, "::1", 1884},
      {"http://broker:1883", false, false, "", 0},
      {"broker:1883", false, false, "", 0},
      {"mqtt://", false, false, "", 0},
      {"mqtt://broker:", false, false, "", 0},
      {"mqtt://broker:0", false, false, "", 0},
      {"mqtt://broker:65536", false, false, "", 0},
      {"mqtt://broker:12x", false, false, "", 0},
      {"mqtt://user@broker:1883", false, false, "", 0},
      {"mqtt://broker:1883/topic", false, false, "", 0},
      {"mqtt://::1:1883", false, false, "", 0},
  };
  for (const auto& c : cases) {
    std::string error;
    const auto a = ParseMqttUrl(c.url, error);
    ASSERT_EQ(a.has_value(), c.ok) << c.url << " " << error;
    if (!c.ok) {
      EXPECT_FALSE(error.empty()) << c.url;
      continue;
    }
    EXPECT_EQ(a->tls, c.tls) << c.url;
    EXPECT_EQ(a->host, c.host) << c.url;
    EXPECT_EQ(a->port, c.port) << c.url;
  }
}

TEST(MqttConfig, ChecksNameTheProblem) {
  const auto with = [](auto change) {
    TMqttConfig c;
    c.url = "mqtt://127.0.0.1:1883";
    change(c);
    return CheckMqttConfig(c);
  };
  EXPECT_EQ(with([](TMqttConfig&) {}), "");
  EXPECT_NE(with([](TMqttConfig& c) { c.prefix = ""; }).find("prefix"), std::string::npos);
  EXPECT_NE(with([](TMqttConfig& c) { c.prefix = "a/+/b"; }).find("'+'"), std::string::npos);
  EXPECT_NE(with([](TMqttConfig& c) { c.prefix = "a//b"; }).find("empty topic level"),
            std::string::npos);
  EXPECT_EQ(with([](TMqttConfig& c) { c.prefix = "site/seeing"; }), "");
  EXPECT_NE(with([](TMqttConfig& c) { c.station = "a/b"; }).find("station"), std::string::npos);
  EXPECT_NE(with([](TMqttConfig& c) { c.station = "a#"; }).find("station"), std::string::npos);
  EXPECT_NE(with([](TMqttConfig& c) { c.passwordFile = "/x"; }).find("--mqtt-user"),
            std::string::npos);
  EXPECT_NE(with([](TMqttConfig& c) { c.certFile = "/c"; }).find("--mqtt-key"), std::string::npos);
  EXPECT_NE(with([](TMqttConfig& c) { c.caFile = "/ca"; }).find("mqtts://"), std::string::npos);
  EXPECT_EQ(with([](TMqttConfig& c) {
              c.url = "mqtts://h";
              c.caFile = "/ca";
              c.certFile = "/c";
              c.keyFile = "/k";
            }),
            "");
  EXPECT_NE(with([](TMqttConfig& c) { c.discoveryPrefix = "ha/#"; }).find("discovery"),
            std::string::npos);
  // Discovery off: its prefix does not matter.
  EXPECT_EQ(with([](TMqttConfig& c) {
              c.discovery = false;
              c.discoveryPrefix = "";
            }),
            "");
}

TEST(MqttDiscovery, ElevenRetainedConfigsAndTheSameTopicsEmptyToRemoveThem) {
  TMqttConfig c;
  c.prefix = "obs";
  const auto add = DiscoveryMessages(c, "site 1", "1.0.0");
  const auto remove = DiscoveryMessages(c, "site 1", "1.0.0", true);
  ASSERT_EQ(add.size(), 11u);
  ASSERT_EQ(remove.size(), add.size());
  for (std::size_t i = 0; i < add.size(); ++i) {
    EXPECT_EQ(add[i].first, remove[i].first);
    EXPECT_TRUE(remove[i].second.empty());
    // The node id holds no blank: Home Assistant's ids are [A-Za-z0-9_-].
    EXPECT_EQ(add[i].first.rfind("homeassistant/", 0), 0u) << add[i].first;
    EXPECT_NE(add[i].first.find("/site_1/"), std::string::npos) << add[i].first;
    EXPECT_NE(add[i].second.find(R"("availability_topic":"obs/site 1/status")"), std::string::npos);
  }
  EXPECT_EQ(add[0].first, "homeassistant/sensor/site_1/seeing_arcsec/config");
  EXPECT_NE(add[0].second.find(R"("state_topic":"obs/site 1/state")"), std::string::npos);
  EXPECT_NE(add[0].second.find(R"("unit_of_measurement":"arcsec","state_class":"measurement")"),
            std::string::npos);
  EXPECT_EQ(add.back().first, "homeassistant/binary_sensor/site_1/trigger/config");
  EXPECT_NE(add.back().second.find(R"("payload_on":"good","payload_off":"bad")"),
            std::string::npos);
}

TEST(MqttTopics, PrefixStationAndKind) {
  const TMqttTopics t = MqttTopics("quorvel", "quorvel-17");
  EXPECT_EQ(t.status, "quorvel/quorvel-17/status");
  EXPECT_EQ(t.state, "quorvel/quorvel-17/state");
  EXPECT_EQ(t.measurement, "quorvel/quorvel-17/measurement");
  EXPECT_EQ(t.trigger, "quorvel/quorvel-17/trigger");
}

class MqttFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quorvel_mqtt_unit_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path Write(const std::string& name, const std::string& text, mode_t mode) {
    const fs::path p = dir_ / name;
    std::ofstream(p) << text;
    ::chmod(p.c_str(), mode);
    return p;
  }
  fs::path dir_;
};

TEST_F(MqttFiles, ThePasswordIsTheFirstLineOfAPrivateFile) {
  EXPECT_EQ(ReadMqttPasswordFile(Write("a", "s3cret word\nsecond line\n", 0600)), "s3cret word");
  EXPECT_EQ(ReadMqttPasswordFile(Write("b", "crlf\r\n", 0400)), "crlf");
  EXPECT_EQ(ReadMqttPasswordFile(Write("c", "no line end", 0600)), "no line end");
  struct TBad {
    const char* text;
    mode_t mode;
    const char* says;
  };
  for (const TBad& b : {TBad{"x\n", 0644, "chmod 600"}, TBad{"x\n", 0640, "mode 0640"},
                        TBad{"x\n", 0604, "other users"}, TBad{"x\n", 0602, "other users"},
                        TBad{"\n", 0600, "is empty"}, TBad{"", 0600, "is empty"}}) {
    const fs::path p = Write("bad", b.text, b.mode);
    try {
      ReadMqttPasswordFile(p.string());
      ADD_FAILURE() << "accepted mode " << std::oct << b.mode;
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find(b.says), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(p.string()), std::string::npos) << e.what();
    }
    fs::remove(p);
  }
  EXPECT_THROW(ReadMqttPasswordFile((dir_ / "absent").string()), Exception);
  EXPECT_THROW(ReadMqttPasswordFile(dir_.string()), Exception);
}

TEST_F(MqttFiles, SettingsGoBesideTheFiveAndComeBack) {
  const fs::path ini = dir_ / "settings.ini";
  TDatabaseRegistry reg(ini.string());
  TMqttConfig c;
  c.enabled = true;
  c.url = "mqtts://broker:8884";
  c.prefix = "site/seeing";
  c.station = "north \xC3\xA9";
  c.user = "station";
  c.passwordFile = "/etc/quorvel/mqtt-password";
  c.caFile = "/ca.pem";
  c.discovery = false;
  c.maxQueued = 5000;
  WriteMqttSettings(reg, c);
  TMqttConfig back;
  EXPECT_TRUE(ReadMqttSettings(reg, back).empty());
  EXPECT_TRUE(back.enabled);
  EXPECT_EQ(back.url, c.url);
  EXPECT_EQ(back.prefix, c.prefix);
  EXPECT_EQ(back.station, c.station);
  EXPECT_EQ(back.user, c.user);
  EXPECT_EQ(back.passwordFile, c.passwordFile);
  EXPECT_EQ(back.caFile, c.caFile);
  EXPECT_FALSE(back.discovery);
  EXPECT_EQ(back.maxQueued, 5000u);
  // The section of the program's values, and never a password.
  std::ifstream f(ini);
  const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("DRAVO_Solar\\General\\MqttUrl="), std::string::npos) << text;
  EXPECT_EQ(text.find("Password="), std::string::npos) << text;
  // Nothing stored: the defaults, silently.
  TDatabaseRegistry empty((dir_ / "none.ini").string());
  TMqttConfig d;
  EXPECT_TRUE(ReadMqttSettings(empty, d).empty());
  EXPECT_FALSE(d.enabled);
  EXPECT_EQ(d.prefix, "quorvel");
  EXPECT_TRUE(d.discovery);
  EXPECT_EQ(d.maxQueued, kMqttDefaultMaxQueued);
}

std::shared_ptr<const TLiveSnapshot> Snapshot(std::int64_t i) {
  auto s = std::make_shared<TLiveSnapshot>();
  s->utcMs = 1777795200000 + i * 1000;
  s->valid = true;
  s->seeingArcsec = 2.5;
  s->serialNumber = 17;
  s->station = DefaultStationName(17);
  TLiveMeasurement m;
  m.utcMs = s->utcMs;
  m.julianDay = 2461163.5 + static_cast<double>(i) / 86400;
  m.seeingArcsec = 2.5;
  s->measurement = m;
  return s;
}

// The publisher against a broker that accepts the TCP connection and never
// answers, and one that answers the connection and then never reads: a flood
// of measurements leaves the queue at its bound with the rest counted, and
// libmosquitto never holds more than the window.
class MqttSilentBroker : public ::testing::TestWithParam<bool> {};

TEST_P(MqttSilentBroker, TheQueueAndLibmosquittoStayBounded) {
  mqtttest::TSilentBroker broker(GetParam());
  TMqttConfig c;
  c.url = "mqtt://127.0.0.1:" + std::to_string(broker.Port());
  c.maxQueued = 1000;
  std::vector<std::string> log;
  std::mutex logMutex;
  TMqttPublisher p(c, "", "test", [&](const std::string& l) {
    std::lock_guard<std::mutex> lock(logMutex);
    log.push_back(l);
  });
  constexpr int kCount = 50000;
  for (int i = 0; i < kCount; ++i) {
    p.Publish(Snapshot(i));
    if (i % 5000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // Give the network side time to fill whatever it can.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto s = p.Stats();
  EXPECT_EQ(s.queued, 1000u);
  EXPECT_EQ(s.dropped, static_cast<std::uint64_t>(kCount - 1000));
  EXPECT_EQ(s.acknowledged, 0u);
  EXPECT_LE(s.maxOutstanding, kMqttWindow);
  EXPECT_EQ(s.connected, GetParam());
  if (GetParam()) {
    EXPECT_GT(s.maxOutstanding, 0);
  }
  p.Finish(200);
  // Said once each time the queue fills up (a connection in between ends
  // one time), with the count of what was dropped when that time ends.
  int full = 0, summaries = 0;
  std::uint64_t dropped = 0;
  for (const auto& l : log) {
    full += l.find("the queue is full (1000 measurements)") != std::string::npos;
    const auto at = l.find(" measurements were dropped from the full queue");
    if (at == std::string::npos) continue;
    dropped += std::stoull(l.substr(6, at - 6));
    ++summaries;
  }
  EXPECT_GE(full, 1);
  EXPECT_EQ(summaries, full);
  EXPECT_EQ(dropped, static_cast<std::uint64_t>(kCount - 1000));
  EXPECT_NE(std::find(log.begin(), log.end(), "MQTT: 1000 measurements not sent at exit"),
            log.end());
}

INSTANTIATE_TEST_SUITE_P(Kinds, MqttSilentBroker, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "StopsReading" : "NeverAnswers"; });

}  // namespace
}  // namespace quorvel
