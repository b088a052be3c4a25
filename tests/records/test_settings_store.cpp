#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "RecordsTestUtil.h"
#include "measure/Declarations.h"
#include "records/ProgramSettings.h"
#include "records/SettingsStore.h"

namespace quorvel {
namespace {

using testutil::Exists;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

const std::string kNotFound = "Registry Read Error : Key Software\\DRAVO_Solar\\General not found!";
const std::string kSection = "[Software\\DRAVO_Solar\\General]\n";
const double kLat = 45.5 * M_PI / 180;
const double kLon = -3.5 * M_PI / 180;
// What their 15-digit texts read back as.
const double kLatStored = 0.79412480965742;
const double kLonStored = -0.0610865238198015;

std::string ReadError(const std::string& id, const std::string& what, bool defaultUsed = true) {
  return "Registry Read Error : -> Software\\DRAVO_Solar\\General:" + id + what +
         (defaultUsed ? ", Default value used..." : ", Default value CANNOT be used...");
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GeneralParams = TGeneralParams{};
    SetupLocation = TSetupLocation{};
    file_ = dir_ / "config/DRAVO_Solar/Quorvel.ini";
  }
  // A new file for every content: the settings layer, like QSettings, may
  // take a file of unchanged size and time stamp for unchanged.
  void WriteSettings(const std::string& content) {
    file_ = dir_ / ("case" + std::to_string(++cases_) + "/Quorvel.ini");
    std::filesystem::create_directories(std::filesystem::path(file_).parent_path());
    WriteFile(file_, content);
  }
  void ExpectStartupDefaults() {
    EXPECT_EQ(GeneralParams.MaxPointsDisplayed, 1200);
    EXPECT_EQ(GeneralParams.MinValue_mV, 150);
    EXPECT_EQ(SetupLocation.Latitude, kLat);
    EXPECT_EQ(SetupLocation.Longitude, kLon);
    EXPECT_EQ(SetupLocation.AltitudeM, 0);
  }

  TempDir dir_;
  std::string file_;
  int cases_ = 0;
};

TEST_F(SettingsTest, FirstRunReadsNothingAndCreatesNothing) {
  TDatabaseRegistry reg(file_);
  const auto reads = ReadStartupSettings(reg);
  ASSERT_EQ(reads.size(), 5u);
  const char* ids[] = {"RetentionMaxPoints", "MinSignal_mV_Meas", "latitude", "longitude",
                       "Altitude"};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(reads[i].IDString, ids[i]);
    EXPECT_FALSE(reads[i].Read);
    EXPECT_EQ(reads[i].Message, kNotFound);
  }
  EXPECT_EQ(reg.ErrorMessage, kNotFound);
  ExpectStartupDefaults();
  EXPECT_FALSE(reg.SWKeyExists());
  EXPECT_FALSE(Exists(file_));
}

TEST_F(SettingsTest, MissingValueIsNamed) {
  TDatabaseRegistry reg(file_);
  reg.WriteCFGtoRegister("\\General", TTaggedValue(static_cast<std::uint16_t>(3600)),
                         "RetentionMaxPoints");
  double latitude = 1;
  EXPECT_FALSE(reg.ReadValueRegisterDFset("\\General", latitude, "latitude", varDouble));
  EXPECT_EQ(reg.ErrorMessage,
            "Registry Read Error : -> Software\\DRAVO_Solar\\General:latitude : value does not "
            "exists., Default value used...");
  EXPECT_EQ(latitude, 1);
  // A later successful read does not clear the message.
  std::uint16_t points = 0;
  EXPECT_TRUE(reg.ReadValueRegisterDFset("\\General", points, "RetentionMaxPoints", varWord));
  EXPECT_EQ(points, 3600);
  EXPECT_NE(reg.ErrorMessage.find("latitude"), std::string::npos);
}

