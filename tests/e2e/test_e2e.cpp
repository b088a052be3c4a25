// The built quorvel executable under faults and bad input, on the simulated
// instrument and the virtual clock (--speed 0: a day takes seconds). Each test
// starts the real program and judges only what a user sees: the log on
// standard output, the exit status and the results files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <regex>
#include <set>
#include <sstream>

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

// A small tmpfs (root only), unmounted when it goes.
class TTmpfs {
 public:
  // Nothing, with `why` set, when it cannot be mounted here.
  static std::unique_ptr<TTmpfs> Mount(const fs::path& at, const std::string& size,
                                       std::string& why) {
    if (::geteuid() != 0) {
      why = "mounting a tmpfs needs root";
      return nullptr;
    }
    fs::create_directories(at);
    if (::mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) {
      why = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
      return nullptr;
    }
    return std::unique_ptr<TTmpfs>(new TTmpfs(at));
  }
  ~TTmpfs() { ::umount2(at_.c_str(), MNT_DETACH); }
  // Fills the file system with `filler` to its last byte, then gives back
  // `leave` bytes.
  void Fill(const fs::path& filler, off_t leave = 0) {
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'x');
    off_t size = 0;
    for (;;) {
      const ssize_t n = ::write(fd, block.data(), block.size());
      if (n <= 0) break;
      size += n;
    }
    if (leave > 0) {
      ASSERT_EQ(::ftruncate(fd, size > leave ? size - leave : 0), 0);
    }
    ::close(fd);
  }

 private:
  explicit TTmpfs(fs::path at) : at_(std::move(at)) {}
  fs::path at_;
};

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
// line, is frozen (--sim-stop-at) while the cause is taken away, and goes on
// by itself: acquisition never stops, the lines measured meanwhile wait in
// memory and reach the file, in order, at the next retry.
TEST_P(ResultsFileFault, ClearErrorEarlierLinesIntactNothingLostNoRestart) {
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
  std::unique_ptr<TTmpfs> tmpfs;
  if (name == "DiskFull") {
    std::string why;
    tmpfs = TTmpfs::Mount(data_, "256k", why);
    if (!tmpfs) GTEST_SKIP() << why;
  }
  const fs::path day = data_ / kMay3;
  plan.args = Args(kMorning, 5);
  ExpectCleanEnd(Run(plan));
  const std::string before = ReadFile(day);
  ASSERT_EQ(SecondsAfterEight(ReadDayFile(day)), Range(1, 5));

  const fs::path aside = dir_ / "aside";
  const fs::path filler = data_ / "filler";
  if (name == "FolderIsAFile") {
    fs::rename(data_, aside);
    WriteFile(data_, "a file where the folder should be");
  } else if (name == "DiskFull") {
    // Away while the disk is full: a new line needs a new block.
    fs::copy_file(day, aside);
    fs::remove(day);
    tmpfs->Fill(filler);
  } else {
    fs::permissions(day, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  const std::string path = day.string();
  plan.args = Args("2026-05-03T09:00:00", 20, {"--sim-stop-at", "5"});
  plan.onStop = [&](int) {
    if (name == "FolderIsAFile") {
      fs::remove(data_);  // the program makes the folder again itself
    } else if (name == "DiskFull") {
      fs::remove(filler);
      fs::copy_file(aside, day);
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
  EXPECT_EQ(r.Count("Main timer error"), 1) << r.out;
  EXPECT_FALSE(r.Has("Acquisition stopped")) << r.out;
  EXPECT_TRUE(r.Find("Results file writable again : [" + path + "]", *error)) << r.out;
  EXPECT_EQ(r.Count("Results file writable again"), 1);

  const TDayFile f = ReadDayFile(day);
  ExpectSound(f, name);
  // Every second of the second run is in the file, in order.
  if (name == "FolderIsAFile") {
    EXPECT_EQ(SecondsAfterEight(f), Range(3600 + 1, 3600 + 20));
    EXPECT_EQ(ReadFile(aside / kMay3), before);
  } else {
    EXPECT_EQ(f.bytes.substr(0, before.size()), before);
    EXPECT_EQ(SecondsAfterEight(f), Concat(Range(1, 5), Range(3600 + 1, 3600 + 20)));
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
  for (const auto& e : fs::directory_iterator(data_))
    if (e.path().filename().string().front() != '.')  // the folder's lock file
      names.push_back(e.path().filename());
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

// -- An unattended station: what it now gets through by itself ---------------------------

class UnattendedStation;

struct TStationRow {
  const char* name;
  void (UnattendedStation::*body)();
};

void PrintTo(const TStationRow& row, std::ostream* os) {
  *os << row.name;
}

bool LocaleInstalled(const char* name) {
  const locale_t l = ::newlocale(LC_ALL_MASK, name, nullptr);
  if (l) ::freelocale(l);
  return l != nullptr;
}

// The one-minute and five-minute means of the log against a recomputation
// from the results lines (one per second, each cycle measured): the newest
// points back to and including the first one more than the interval older.
int MeansDifferingFromRecomputation(const TRunResult& r,
                                    const std::vector<std::pair<int, double>>& points,
                                    const std::string& prefix, int seconds, std::string& first) {
  std::vector<double> logged;
  for (const auto& l : r.log)
    if (l.rfind(prefix, 0) == 0) logged.push_back(std::stod(l.substr(prefix.size())));
  if (logged.empty() || logged.size() > points.size()) return -1;
  int wrong = 0;
  for (std::size_t k = 0; k < logged.size(); ++k) {
    const std::size_t j = points.size() - logged.size() + k;
    double sum = 0;
    int n = 0;
    for (std::size_t i = j + 1; i-- > 0;) {
      sum += points[i].second;
      ++n;
      if (points[i].first < points[j].first - seconds) break;
    }
    // The file keeps two decimals of each seeing, the log two of the mean.
    if (std::fabs(sum / n - logged[k]) > 0.011) {
      if (wrong++ == 0)
        first = prefix + std::to_string(logged[k]) + " at UTC second " +
                std::to_string(points[j].first) + ", recomputed " + std::to_string(sum / n);
    }
  }
  return wrong;
}

class UnattendedStation : public EndToEnd, public ::testing::WithParamInterface<TStationRow> {
 public:
  // 1. A full disk, then space again: no restart, nothing lost.
  void DiskFullThenSpaceBack() {
    std::string why;
    const auto tmpfs = TTmpfs::Mount(data_, "64k", why);
    if (!tmpfs) GTEST_SKIP() << why;
    const fs::path filler = data_ / "filler";
    tmpfs->Fill(filler);
    TRunPlan plan;
    plan.args = Args(kMorning, 90, {"--sim-stop-at", "40"});
    plan.onStop = [&](int) { fs::remove(filler); };
    const TRunResult r = Run(plan);
    ExpectCleanEnd(r);
    const std::string path = (data_ / kMay3).string();
    const auto error = r.Find("Main timer error : Disk full : [" + path + "]");
    ASSERT_TRUE(error) << r.out;
    EXPECT_EQ(r.Count("Main timer error"), 1) << r.out;
    EXPECT_FALSE(r.Has("Acquisition stopped"));
    const auto again = r.Find("Results file writable again : [" + path + "]", *error);
    ASSERT_TRUE(again) << r.out;
    // Backing off: the first try after the space came back is at most a
    // minute later.
    const TDayFile f = ReadDayFile(data_ / kMay3);
    ExpectSound(f, kMay3);
    EXPECT_EQ(SecondsAfterEight(f), Range(1, 90));
  }

  // 1. A clean end (SIGTERM) writes the lines still waiting.
  void SigtermWritesWaitingLines() {
    std::string why;
    const auto tmpfs = TTmpfs::Mount(data_, "64k", why);
    if (!tmpfs) GTEST_SKIP() << why;
    const fs::path filler = data_ / "filler";
    tmpfs->Fill(filler);
    TRunPlan plan;
    // Failed tries at 1, 2, 4, 8, 16 and 32: at 33 the next one is far off.
    plan.args = Args(kMorning, 3600, {"--sim-stop-at", "33"});
    plan.onStop = [&](int) { fs::remove(filler); };
    plan.signalAtStop[0] = SIGTERM;
    const TRunResult r = Run(plan);
    ExpectCleanEnd(r);
    EXPECT_FALSE(r.Has("Results lines not written at the end")) << r.out;
    const TDayFile f = ReadDayFile(data_ / kMay3);
    ExpectSound(f, kMay3);
    const std::vector<int> s = SecondsAfterEight(f);
    ASSERT_GE(s.size(), 32u) << r.out;
    EXPECT_LT(s.size(), 60u);
    EXPECT_EQ(s, Range(1, static_cast<int>(s.size())));
  }

  // 2. A file-size limit: no death by SIGXFSZ, no torn line.
  void FileSizeLimit() {
    const fs::path day = data_ / kMay3;
    ExpectCleanEnd(Run(Args(kMorning, 480)));
    const auto size = fs::file_size(day);
    ASSERT_LT(size, 65536u);
    TRunPlan plan;
    plan.fileSizeLimit = 65536;
    plan.args = Args("2026-05-03T09:00:00", 60);
    const TRunResult r = Run(plan);
    ExpectCleanEnd(r);
    EXPECT_EQ(r.Count("Main timer error : File too large : [" + day.string() + "]"), 1) << r.out;
    const TDayFile f = ReadDayFile(day);
    ExpectSound(f, kMay3);
    EXPECT_LE(f.bytes.size(), 65536u);
    const std::vector<int> s = SecondsAfterEight(f);
    ASSERT_GT(s.size(), 480u);
    EXPECT_EQ(s, Concat(Range(1, 480), Range(3601, 3600 + static_cast<int>(s.size()) - 480)));
  }

  // 2. A torn last line is cut off before appending, and said so.
  void TornLastLine() {
    const fs::path day = data_ / kMay3;
    ExpectCleanEnd(Run(Args(kMorning, 3)));
    const std::string fragment = "3 May 2026 08:00:04 | 3 May 2026 08:00:04 | 2461163.83";
    WriteFile(day, ReadFile(day) + fragment);
    const TRunResult r = Run(Args("2026-05-03T09:00:00", 3));
    ExpectCleanEnd(r);
    EXPECT_EQ(r.Count("Torn last line cut off the results file : " +
                      std::to_string(fragment.size()) + " bytes removed : [" + day.string() + "]"),
              1)
        << r.out;
    const TDayFile f = ReadDayFile(day);
    ExpectSound(f, kMay3);
    EXPECT_EQ(SecondsAfterEight(f), Concat(Range(1, 3), Range(3601, 3603)));
  }

  // 3. One program per data folder: the second one says who measures and
  // leaves with status 1; the day's file has every second once.
  void TwoInstances() {
    TRunResult second;
    TRunPlan plan;
    plan.args = Args(kMorning, 30, {"--sim-stop-at", "10"});
    plan.onStop = [&](int) { second = Run(Args(kMorning, 30)); };
    const TRunResult first = Run(plan);
    ExpectCleanEnd(first);
    EXPECT_TRUE(second.exited && second.status == 1) << "status " << second.status;
    EXPECT_NE(
        second.err.find("Another Quorvel is already measuring into the data folder [" +
                        data_.string() + "/] (pid " + std::to_string(first.pid) + ", headless"),
        std::string::npos)
        << second.err;
    const TDayFile f = ReadDayFile(data_ / kMay3);
    ExpectSound(f, kMay3);
    EXPECT_EQ(SecondsAfterEight(f), Range(1, 30));
  }

  // 4. `quorvel --headless ... | head -1`: a reader gone is no reason to stop.
  void BrokenPipe() {
    TRunPlan plan;
    plan.stdoutBrokenPipe = true;
    plan.args = Args(kMorning, 10);
    const TRunResult r = Run(plan);
    ExpectCleanEnd(r);
    EXPECT_EQ(SecondsAfterEight(ReadDayFile(data_ / kMay3)), Range(1, 10));
  }

  // 4. SIGHUP (a dropped SSH session) ends the run cleanly, like SIGTERM.
  void Sighup() {
    TRunPlan plan;
    plan.args = Args(kMorning, 3600, {"--sim-stop-at", "10"});
    plan.signalAtStop[0] = SIGHUP;
    const TRunResult r = Run(plan);
    ExpectCleanEnd(r);
    const TDayFile f = ReadDayFile(data_ / kMay3);
    ExpectSound(f, kMay3);
    const std::vector<int> s = SecondsAfterEight(f);
    ASSERT_GE(s.size(), 9u);
    EXPECT_LT(s.size(), 60u);
    EXPECT_EQ(s, Range(1, static_cast<int>(s.size())));
  }

  // 5. A FIFO at the day file's name neither hangs the program nor keeps
  // SIGTERM from ending it.
  void FifoAtTheFileName() {
    fs::create_directories(data_);
    const fs::path day = data_ / kMay3;
    ASSERT_EQ(::mkfifo(day.c_str(), 0644), 0);
    TRunPlan plan;
    plan.args = Args(kMorning, 10);
    plan.timeoutMs = 30000;
    const TRunResult r = Run(plan);
    ExpectCleanEnd(r);
    EXPECT_EQ(r.Count("Main timer error : Not a regular file : [" + day.string() + "]"), 1)
        << r.out;
    EXPECT_EQ(r.Count("Main timer error"), 1);
    EXPECT_TRUE(r.Has("Results lines not written at the end : 10 : [" + day.string() + "]"))
        << r.out;
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(day)));
  }

  // 5. A symbolic link at the day file's name is never followed.
  void SymlinkAtTheFileName() {
    fs::create_directories(data_);
    const fs::path day = data_ / kMay3;
    const fs::path target = dir_ / "target.txt";
    for (const bool dangling : {true, false}) {
      SCOPED_TRACE(dangling ? "dangling" : "to a regular file");
      fs::remove(day);
      fs::remove(target);
      if (!dangling) WriteFile(target, "someone else's file\n");
      fs::create_symlink(target, day);
      const TRunResult r = Run(Args(kMorning, 5));
      ExpectCleanEnd(r);
      EXPECT_EQ(r.Count("Main timer error : Not a regular file : [" + day.string() + "]"), 1)
          << r.out;
      EXPECT_EQ(r.Count("Main timer error"), 1);
      EXPECT_TRUE(fs::is_symlink(day));
      if (dangling)
        EXPECT_FALSE(fs::exists(target));
      else
        EXPECT_EQ(ReadFile(target), "someone else's file\n");
    }
  }

  // 6. A capture that cannot be written: said once, stopped on a whole
  // line, and measuring goes on.
  void CaptureOnFullDisk() {
    std::string why;
    const fs::path folder = dir_ / "capture";
    const auto tmpfs = TTmpfs::Mount(folder, "64k", why);
    // Without root, a device that is always full.
    fs::path capture = "/dev/full";
    if (tmpfs) {
      capture = folder / "capture.txt";
      tmpfs->Fill(folder / "filler", 4096);  // one page left: about 30 reports
    }
    const TRunResult r = Run(Args(kMorning, 60, {"--capture", capture.string()}));
    ExpectCleanEnd(r);
    EXPECT_EQ(r.Count("Capture stopped, the capture file cannot be written : Disk full : [" +
                      capture.string() + "]"),
              1)
        << r.out;
    EXPECT_EQ(r.Count("Main timer error"), 0);
    EXPECT_EQ(SecondsAfterEight(ReadDayFile(data_ / kMay3)), Range(1, 60));
    if (!tmpfs) return;
    const std::string bytes = ReadFile(capture);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), '\n');
    std::istringstream in(bytes);
    std::string line;
    int reports = 0;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      EXPECT_EQ(line.size(), 130u) << line;
      ++reports;
    }
    EXPECT_GT(reports, 10);
    EXPECT_LT(reports, 60);
  }

  // 7. After the local clock goes back an hour the one- and five-minute
  // means still cover one and five minutes.
  void DstFallBackMeans() {
    TRunPlan plan;
    plan.env["TZ"] = "XST12XDT11,M3.5.0/24,M10.5.0/0:30";  // back at 11:30 UTC
    plan.args = Args("2026-10-25T11:00:00", 3600);
    const TRunResult r = Run(plan);
    ExpectCleanEnd(r);
    std::vector<std::pair<int, double>> points;
    for (const auto& name : {DayFileName(2026, 10, 24), DayFileName(2026, 10, 25)})
      for (const auto& l : ReadDayFile(data_ / name).lines)
        if (l != ResultHeader()) points.emplace_back(UtcSecondOfDay(l), std::stod(Fields(l).at(4)));
    // After the step back the day before's file holds the later half.
    std::sort(points.begin(), points.end());
    ASSERT_EQ(points.size(), 3600u);
    std::string first;
    EXPECT_EQ(MeansDifferingFromRecomputation(r, points, "One minute mean seeing : ", 60, first), 0)
        << first;
    EXPECT_EQ(MeansDifferingFromRecomputation(r, points, "Five minutes mean seeing : ", 300, first),
              0)
        << first;
  }

  // 8. A new system time zone is taken without a restart.
  void TimeZoneChange() {
    const fs::path utc = "/usr/share/zoneinfo/UTC";
    const fs::path east = "/usr/share/zoneinfo/Etc/GMT-14";  // UTC+14
    if (!fs::exists(utc) || !fs::exists(east)) GTEST_SKIP() << "tzdata is not installed";
    const fs::path zone = dir_ / "localtime";
    fs::copy_file(utc, zone);
    TRunPlan plan;
    plan.env["TZ"] = zone.string();
    // 11:00 UTC on 3 May is 01:00 on 4 May at UTC+14.
    plan.args = Args("2026-05-03T11:00:00", 120, {"--sim-stop-at", "30"});
    plan.onStop = [&](int) {
      fs::copy_file(east, dir_ / "localtime.new");
      fs::rename(dir_ / "localtime.new", zone);
    };
    const TRunResult r = Run(plan);
    ExpectCleanEnd(r);
    EXPECT_EQ(r.Count("Local time zone changed : UTC+14:00"), 1) << r.out;
    const TDayFile may3 = ReadDayFile(data_ / DayFileName(2026, 5, 3));
    const TDayFile may4 = ReadDayFile(data_ / DayFileName(2026, 5, 4));
    ExpectSound(may3, "3 May");
    ExpectSound(may4, "4 May");
    ASSERT_GT(may4.lines.size(), 1u);
    // Within a minute of the change, and every second in one file or the other.
    const int firstNew = UtcSecondOfDay(may4.lines[1]) - 11 * 3600;
    EXPECT_LE(firstNew, 30 + 60);
    for (std::size_t i = 1; i < may4.lines.size(); ++i)
      EXPECT_EQ(Fields(may4.lines[i]).at(0).rfind("4 May 2026 01:", 0), 0u) << may4.lines[i];
    EXPECT_EQ(Concat(SecondsAfterEight(may3), SecondsAfterEight(may4)),
              Range(3 * 3600 + 1, 3 * 3600 + 120));
  }

  // 9. Values out of range are refused by name with status 2.
  void BadValues() {
    struct Case {
      std::vector<std::string> args;
      const char* says;
    } cases[] = {
        {{"--speed", "1e-9"}, "--speed"},
        {{"--speed", "1e-300"}, "--speed"},
        {{"--speed", "0.0001"}, "--speed"},
        {{"--speed", "2000000"}, "--speed"},
        {{"--replay", dir_.string()}, "is not a regular file"},
        {{"--replay", "/dev/zero"}, "is not a regular file"},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.args.back());
      std::vector<std::string> args = {"--headless", "--settings",   settings_.string(),
                                       "--data-dir", data_.string(), "--duration",
                                       "5"};
      if (c.args.front() == "--speed") args.push_back("--simulate");
      args.insert(args.end(), c.args.begin(), c.args.end());
      TRunPlan plan;
      plan.args = args;
      plan.timeoutMs = 20000;
      const TRunResult r = Run(plan);
      EXPECT_TRUE(r.exited && r.status == 2) << "status " << r.status;
      EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
      EXPECT_FALSE(fs::exists(data_ / kMay3));
    }
  }

  // 9. A settings file far too large is corrupt, not read for seconds.
  void OversizedSettingsFile() {
    std::string content =
        "[Software]\nDRAVO_Solar\\General\\latitude=0.1\nDRAVO_Solar\\General\\longitude=0.1\n";
    for (int i = 0; content.size() <= 2u << 20; ++i)
      content += "DRAVO_Solar\\Padding\\v" + std::to_string(i) + "=xxxxxxxxxxxxxxxxxxxxxxxx\n";
    WriteFile(settings_, content);
    const TRunResult r = Run(Args(kMorning, 5));
    ExpectCleanEnd(r);
    for (const char* id :
         {"RetentionMaxPoints", "MinSignal_mV_Meas", "latitude", "longitude", "Altitude"})
      EXPECT_EQ(r.Count(std::string("Setting ") + id +
                        " not used, default kept : Registry Read Error : settings file [" +
                        settings_.string() + "] is corrupt (larger than 1048576 bytes)"),
                1)
          << id << "\n"
          << r.out;
    EXPECT_EQ(ReadFile(settings_), content);
    EXPECT_EQ(SecondsAfterEight(ReadDayFile(data_ / kMay3)), Range(1, 5));
  }

  // 10. A data folder whose name is not UTF-8 is used as given.
  void NonUtf8DataDir() {
    const fs::path folder = dir_ / std::string("donn\xE9\x65s");  // Latin-1 "données"
    std::vector<std::string> args = Args(kMorning, 5);
    *(std::find(args.begin(), args.end(), "--data-dir") + 1) = folder.string();
    const TRunResult r = Run(args);
    ExpectCleanEnd(r);
    EXPECT_EQ(r.Count("Main timer error"), 0) << r.out;
    EXPECT_EQ(SecondsAfterEight(ReadDayFile(folder / kMay3)), Range(1, 5));
    for (const auto& e : fs::directory_iterator(dir_))
      EXPECT_EQ(e.path().filename().string().find("\xEF\xBF\xBD"), std::string::npos);
  }

  // 11. Date columns under locales beyond Windows-1252 are written in the C
  // locale's form; a locale that fits keeps its own.
  void DateColumns(const char* locale, bool fits) {
    if (!LocaleInstalled(locale))
      GTEST_SKIP() << locale << " is not installed (tools/setup-debian.sh generates it)";
    TRunPlan plan;
    plan.env["LC_ALL"] = locale;
    plan.args = Args(kMorning, 5);
    const TRunResult r = Run(plan);
    ExpectCleanEnd(r);
    const TDayFile f = ReadDayFile(data_ / kMay3);
    ExpectSound(f, kMay3);
    ASSERT_EQ(f.lines.size(), 6u);
    const std::regex cForm(R"(^\d{1,2} [A-Z][a-z]{2} \d{4} \d{2}:\d{2}:\d{2}$)");
    for (std::size_t i = 1; i < f.lines.size(); ++i) {
      const std::vector<std::string> fields = Fields(f.lines[i]);
      for (int column : {0, 1}) {
        const std::string& text = fields.at(static_cast<std::size_t>(column));
        EXPECT_EQ(text.find('?'), std::string::npos) << text;
        EXPECT_EQ(std::regex_match(text, cForm), !fits) << text;
      }
      if (!fits) {
        EXPECT_EQ(fields[1], "3 May 2026 08:00:0" + std::to_string(i));
        EXPECT_EQ(fields[0], fields[1]);  // TZ=UTC
      }
    }
  }
  void DateColumnsArabic() { DateColumns("ar_EG.UTF-8", false); }
  void DateColumnsJapanese() { DateColumns("ja_JP.UTF-8", false); }
  void DateColumnsPersian() { DateColumns("fa_IR.UTF-8", false); }
  void DateColumnsGermanUnchanged() { DateColumns("de_DE.UTF-8", true); }
};

