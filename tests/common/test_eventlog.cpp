#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/Clock.h"
#include "common/DateTime.h"
#include "common/Errors.h"
#include "common/EventLog.h"
#include "common/LogFile.h"

namespace quorvel {
namespace {

struct VectorSink : ILogSink {
  std::vector<std::string> lines;
  void AppendLogLine(const std::string& line) override { lines.push_back(line); }
};

TEST(EventLog, TimeStampPieces) {
  const double t = EncodeDateTime(2026, 2, 1, 9, 5, 3, 7);
  EXPECT_EQ(TimeStampFromPieces(t, "Main"), "LT 2026-02-01  09h05m03.007s  [Main] : ");
  EXPECT_EQ(ThreadTag(0x1A4, 1), "01A4");
  EXPECT_EQ(ThreadTag(0x12345, 1), "12345");
  EXPECT_EQ(ThreadTag(7, 7), "Main");
}

TEST(EventLog, ZeroPadding) {
  EXPECT_EQ(InttoStrWith_zero_Left(5, 100000), "00005");
  EXPECT_EQ(InttoStrWith_zero_Left(123, 100), "123");
  EXPECT_EQ(InttoStrWith_zero_Left(7, 50), "7");
  EXPECT_EQ(InttoStrWith_zero_Left(7, 1000), "007");
}

TEST(EventLog, LinesCarryTheClockAndTheCallingThread) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  VirtualClock clock(1769936703007LL);  // 2026-02-01 09:05:03.007 UTC
  ScopedClock use(clock);
  MarkMainThread();
  VectorSink sink;
  AddtoMemoLog(sink, "Application startup");
  std::thread([&] { AddtoMemoLog(sink, "from a worker"); }).join();
  ASSERT_EQ(sink.lines.size(), 2u);
  EXPECT_EQ(sink.lines[0], "LT 2026-02-01  09h05m03.007s  [Main] : Application startup");
  EXPECT_EQ(sink.lines[1].find("[Main]"), std::string::npos);
  EXPECT_NE(sink.lines[1].find("] : from a worker"), std::string::npos);
  ::unsetenv("TZ");
  ::tzset();
}

struct Lines : ILogSink {
  std::vector<std::string> lines;
  void AppendLogLine(const std::string& l) override { lines.push_back(l); }
};

std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// --log-file: every line of the log, the same text, appended to what the
// file already holds, one whole line each.
TEST(LogFile, TheLogsCopyAppendsTheSameLines) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("quorvel_logfile_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto path = dir / "run log.txt";
  std::ofstream(path) << "an earlier run\n";
  VirtualClock clock(1782036000000LL);
  ScopedClock use(clock);
  Lines screen;
  {
    TLogFile file(path.string());
    SetLogCopy(&file);
    AddtoMemoLog(screen, "Application startup");
    clock.Advance(1007);
    AddtoMemoLog(screen, "Site : latitude 45.5000\u00B0 N");
    SetLogCopy(nullptr);
    AddtoMemoLog(screen, "not copied");
    EXPECT_EQ(file.Lost(), 0);
  }
  ASSERT_EQ(screen.lines.size(), 3u);
  EXPECT_EQ(ReadAll(path), "an earlier run\n" + screen.lines[0] + "\n" + screen.lines[1] + "\n");
  std::filesystem::remove_all(dir);
}

TEST(LogFile, AFileThatCannotBeOpenedIsAClearError) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("quorvel_logfile_bad_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (const std::string& path : {(dir / "no such folder" / "log.txt").string(), dir.string()}) {
    try {
      TLogFile file(path);
      ADD_FAILURE() << "opened " << path;
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Cannot open the log file [" + path + "] : ", 0), 0u)
          << e.what();
    }
  }
  std::filesystem::remove_all(dir);
}

// A full disk takes back a line cut short: the file never ends in a piece.
TEST(LogFile, ALineThatDoesNotFitLeavesNoPiece) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TLogFile file("/dev/full");
  file.AppendLogLine("LT 2026-06-21  10h00m00.000s  [Main] : line");
  EXPECT_EQ(file.Lost(), 1);
}

}  // namespace
}  // namespace quorvel
