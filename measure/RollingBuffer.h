// Bounded, time-ordered point buffers mirrored by chart series, and the
// interval means over them. Points enter at the end; once a buffer is full each
// new point pushes the oldest one out. The storage is a ring, so pushing into a
// full buffer does not move the points, but every observable position still
// reads as "0 = oldest ... index = newest".
#pragma once

#include <cstdint>
#include <vector>

#include "common/Errors.h"
#include "common/EventLog.h"
#include "measure/Declarations.h"

namespace quorvel {

class TARollingBuffer;

// The chart line series behind a buffer (a QLineSeries in the main window, a
// counter in the headless runner, a vector in tests).
class IPlotSeries {
 public:
  virtual ~IPlotSeries() = default;
  virtual void Clear() = 0;
  virtual void Append(double x, double y) = 0;
  // Replaces the whole series by positions 0 .. count-1 of the buffer.
  virtual void ReplaceAll(const TARollingBuffer& buffer, std::int32_t count) = 0;
};

// A growable array of points. Positions are bounds-checked: a position below 0
// or at or beyond the length raises "Range check error".
class TARollingBuffer {
 public:
  TARollingBuffer() = default;
  explicit TARollingBuffer(std::int32_t length) { SetLength(length); }

  std::int32_t Length() const { return static_cast<std::int32_t>(data_.size()); }

  // Growing appends zero points after the held ones; shrinking keeps the first
  // (oldest) `length` positions.
  void SetLength(std::int32_t length);

  const TRollingBuffer& operator[](std::int32_t position) const {
    CheckIndex(position, Length());
    return data_[Physical(position)];
  }
  TRollingBuffer& operator[](std::int32_t position) {
    CheckIndex(position, Length());
    return data_[Physical(position)];
  }

  // Every point moves one position towards the front; position 0 is dropped and
  // the last position keeps a stale point until it is overwritten.
  void ShiftTowardsFront();

  // Positions from..to (inclusive) are copied in order into out.
  void CopyOut(std::int32_t from, std::int32_t to, std::vector<TRollingBuffer>& out) const;

  // Positions 0..count-1 as at most two runs of contiguous storage, oldest
  // first: readers that walk every point (the charts) need no copy and no
  // check per point. A count beyond the length raises "Range check error".
  struct TRuns {
    const TRollingBuffer* First = nullptr;
    std::size_t FirstCount = 0;
    const TRollingBuffer* Second = nullptr;
    std::size_t SecondCount = 0;
  };
  TRuns Runs(std::int32_t count) const;

 private:
  std::size_t Physical(std::int32_t position) const {
    std::size_t p = head_ + static_cast<std::size_t>(position);
    return p >= data_.size() ? p - data_.size() : p;
  }
  void Linearize();

  std::vector<TRollingBuffer> data_;
  std::size_t head_ = 0;
};

// Appends (X, Y) to the buffer and its series; once full, drops the oldest
// point and rebuilds the series. Never raises: a failure is logged as
// "AddPlot_value_Plot -> exception FIdrol=..." with the step reached, and the
// point is lost. The capacity is GeneralParams.MaxPointsDisplayed.
void AddPlot_value_Plot(double X, double Y, std::int32_t& FIdrol, IPlotSeries& Series,
                        TARollingBuffer& FBufroll, ILogSink& Memo);
// The same with the point's UTC stamp, which the means use.
void AddPlot_value_Plot(double X, double Y, double Utc, std::int32_t& FIdrol, IPlotSeries& Series,
                        TARollingBuffer& FBufroll, ILogSink& Memo);

// Mean of the newest points back to and including the first point strictly
// older than TempsSec seconds before now. True when the buffer reached that
// far back. The interval is taken on the points' UTC stamps and the UTC
// clock, which never step back; a point without one is compared by its
// local X with the local clock. Mean is written whenever a point was visited.
// A CurrIndex at or beyond the length raises "Range check error".
bool MeanValue_Interval(const TARollingBuffer& Bufroll, std::int32_t CurrIndex, double TempsSec,
                        double& Mean);

// Capacity change of the setup dialog. A grown buffer keeps every point and
// fills on from where it was. A shrunk buffer keeps its NEWEST points (what a
// user of a first-in-first-out chart expects), the index is brought back within
// the buffer and the series shows exactly the points kept.
void ResizeRollingBuffer(TARollingBuffer& FBufroll, std::int32_t& FIdrol, IPlotSeries& Series,
                         std::int32_t newLength);

}  // namespace quorvel
