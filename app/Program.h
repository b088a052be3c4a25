// The program's start: the clock, the start-up defaults with the data folder
// and the build stamp, the settings store and the HID backend (the USB device,
// the simulated instrument or a replay, possibly captured), in that order.
// Shared by the window and the headless runner.
#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "app/Options.h"
#include "app/TimerMain.h"
#include "common/Clock.h"
#include "common/DateTime.h"
#include "common/Errors.h"
#include "device/HidBackend.h"
#include "mqtt/MqttConfig.h"

namespace quorvel {

// The Sun's elevation (radians) at the program's site as it stands now: the
// sky of the simulated instrument, which stands where the program is set up.
double SunElevationAtSite(TDateTime utc);

class TSimulatedBackend;
class TCaptureBackend;
class TInstanceLock;

// The data folder belongs to another running Quorvel: this one must not
// measure (exit status 1).
class ELockHeld : public Exception {
 public:
  using Exception::Exception;
};
class TLogFile;
class TDatabaseRegistry;
class TMainCore;
class TMqttOutput;

class TProgram {
 public:
  // Raises quorvel::Exception with an operator message when the options
  // cannot be honoured (unreadable replay file, bad fault schedule, capture
  // file that cannot be created, MQTT options that cannot be used), and
  // ELockHeld when another Quorvel owns the data folder.
  explicit TProgram(const TOptions& options);
  ~TProgram();

  const TOptions& Options() const { return options_; }
  std::shared_ptr<IHidBackend> Backend() const { return backend_; }
  TSimulatedBackend* Simulator() const { return sim_.get(); }
  TDatabaseRegistry* Settings() const { return settings_; }
  VirtualClock* Clock() const { return clock_.get(); }
  // The MQTT output, once Drive() has made it.
  TMqttOutput* Mqtt() const { return mqtt_.get(); }

  // Once the core exists: starts the live outputs (MQTT), paces its timer on the virtual clock,
  // applies the simulator's scheduled faults, and calls `finished` after --duration and, when
  // `endWithReplay`, once a replay has no more reports.
  void Drive(TMainCore& core, std::function<void()> finished, bool endWithReplay);

 private:
  TOptions options_;
  std::unique_ptr<VirtualClock> clock_;
  std::shared_ptr<TSimulatedBackend> sim_;
  std::shared_ptr<IHidBackend> backend_;
  std::shared_ptr<TCaptureBackend> capture_;
  std::unique_ptr<TInstanceLock> folderLock_;
  TDatabaseRegistry* settings_ = nullptr;
  std::unique_ptr<TVirtualTimeDriver> driver_;
  TMqttConfig mqttConfig_;
  std::vector<std::string> mqttProblems_;
  std::unique_ptr<QObject> realTimeGuard_;
  std::unique_ptr<TLogFile> logFile_;
  std::unique_ptr<TMqttOutput> mqtt_;
};

}  // namespace quorvel
