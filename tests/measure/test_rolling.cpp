#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Clock.h"
#include "common/Errors.h"
#include "measure/RollingBuffer.h"

namespace quorvel {
namespace {

// A series that keeps its points, checked against the buffer after each call.
struct VectorSeries : IPlotSeries {
  std::vector<TRollingBuffer> points;
  int replaceCalls = 0;
  void Clear() override { points.clear(); }
  void Append(double x, double y) override { points.push_back({x, y}); }
  void ReplaceAll(const TARollingBuffer& b, std::int32_t count) override {
    ++replaceCalls;
    b.CopyOut(0, count - 1, points);
  }
};

struct VectorLog : ILogSink {
  std::vector<std::string> lines;
  void AppendLogLine(const std::string& l) override { lines.push_back(l); }
};

class Rolling : public ::testing::Test {
 protected:
  void SetCapacity(int n) {
    GeneralParams.MaxPointsDisplayed = static_cast<std::uint16_t>(n);
    buffer.SetLength(n);
  }
  std::vector<double> Ys() const {
    std::vector<double> ys;
    for (int i = 0; i <= index; ++i) ys.push_back(buffer[i].Y);
    return ys;
  }
  void ExpectSeriesMatchesBuffer() {
    ASSERT_EQ(static_cast<int>(series.points.size()), index + 1);
    for (int i = 0; i <= index; ++i) {
      EXPECT_EQ(series.points[i].X, buffer[i].X);
      EXPECT_EQ(series.points[i].Y, buffer[i].Y);
    }
  }
  void TearDown() override { GeneralParams.MaxPointsDisplayed = 1200; }

