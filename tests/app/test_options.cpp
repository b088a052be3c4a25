#include <gtest/gtest.h>

#include "app/Options.h"

namespace quorvel {
namespace {

std::optional<TOptions> Parse(std::vector<std::string> args, std::string* err = nullptr) {
  std::string e;
  auto o = ParseOptions(args, e);
  if (err) *err = e;
  return o;
}

TEST(Options, HeadlessSimulatedDay) {
  auto o = Parse({"--headless", "--simulate", "--speed", "0", "--clock-start",
                  "2026-06-21T00:00:00", "--duration=86400", "--inject-default-calibration", "yes",
                  "--data-dir", "/tmp/q d", "--settings", "/tmp/s.ini"});
  ASSERT_TRUE(o);
  EXPECT_TRUE(o->headless && o->simulate && o->UsesVirtualClock());
  EXPECT_EQ(*o->speed, 0);
  EXPECT_EQ(*o->clockStartUtcMs, 1782000000000LL);
  EXPECT_EQ(*o->durationSec, 86400);
  EXPECT_TRUE(*o->injectDefaultCalibration);
  EXPECT_EQ(o->dataDir, "/tmp/q d");
}

TEST(Options, MqttValuesAreKeptAsGiven) {
  auto o = Parse({"--mqtt-url", "mqtts://broker.example.org:8884", "--mqtt-prefix", "site/seeing",
                  "--mqtt-station=north", "--mqtt-user", "station", "--mqtt-password-file",
                  "/etc/pw", "--mqtt-ca", "/ca.pem", "--mqtt-cert", "/c.pem", "--mqtt-key",
                  "/k.pem", "--mqtt-discovery", "no", "--mqtt-discovery-prefix", "ha",
                  "--mqtt-queue", "1000"});
  ASSERT_TRUE(o);
  EXPECT_EQ(*o->mqttUrl, "mqtts://broker.example.org:8884");
  EXPECT_EQ(*o->mqttPrefix, "site/seeing");
  EXPECT_EQ(*o->mqttStation, "north");
  EXPECT_EQ(*o->mqttUser, "station");
  EXPECT_EQ(*o->mqttPasswordFile, "/etc/pw");
  EXPECT_EQ(*o->mqttCa, "/ca.pem");
  EXPECT_EQ(*o->mqttCert, "/c.pem");
  EXPECT_EQ(*o->mqttKey, "/k.pem");
  EXPECT_FALSE(*o->mqttDiscovery);
  EXPECT_EQ(*o->mqttDiscoveryPrefix, "ha");
  EXPECT_EQ(*o->mqttQueue, 1000u);
  EXPECT_EQ(*Parse({"--mqtt-url", "off"})->mqttUrl, "off");
  EXPECT_FALSE(Parse({})->mqttUrl);
}

TEST(Options, BadValuesAreNamed) {
  struct Case {
    std::vector<std::string> args;
    const char* mentions;
  } cases[] = {
      {{"--speed", "fast", "--simulate"}, "--speed"},
      {{"--speed", "-1", "--simulate"}, "--speed"},
      {{"--speed", "10"}, "--simulate"},
      {{"--simulate", "--clock-start", "2026-13-01T00:00:00"}, "--clock-start"},
      {{"--duration", "0"}, "--duration"},
      {{"--inject-default-calibration", "maybe"}, "yes or no"},
      {{"--replay"}, "--replay"},
      {{"--data-dir="}, "--data-dir"},
      {{"--bogus"}, "--bogus"},
      {{"--headless=1"}, "takes no value"},
      {{"--simulate", "--replay", "x"}, "together"},
      {{"--sim-events", "10:unplug"}, "--simulate"},
      {{"--simulate", "--speed", "0", "--sim-stop-at", "5,x"}, "--sim-stop-at"},
      {{"--simulate", "--speed", "0", "--sim-stop-at", "0"}, "--sim-stop-at"},
      {{"--simulate", "--sim-stop-at", "5"}, "virtual clock"},
      {{"--mqtt-url", "tcp://broker:1883"}, "--mqtt-url"},
      {{"--mqtt-url", "mqtt://broker:99999"}, "port"},
      {{"--mqtt-discovery", "on"}, "--mqtt-discovery"},
      {{"--mqtt-queue", "0"}, "--mqtt-queue"},
      {{"--mqtt-queue", "many"}, "--mqtt-queue"},
  };
  for (const auto& c : cases) {
    std::string err;
    EXPECT_FALSE(Parse(c.args, &err)) << c.mentions;
    EXPECT_NE(err.find(c.mentions), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace quorvel