TEST_F(SettingsTest, ProgramValuesRoundTripAsPlainText) {
  TDatabaseRegistry reg(file_);
  GeneralParams.MaxPointsDisplayed = 3600;
  GeneralParams.MinValue_mV = 200;
  WriteProgramSettings(reg);
  EXPECT_EQ(reg.LastWriteError, "");
  const std::string raw = ReadFile(file_);
  for (const char* line : {"DRAVO_Solar\\General\\RetentionMaxPoints=3600\n",
                           "DRAVO_Solar\\General\\MinSignal_mV_Meas=200\n",
                           "DRAVO_Solar\\General\\latitude=0.79412480965742\n",
                           "DRAVO_Solar\\General\\longitude=-0.0610865238198015\n",
                           "DRAVO_Solar\\General\\Altitude=0\n"})
    EXPECT_NE(raw.find(line), std::string::npos) << line << " in\n" << raw;

  GeneralParams = TGeneralParams{true, 1, "", 2, 0};
  SetupLocation = TSetupLocation{"", 0, 0, 99, ""};
  TDatabaseRegistry fresh(file_);
  for (const TSettingRead& r : ReadStartupSettings(fresh)) EXPECT_TRUE(r.Read) << r.Message;
  EXPECT_EQ(GeneralParams.MaxPointsDisplayed, 3600);
  EXPECT_EQ(GeneralParams.MinValue_mV, 200);
  EXPECT_EQ(SetupLocation.Latitude, kLatStored);
  EXPECT_EQ(SetupLocation.Longitude, kLonStored);
  EXPECT_EQ(SetupLocation.AltitudeM, 0);
}

TEST_F(SettingsTest, StoredUnsignedWordsClampOrFail) {
  struct Case {
    const char* stored;
    bool ok;
    std::uint16_t value;
  } cases[] = {{"2000", true, 2000},
               {"70000", true, 65535},
               {"-5", true, 0},
               {"12abc", false, 1200},
               {"4294967296", false, 1200},
               {"1,2", false, 1200},                                   // a list, not a text
               {"@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)", false, 1200},  // typed number
               {"@ByteArray(12)", false, 1200}};
  for (const Case& c : cases) {
    WriteSettings(kSection + "RetentionMaxPoints=" + c.stored + "\n");
    TDatabaseRegistry reg(file_);
    std::uint16_t points = 1200;
    EXPECT_EQ(reg.ReadValueRegisterDFset("\\General", points, "RetentionMaxPoints", varWord), c.ok)
        << c.stored;
    EXPECT_EQ(points, c.value) << c.stored;
    if (!c.ok) {
      EXPECT_EQ(reg.ErrorMessage, ReadError("RetentionMaxPoints", " : Failed to read."));
    }
  }
}

TEST_F(SettingsTest, FloatsNeedAPointAndBooleansAnExactYes) {
  struct Case {
    const char* stored;
    bool ok;
    double value;
  } floats[] = {{"0.5", true, 0.5},
                {"0,5", false, kLat},
                {"-1.5E-3", true, -1.5e-3},
                {"abc", false, kLat},
                {"", false, kLat}};
  for (const Case& c : floats) {
    WriteSettings(kSection + "latitude=" + c.stored + "\n");
    TDatabaseRegistry reg(file_);
    double latitude = kLat;
    EXPECT_EQ(reg.ReadValueRegisterDFset("\\General", latitude, "latitude", varDouble), c.ok)
        << c.stored;
    EXPECT_EQ(latitude, c.value) << c.stored;
  }
  const std::pair<const char*, bool> booleans[] = {{"Yes", true}, {"yes", false}, {"YES", false},
                                                   {"1", false},  {"No", false},  {"True", false}};
  for (const auto& [stored, expected] : booleans) {
    WriteSettings(kSection + "flag=" + stored + "\n");
    TDatabaseRegistry reg(file_);
    bool flag = !expected;
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\General", flag, "flag", varBoolean)) << stored;
    EXPECT_EQ(flag, expected) << stored;
  }
}

