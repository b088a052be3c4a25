#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <regex>
#include <thread>

#include "RecordsTestUtil.h"
#include "common/Clock.h"
#include "common/Errors.h"
#include "ephemeris/Calendar.h"
#include "records/Cp1252.h"
#include "records/RegionalFormat.h"
#include "records/ResultFile.h"

namespace quorvel {
namespace {

using testutil::Exists;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

const std::string kHeaderLine = std::string(kResultHeader) + "\r\n";

// Central European time (CEST in May, UTC+2), without needing tzdata.
class ResultFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    savedTz_ = tz ? tz : "";
    hadTz_ = tz != nullptr;
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
  }
  void TearDown() override {
    if (hadTz_)
      ::setenv("TZ", savedTz_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }
  // Virtual clock time of a local (CEST) date and time.
  static std::int64_t CestMs(int y, int mo, int d, int h, int mi, int s, int ms) {
    return UnixMsFromDateTime(EncodeDateTime(y, mo, d, h, mi, s, ms)) - 2 * 3600 * 1000;
  }
  static std::string CLocale(TDateTime v) { return RegionalDateTimeText(v, "C"); }

  std::string savedTz_;
  bool hadTz_ = false;
};

TDataOutMes FirstRecord() {
  TDataOutMes m;
  m.CurrentDate = EncodeDateTime(2026, 5, 3, 14, 7, 9, 0);
  m.UTCDate = EncodeDateTime(2026, 5, 3, 12, 7, 9, 0);
  m.Signal_UtileV = 0.41234;
  m.seeingArcSec = 1.25;
  m.R0 = 85.26;
  m.AZ = 135.5;
  m.ELV = 52.25;
  m.seeingArcSecZen = 1.126;
  m.R0Zen = 103.76;
  return m;
}

TDataOutMes MidnightRecord() {
  TDataOutMes m;
  m.CurrentDate = EncodeDate(2026, 5, 4);
  m.UTCDate = EncodeDateTime(2026, 5, 3, 22, 0, 0, 0);
  m.Signal_UtileV = 0.15;
  m.seeingArcSec = NAN;
  m.R0 = 0;
  m.AZ = 320.25;
  m.ELV = -0.5;
  m.seeingArcSecZen = INFINITY;
  m.R0Zen = 0;
  return m;
}

TEST(ResultHeader, Is125CharactersWithItsColumnWidths) {
  ASSERT_EQ(kResultHeader.size(), 125u);
  EXPECT_EQ(std::count(kResultHeader.begin(), kResultHeader.end(), '\xB0'), 2);
  std::vector<std::size_t> widths;
  std::size_t start = 0;
  for (std::size_t i = 0; i < kResultHeader.size(); ++i)
    if (kResultHeader[i] == '|') {
      widths.push_back(i - start);
      start = i + 1;
    }
  EXPECT_EQ(widths, (std::vector<std::size_t>{20, 21, 17, 7, 6, 6, 9, 8, 10, 11}));
  EXPECT_EQ(Cp1252ToUtf8(kResultHeader).substr(0, 20), "Local Date          ");
}

TEST(ResultFileName, PadsMonthAndDayWithOneBlank) {
  struct Case {
    int y, m, d;
    const char* name;
  } cases[] = {{2026, 5, 3, "/data/2026_ 5_ 3_Results.txt"},
               {2026, 12, 25, "/data/2026_12_25_Results.txt"},
               {2026, 1, 5, "/data/2026_ 1_ 5_Results.txt"},
               {2026, 10, 9, "/data/2026_10_ 9_Results.txt"},
               {987, 7, 10, "/data/987_ 7_10_Results.txt"}};
  for (const Case& c : cases) {
    EXPECT_EQ(ResultFileName("/data/", c.y, c.m, c.d), c.name);
    EXPECT_EQ(ResultFileName("/data", c.y, c.m, c.d), c.name) << "separator added";
  }
}

TEST(ResultJulianDay, MatchesTheEphemerisWithoutItsYearWindow) {
  EXPECT_EQ(ConvertDate2Julian(1999, 3, 3.0), 2451240.5);
  EXPECT_EQ(ConvertDate2Julian(2000, 1, 1.5), 2451545.0);
  for (TDateTime v : {EncodeDateTime(2026, 5, 3, 12, 7, 9, 0), EncodeDateTime(1, 1, 1, 0, 0, 0, 0),
                      EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), 0.0})
    EXPECT_DOUBLE_EQ(Convert_TdateTime2Julian_day(v), ephem::Convert_TdateTime2Julian_day(v));
  // Calendar fields must fit 16 bits; an impossible date is a conversion error.
  EXPECT_THROW(ConvertDate2Julian(70000, 1, 1), ERangeCheckError);
  EXPECT_THROW(ConvertDate2Julian(2026, -1, 1), ERangeCheckError);
  EXPECT_THROW(ConvertDate2Julian(2026, 1, 65536.5), ERangeCheckError);
  EXPECT_THROW(ConvertDate2Julian(2026, 1, NAN), ERangeCheckError);
  EXPECT_THROW(Convert_TdateTime2Julian_day(NAN), ERangeCheckError);
  EXPECT_THROW(Convert_TdateTime2Julian_day(1e300), ERangeCheckError);
  EXPECT_THROW(ConvertDate2Julian(2026, 13, 1), EConvertError);
  EXPECT_THROW(ConvertDate2Julian(0, 1, 1), EConvertError);
  EXPECT_THROW(ConvertDate2Julian(12000, 1, 1), EConvertError);
}

