#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/Clock.h"
#include "common/DateTime.h"
#include "common/EventLog.h"

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

}  // namespace
}  // namespace quorvel
