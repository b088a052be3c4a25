#include "RollingBuffer.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "common/Clock.h"
#include "common/Errors.h"
#include "common/Format.h"

namespace quorvel {

void TARollingBuffer::Linearize() {
  if (head_ == 0) return;
  std::rotate(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(head_), data_.end());
  head_ = 0;
}

void TARollingBuffer::SetLength(std::int32_t length) {
  if (length < 0) length = 0;
  Linearize();
  data_.resize(static_cast<std::size_t>(length));
}

void TARollingBuffer::ShiftTowardsFront() {
  if (data_.empty()) return;
  // Position 0 becomes the physical slot after it; the old front becomes the
  // last position, a stale point like the shifted array's duplicate.
  head_ = head_ + 1 == data_.size() ? 0 : head_ + 1;
}

void TARollingBuffer::CopyOut(std::int32_t from, std::int32_t to,
                              std::vector<TRollingBuffer>& out) const {
  out.clear();
  if (to < from) return;
  CheckIndex(from, Length());
  CheckIndex(to, Length());
  out.reserve(static_cast<std::size_t>(to - from + 1));
  for (std::int32_t i = from; i <= to; ++i) out.push_back(data_[Physical(i)]);
}

TARollingBuffer::TRuns TARollingBuffer::Runs(std::int32_t count) const {
  TRuns runs;
  if (count <= 0) return runs;
  CheckIndex(count - 1, Length());
  const std::size_t n = static_cast<std::size_t>(count);
  const std::size_t untilEnd = data_.size() - head_;
  runs.First = data_.data() + head_;
  runs.FirstCount = std::min(n, untilEnd);
  if (n > untilEnd) {
    runs.Second = data_.data();
    runs.SecondCount = n - untilEnd;
  }
  return runs;
}

void AddPlot_value_Plot(double X, double Y, std::int32_t& FIdrol, IPlotSeries& Series,
                        TARollingBuffer& FBufroll, ILogSink& Memo) {
  AddPlot_value_Plot(X, Y, std::numeric_limits<double>::quiet_NaN(), FIdrol, Series, FBufroll,
                     Memo);
}

void AddPlot_value_Plot(double X, double Y, double Utc, std::int32_t& FIdrol, IPlotSeries& Series,
                        TARollingBuffer& FBufroll, ILogSink& Memo) {
  const std::int32_t maxDisp = GeneralParams.MaxPointsDisplayed;
  const char* step = "0";
  try {
    if (FIdrol == maxDisp - 1) {
      step = "1";
      if (maxDisp == FBufroll.Length()) {
        FBufroll.ShiftTowardsFront();
      } else {
        // Buffer and capacity disagree: the element-wise shift, with its checks.
        for (std::int32_t i = 0; i <= maxDisp - 2; ++i) FBufroll[i] = FBufroll[i + 1];
      }
      step = "2";
      FBufroll[FIdrol] = TRollingBuffer{X, Y, Utc};
      step = "3";
      Series.ReplaceAll(FBufroll, maxDisp);
    } else {
      ++FIdrol;
      step = "6";
      FBufroll[FIdrol] = TRollingBuffer{X, Y, Utc};
      Series.Append(X, Y);
    }
  } catch (const std::exception& e) {
    AddtoMemoLog(Memo, Format("AddPlot_value_Plot -> exception FIdrol=%d  MaxDisp=%d "
                              "length(FBufroll)=%d , Message %s (%s)",
                              {FIdrol, maxDisp, FBufroll.Length(), e.what(), step}));
  }
}

bool MeanValue_Interval(const TARollingBuffer& Bufroll, std::int32_t CurrIndex, double TempsSec,
                        double& Mean) {
  const std::int64_t nowMs = CurrentClock().UtcMs();
  const double span = TempsSec / 3600 / 24;
  const double utcStart = DateTimeFromUnixMs(nowMs) - span;
  const double localStart = LocalFromUtcMs(nowMs) - span;
  double sum = 0;
  std::int32_t count = 0;
  bool result = false;
  for (std::int32_t i = CurrIndex; i >= 0; --i) {
    const TRollingBuffer& p = Bufroll[i];
    sum += p.Y;
    ++count;
    if (std::isnan(p.Utc) ? p.X < localStart : p.Utc < utcStart) {
      result = true;
      break;
    }
  }
  if (count > 0) Mean = sum / count;
  return result;
}

void ResizeRollingBuffer(TARollingBuffer& FBufroll, std::int32_t& FIdrol, IPlotSeries& Series,
                         std::int32_t newLength) {
  if (newLength < 0) newLength = 0;
  const std::int32_t held = std::min(FIdrol + 1, FBufroll.Length());
  if (held <= newLength) {
    FBufroll.SetLength(newLength);
    return;
  }
  // Keep the newest newLength points, moved to the front.
  const std::int32_t drop = held - newLength;
  for (std::int32_t i = 0; i < newLength; ++i) FBufroll[i] = FBufroll[i + drop];
  FBufroll.SetLength(newLength);
  FIdrol = newLength - 1;
  Series.ReplaceAll(FBufroll, newLength);
}

}  // namespace quorvel