TEST_F(SettingsTest, TextsAreQuotedAndLoseTheirEnds) {
  TDatabaseRegistry reg(file_);
  const std::string text = "Pic du Midi, \"Bigorre\" \xC3\xA9t\xC3\xA9 @ 2877 m";
  reg.WriteCFGtoRegister("\\General", TTaggedValue(text), "Lieu");
  reg.WriteCFGtoRegister("\\General", TTaggedValue(true), "flag");
  std::string lieu;
  EXPECT_TRUE(reg.ReadValueRegisterDFset("\\General", lieu, "Lieu", varString));
  EXPECT_EQ(lieu, text);
  EXPECT_NE(ReadFile(file_).find("flag=Yes\n"), std::string::npos);

  // In the file a quote inside a value is escaped, as the store writes it.
  WriteSettings(kSection +
                "Pays=France\nName=\\\"\xE6\x97\xA5\xE6\x9C\xAC"
                "abcdef\\\"\n");
  TDatabaseRegistry hand(file_);
  std::string pays = "None";
  EXPECT_TRUE(hand.ReadValueRegisterDFset("\\General", pays, "Pays", varString));
  EXPECT_EQ(pays, "ranc") << "no quotes: first and last characters go all the same";
  // The short text keeps at most its capacity, in the 8-bit set.
  std::string shortText;
  EXPECT_TRUE(hand.ReadValueRegister_SSTR("\\General", shortText, "Name", "dflt", 4));
  EXPECT_EQ(shortText, "??ab");
  std::string kept = "old";
  EXPECT_FALSE(hand.ReadValueRegister_SSTRdf("\\General", kept, "Missing"));
  EXPECT_EQ(kept, "") << "a failed short-text read empties the variable";
  EXPECT_EQ(hand.ErrorMessage, ReadError("Missing", " : value does not exists."));
}

TEST_F(SettingsTest, UnsupportedKindOrVariableLeavesTheVariableAlone) {
  WriteSettings(kSection + "Altitude=12\n");
  TDatabaseRegistry reg(file_);
  for (int kind : {14, varShortInt, varUString, 21}) {
    double altitude = 5;
    EXPECT_FALSE(reg.ReadValueRegisterDFset("\\General", altitude, "Altitude", kind)) << kind;
    EXPECT_EQ(altitude, 5) << kind;
  }
  double altitude = 5;
  reg.ReadValueRegisterDFset("\\General", altitude, "Altitude", 14);
  EXPECT_EQ(reg.ErrorMessage, "Read register for \\GeneralAltitude has failed !");
  // A variable of another width than the kind says.
  EXPECT_FALSE(reg.ReadValueRegisterDFset("\\General", altitude, "Altitude", varWord));
  EXPECT_EQ(altitude, 5);
  std::int32_t whole = 3;
  EXPECT_FALSE(reg.ReadValueRegister("\\General", "Altitude", &whole, TTaggedValue(1), varWord));
  EXPECT_EQ(whole, 3);
}

TEST_F(SettingsTest, DefaultsAndRefusedKindsOfTheCoreRead) {
  WriteSettings(kSection + "RetentionMaxPoints=3600\nAltitude=12\n");
  TDatabaseRegistry reg(file_);
  std::uint16_t points = 0;
  EXPECT_FALSE(reg.ReadValueRegister("\\General", "RetentionMaxPoints", &points, TTaggedValue(1.5),
                                     varWord));
  EXPECT_EQ(reg.ErrorMessage,
            ReadError("RetentionMaxPoints", " : Default value has wrong type (vartype=5)", false));
  std::string text;
  EXPECT_FALSE(reg.ReadValueRegister("\\General", "Altitude", &text, TTaggedValue(7), varString));
  EXPECT_EQ(reg.ErrorMessage,
            ReadError("Altitude", " : Default value has wrong type (vartype=3)", false));

  // A default that does not convert at all: the conversion's own message.
  points = 9;
  EXPECT_FALSE(reg.ReadValueRegister("\\General", "RetentionMaxPoints", &points,
                                     TTaggedValue("many"), varWord));
  EXPECT_EQ(reg.ErrorMessage,
            "Registry Read Error : -> Software\\DRAVO_Solar\\General:Could not convert a value "
            "of kind 258 into kind 18, Default value CANNOT be used...");
  EXPECT_EQ(points, 9);

  TTaggedValue value;
  EXPECT_THROW(reg.ReadCFGFromRegister("\\General", "Altitude", value,
                                       TTaggedValue::Float(varCurrency, 1), varCurrency),
               EReadWriteRegister);
  double altitude = 0;
  EXPECT_FALSE(reg.ReadValueRegister("\\General", "Altitude", &altitude,
                                     TTaggedValue::Float(varCurrency, 1), varCurrency));
  EXPECT_EQ(reg.ErrorMessage, ReadError("Altitude", " : Data type not supported !"));
  EXPECT_FALSE(reg.ReadValueRegister("\\General", "Altitude", &altitude, TTaggedValue(), varEmpty));
  EXPECT_EQ(reg.ErrorMessage, ReadError("Altitude", " Null or empty Variant !"));
  // With an explicit default, a missing value gives the default.
  points = 7;
  EXPECT_FALSE(reg.ReadValueRegister("\\General", "Missing", &points,
                                     TTaggedValue(static_cast<std::uint16_t>(1200)), varWord));
  EXPECT_EQ(points, 1200);
}