TEST(Cp1252, ConvertsWhatTheSetHoldsAndMarksTheRest) {
  struct Case {
    const char* utf8;
    const char* cp1252;
  } cases[] = {{"abc 09:07", "abc 09:07"},
               {"\xC2\xB0", "\xB0"},                // degree sign
               {"\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},  // été
               {"\xE2\x82\xAC", "\x80"},
               {"\xE2\x80\x8F", "?"},  // euro, RLM
               {"\xE6\x97\xA5", "?"},
               {"\xF0\x9F\x98\x80", "?"},  // CJK, emoji
               {"a\xFF"
                "b",
                "a?b"},
               {"\xC3", "?"},        // invalid, truncated
               {"\xC0\xAF", "??"}};  // overlong
  for (const Case& c : cases) EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
  EXPECT_EQ(Cp1252ToUtf8("\xB0\x80\xE9"), "\xC2\xB0\xE2\x82\xAC\xC3\xA9");
}

TEST(RegionalDateTime, FollowsTheLocaleAndLeavesOutMidnight) {
  const TDateTime afternoon = EncodeDateTime(2026, 5, 3, 14, 7, 9, 0);
  const TDateTime midnight = EncodeDate(2026, 5, 3);
  const TDateTime justAfter = EncodeDateTime(2026, 5, 3, 0, 0, 0, 1);
  struct Case {
    const char* locale;
    const char* afternoon;
    const char* midnight;
    const char* justAfter;
  } cases[] = {{"C", "3 May 2026 14:07:09", "3 May 2026", "3 May 2026 00:00:00"},
               {"de_DE", "03.05.26 14:07:09", "03.05.26", "03.05.26 00:00:00"},
               {"en_US", "5/3/26 2:07:09 PM", "5/3/26", "5/3/26 12:00:00 AM"},
               {"fr_FR", "03/05/2026 14:07:09", "03/05/2026", "03/05/2026 00:00:00"}};
  for (const Case& c : cases) {
    EXPECT_EQ(RegionalDateTimeText(afternoon, c.locale), c.afternoon) << c.locale;
    EXPECT_EQ(RegionalDateTimeText(midnight, c.locale), c.midnight) << c.locale;
    EXPECT_EQ(RegionalDateTimeText(justAfter, c.locale), c.justAfter) << c.locale;
  }
  EXPECT_EQ(RegionalShortDateText(afternoon, "de_DE"), "03.05.26");
  EXPECT_THROW(RegionalDateTimeText(NAN, "C"), EConvertError);
}

TEST(RegionalDateTime, TimeFormatLosesOnlyItsZone) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"HH:mm:ss t", "HH:mm:ss"}, {"h:mm:ss AP t", "h:mm:ss AP"},
               {"t HH:mm:ss", "HH:mm:ss"}, {"HH:mm:ss 'at' t", "HH:mm:ss 'at'"},
               {"HH:mm:ss", "HH:mm:ss"},   {"H'h'mm tttt ss", "H'h'mm ss"}};
  for (const Case& c : cases) EXPECT_EQ(TimeFormatWithoutZone(c.in), c.out) << c.in;
}

