// The built quorvel executable under faults and bad input, on the simulated
// instrument and the virtual clock (--speed 0: a day takes seconds). Each test
// starts the real program and judges only what a user sees: the log on
// standard output, the exit status and the results files.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <set>

#include "RunQuorvel.h"

namespace quorvel::e2e {
namespace {

constexpr const char* kMorning = "2026-05-03T08:00:00";
const std::string kMay3 = DayFileName(2026, 5, 3);

// Seconds of the day of the UTC column of a data line ("3 May 2026 08:00:01").
int UtcSecondOfDay(const std::string& line) {
  const std::string utc = Fields(line).at(1);
  if (utc.size() < 8 || utc[utc.size() - 3] != ':') return 0;  // midnight: date alone
  const std::string t = utc.substr(utc.size() - 8);
  return std::stoi(t.substr(0, 2)) * 3600 + std::stoi(t.substr(3, 2)) * 60 +
         std::stoi(t.substr(6, 2));
}

// The UTC seconds (since 08:00:00) of the data lines of a file.
std::vector<int> SecondsAfterEight(const TDayFile& f) {
  std::vector<int> s;
  for (const auto& l : f.lines)
    if (l != ResultHeader()) s.push_back(UtcSecondOfDay(l) - 8 * 3600);
  return s;
}

std::vector<int> Range(int from, int to) {
  std::vector<int> v;
  for (int i = from; i <= to; ++i) v.push_back(i);
  return v;
}

std::vector<int> Concat(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Every line whole, one header at the top.
void ExpectSound(const TDayFile& f, const std::string& what) {
  EXPECT_EQ(f.headers, 1) << what;
  ASSERT_FALSE(f.lines.empty()) << what;
  EXPECT_EQ(f.lines.front(), ResultHeader()) << what;
  EXPECT_TRUE(f.endsWithLineEnd) << what;
  EXPECT_TRUE(f.badLines.empty()) << what << ": " << f.badLines.front();
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("quorvel_e2e_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    data_ = dir_ / "data";
    settings_ = dir_ / "settings.ini";
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(data_ / kMay3, fs::perms::owner_read | fs::perms::owner_write, ec);
    fs::remove_all(dir_, ec);
  }

  // The usual options: simulated instrument, virtual clock at full speed.
  std::vector<std::string> Args(const std::string& clockStart, int seconds,
                                std::vector<std::string> more = {}, bool headless = true) {
    std::vector<std::string> a;
    if (headless) a.push_back("--headless");
    a.insert(a.end(), {"--simulate", "--speed", "0", "--clock-start", clockStart, "--duration",
                       std::to_string(seconds), "--data-dir", data_.string(), "--settings",
                       settings_.string()});
    a.insert(a.end(), more.begin(), more.end());
    return a;
  }

  TRunResult Run(TRunPlan plan) {
    plan.env.emplace("TZ", "UTC");
    plan.env.emplace("LC_ALL", "C");
    plan.env.emplace("QT_QPA_PLATFORM", "offscreen");
    plan.env.emplace("XDG_RUNTIME_DIR", dir_.string());
    TRunResult r = RunQuorvel(plan, dir_ / ("run" + std::to_string(runs_++)));
    return r;
  }
  TRunResult Run(std::vector<std::string> args) {
    TRunPlan plan;
    plan.args = std::move(args);
    return Run(plan);
  }

  static void ExpectCleanEnd(const TRunResult& r) {
    EXPECT_TRUE(r.exited && r.status == 0) << "status " << r.status << "\n" << r.err;
  }

  // The uid/gid of an unprivileged user when we are root, else nothing
  // (we are one already).
  static std::optional<std::pair<uid_t, gid_t>> Unprivileged() {
    if (::geteuid() != 0) return std::nullopt;
    const passwd* pw = ::getpwnam("nobody");
    if (!pw) return std::make_pair(uid_t{65534}, gid_t{65534});
    return std::make_pair(pw->pw_uid, pw->pw_gid);
  }
  void GiveTo(const std::optional<std::pair<uid_t, gid_t>>& user, const fs::path& p) {
    if (user && ::chown(p.c_str(), user->first, user->second) != 0) FAIL() << "chown " << p;
  }

  fs::path dir_, data_, settings_;
  int runs_ = 0;
};

// -- The instrument comes and goes ------------------------------------------

class UnplugReplug : public EndToEnd, public ::testing::WithParamInterface<bool> {};

TEST_P(UnplugReplug, AcquisitionStopsAndResumesInTheSameDaysFile) {
  const bool gui = GetParam();
  const TRunResult r = Run(Args(kMorning, 40, {"--sim-events", "10:unplug,20:plug"}, !gui));
  ExpectCleanEnd(r);
  const TDayFile f = ReadDayFile(data_ / kMay3);
  ExpectSound(f, kMay3);
  // Cycles 10 to 20 find no instrument; the one after the arrival measures.
  EXPECT_EQ(SecondsAfterEight(f), Concat(Range(1, 9), Range(21, 40)));
  if (gui) return;  // the window keeps its log on screen
  const auto error = r.Find("Main timer error : HID WRITE ERROR: ");
  ASSERT_TRUE(error) << r.out;
  EXPECT_EQ(r.log[*error + 1],
            "Acquisition stopped, waiting for the instrument to be attached again");
  EXPECT_EQ(r.Count("Main timer error"), 1);
  EXPECT_EQ(r.Count("Connected to -> HID QLX SOLAR"), 2);
  EXPECT_TRUE(r.Find("Connected to -> HID QLX SOLAR", *error));
}

INSTANTIATE_TEST_SUITE_P(HeadlessAndWindow, UnplugReplug, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Window" : "Headless"; });

TEST_F(EndToEnd, ASilentInstrumentTimesOutAndAReplugResumes) {
  const TRunResult r =
      Run(Args(kMorning, 40, {"--sim-events", "10:silence,15:talk,20:unplug,21:plug"}));
  ExpectCleanEnd(r);
  EXPECT_EQ(r.Count("Main timer error : HID READ ERROR: Read timed out after 2000 ms (6E)"), 1)
      << r.out;
  EXPECT_EQ(r.Count("Main timer error"), 1);
  const TDayFile f = ReadDayFile(data_ / kMay3);
  ExpectSound(f, kMay3);
  EXPECT_EQ(SecondsAfterEight(f), Concat(Range(1, 9), Range(22, 40)));
}

TEST_F(EndToEnd, WrongEchoGarbageAndShortAnswersDoNotStopTheRun) {
  const TRunResult r =
      Run(Args(kMorning, 60, {"--sim-events", "10:wrong-echo,15:garbage,35:short,40:normal"}));
  ExpectCleanEnd(r);
  EXPECT_EQ(r.Count("Main timer error"), 0) << r.out;
  EXPECT_EQ(r.Count("ROM values are not filled"), 0);
  // Five wrong echoes and nearly all of twenty garbled answers (a random
  // payload can look like counts now and then).
  EXPECT_GE(r.Count("Failed to read data..."), 5 + 15);
  const TDayFile f = ReadDayFile(data_ / kMay3);
  ExpectSound(f, kMay3);
  const std::vector<int> s = SecondsAfterEight(f);
  // Short answers carry no scintillation: no valid seeing, no line.
  for (int t : s) EXPECT_FALSE(t >= 35 && t < 40) << t;
  const std::vector<int> tail(s.end() - 21, s.end());
  EXPECT_EQ(tail, Range(40, 60));  // the run goes on after the faults
  for (const auto& l : f.lines) {
    if (l == ResultHeader()) continue;
    const double mv = std::stod(Fields(l).at(3));
    EXPECT_TRUE(mv > 0 && mv <= 4096) << l;
  }
}

TEST_F(EndToEnd, ACaptureReplaysToTheSameResultsAndTheReplayEndsTheRun) {
  const fs::path capture = dir_ / "capture.txt";
  ExpectCleanEnd(Run(Args(kMorning, 30, {"--capture", capture.string()})));
  const std::string recorded = ReadFile(data_ / kMay3);
  fs::remove_all(data_);
  // The same clock, the captured answers instead of the simulated sky.
  const TRunResult r =
      Run({"--headless", "--replay", capture.string(), "--speed", "0", "--clock-start", kMorning,
           "--data-dir", data_.string(), "--settings", settings_.string()});
  ExpectCleanEnd(r);
  EXPECT_TRUE(r.Has("Replay over: the replay file has no more reports")) << r.out;
  EXPECT_EQ(ReadFile(data_ / kMay3), recorded);
  // A damaged replay file is refused with its line named.
  std::string damaged = ReadFile(capture);
  damaged.insert(damaged.find('\n') + 1, "00814\n");
  WriteFile(capture, damaged);
  const TRunResult bad = Run({"--headless", "--replay", capture.string(), "--data-dir",
                              data_.string(), "--settings", settings_.string()});
  EXPECT_TRUE(bad.exited && bad.status == 2);
  EXPECT_NE(bad.err.find("line 2"), std::string::npos) << bad.err;
}

// -- Calibration never written ------------------------------------------------

TEST_F(EndToEnd, ErasedCalibrationIsOfferedAndWrittenOnYes) {
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes ? "yes" : "no");
    fs::remove_all(data_);
    const TRunResult r = Run(Args(kMorning, 30,
                                  {"--sim-erased", "--inject-default-calibration",
                                   yes ? "yes" : "no", "--sim-events", "10:unplug,11:plug"}));
    ExpectCleanEnd(r);
    const std::string question =
        std::string("ROM values are not filled, do you want to inject default values ? -> ") +
        (yes ? "Yes" : "No");
    const auto asked = r.Find(question);
    ASSERT_TRUE(asked) << r.out;
    EXPECT_EQ(r.Count("Read ROM value Rshunt NAN Ohms"), yes ? 1 : 2);
    const auto again = r.Find("Connected to -> HID QLX SOLAR", *asked);
    ASSERT_TRUE(again);
    if (yes) {
      // Read back on the first cycle after the next arrival, then measured.
      EXPECT_TRUE(
          r.Find("Read ROM value Rshunt 2125 Ohms, Filtered Gain : 319x Unfiltered gain "
                 ": 1.0x  OffsetVolts : 2.520 V",
                 *again));
      EXPECT_EQ(r.Count("ROM values are not filled"), 1);
      const TDayFile f = ReadDayFile(data_ / kMay3);
      ExpectSound(f, kMay3);
      EXPECT_EQ(SecondsAfterEight(f), Range(12, 30));
    } else {
      EXPECT_EQ(r.Count("ROM values are not filled"), 2);  // asked again after the arrival
      EXPECT_FALSE(fs::exists(data_ / kMay3));
    }
    EXPECT_EQ(r.Count("Main timer error"), 0);
  }
}

// -- The results file cannot be written ----------------------------------------

struct TWriteFault {
  const char* name;
  const char* message;  // the error before " : [path]"
  bool needsOtherUser;  // permission bits do not stop root
};

void PrintTo(const TWriteFault& f, std::ostream* os) {
  *os << f.name;
}

class ResultsFileFault : public EndToEnd, public ::testing::WithParamInterface<TWriteFault> {};

// A first run writes some lines; the second meets the fault at its first
// line, stops, is frozen (--sim-stop-at) while the cause is taken away, and
// resumes at the arrival after the next unplug and plug.
TEST_P(ResultsFileFault, ClearErrorEarlierLinesIntactResumesAtTheNextArrival) {
  const TWriteFault fault = GetParam();
  const std::string name = fault.name;
  TRunPlan plan;
  std::optional<std::pair<uid_t, gid_t>> user;
  if (fault.needsOtherUser) {
    user = Unprivileged();
    if (user) {
      plan.uid = user->first;
      plan.gid = user->second;
    }
    GiveTo(user, dir_);
  }
  const fs::path day = data_ / kMay3;
  plan.args = Args(kMorning, 5);
  ExpectCleanEnd(Run(plan));
  const std::string before = ReadFile(day);
  ASSERT_EQ(SecondsAfterEight(ReadDayFile(day)), Range(1, 5));

  const fs::path aside = dir_ / "aside";
  if (name == "FolderIsAFile") {
    fs::rename(data_, aside);
    WriteFile(data_, "a file where the folder should be");
  } else if (name == "DiskFull") {
    fs::rename(day, aside);
    fs::create_symlink("/dev/full", day);
  } else {
    fs::permissions(day, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  const std::string path = day.string();
  plan.args =
      Args("2026-05-03T09:00:00", 20, {"--sim-stop-at", "5", "--sim-events", "6:unplug,7:plug"});
  plan.onStop = [&](int) {
    if (name == "FolderIsAFile") {
      fs::remove(data_);  // the program makes the folder again itself
    } else if (name == "DiskFull") {
      fs::remove(day);
      fs::rename(aside, day);
    } else {
      fs::permissions(day, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read);
    }
  };
  const TRunResult r = Run(plan);
  ExpectCleanEnd(r);
  EXPECT_EQ(r.stops, 1);
  const auto error =
      r.Find(std::string("Main timer error : ") + fault.message + " : [" + path + "]");
  ASSERT_TRUE(error) << r.out;
  EXPECT_EQ(r.log[*error + 1],
            "Acquisition stopped, waiting for the instrument to be attached again");
  EXPECT_EQ(r.Count("Main timer error"), 1) << r.out;
  EXPECT_TRUE(r.Find("Connected to -> HID QLX SOLAR", *error));

  const TDayFile f = ReadDayFile(day);
  ExpectSound(f, name);
  // Seconds 1 to 7 of the second run wrote nothing: the first failed, the
  // rest found acquisition stopped. The arrival at 7 brings 8 onwards.
  if (name == "FolderIsAFile") {
    EXPECT_EQ(SecondsAfterEight(f), Range(3600 + 8, 3600 + 20));
    EXPECT_EQ(ReadFile(aside / kMay3), before);
  } else {
    EXPECT_EQ(f.bytes.substr(0, before.size()), before);
    EXPECT_EQ(SecondsAfterEight(f), Concat(Range(1, 5), Range(3600 + 8, 3600 + 20)));
  }
}

INSTANTIATE_TEST_SUITE_P(Causes, ResultsFileFault,
                         ::testing::Values(TWriteFault{"FolderIsAFile", "Path not found", false},
                                           TWriteFault{"DiskFull", "Disk full", false},
                                           TWriteFault{"ReadOnly", "File access denied", true}),
                         [](const auto& p) { return std::string(p.param.name); });

// -- Killed at any moment ---------------------------------------------------------

TEST_F(EndToEnd, SigkillLeavesWholeLinesAndARestartAppendsWithoutASecondHeader) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> delay(0, 60);
  const fs::path day = data_ / kMay3;
  std::uintmax_t size = 0;
  std::size_t lines = 0;
  for (int round = 0; round < 10; ++round) {
    // Each start one hour later on the same day; killed at a random moment
    // once the run has added to the file (lines are being written).
    char start[32];
    std::snprintf(start, sizeof start, "2026-05-03T%02d:00:00", 7 + round);
    TRunPlan plan;
    plan.args = Args(start, 86400);
    plan.killAfterMs = delay(rng);
    plan.armed = [&] {
      std::error_code ec;
      const auto now = fs::file_size(day, ec);
      return !ec && now > size;
    };
    const TRunResult r = Run(plan);
    EXPECT_FALSE(r.exited) << r.err;
    const TDayFile f = ReadDayFile(day);
    ExpectSound(f, "round " + std::to_string(round));
    EXPECT_GT(f.lines.size(), lines);
    lines = f.lines.size();
    size = f.bytes.size();
  }
  const TRunResult r = Run(Args("2026-05-03T17:30:00", 10));
  ExpectCleanEnd(r);
  const TDayFile f = ReadDayFile(day);
  ExpectSound(f, "after the clean run");
  EXPECT_EQ(f.lines.size(), lines + 10);
}

// -- Settings that cannot be used ---------------------------------------------------

struct TBadSettings {
  const char* name;
  std::string content;
};

void PrintTo(const TBadSettings& b, std::ostream* os) {
  *os << b.name;
}

class BadSettings : public EndToEnd, public ::testing::WithParamInterface<TBadSettings> {};

TEST_P(BadSettings, StartWithTheDefaultsAndNameEveryValueNotRead) {
  // The same run without a settings file: the defaults' results.
  ASSERT_TRUE(Run(Args(kMorning, 120)).exited);
  const std::string reference = ReadFile(data_ / kMay3);
  ASSERT_FALSE(reference.empty());
  fs::remove_all(data_);

  WriteFile(settings_, GetParam().content);
  const TRunResult r = Run(Args(kMorning, 120));
  ExpectCleanEnd(r);
  for (const char* id :
       {"RetentionMaxPoints", "MinSignal_mV_Meas", "latitude", "longitude", "Altitude"})
    EXPECT_EQ(r.Count(std::string("Setting ") + id + " not used, default kept : "), 1) << id << "\n"
                                                                                       << r.out;
  EXPECT_EQ(r.Count("Main timer error"), 0);
  EXPECT_EQ(ReadFile(data_ / kMay3), reference);       // site and threshold are the defaults
  EXPECT_EQ(ReadFile(settings_), GetParam().content);  // a run never rewrites them
}

// The simulated instrument stands at the stored site: 150 W is in the dark
// at 08:00 UTC, so nothing is measured there, while the start-up site
// (3.5 E) would have the Sun up.
TEST_F(EndToEnd, TheSimulatedSkyIsAtTheStoredSite) {
  WriteFile(settings_, "[Software]\nDRAVO_Solar\\General\\longitude=2.6179938779914944\n");
  const TRunResult r = Run(Args(kMorning, 120));
  ExpectCleanEnd(r);
  EXPECT_EQ(r.Count("Main timer error"), 0) << r.out;
  EXPECT_FALSE(fs::exists(data_ / kMay3));
  EXPECT_GT(r.Count("Read ROM value"), 0) << r.out;
}

std::string BinaryGarbage() {
  std::mt19937 rng(7);
  std::string s(600, '\0');
  for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadSettings,
    ::testing::Values(TBadSettings{"Corrupt", std::string("\x00\x01[Software\n==\n[", 16)},
                      TBadSettings{"Truncated", "[Software]\nDRAVO_Solar\\General\\Retent"},
                      TBadSettings{"Empty", ""}, TBadSettings{"BinaryGarbage", BinaryGarbage()},
                      TBadSettings{"OutOfRange",
                                   "[Software]\nDRAVO_Solar\\General\\RetentionMaxPoints=0\n"
                                   "DRAVO_Solar\\General\\MinSignal_mV_Meas=12abc\n"
                                   "DRAVO_Solar\\General\\latitude=1.6\n"
                                   "DRAVO_Solar\\General\\longitude=nan\n"
                                   "DRAVO_Solar\\General\\Altitude=1e9\n"}),
    [](const auto& p) { return std::string(p.param.name); });

// -- The local clock jumps ------------------------------------------------------------

struct TClockJump {
  const char* name;
  const char* utcStart;
  std::vector<std::string> files;  // in order of their local date
};

void PrintTo(const TClockJump& j, std::ostream* os) {
  *os << j.name;
}

class LocalClockJump : public EndToEnd, public ::testing::WithParamInterface<TClockJump> {};

// A zone twelve hours behind UTC puts local midnight at the site's noon, and
// its daylight-saving changes at midnight make the local date jump: back from
// 00:30 to 23:30 of the day before in October, forward over midnight in March.
TEST_P(LocalClockJump, NoCrashFiniteMeansAndFilesFollowTheLocalDate) {
  const TClockJump jump = GetParam();
  TRunPlan plan;
  plan.env["TZ"] = "XST12XDT11,M3.5.0/24,M10.5.0/0:30";
  plan.args = Args(jump.utcStart, 7200);
  const TRunResult r = Run(plan);
  ExpectCleanEnd(r);
  EXPECT_EQ(r.Count("Main timer error"), 0) << r.out;
  int means = 0;
  for (const auto& l : r.log) {
    if (l.find("mean seeing : ") == std::string::npos) continue;
    ++means;
    const double seeing = std::stod(l.substr(l.find(" : ") + 3));
    EXPECT_TRUE(std::isfinite(seeing) && seeing > 0 && seeing < 10) << l;
    EXPECT_EQ(l.find("NAN"), std::string::npos) << l;
    EXPECT_EQ(l.find("INF"), std::string::npos) << l;
  }
  EXPECT_GT(means, 7000);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(data_)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, jump.files);
  std::size_t total = 0;
  for (const auto& name : names) {
    const TDayFile f = ReadDayFile(data_ / name);
    ExpectSound(f, name);
    // "2026_10_24_Results.txt" holds only lines of local date 24 Oct 2026.
    const int day = std::stoi(name.substr(8, 2));
    for (const auto& l : f.lines) {
      if (l == ResultHeader()) continue;
      ++total;
      EXPECT_EQ(std::stoi(Fields(l).at(0)), day) << name << ": " << l;
    }
  }
  EXPECT_EQ(total, 7200u);  // the Sun is high: every second measured
}

INSTANTIATE_TEST_SUITE_P(
    DaylightSaving, LocalClockJump,
    ::testing::Values(TClockJump{"Backwards",
                                 "2026-10-25T11:00:00",
                                 {DayFileName(2026, 10, 24), DayFileName(2026, 10, 25)}},
                      TClockJump{"Forwards",
                                 "2026-03-30T11:00:00",
                                 {DayFileName(2026, 3, 29), DayFileName(2026, 3, 30)}}),
    [](const auto& p) { return std::string(p.param.name); });

// -- What the program starts, writes and accepts -----------------------------------------

class Umask : public EndToEnd, public ::testing::WithParamInterface<mode_t> {};

// As an ordinary user (root drops to nobody): no privilege is needed, and the
// folders and files the program makes follow the umask.
TEST_P(Umask, AnOrdinaryUserRunsItAndFilesFollowTheUmask) {
  const mode_t mask = GetParam();
  TRunPlan plan;
  const auto user = Unprivileged();
  if (user) {
    plan.uid = user->first;
    plan.gid = user->second;
  }
  GiveTo(user, dir_);
  plan.umask = mask;
  const fs::path nested = dir_ / "a" / "b" / "data";
  const fs::path capture = dir_ / "capture.txt";
  plan.args = {"--headless",    "--simulate",    "--speed",    "0",
               "--clock-start", kMorning,        "--duration", "5",
               "--data-dir",    nested.string(), "--settings", settings_.string(),
               "--capture",     capture.string()};
  const TRunResult r = Run(plan);
  ExpectCleanEnd(r);
  const auto mode = [](const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
  };
  EXPECT_EQ(mode(nested), 0777 & ~mask);
  EXPECT_EQ(mode(dir_ / "a"), 0777 & ~mask);
  EXPECT_EQ(mode(nested / kMay3), 0666 & ~mask);
  EXPECT_EQ(mode(capture), 0666 & ~mask);
  EXPECT_EQ(SecondsAfterEight(ReadDayFile(nested / kMay3)), Range(1, 5));
}

INSTANTIATE_TEST_SUITE_P(Masks, Umask, ::testing::Values(mode_t{022}, mode_t{077}, mode_t{027}),
                         [](const auto& p) {
                           char name[8];
                           std::snprintf(name, sizeof name, "U%03o",
                                         static_cast<unsigned>(p.param));
                           return std::string(name);
                         });

TEST_F(EndToEnd, BadCommandLineValuesAreRefusedByName) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"--speed", "fast", "--simulate"}, "--speed"},
      {{"--simulate", "--clock-start", "2026-02-30T00:00:00"}, "--clock-start"},
      {{"--duration", "-5"}, "--duration"},
      {{"--simulate", "--sim-seed", "99999999999"}, "--sim-seed"},
      {{"--inject-default-calibration", "perhaps"}, "--inject-default-calibration"},
      {{"--data-dir"}, "--data-dir"},
      {{"--frobnicate"}, "--frobnicate"},
      {{"--headless", "--simulate", "--sim-events", "10:explode"}, "explode"},
      {{"--headless", "--replay", (dir_ / "missing.txt").string()}, "missing.txt"},
      {{"--headless", "--simulate", "--capture", (dir_ / "no" / "such" / "c.txt").string()},
       "c.txt"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--settings", settings_.string(), "--data-dir",
                                     data_.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const TRunResult r = Run(args);
    EXPECT_TRUE(r.exited && r.status == 2) << c.says << " status " << r.status;
    EXPECT_EQ(r.err.rfind("quorvel: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;  // refused before anything ran
    EXPECT_FALSE(fs::exists(settings_));
  }
}

}  // namespace
}  // namespace quorvel::e2e