TEST_F(SettingsTest, DateTimeIsStoredAsBinary) {
  TDatabaseRegistry reg(file_);
  const TDateTime when = EncodeDateTime(2026, 5, 3, 14, 7, 9, 250);
  reg.WriteCFGtoRegister("\\General", TTaggedValue::Date(when), "Stamp");
  EXPECT_NE(ReadFile(file_).find("Stamp=@ByteArray("), std::string::npos);
  double read = 0;
  EXPECT_TRUE(reg.ReadValueRegisterDFset("\\General", read, "Stamp", varDate));
  EXPECT_EQ(read, when);
  WriteSettings(kSection + "Stamp=46145.5\n");
  TDatabaseRegistry hand(file_);
  read = 1;
  EXPECT_FALSE(hand.ReadValueRegisterDFset("\\General", read, "Stamp", varDate));
  EXPECT_EQ(read, 1);
}

TEST_F(SettingsTest, WriteFailuresAreAbsorbed) {
  TDatabaseRegistry reg(file_);
  reg.ErrorMessage = "untouched";
  struct Case {
    TTaggedValue value;
    const char* message;
  } cases[] = {
      {TTaggedValue(),
       "Software\\DRAVO_Solar\\Generalx : Registry write Error, null or empty Variant !"},
      {TTaggedValue::Null(),
       "Software\\DRAVO_Solar\\Generalx : Registry write Error, null or empty Variant !"},
      {TTaggedValue::OfKind(varDispatch),
       "Software\\DRAVO_Solar\\Generalx : Registry write Error, Data type not supported !"},
      {TTaggedValue::Float(varCurrency, 2),
       "Software\\DRAVO_Solar\\Generalx : Registry write Error, Data type not supported !"},
      {TTaggedValue::OfKind(14), "Write to registry faile, vartype Unknown -> 14"}};
  for (const Case& c : cases) {
    EXPECT_NO_THROW(reg.WriteCFGtoRegister("\\General", c.value, "x"));
    EXPECT_EQ(reg.LastWriteError, c.message);
  }
  EXPECT_FALSE(Exists(file_));
  EXPECT_EQ(reg.ErrorMessage, "untouched");

  // A settings file that cannot be created at all.
  WriteFile(dir_ / "blocked", "");
  TDatabaseRegistry blocked(dir_ / "blocked/Quorvel.ini");
  EXPECT_NO_THROW(blocked.WriteCFGtoRegister("\\General", TTaggedValue(1.0), "latitude"));
  EXPECT_NE(blocked.LastWriteError, "");
  reg.WriteCFGtoRegister("\\General", TTaggedValue(1.0), "latitude");
  EXPECT_EQ(reg.LastWriteError, "") << "cleared by a successful write";
}