TEST_F(ResultFileTest, DayFileMatchesTheFixtureByteForByte) {
  TempDir dir;
  VirtualClock clock(CestMs(2026, 5, 3, 14, 7, 9, 200));
  ScopedClock scoped(clock);
  std::string path;
  SaveData(dir.path() + "/", FirstRecord(), path, CLocale);
  EXPECT_EQ(path, dir.path() + "/2026_ 5_ 3_Results.txt");
  clock.Advance(1000);
  SaveData(dir.path() + "/", MidnightRecord(), path, CLocale);
  const std::string expected =
      ReadFile(std::string(QUORVEL_RECORDS_FIXTURES) + "/day_file_c_locale.txt");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(ReadFile(path), expected);
}

TEST_F(ResultFileTest, DecimalCommaLocaleKeepsPointsInNumbers) {
  // The C library under a decimal-comma locale, dates in German.
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  const std::string line =
      FormatResultLine(FirstRecord(), [](TDateTime v) { return RegionalDateTimeText(v, "de_DE"); });
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_TRUE(german) << "de_DE.UTF-8 is not generated (tools/setup-debian.sh)";
  EXPECT_EQ(line,
            "03.05.26 14:07:09 | 03.05.26 12:07:09 | 2461164.0049653 | 412.3 | 1.25 | 85.3 | "
            "135.500 | 52.250 | 1.13     | 103.8     |\r\n");
}

TEST_F(ResultFileTest, SystemLocaleDrivesTheDateColumns) {
  // A separate process, as the program runs: the locale comes from LC_ALL.
  struct Case {
    const char* lcAll;
    const char* dates;
  } cases[] = {{"LC_ALL=C", "3 May 2026 14:07:09 | 3 May 2026 12:07:09 | "},
               {"LC_ALL=POSIX", "3 May 2026 14:07:09 | 3 May 2026 12:07:09 | "},
               {"LC_ALL=de_DE.UTF-8", "03.05.26 14:07:09 | 03.05.26 12:07:09 | "}};
  for (const Case& c : cases) {
    TempDir dir;
    std::string out;
    ASSERT_EQ(testutil::RunHelper({"append-once", dir.path()}, {c.lcAll}, out), 0) << out;
    ASSERT_FALSE(out.empty());
    const std::string file = ReadFile(out.substr(0, out.size() - 1));
    ASSERT_GT(file.size(), kHeaderLine.size());
    EXPECT_EQ(file.substr(0, kHeaderLine.size()), kHeaderLine);
    const std::string line = file.substr(kHeaderLine.size());
    EXPECT_EQ(line.substr(0, std::string(c.dates).size()), c.dates) << c.lcAll;
    EXPECT_NE(line.find("| 2461164.0049653 | 412.3 | 1.25 | 85.3 | 135.500 | 52.250 | 1.13     | "
                        "103.8     |\r\n"),
              std::string::npos)
        << c.lcAll << ": " << line;
  }
}

TEST_F(ResultFileTest, LocalMidnightStartsANewFileWithHeader) {
  TempDir dir;
  VirtualClock clock(CestMs(2026, 5, 3, 23, 59, 59, 500));
  ScopedClock scoped(clock);
  std::string first, second;
  SaveData(dir.path(), FirstRecord(), first, CLocale);
  // Measured before midnight, written after it: the new day's file.
  clock.Advance(1000);
  SaveData(dir.path(), FirstRecord(), second, CLocale);
  EXPECT_EQ(first, dir.path() + "/2026_ 5_ 3_Results.txt");
  EXPECT_EQ(second, dir.path() + "/2026_ 5_ 4_Results.txt");
  const std::string line = FormatResultLine(FirstRecord(), CLocale);
  EXPECT_EQ(ReadFile(first), kHeaderLine + line);
  EXPECT_EQ(ReadFile(second), kHeaderLine + line);
  SaveData(dir.path(), FirstRecord(), second, CLocale);
  EXPECT_EQ(ReadFile(first), kHeaderLine + line) << "previous day untouched";
  EXPECT_EQ(ReadFile(second), kHeaderLine + line + line);
}

