// The results writer: lines wait in memory while the file cannot be written
// and reach it in order once it can; the locks of folder and instrument.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "RecordsTestUtil.h"
#include "common/Clock.h"
#include "records/InstanceLock.h"
#include "records/ResultFile.h"
#include "records/ResultsWriter.h"

namespace quorvel {
namespace {

using testutil::ReadFile;
using testutil::TempDir;

class ResultsWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    hadTz_ = tz != nullptr;
    savedTz_ = tz ? tz : "";
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
  }
  void TearDown() override {
    if (hadTz_)
      ::setenv("TZ", savedTz_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

  // One measurement a second, as the cycle makes them: a retry first, then
  // the line. Its seeing numbers the line.
  void Measure(TResultsWriter& w, const std::string& folder, int n) {
    clock_.Advance(1000);
    w.RetryIfDue();
    TDataOutMes m;
    m.UTCDate = NowUTC();
    m.CurrentDate = Now();
    m.seeingArcSec = n;
    w.Save(folder, m, path_);
  }
  // The seeing figures of a file's data lines.
  static std::vector<int> Numbers(const std::string& path) {
    std::vector<int> out;
    const std::string bytes = ReadFile(path);
    std::size_t pos = bytes.find("\r\n");  // after the header
    while (pos != std::string::npos && pos + 2 < bytes.size()) {
      const std::size_t end = bytes.find("\r\n", pos + 2);
      const std::string line = bytes.substr(pos + 2, end - pos - 2);
      std::size_t bar = 0;
      for (int i = 0; i < 4; ++i) bar = line.find('|', bar) + 1;
      out.push_back(std::stoi(line.substr(bar)));
      pos = end;
    }
    return out;
  }
  static std::vector<int> Range(int from, int to) {
    std::vector<int> v;
    for (int i = from; i <= to; ++i) v.push_back(i);
    return v;
  }
  static std::string Text(TDateTime) { return "d"; }

  VirtualClock clock_{UnixMsFromDateTime(EncodeDateTime(2026, 5, 3, 8, 0, 0, 0))};
  ScopedClock scoped_{clock_};
  std::string path_;
  std::vector<std::string> errors_, log_;
  std::string savedTz_;
  bool hadTz_ = false;
  TResultsWriter::TLogFn onError_ = [this](const std::string& e) { errors_.push_back(e); };
  TResultsWriter::TLogFn onLog_ = [this](const std::string& l) { log_.push_back(l); };
};

TEST_F(ResultsWriterTest, AnOutageKeepsTheLinesInOrderAndEndsByItself) {
  TempDir dir;
  TResultsWriter w(onError_, onLog_, Text);
  Measure(w, dir.path(), 1);
  const std::string day = path_;
  ASSERT_EQ(Numbers(day), Range(1, 1));
  // Something that is not a file at the name: the lines wait.
  std::filesystem::rename(day, dir / "aside");
  ASSERT_EQ(::mkfifo(day.c_str(), 0644), 0);
  std::vector<std::int64_t> delays;
  for (int n = 2; n <= 400; ++n) {
    Measure(w, dir.path(), n);
    if (delays.empty() || delays.back() != w.RetryDelayMs()) delays.push_back(w.RetryDelayMs());
  }
  EXPECT_EQ(errors_, std::vector<std::string>{"Not a regular file : [" + day + "]"});
  EXPECT_EQ(w.Pending(), 399u);
  // Backing off to one try a minute.
  EXPECT_EQ(delays, (std::vector<std::int64_t>{2000, 4000, 8000, 16000, 32000, 60000}));
  std::filesystem::remove(day);
  std::filesystem::rename(dir / "aside", day);
  for (int n = 401; n <= 460; ++n) Measure(w, dir.path(), n);
  EXPECT_EQ(w.Pending(), 0u);
  EXPECT_EQ(Numbers(day), Range(1, 460));
  EXPECT_EQ(log_, std::vector<std::string>{"Results file writable again : [" + day + "]"});
  EXPECT_EQ(w.RetryDelayMs(), TResultsWriter::kFirstRetryMs);
}

TEST_F(ResultsWriterTest, AMissingFolderIsMadeAgainAtARetry) {
  TempDir dir;
  const std::string folder = dir / "data";
  TResultsWriter w(onError_, onLog_, Text);
  testutil::WriteFile(folder, "a file in the folder's place");
  Measure(w, folder, 1);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0].rfind("Path not found : [", 0), 0u) << errors_[0];
  std::filesystem::remove(folder);
  for (int n = 2; n <= 3; ++n) Measure(w, folder, n);
  EXPECT_EQ(Numbers(path_), Range(1, 3));
}

