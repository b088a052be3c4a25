// The settings of the live outputs: stored beside the five measurement
// settings, read back with defaults for what is missing or unusable, options
// laid over them, and command lines split without a shell.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/OutputSettings.h"
#include "common/Errors.h"
#include "records/ProgramSettings.h"
#include "records/SettingsStore.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

class OutputSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("quorvel_outset_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(OutputSettings, WrittenBesideTheFiveAndReadBack) {
  const std::string file = (dir_ / "s.ini").string();
  TOutputSettings s;
  s.trigger.value = TTriggerValue::FiveMinutes;
  s.trigger.zenith = true;
  s.trigger.startArcsec = 1.25;
  s.trigger.stopArcsec = 1.75;
  s.trigger.minGoodSec = 90;
  s.trigger.maxInvalidSec = 300;
  s.onGood = "/home/\xC3\xA9lodie/bin/capture --start 'two words'";
  s.onBad = "";
  s.commandTimeoutSec = 12.5;
  s.liveFile = "none";
  s.alpacaPort = 11111;
  s.alpacaBind = "192.168.1.10";
  s.alpacaZenith = true;
  s.alpacaDiscoveryPort = 0;
  s.alpacaUniqueId = "3c0ffee0-0000-4000-8000-000000000001";
  {
    TDatabaseRegistry reg(file);
    reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(std::uint16_t{900}),
                           kIdRetentionMaxPoints);
    WriteOutputSettings(reg, s);
  }
  TDatabaseRegistry reg(file);
  std::vector<std::string> messages;
  const TOutputSettings r = ReadOutputSettings(reg, &messages);
  EXPECT_TRUE(messages.empty()) << messages.front();
  EXPECT_EQ(r.trigger.value, s.trigger.value);
  EXPECT_EQ(r.trigger.zenith, true);
  EXPECT_EQ(r.trigger.startArcsec, 1.25);
  EXPECT_EQ(r.trigger.stopArcsec, 1.75);
  EXPECT_EQ(r.trigger.minGoodSec, 90);
  EXPECT_EQ(r.trigger.maxInvalidSec, 300);
  EXPECT_EQ(r.onGood, s.onGood);
  EXPECT_EQ(r.onBad, "");
  EXPECT_EQ(r.commandTimeoutSec, 12.5);
  EXPECT_EQ(r.liveFile, "none");
  EXPECT_EQ(r.alpacaPort, 11111);
  EXPECT_EQ(r.alpacaBind, "192.168.1.10");
  EXPECT_TRUE(r.alpacaZenith);
  EXPECT_EQ(r.alpacaDiscoveryPort, 0);
  EXPECT_EQ(r.alpacaUniqueId, s.alpacaUniqueId);
  // The existing value is untouched and still reads.
  std::uint16_t points = 1;
  EXPECT_TRUE(reg.ReadValueRegisterDFset(kSettingsSection, points, kIdRetentionMaxPoints, varWord));
  EXPECT_EQ(points, 900);
}

TEST_F(OutputSettings, MissingOrUnusableValuesKeepTheDefaults) {
  const std::string file = (dir_ / "s.ini").string();
  TDatabaseRegistry none((dir_ / "missing.ini").string());
  std::vector<std::string> messages;
  const TOutputSettings d = ReadOutputSettings(none, &messages);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(d.trigger.value, TTriggerValue::OneMinute);
  EXPECT_EQ(d.trigger.startArcsec, 2.0);
  EXPECT_EQ(d.trigger.stopArcsec, 2.5);
  EXPECT_EQ(d.alpacaPort, 0);
  EXPECT_EQ(d.alpacaDiscoveryPort, 32227);
  EXPECT_EQ(d.liveFile, "");

  TDatabaseRegistry reg(file);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue::Text("2min", varUString), kIdTriggerValue);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(3.0), kIdTriggerStart);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(1.0), kIdTriggerStop);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(-5.0), kIdTriggerMinGood);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue::Text("abc", varUString), kIdAlpacaPort);
  const TOutputSettings r = ReadOutputSettings(reg, &messages);
  EXPECT_EQ(r.trigger.value, TTriggerValue::OneMinute);
  EXPECT_EQ(r.trigger.startArcsec, 2.0);  // stop below start: both default
  EXPECT_EQ(r.trigger.stopArcsec, 2.5);
  EXPECT_EQ(r.trigger.minGoodSec, 60);
  EXPECT_EQ(r.alpacaPort, 0);
  EXPECT_EQ(messages.size(), 4u);
}

TEST_F(OutputSettings, OptionsReplaceTheStoredValuesForTheRun) {
  TOutputSettings s;
  s.trigger.startArcsec = 1.0;
  s.trigger.stopArcsec = 1.2;
  s.onGood = "stored";
  TOptions o;
  o.triggerStart = 1.5;  // above the stored stop: the band closes at 1.5
  o.onGood = "";         // --on-good none
  o.liveFile = "";       // --live-file none
  o.alpacaPort = 11111;
  ApplyOptions(o, s);
  EXPECT_EQ(s.trigger.startArcsec, 1.5);
  EXPECT_EQ(s.trigger.stopArcsec, 1.5);
  EXPECT_EQ(s.onGood, "");
  EXPECT_EQ(s.liveFile, "none");
  EXPECT_EQ(LiveFilePath(s.liveFile), "");
  EXPECT_EQ(s.alpacaPort, 11111);
  EXPECT_EQ(LiveFilePath("/x/y.json"), "/x/y.json");
}

TEST(CommandLine, SplitsWithoutAShell) {
  struct TCase {
    std::string text;
    std::vector<std::string> words;
  };
  for (const TCase& c : std::vector<TCase>{
           {"", {}},
           {"   ", {}},
           {"prog", {"prog"}},
           {"  prog  a   b ", {"prog", "a", "b"}},
           {"prog 'a b' \"c d\"", {"prog", "a b", "c d"}},
           {"prog '$HOME' `x` ; rm -rf / | y > z",
            {"prog", "$HOME", "`x`", ";", "rm", "-rf", "/", "|", "y", ">", "z"}},
           {"prog a\\ b \"q\\\"q\" ''", {"prog", "a b", "q\"q", ""}},
           {"prog 'it''s'", {"prog", "its"}},
       })
    EXPECT_EQ(SplitCommandLine(c.text), c.words) << c.text;
  EXPECT_THROW(SplitCommandLine("prog 'open"), Exception);
  EXPECT_THROW(SplitCommandLine("prog \"open"), Exception);
}

}  // namespace
}  // namespace quorvel