TEST_F(SettingsTest, BrokenFilesLeaveTheDefaults) {
  std::string garbage(4096, '\0');
  std::uint32_t seed = 12345;
  for (char& c : garbage) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 24);
  }
  struct Case {
    const char* name;
    std::string content;
    std::string message;  // of the last read; empty: any
  } cases[] = {
      {"garbage", garbage, ""},
      {"unterminated section", "[Software\\DRAVO_Solar\\General\nlatitude=0.5\n", "corrupt"},
      {"truncated", kSection + "RetentionMaxPoi", kNotFound},
      {"truncated value", kSection + "Altitude=", ReadError("Altitude", " : Failed to read.")},
      {"empty", "", kNotFound},
      {"nul bytes", std::string("\0\0[\0]\0=\0\n", 10), ""},
      {"nonsense",
       kSection + "RetentionMaxPoints=0\nMinSignal_mV_Meas=abc\nlatitude=NAN\nlongitude=7\n"
                  "Altitude=1e300\n",
       ReadError("Altitude", " : value out of range")},
      {"infinite", kSection + "Altitude=-INF\n", ReadError("Altitude", " : value out of range")}};
  for (const Case& c : cases) {
    WriteSettings(c.content);
    GeneralParams = TGeneralParams{};
    SetupLocation = TSetupLocation{};
    TDatabaseRegistry reg(file_);
    for (const TSettingRead& r : ReadStartupSettings(reg)) {
      EXPECT_FALSE(r.Read) << c.name << ": " << r.IDString;
      EXPECT_NE(r.Message, "") << c.name;
    }
    ExpectStartupDefaults();
    if (c.message == "corrupt") {
      EXPECT_EQ(reg.ErrorMessage, "Registry Read Error : settings file [" + file_ +
                                      "] is corrupt, Default value used...");
    } else if (!c.message.empty()) {
      EXPECT_EQ(reg.ErrorMessage, c.message) << c.name;
    }
  }
  // A settings path that cannot be read as a file.
  TDatabaseRegistry folder(dir_.path());
  std::uint16_t points = 1200;
  EXPECT_FALSE(folder.ReadValueRegisterDFset("\\General", points, "RetentionMaxPoints", varWord));
  EXPECT_EQ(folder.ErrorMessage, "Registry Read Error : settings file [" + dir_.path() +
                                     "] cannot be read, Default value used...");
}

TEST_F(SettingsTest, WritingOverACorruptFileSetsItAside) {
  const std::string corrupt = "[Software\\DRAVO_Solar\\General\nlatitude=0.5\n";
  WriteSettings(corrupt);
  TDatabaseRegistry reg(file_);
  reg.WriteCFGtoRegister("\\General", TTaggedValue(0.25), "latitude");
  EXPECT_EQ(reg.LastWriteError, "");
  EXPECT_EQ(ReadFile(file_ + ".corrupt"), corrupt);
  double latitude = 0;
  EXPECT_TRUE(reg.ReadValueRegisterDFset("\\General", latitude, "latitude", varDouble));
  EXPECT_EQ(latitude, 0.25);
}

TEST_F(SettingsTest, KeysAndValuesCanBeRemoved) {
  TDatabaseRegistry reg(file_);
  reg.WriteCFGtoRegister("\\General", TTaggedValue(1.0), "latitude");
  reg.WriteCFGtoRegister("\\General", TTaggedValue(2.0), "longitude");
  reg.WriteCFGtoRegister("\\Other", TTaggedValue(3), "n");
  EXPECT_TRUE(reg.SWKeyExists());
  EXPECT_TRUE(reg.SubKeyexists("\\General"));
  EXPECT_FALSE(reg.SubKeyexists("\\Missing"));
  reg.DeleteValue("\\General", "latitude");
  double v = 0;
  EXPECT_FALSE(reg.ReadValueRegisterDFset("\\General", v, "latitude", varDouble));
  EXPECT_TRUE(reg.ReadValueRegisterDFset("\\General", v, "longitude", varDouble));
  const std::string before = ReadFile(file_);
  reg.DeleteValue("\\Missing", "n");
  EXPECT_EQ(ReadFile(file_), before);
  reg.DeleteKey("\\General");
  EXPECT_FALSE(reg.SubKeyexists("\\General"));
  EXPECT_TRUE(reg.SubKeyexists("\\Other"));
  reg.DeleteKey("");
  EXPECT_FALSE(reg.SWKeyExists());
}