TEST_P(UnattendedStation, GetsThroughByItself) {
  (this->*GetParam().body)();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UnattendedStation,
    ::testing::Values(
        TStationRow{"DiskFullThenSpaceBack", &UnattendedStation::DiskFullThenSpaceBack},
        TStationRow{"SigtermWritesWaitingLines", &UnattendedStation::SigtermWritesWaitingLines},
        TStationRow{"FileSizeLimit", &UnattendedStation::FileSizeLimit},
        TStationRow{"TornLastLine", &UnattendedStation::TornLastLine},
        TStationRow{"TwoInstances", &UnattendedStation::TwoInstances},
        TStationRow{"BrokenPipe", &UnattendedStation::BrokenPipe},
        TStationRow{"Sighup", &UnattendedStation::Sighup},
        TStationRow{"FifoAtTheFileName", &UnattendedStation::FifoAtTheFileName},
        TStationRow{"SymlinkAtTheFileName", &UnattendedStation::SymlinkAtTheFileName},
        TStationRow{"CaptureOnFullDisk", &UnattendedStation::CaptureOnFullDisk},
        TStationRow{"DstFallBackMeans", &UnattendedStation::DstFallBackMeans},
        TStationRow{"TimeZoneChange", &UnattendedStation::TimeZoneChange},
        TStationRow{"BadValues", &UnattendedStation::BadValues},
        TStationRow{"OversizedSettingsFile", &UnattendedStation::OversizedSettingsFile},
        TStationRow{"NonUtf8DataDir", &UnattendedStation::NonUtf8DataDir},
        TStationRow{"DateColumnsArabic", &UnattendedStation::DateColumnsArabic},
        TStationRow{"DateColumnsJapanese", &UnattendedStation::DateColumnsJapanese},
        TStationRow{"DateColumnsPersian", &UnattendedStation::DateColumnsPersian},
        TStationRow{"DateColumnsGermanUnchanged", &UnattendedStation::DateColumnsGermanUnchanged}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quorvel::e2e
