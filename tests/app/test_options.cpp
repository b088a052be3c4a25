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
  auto o = Parse({"--mqtt-url",
                  "mqtts://broker.example.org:8884",
                  "--mqtt-prefix",
                  "site/seeing",
                  "--mqtt-station=north",
                  "--mqtt-user",
                  "station",
                  "--mqtt-password-file",
                  "/etc/pw",
                  "--mqtt-ca",
                  "/ca.pem",
                  "--mqtt-cert",
                  "/c.pem",
                  "--mqtt-key",
                  "/k.pem",
                  "--mqtt-discovery",
                  "no",
                  "--mqtt-discovery-prefix",
                  "ha",
                  "--mqtt-queue",
                  "1000"});
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
      // Too slow to wait for, or so small the timer takes it for 0.
      {{"--speed", "1e-9", "--simulate"}, "from 0.001 to 1000000"},
      {{"--speed", "1e-300", "--simulate"}, "from 0.001 to 1000000"},
      {{"--speed", "0.0009", "--simulate"}, "from 0.001 to 1000000"},
      {{"--speed", "1000001", "--simulate"}, "from 0.001 to 1000000"},
      {{"--speed", "inf", "--simulate"}, "--speed"},
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
      {{"--trigger-value", "2min"}, "--trigger-value"},
      {{"--trigger-zenith", "1"}, "--trigger-zenith"},
      {{"--trigger-start", "0"}, "--trigger-start"},
      {{"--trigger-stop", "nan"}, "--trigger-stop"},
      {{"--trigger-start", "2", "--trigger-stop", "1.5"}, "must not be below"},
      {{"--trigger-min-good", "-1"}, "--trigger-min-good"},
      {{"--trigger-max-invalid", "1e9"}, "--trigger-max-invalid"},
      {{"--command-timeout", "0"}, "--command-timeout"},
      {{"--alpaca-port", "65536"}, "--alpaca-port"},
      {{"--alpaca-port", "-1"}, "--alpaca-port"},
      {{"--alpaca-zenith", "maybe"}, "--alpaca-zenith"},
      {{"--alpaca-discovery-port", "x"}, "--alpaca-discovery-port"},
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

TEST(Options, SpeedRangeEndsAreAccepted) {
  for (const char* v : {"0", "0.001", "1", "1000000"}) {
    std::string err;
    const auto o = Parse({"--simulate", "--speed", v}, &err);
    ASSERT_TRUE(o) << v << ": " << err;
  }
}

TEST(Options, LiveOutputs) {
  std::string err;
  const auto o =
      Parse({"--trigger-value", "5min", "--trigger-zenith", "yes", "--trigger-start", "1.2",
             "--trigger-stop=1.8", "--on-good", "capture 'a b'", "--on-bad", "none", "--live-file",
             "none", "--alpaca-port", "11111", "--alpaca-bind", "127.0.0.1"},
            &err);
  ASSERT_TRUE(o) << err;
  EXPECT_EQ(o->triggerValue, "5min");
  EXPECT_EQ(o->triggerZenith, true);
  EXPECT_EQ(o->triggerStart, 1.2);
  EXPECT_EQ(o->triggerStop, 1.8);
  EXPECT_EQ(o->onGood, "capture 'a b'");
  EXPECT_EQ(o->onBad, "");
  EXPECT_EQ(o->liveFile, "");
  EXPECT_EQ(o->alpacaPort, 11111);
  EXPECT_EQ(o->alpacaBind, "127.0.0.1");
  EXPECT_FALSE(o->alpacaZenith);
}

}  // namespace
}  // namespace quorvel