TEST_F(ResultFileTest, ExistingFileGetsNoHeaderAndDeletedFileIsRecreated) {
  TempDir dir;
  VirtualClock clock(CestMs(2026, 1, 5, 10, 0, 0, 0));
  ScopedClock scoped(clock);
  const std::string name = dir / "2026_ 1_ 5_Results.txt";
  const std::string line = FormatResultLine(FirstRecord(), CLocale);
  WriteFile(name, "");
  std::string path;
  SaveData(dir.path(), FirstRecord(), path, CLocale);
  EXPECT_EQ(path, name);
  EXPECT_EQ(ReadFile(name), line) << "an empty file stays without header";
  std::remove(name.c_str());
  SaveData(dir.path(), FirstRecord(), path, CLocale);
  EXPECT_EQ(ReadFile(name), kHeaderLine + line);
}

TEST_F(ResultFileTest, BothWaysOfCreatingAFileWriteHeaderAndLine) {
  for (TNewFileMode mode : {TNewFileMode::Atomic, TNewFileMode::Plain}) {
    TempDir dir;
    const std::string name = dir / "2026_ 5_ 3_Results.txt";
    AppendResultLine(name, "one\r\n", mode);
    AppendResultLine(name, "two\r\n", mode);
    EXPECT_EQ(ReadFile(name), kHeaderLine + "one\r\ntwo\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file left behind";
  }
}

// Runs `body` in a child process (for per-process limits and identities);
// the child's exit code is what body returns.
int InChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ResultFileTest, NewFileWithoutProcIsCreatedAllTheSame) {
  TempDir dir;
  const std::string name = dir / "2026_ 5_ 3_Results.txt";
  // A private mount table whose /proc is an empty folder.
  const int code = InChild([&] {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("none", "/proc", "tmpfs", 0, nullptr) != 0)
      return 4;
    try {
      AppendResultLine(name, "one\r\n");
    } catch (const EInOutError&) {
      return 1;
    }
    return 0;
  });
  if (code == 4) GTEST_SKIP() << "no private mount table here";
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFile(name), kHeaderLine + "one\r\n");
}

TEST_F(ResultFileTest, FailuresNameTheFailureAndThePath) {
  TempDir dir;
  VirtualClock clock(CestMs(2026, 5, 3, 14, 7, 9, 0));
  ScopedClock scoped(clock);
  const std::string dayName = "2026_ 5_ 3_Results.txt";
  const std::string fileInTheWay = dir / "plainfile";
  WriteFile(fileInTheWay, "x");
  // A link at the day's name is never followed, even to a device.
  const std::string linked = dir / "linked";
  std::filesystem::create_directory(linked);
  std::filesystem::create_symlink("/dev/full", linked + "/" + dayName);
  const std::string folderAsFile = dir / "folder-named-like-the-file";
  std::filesystem::create_directories(folderAsFile + "/" + dayName);

  struct Case {
    std::string folder;
    std::string text;
    int err;
  } cases[] = {{dir / "missing", "Path not found", ENOENT},
               {fileInTheWay, "Path not found", ENOTDIR},
               {linked, "Not a regular file", EINVAL},
               {dir / std::string(300, 'a'), "Path too long", ENAMETOOLONG},
               {folderAsFile, "Not a regular file", EINVAL}};
  for (const Case& c : cases) {
    std::string path;
    try {
      SaveData(c.folder, FirstRecord(), path, CLocale);
      ADD_FAILURE() << c.text << " not raised";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Message(), c.text + " : [" + c.folder + "/" + dayName + "]");
      EXPECT_EQ(e.ErrorCode, c.err) << c.text;
    }
    EXPECT_EQ(path, c.folder + "/" + dayName) << "path handed back before the failure";
  }
  EXPECT_EQ(InOutErrorText(EIO), "I/O error 5");
}

TEST_F(ResultFileTest, ReadOnlyFileIsAccessDenied) {
  TempDir dir;
  const std::string name = dir / "2026_ 5_ 3_Results.txt";
  WriteFile(name, kHeaderLine);
  ::chmod(name.c_str(), 0444);
  ::chmod(dir.path().c_str(), 0755);
  // Root ignores file modes: the child gives up its rights first.
  const int code = InChild([&] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 3;
    try {
      AppendResultLine(name, "line\r\n");
    } catch (const EInOutError& e) {
      return e.Message() == "File access denied : [" + name + "]" ? 0 : 1;
    }
    return 2;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFile(name), kHeaderLine);
}

