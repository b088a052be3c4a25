// Unattended operation: the same acquisition and attachment logic as the
// window, without any display. Log lines go to standard output; the question
// of a missing calibration is answered by --inject-default-calibration.
#pragma once

#include <QObject>
#include <array>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "app/MainCore.h"
#include "app/MainView.h"

namespace quorvel {

// Chart series of a run without charts: only the number of points.
class TCountingSeries final : public IPlotSeries {
 public:
  void Clear() override { count_ = 0; }
  void Append(double, double) override { ++count_; }
  void ReplaceAll(const TARollingBuffer&, std::int32_t count) override { count_ = count; }
  std::int32_t Count() const { return count_; }

 private:
  std::int32_t count_ = 0;
};

class THeadlessView final : public IMainView, public IMessageSink, private ILogSink {
 public:
  // Log lines go to `out`, one flushed line each.
  THeadlessView(std::ostream& out, std::optional<bool> injectDefaultCalibration);

  void SetValueLabel(TValueLabel label, const std::string& text) override;
  void SetProgressBarPosition(std::int32_t position) override { progress_ = position; }
  void SetShapeColor(TColor color) override { shape_ = color; }
  void SetStatusText(int panel, const std::string& text) override;
  void SetCaption(const std::string& suffix) override { caption_ = "Quorvel Monitor" + suffix; }
  ILogSink& Memo() override { return *this; }
  IPlotSeries& SeriesSeeing() override { return seeing_; }
  IPlotSeries& SeriesSignal_Level() override { return signal_; }
  bool AskYesNo(const std::string& question) override;
  void ShowError(const std::string& text) override;
  void OnAcquisitionStopped() override;

  // IMessageSink: program-wide messages (solver failures) go to the log too.
  void ShowMessage(const std::string& text) override;

  const std::string& Label(TValueLabel label) const { return labels_[static_cast<int>(label)]; }
  const std::string& Status(int panel) const { return status_[static_cast<std::size_t>(panel)]; }
  TColor Shape() const { return shape_; }
  std::int32_t Progress() const { return progress_; }
  const std::string& Caption() const { return caption_; }
  std::int64_t LinesWritten() const { return lines_; }

 private:
  void AppendLogLine(const std::string& line) override;

  std::ostream& out_;
  std::optional<bool> inject_;
  std::array<std::string, kValueLabelCount> labels_;
  std::array<std::string, 3> status_;
  TColor shape_{255, 255, 255};
  std::int32_t progress_ = 0;
  std::string caption_;
  std::int64_t lines_ = 0;
  TCountingSeries seeing_;
  TCountingSeries signal_;
};

}  // namespace quorvel
