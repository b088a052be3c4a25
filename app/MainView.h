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
#include "measure/SeeingGlance.h"

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

// Faults that must stay in sight until they are over: the log scrolls them
// away within seconds. The core raises and clears them; the window shows
// them in a bar above the log, a run without a window has them in its log.
enum class TCondition {
  AcquisitionStopped,     // the cycle stopped after an error or a question
  ResultsFileNotWritten,  // a line could not be appended to the day's file
  SettingsNotSaved,       // the setup dialog's values hold for this run only
  InstrumentLost,         // the instrument is unplugged or was never found
  SecondInstance,         // another quorvel works on the same data folder
};
constexpr int kConditionCount = 5;
// "AcquisitionStopped", ... (object names of the bar's rows).
const char* ConditionName(TCondition condition);

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

  // A condition began (or its text changed while it lasts): `text` is the
  // whole operator text, "Settings not saved : ...". Raising one that is
  // already up keeps the time it began. Any part of the program that detects
  // such a condition calls these through the core's view; the results-file
  // and second-instance conditions are raised and cleared by whoever watches
  // the file and the lock.
  virtual void RaiseCondition(TCondition /*id*/, const std::string& /*text*/) {}
  // The condition is over (nothing happens when it is not up).
  virtual void ClearCondition(TCondition /*id*/) {}

  // The big read-out of the current seeing, once per cycle or when
  // acquisition stops.
  virtual void SetSeeingGlance(const TSeeingGlance& /*glance*/) {}
  // The seeing trigger's state after each cycle, shown beside the read-out.
  virtual void SetTriggerState(TTriggerState /*state*/) {}
};

}  // namespace quorvel