TEST_F(SettingsTest, ExportAndImportTheWholeProductKey) {
  TDatabaseRegistry reg(file_);
  const std::string exported = dir_ / "export/setup.ini";
  EXPECT_TRUE(reg.SetPrivilege("SeBackupPrivilege", true));
  try {
    reg.SaveSWConfig(exported);
    ADD_FAILURE() << "nothing to export";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(),
              "Cannot save setup (database registry) : Unable to save registry to file : [" +
                  exported + "]");
  }
  reg.WriteCFGtoRegister("\\General", TTaggedValue(static_cast<std::uint16_t>(3600)),
                         "RetentionMaxPoints");
  reg.WriteCFGtoRegister("\\General", TTaggedValue::Date(46145.25), "Stamp");
  reg.WriteCFGtoRegister("\\Other", TTaggedValue("x"), "t");
  WriteFile(exported, "old export");
  reg.SaveSWConfig(exported);
  // The export is itself a usable settings file.
  TDatabaseRegistry copy(exported);
  std::uint16_t points = 0;
  EXPECT_TRUE(copy.ReadValueRegisterDFset("\\General", points, "RetentionMaxPoints", varWord));
  EXPECT_EQ(points, 3600);

  reg.DeleteKey("");
  reg.WriteCFGtoRegister("\\General", TTaggedValue(1.0), "extra");
  reg.LoadSWConfig(exported);
  double stamp = 0, extra = 0;
  std::string t;
  EXPECT_TRUE(reg.ReadValueRegisterDFset("\\General", stamp, "Stamp", varDate));
  EXPECT_EQ(stamp, 46145.25);
  EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Other", t, "t", varString));
  EXPECT_EQ(t, "x");
  EXPECT_FALSE(reg.ReadValueRegisterDFset("\\General", extra, "extra", varDouble))
      << "the import replaces the key";

  const std::string before = ReadFile(file_);
  reg.LoadSWConfig(dir_ / "missing.ini");
  EXPECT_EQ(ReadFile(file_), before);
  const std::string corrupt = dir_ / "corrupt.ini";
  WriteFile(corrupt, "[Software\\DRAVO_Solar\nx=1\n");
  try {
    reg.LoadSWConfig(corrupt);
    ADD_FAILURE() << "corrupt import accepted";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Critical error : cannot load setup from [" + corrupt + "]");
  }
  EXPECT_EQ(ReadFile(file_), before);

  // Nowhere to make the product key.
  WriteFile(dir_ / "blocked", "");
  TDatabaseRegistry blocked(dir_ / "blocked/Quorvel.ini");
  try {
    blocked.LoadSWConfig(exported);
    ADD_FAILURE() << "import without a settings file accepted";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Critical error : cannot load setup from [" + exported + "]");
  }
}