TEST_F(ResultsWriterTest, AtMost24HoursWaitAndTheDroppedAreCounted) {
  TempDir dir;
  TResultsWriter w(onError_, onLog_, Text);
  const std::string day = dir / "2026_ 5_ 3_Results.txt";
  ASSERT_EQ(::mkfifo(day.c_str(), 0644), 0);
  // A day and a bit of measurements; the clock is slowed down so that the
  // day's file stays the one that fails.
  const std::int64_t start = clock_.UtcMs();
  for (int n = 1; n <= 86400 + 150; ++n) {
    clock_.Set(start + n);
    TDataOutMes m;
    m.UTCDate = DateTimeFromUnixMs(start + 1000LL * n);
    m.seeingArcSec = n;
    w.RetryIfDue();
    w.Save(dir.path(), m, path_);
  }
  // The newest line and every one up to 24 hours older wait.
  EXPECT_EQ(w.Pending(), 86401u);
  EXPECT_EQ(w.DroppedTotal(), 149u);
  std::filesystem::remove(day);
  EXPECT_EQ(w.Flush(), 0u);
  const std::vector<int> written = Numbers(day);
  EXPECT_EQ(written, Range(150, 86400 + 150));
  EXPECT_EQ(log_, (std::vector<std::string>{
                      "Results file still not writable after 24 hours : the oldest waiting "
                      "lines are dropped",
                      "Results file writable again : [" + day + "]",
                      "Results lines dropped while the file could not be written : 149 (more "
                      "than 24 hours waiting)"}));
}

TEST_F(ResultsWriterTest, AFailingDaysFileDoesNotHoldBackTheNextDays) {
  TempDir dir;
  TResultsWriter w(onError_, onLog_, Text);
  clock_.Set(UnixMsFromDateTime(EncodeDateTime(2026, 5, 3, 23, 59, 57, 0)));
  const std::string may3 = dir / "2026_ 5_ 3_Results.txt";
  const std::string may4 = dir / "2026_ 5_ 4_Results.txt";
  ASSERT_EQ(::mkfifo(may3.c_str(), 0644), 0);
  for (int n = 1; n <= 6; ++n) Measure(w, dir.path(), n);  // 23:59:58 .. 00:00:03
  EXPECT_EQ(Numbers(may4), Range(3, 6));
  EXPECT_EQ(w.Pending(), 2u);
  std::filesystem::remove(may3);
  EXPECT_EQ(w.Flush(), 0u);
  EXPECT_EQ(Numbers(may3), Range(1, 2));
}

TEST_F(ResultsWriterTest, FlushSaysHowManyLinesAreLost) {
  TempDir dir;
  TResultsWriter w(onError_, onLog_, Text);
  const std::string day = dir / "2026_ 5_ 3_Results.txt";
  ASSERT_EQ(::mkfifo(day.c_str(), 0644), 0);
  for (int n = 1; n <= 5; ++n) Measure(w, dir.path(), n);
  EXPECT_EQ(w.Flush(), 5u);
  EXPECT_EQ(log_.back(), "Results lines not written at the end : 5 : [" + day + "]");
}

TEST(InstanceLock, OneOwnerAtATimeAndTheSecondLearnsWho) {
  TempDir dir;
  const std::string path = DataFolderLockPath(dir.path());
  EXPECT_EQ(path, dir.path() + "/.quorvel.lock");
  TInstanceLock first, second;
  std::string holder;
  ASSERT_EQ(first.Acquire(path, "pid 1, headless", holder), TInstanceLock::TResult::Taken);
  EXPECT_EQ(second.Acquire(path, "pid 2, window", holder), TInstanceLock::TResult::HeldByOther);
  EXPECT_EQ(holder, "pid 1, headless");
  EXPECT_FALSE(second.Held());
  first.Release();
  EXPECT_EQ(second.Acquire(path, "pid 2, window", holder), TInstanceLock::TResult::Taken);
  EXPECT_TRUE(second.Held());
  // A link planted at the name is not followed.
  const std::string link = dir / "link.lock";
  std::filesystem::create_symlink(dir / "victim", link);
  EXPECT_EQ(first.Acquire(link, "x", holder), TInstanceLock::TResult::Unavailable);
  EXPECT_FALSE(std::filesystem::exists(dir / "victim"));
}

TEST(InstanceLock, InstrumentLocksLiveInTheRuntimeDirectory) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
  EXPECT_EQ(InstrumentLockPath("/dev/hidraw3"),
            "/run/user/1000/quorvel-instrument-_dev_hidraw3.lock");
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(InstrumentLockPath("1-2:1.0"), "/tmp/quorvel-instrument-1-2_1.0.lock");
  if (saved) ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

}  // namespace
}  // namespace quorvel
