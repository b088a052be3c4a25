// What the acquisition and attachment logic needs from a front end: the main
// window implements it with labels and charts, the headless runner with
// standard output, tests with plain fields. Nothing here knows about widgets.
#pragma once

#include <cstdint>
#include <string>

#include "common/EventLog.h"
#include "device/InstrumentProtocol.h"
#include "live/LiveSnapshot.h"
#include "measure/RollingBuffer.h"

namespace quorvel {

// The value labels of the information panel.
enum class TValueLabel {
  CurrentSeeing,        // LabelCurrentSeeing
  LastseeingCorrected,  // LabelLastseeingCorrected
  CurrentSeeingMin,     // LabelCurrentSeeingMin
  SeeingValue60s,       // LabelSeeingValue60s
  CurrentSeeing5Min,    // LabelCurrentSeeing5Min
  SeeingValue600s,      // LabelSeeingValue600s
  Signal_mV,            // LabelSignal_mV
  PDCurrent,            // LabelPDCurrent
  ADUSignalNF,          // LabelADUSignalNF
  Scintillation,        // LabelScintillation
  TemperatureInBox,     // LabelTemperatureInBox
  SunPosition,          // LabelSunPosition
};
constexpr int kValueLabelCount = 12;

// Widget object name of a value label ("LabelCurrentSeeing", ...).
const char* ValueLabelName(TValueLabel label);

struct TColor {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const TColor& o) const { return r == o.r && g == o.g && b == o.b; }
};
constexpr TColor kBlue{0, 0, 255};
constexpr TColor kLime{0, 255, 0};
constexpr TColor kRed{255, 0, 0};

class IMainView : public IStatusPanel {
 public:
  virtual void SetValueLabel(TValueLabel label, const std::string& text) = 0;
  // The "Signal saturation" bar, 0..100; the bar clamps what is outside.
  virtual void SetProgressBarPosition(std::int32_t position) = 0;
  // The cycle indicator square.
  virtual void SetShapeColor(TColor color) = 0;
  // Status bar panels 0, 1, 2 (SetStatusText of IStatusPanel).
  // Text appended to the window caption ("Quorvel Monitor").
  virtual void SetCaption(const std::string& suffix) = 0;
  // The on-screen log.
  virtual ILogSink& Memo() = 0;
  virtual IPlotSeries& SeriesSeeing() = 0;
  virtual IPlotSeries& SeriesSignal_Level() = 0;
  // The question box of a missing calibration (no icon, Yes / No).
  virtual bool AskYesNo(const std::string& question) = 0;
  // Modal error box (error icon, OK).
  virtual void ShowError(const std::string& text) = 0;
  // Acquisition stopped after an error or the calibration question; it
  // resumes at the next arrival of the instrument.
  virtual void OnAcquisitionStopped() {}
  // The seeing trigger's state after each cycle (the window's read-out).
  virtual void SetTriggerState(TTriggerState) {}
};

}  // namespace quorvel
