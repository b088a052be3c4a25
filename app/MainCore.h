// Everything the main window does that is not a widget: start-up reads, the
// acquisition cycle once per tick, instrument attachment, the reset of the
// plots, the setup values, the exchanges of the calibration dialog. The main
// window and the headless runner each implement IMainView and own one core.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/LiveHub.h"
#include "app/MainView.h"
#include "app/TimerMain.h"
#include "device/HidController.h"
#include "device/InstrumentProtocol.h"
#include "live/SeeingTrigger.h"
#include "measure/Declarations.h"
#include "measure/RollingBuffer.h"
#include "records/InstanceLock.h"
#include "records/ResultsWriter.h"

namespace quorvel {

class TDatabaseRegistry;

// Texts of the program.
inline constexpr char kInstrumentProduct[] = "HID QLX SOLAR";
inline constexpr char kInstrumentIdentification[] = "Device VID=04D8 PID=003F";
inline constexpr char kAskInjectDefaults[] =
    "ROM values are not filled, do you want to inject default values ?";
inline constexpr char kDeviceNotFound[] =
    "Hardware device not found, please attach it. Now is going to halt this software !";

// The light test of a cycle: a useful signal at or below the minimum (in
// millivolts) is too low to measure the seeing.
inline bool SunLightTooLow(double Signal_UtileV, std::uint16_t MinValue_mV) {
  return Signal_UtileV <= MinValue_mV / 1000.0;
}

class TMainCore : public QObject {
 public:
  // `backend` is the HID backend (hidapi, simulated or replayed, possibly
  // wrapped for capture); `settings` the store the five values come from
  // (none: keep the defaults).
  TMainCore(IMainView& view, std::shared_ptr<IHidBackend> backend, TDatabaseRegistry* settings,
            QObject* parent = nullptr);
  ~TMainCore() override;

  // Window creation: caption, counters, "Application startup", the five
  // settings, the buffers, status panel 2.
  void FormCreate();
  // One acquisition cycle.
  void TimerMainTimer();
  // Controller notifications.
  void HidCtlArrival(THidDevice* HidDev);
  void HidCtlDeviceChange();
  // "Reset Plots".
  void MenuResetplotsClick();
  // New retention from the setup dialog: both buffers take the new length.
  void ResizeBuffers();
  // Real instruments are locked per device path (a simulated one belongs to
  // its process alone). `owner` goes into the lock file; `onBusy` runs when
  // the instrument that arrived is owned by another program, with the
  // message already shown.
  void SetInstrumentLocking(bool on, std::string owner = {},
                            std::function<void(const std::string&)> onBusy = {}) {
    FLockInstrument = on;
    FLockOwner = std::move(owner);
    FOnInstrumentBusy = std::move(onBusy);
  }
  // A clean end: one last try to write the results lines still waiting.
  void FinalFlush() { FResults.Flush(); }
  // The setup dialog's values have just been applied to the program's
  // records: store them (a failure is logged and stays in sight), log the
  // site if it moved, resize the buffers.
  void SetupApplied();
  // The site as one log line: "Site : latitude 45.5000° N, longitude
  // 3.5000° E, altitude 0 m".
  static std::string SiteText(const TSetupLocation& site);
  // After the calibration dialog: read version and calibration again.
  void GetVersion_SNR() { FProtocol.GetVersion_SNR(FDataSystem); }

  IMainView& View() { return FView; }
  TInstrumentProtocol& Protocol() { return FProtocol; }
  THidDeviceController& HidCtl() { return *FHidCtl; }
  TTimerMain& TimerMain() { return FTimerMain; }
  // Every cycle ends by handing its snapshot to the live outputs here.
  TLiveHub& Live() { return FLive; }
  // The seeing trigger judges every snapshot before the outputs get it; each
  // change is logged and handed to OnTriggerChange (on the cycle's thread).
  TSeeingTrigger& Trigger() { return FTrigger; }
  std::function<void(const TTriggerChange&, const TLiveSnapshot&)> OnTriggerChange;
  // Once a second while acquisition stands still (no instrument, stopped
  // after an error): a snapshot without values, so the outputs see time pass.
  void Heartbeat();
  // Real clock only: runs Heartbeat from a 1 s timer while the acquisition
  // timer is off. The virtual clock's driver calls Heartbeat itself.
  void StartHeartbeat();

  // State, readable by the front ends and tests.
  std::uint32_t FTimerConter = 0;
  TDataSystem FDataSystem;
  TDataOutMes FDataOutMes;
  TARollingBuffer FBufrollseeing;
  TARollingBuffer FBufrollLevel;
  std::int32_t FIdrol_S = -1;
  std::int32_t FIdrol_L = -1;
  std::string FPathDataFile;
  const TResultsWriter& Results() const { return FResults; }

 private:
  void Log(const std::string& text);
  void StopAcquisition(bool onError);
  // Shows and logs a mean; hands back the mean and its zenith value when the
  // buffer covers the interval.
  bool ShowMean(double seconds, TValueLabel meanLabel, TValueLabel zenithLabel, const char* logText,
                double elevation, double& mean, double& meanZen);
  void PublishSnapshot(TLiveSnapshot& snapshot);
  void LogSiteIfMoved();
  void Raise(TCondition id, const std::string& text);
  void Clear(TCondition id);

  IMainView& FView;
  TLiveHub FLive;
  TSeeingTrigger FTrigger;
  QTimer FHeartbeat;
  TDatabaseRegistry* FSettings;
  // Results lines go through it: a file that cannot be written does not stop
  // acquisition, its lines wait and are written once it can be again.
  TResultsWriter FResults;
  TTimerMain FTimerMain;
  TInstrumentProtocol FProtocol;
  std::unique_ptr<THidDeviceController> FHidCtl;
  bool FLockInstrument = false;
  std::string FLockOwner;
  std::function<void(const std::string&)> FOnInstrumentBusy;
  TInstanceLock FInstrumentLock;
  // The device-not-found box is queued or on screen.
  bool FDeviceNotFoundPending = false;
  // The site as last logged.
  std::string FLoggedSite;
};

}  // namespace quorvel