TEST_F(SettingsTest, FileLocationFollowsOverrideThenEnvironment) {
  const char* oldSettings = std::getenv("QUORVEL_SETTINGS");
  const std::string saved = oldSettings ? oldSettings : "";
  const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string savedConfig = oldConfig ? oldConfig : "";
  ::unsetenv("QUORVEL_SETTINGS");
  ::setenv("XDG_CONFIG_HOME", (dir_ / "xdg").c_str(), 1);
  EXPECT_EQ(SettingsFilePath(), dir_ / "xdg/DRAVO_Solar/Quorvel.ini");
  ::setenv("QUORVEL_SETTINGS", "/etc/q.ini", 1);
  EXPECT_EQ(SettingsFilePath(), "/etc/q.ini");
  EXPECT_EQ(SettingsFilePath("/tmp/mine.ini"), "/tmp/mine.ini");
  EXPECT_EQ(CreateRegD("/tmp/mine.ini").SettingsFileName(), "/tmp/mine.ini");
  EXPECT_EQ(RegD->SettingsFileName(), "/tmp/mine.ini");
  RegD.reset();
  if (oldSettings)
    ::setenv("QUORVEL_SETTINGS", saved.c_str(), 1);
  else
    ::unsetenv("QUORVEL_SETTINGS");
  if (oldConfig)
    ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST_F(SettingsTest, ReadsAndWritesFromSeveralThreads) {
  TDatabaseRegistry reg(file_);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&reg, t] {
      const std::string id = "v" + std::to_string(t);
      for (int i = 1; i <= 15; ++i) {
        reg.WriteCFGtoRegister("\\General", TTaggedValue(i * 10 + t), id);
        std::int32_t back = 0;
        if (!reg.ReadValueRegisterDFset("\\General", back, id, varInteger) || back != i * 10 + t)
          ADD_FAILURE() << id << " read " << back;
      }
    });
  for (auto& th : threads) th.join();
}

// Every value of the helper's save is the generation text "g-g-...-g-".
long GenerationOf(const std::string& text) {
  const auto dash = text.find('-');
  if (dash == std::string::npos) return -1;
  const std::string g = text.substr(0, dash + 1);
  std::string whole;
  for (int i = 0; i < 40; ++i) whole += g;
  return whole == text ? std::stol(g) : -1;
}

TEST_F(SettingsTest, KilledWriterLeavesOldOrNewContent) {
  std::filesystem::create_directories(std::filesystem::path(file_).parent_path());
  long saves = 0;
  for (int round = 0; round < 6; ++round) {
    const long start = (round + 1) * 1000000L;
    const pid_t pid = testutil::SpawnHelper({"settings-loop", file_, std::to_string(start)});
    // Once all ten values of this writer exist, every later state of the file
    // must hold ten values of one save or the next. Wait for the writer to be
    // well into its second generation, then kill it at an arbitrary moment.
    // A loaded machine (parallel tests, builds) can make the writer slow:
    // wait for it by a generous deadline rather than a fixed count.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    bool ready = false;
    while (!ready && std::chrono::steady_clock::now() < deadline) {
      TDatabaseRegistry reg(file_);
      std::string v0, v9;
      ready = reg.ReadValueRegisterDFset("\\General", v9, "v9", varString) &&
              GenerationOf(v9) >= start &&
              reg.ReadValueRegisterDFset("\\General", v0, "v0", varString) &&
              GenerationOf(v0) > start;
      if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!ready) testutil::KillAndReap(pid);
    ASSERT_TRUE(ready) << "the writer never completed two saves";
    std::this_thread::sleep_for(std::chrono::milliseconds(7 * round));
    testutil::KillAndReap(pid);

    TDatabaseRegistry reg(file_);
    std::vector<long> gens;
    for (int k = 0; k < 10; ++k) {
      std::string text;
      ASSERT_TRUE(reg.ReadValueRegisterDFset("\\General", text, "v" + std::to_string(k), varString))
          << reg.ErrorMessage;
      gens.push_back(GenerationOf(text));
      ASSERT_GE(gens.back(), start) << "torn or old value: " << text;
    }
    // Values are written in order: v0 is newest, all within one generation.
    for (std::size_t k = 1; k < gens.size(); ++k) {
      EXPECT_LE(gens[k], gens[0]);
      EXPECT_GE(gens[k], gens[0] - 1);
    }
    saves += gens[0] - start;
  }
  EXPECT_GE(saves, 6) << "every writer was killed while saving";
  // A save after the kills is not held up by what the killed writer left.
  TDatabaseRegistry reg(file_);
  reg.WriteCFGtoRegister("\\General", TTaggedValue("after"), "v0");
  EXPECT_EQ(reg.LastWriteError, "");
  std::string text;
  EXPECT_TRUE(reg.ReadValueRegisterDFset("\\General", text, "v0", varString));
  EXPECT_EQ(text, "after");
}

}  // namespace
}  // namespace quorvel