TEST_F(ResultFileTest, LineThatDoesNotFitIsTakenBackWhole) {
  TempDir dir;
  const std::string name = dir / "2026_ 5_ 3_Results.txt";
  WriteFile(name, kHeaderLine);
  const std::string line = FormatResultLine(FirstRecord(), CLocale);
  // A file size limit half-way through the line: the write stops short.
  const int code = InChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlim_t limit = kHeaderLine.size() + line.size() / 2;
    const rlimit rl{limit, limit};
    if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) return 3;
    try {
      AppendResultLine(name, line);
    } catch (const EInOutError& e) {
      return e.Message() == "File too large : [" + name + "]" ? 0 : 1;
    }
    return 2;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFile(name), kHeaderLine) << "no half line left in the file";
}

TEST_F(ResultFileTest, BadDateLeavesNoTraceOnDisk) {
  TempDir dir;
  TDataOutMes m = FirstRecord();
  m.UTCDate = NAN;
  std::string path;
  EXPECT_THROW(SaveData(dir.path(), m, path, CLocale), Exception);
  EXPECT_FALSE(path.empty());
  EXPECT_FALSE(Exists(path));
}

TEST(ResultFileKill, KilledWriterLeavesOnlyWholeLines) {
  TempDir dir;
  const std::regex dataLine(
      R"(\d{1,2} May 2026 14:07:09 \| \d{1,2} May 2026 12:07:09 \| 2461164\.0049653 \| \d+\.\d \| 1\.25 \| 85\.3 \| 135\.500 \| 52\.250 \| 1\.13     \| 103\.8     \|)");
  const auto bytesWritten = [&] {
    std::uintmax_t total = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path(), ec))
      total += entry.file_size(ec);
    return total;
  };
  std::size_t lines = 0;
  for (int round = 0; round < 6; ++round) {
    const std::uintmax_t before = bytesWritten();
    const pid_t pid = testutil::SpawnHelper({"append-loop", dir.path()}, {"LC_ALL=C"});
    // A loaded machine may take long to start the writer: wait until it has
    // written some lines, then kill it at an arbitrary moment.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (bytesWritten() < before + 4096 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(3 + 7 * round));
    testutil::KillAndReap(pid);
  }
  // A line crossing a page of the file can be cut by the kill itself (the
  // kernel ends a write early for a fatal signal): the next writer cuts that
  // tail off before its own line, as each round above did for the one before.
  std::string out;
  ASSERT_EQ(testutil::RunHelper({"append-once", dir.path()}, {"LC_ALL=C"}, out), 0) << out;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    ASSERT_TRUE(std::regex_match(name, std::regex(R"(\d{4}_[ \d]\d_[ \d]\d_Results\.txt)")))
        << name;
    const std::string text = ReadFile(entry.path().string());
    ASSERT_EQ(text.substr(0, kHeaderLine.size()), kHeaderLine);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "last line whole";
    std::size_t pos = kHeaderLine.size();
    while (pos < text.size()) {
      const std::size_t end = text.find("\r\n", pos);
      ASSERT_NE(end, std::string::npos);
      const std::string line = text.substr(pos, end - pos);
      ASSERT_TRUE(std::regex_match(line, dataLine)) << "torn line: " << line;
      ++lines;
      pos = end + 2;
    }
  }
  EXPECT_GT(lines, 100u);
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

TEST_F(ResultFileTest, DateColumnsBeyondWindows1252AreWrittenInTheCLocalesForm) {
  // Arabic digits, Japanese time words, a right-to-left mark: each makes its
  // column fall back; a column that fits keeps its text.
  const std::string expected =
      "3 May 2026 14:07:09 | 3 May 2026 12:07:09 | 2461164.0049653 | 412.3 | 1.25 | 85.3 | "
      "135.500 | 52.250 | 1.13     | 103.8     |\r\n";
  for (const char* foreign : {"\xD9\xA3/\xD9\xA5/\xD9\xA2\xD9\xA0\xD9\xA2\xD9\xA6",
                              "2026/05/03 14\xE6\x99\x82"
                              "07\xE5\x88\x86",
                              "\xE2\x80\x8F(3)"}) {
    SCOPED_TRACE(foreign);
    EXPECT_EQ(FormatResultLine(FirstRecord(), [&](TDateTime) { return std::string(foreign); }),
              expected);
  }
  // Only the column that does not fit changes.
  const TDataOutMes m = FirstRecord();
  const std::string mixed = FormatResultLine(m, [&](TDateTime v) {
    return v == m.CurrentDate ? std::string("03.05.26 14:07:09") : std::string("\xD9\xA3");
  });
  EXPECT_EQ(mixed.substr(0, 42), "03.05.26 14:07:09 | 3 May 2026 12:07:09 | ");
  // Western regional texts, accented month names included, stay exactly.
  EXPECT_EQ(FormatResultLine(m, [](TDateTime) { return std::string("3 f\xC3\xA9vr. 2026"); })
                .substr(0, 12),
            "3 f\xE9vr. 2026");
}