  VirtualClock clock{1710936000000LL};
  ScopedClock use{clock};
  TARollingBuffer buffer;
  std::int32_t index = -1;
  VectorSeries series;
  VectorLog log;
};

TEST_F(Rolling, FirstInsertionGoesToPositionZero) {
  SetCapacity(5);
  AddPlot_value_Plot(1.0, 10.0, index, series, buffer, log);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(buffer[0].Y, 10.0);
  ExpectSeriesMatchesBuffer();
}

TEST_F(Rolling, FullBufferDropsTheOldestPoints) {
  SetCapacity(3);
  for (int p = 1; p <= 5; ++p) {
    AddPlot_value_Plot(p, p, index, series, buffer, log);
    ExpectSeriesMatchesBuffer();
  }
  EXPECT_EQ(index, 2);
  EXPECT_EQ(Ys(), (std::vector<double>{3, 4, 5}));
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(Rolling, LongRunStaysFifoAcrossManyWraps) {
  SetCapacity(7);
  for (int p = 1; p <= 100; ++p) AddPlot_value_Plot(p, p, index, series, buffer, log);
  EXPECT_EQ(Ys(), (std::vector<double>{94, 95, 96, 97, 98, 99, 100}));
  ExpectSeriesMatchesBuffer();
}

TEST_F(Rolling, CapacityZeroLogsTheFailureAtStepTwo) {
  SetCapacity(0);
  AddPlot_value_Plot(1, 1, index, series, buffer, log);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("AddPlot_value_Plot -> exception FIdrol=-1  MaxDisp=0 "
                              "length(FBufroll)=0 , Message Range check error (2)"),
            std::string::npos)
      << log.lines[0];
  EXPECT_EQ(index, -1);
  double mean = 7;
  EXPECT_FALSE(MeanValue_Interval(buffer, index, 60, mean));
  EXPECT_EQ(mean, 7);
}

TEST_F(Rolling, IndexBeyondTheBufferIsLoggedWithTheIncrementKept) {
  SetCapacity(3);
  index = 5;  // as a buffer shrunk without care would leave it
  AddPlot_value_Plot(1, 1, index, series, buffer, log);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("FIdrol=6  MaxDisp=3 length(FBufroll)=3 , Message Range check "
                              "error (6)"),
            std::string::npos)
      << log.lines[0];
  EXPECT_EQ(index, 6);
}

TEST_F(Rolling, OneMinuteMeanIncludesTheFirstPointOlderThanTheInterval) {
  SetCapacity(100);
  const double now = Now();
  // 71 points stamped 70.2 ... 0.2 s before now, oldest first, Y = their age.
  for (int k = 70; k >= 0; --k) {
    const double age = k + 0.2;
    AddPlot_value_Plot(now - age / 86400, age, index, series, buffer, log);
  }
  double mean = 0;
  EXPECT_TRUE(MeanValue_Interval(buffer, index, 60, mean));
  // Ages 0.2 .. 60.2: 61 points, mean age 30.2.
  EXPECT_NEAR(mean, 30.2, 1e-9);
}

// The local clock steps back an hour (end of summer time) while UTC goes
// on: the interval is taken on the UTC stamps, so the minute stays a minute.
TEST_F(Rolling, MeansFollowUtcWhenTheLocalClockStepsBack) {
  SetCapacity(4000);
  const double utcNow = NowUTC();
  const double localNow = Now();
  // An hour of points, one a second; the local stamps of the last half hour
  // are an hour earlier than they would have been.
  for (int k = 3599; k >= 0; --k) {
    const double utc = utcNow - (k + 0.2) / 86400;
    const double local = localNow - (k + 0.2) / 86400 + (k >= 1800 ? 1.0 / 24 : 0);
    AddPlot_value_Plot(local, k, utc, index, series, buffer, log);
  }
  double mean = 0;
  EXPECT_TRUE(MeanValue_Interval(buffer, index, 60, mean));
  EXPECT_NEAR(mean, 30, 1e-9);  // ages 0 .. 60
  EXPECT_TRUE(MeanValue_Interval(buffer, index, 300, mean));
  EXPECT_NEAR(mean, 150, 1e-9);
  // The chart keeps the local stamps.
  EXPECT_NEAR(buffer[0].X, localNow - 3599.2 / 86400 + 1.0 / 24, 1e-9);
  EXPECT_NEAR(buffer[index].Utc, utcNow - 0.2 / 86400, 1e-9);
}

TEST_F(Rolling, TooYoungBufferGivesFalseButWritesTheMean) {
  SetCapacity(100);
  const double now = Now();
  for (int k = 30; k >= 0; --k)
    AddPlot_value_Plot(now - k / 86400.0, 2.0, index, series, buffer, log);
  double mean = 0;
  EXPECT_FALSE(MeanValue_Interval(buffer, index, 60, mean));
  EXPECT_EQ(mean, 2.0);
  double untouched = 9;
  EXPECT_FALSE(MeanValue_Interval(buffer, -1, 60, untouched));
  EXPECT_EQ(untouched, 9);
  EXPECT_THROW(MeanValue_Interval(buffer, 100, 60, mean), ERangeCheckError);
}

TEST_F(Rolling, GrowingAFullBufferAppendsAgain) {
  SetCapacity(3);
  for (int p = 1; p <= 4; ++p) AddPlot_value_Plot(p, p, index, series, buffer, log);
  GeneralParams.MaxPointsDisplayed = 5;
  ResizeRollingBuffer(buffer, index, series, 5);
  const int replaces = series.replaceCalls;
  AddPlot_value_Plot(5, 5, index, series, buffer, log);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(series.replaceCalls, replaces);  // appended, not rebuilt
  EXPECT_EQ(Ys(), (std::vector<double>{2, 3, 4, 5}));
  ExpectSeriesMatchesBuffer();
}

TEST_F(Rolling, ShrinkingKeepsTheNewestPoints) {
  SetCapacity(6);
  for (int p = 1; p <= 8; ++p) AddPlot_value_Plot(p, p, index, series, buffer, log);  // 3..8
  GeneralParams.MaxPointsDisplayed = 4;
  ResizeRollingBuffer(buffer, index, series, 4);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(Ys(), (std::vector<double>{5, 6, 7, 8}));
  ExpectSeriesMatchesBuffer();
  AddPlot_value_Plot(9, 9, index, series, buffer, log);
  EXPECT_EQ(Ys(), (std::vector<double>{6, 7, 8, 9}));
  ExpectSeriesMatchesBuffer();
  EXPECT_TRUE(log.lines.empty());
  // Shrinking a buffer that holds fewer points than the new length keeps them all.
  ResizeRollingBuffer(buffer, index, series, 10);
  GeneralParams.MaxPointsDisplayed = 10;
  ResizeRollingBuffer(buffer, index, series, 5);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(Ys(), (std::vector<double>{6, 7, 8, 9}));
}

}  // namespace
}  // namespace quorvel