TEST(Cp1252Exact, FailsOnTheFirstCharacterThatDoesNotFit) {
  std::string out;
  EXPECT_TRUE(Utf8ToCp1252Exact("3 mai 2026 \xE2\x82\xAC \xC2\xB0", out));
  EXPECT_EQ(out, "3 mai 2026 \x80 \xB0");
  EXPECT_FALSE(Utf8ToCp1252Exact("\xD9\xA3", out));      // Arabic-Indic digit three
  EXPECT_FALSE(Utf8ToCp1252Exact("\xE2\x80\x8F", out));  // right-to-left mark
  EXPECT_FALSE(Utf8ToCp1252Exact("\xC3", out));          // truncated sequence
  EXPECT_TRUE(Utf8ToCp1252Exact("", out));
}

TEST_F(ResultFileTest, TornLastLineIsCutOffBeforeAppendingAndReported) {
  TempDir dir;
  const std::string path = dir / "day.txt";
  const std::string whole = kHeaderLine + "a whole line\r\n";
  struct Case {
    std::string before;
    std::string after;  // before the appended line
    std::uintmax_t removed;
  } cases[] = {
      {whole + "a torn li", whole, 9},
      {whole + "ends in CR\r", whole, 11},
      {"no line end at all", kHeaderLine, 18},  // nothing whole left: starts again
      {whole, whole, 0},
      {"", "", 0},  // an empty file stays without header
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    WriteFile(path, c.before);
    std::uintmax_t removed = 0;
    int calls = 0;
    AppendResultLine(path, "new\r\n", TNewFileMode::Atomic,
                     [&](const std::string& p, std::uintmax_t n) {
                       EXPECT_EQ(p, path);
                       removed = n;
                       ++calls;
                     });
    EXPECT_EQ(ReadFile(path), c.after + "new\r\n");
    EXPECT_EQ(calls, c.removed > 0 ? 1 : 0);
    EXPECT_EQ(removed, c.removed);
  }
  // A torn line far from the last line end (past a read block).
  WriteFile(path, whole + std::string(10000, 'x'));
  std::uintmax_t removed = 0;
  AppendResultLine(path, "new\r\n", TNewFileMode::Atomic,
                   [&](const std::string&, std::uintmax_t n) { removed = n; });
  EXPECT_EQ(removed, 10000u);
  EXPECT_EQ(ReadFile(path), whole + "new\r\n");
}

TEST_F(ResultFileTest, NonRegularFilesAreRefusedWithoutBlocking) {
  TempDir dir;
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const std::string target = dir / "target";
  WriteFile(target, kHeaderLine);
  const std::string link = dir / "link";
  std::filesystem::create_symlink(target, link);
  const std::string dangling = dir / "dangling";
  std::filesystem::create_symlink(dir / "nowhere", dangling);
  for (const std::string& path : {fifo, link, dangling, std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    try {
      AppendResultLine(path, "line\r\n");
      ADD_FAILURE() << "written";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Message(), "Not a regular file : [" + path + "]");
    }
  }
  EXPECT_EQ(ReadFile(target), kHeaderLine);
  EXPECT_FALSE(Exists(dir / "nowhere"));
}

TEST_F(ResultFileTest, PastTheFileSizeLimitTheLineIsTakenBackWhole) {
  TempDir dir;
  const std::string path = dir / "day.txt";
  const std::string before = kHeaderLine + std::string(900, 'a') + "\r\n";
  WriteFile(path, before);
  const int code = InChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit lim{1024, 1024};
    if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) return 3;
    try {
      AppendResultLine(path, std::string(200, 'b') + "\r\n");
    } catch (const EInOutError& e) {
      return e.Message() == "File too large : [" + path + "]" && e.ErrorCode == EFBIG ? 0 : 1;
    }
    return 2;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFile(path), before);
}

}  // namespace
}  // namespace quorvel
