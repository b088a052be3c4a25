#include "Program.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>

#include "app/MainCore.h"
#include "app/MqttOutput.h"
#include "common/Errors.h"
#include "common/Format.h"
#include "common/LogFile.h"
#include "device/HidapiBackend.h"
#include "device/Replay.h"
#include "device/SimBackend.h"
#include "ephemeris/SunPosition.h"
#include "measure/Declarations.h"
#include "mqtt/MqttSecrets.h"
#include "records/InstanceLock.h"
#include "records/SettingsStore.h"
#include "records/StartupDefaults.h"

namespace quorvel {

double SunElevationAtSite(TDateTime utc) {
  double az = 0, el = 0;
  ephem::calcul_SUN_AZ_Elevation(utc, SetupLocation.Longitude, SetupLocation.Latitude,
                                 SetupLocation.AltitudeM, az, el);
  return el;
}

TProgram::TProgram(const TOptions& options) : options_(options) {
  // First, so that a log file that cannot be opened stops the start before
  // anything else happens.
  if (!options_.logFile.empty()) {
    logFile_ = std::make_unique<TLogFile>(options_.logFile);
    SetLogCopy(logFile_.get());
  }
  if (options_.UsesVirtualClock()) {
    clock_ =
        std::make_unique<VirtualClock>(options_.clockStartUtcMs.value_or(SystemClock().UtcMs()));
    SetClock(clock_.get());
  }
  InitStartupDefaults(options_.dataDir);
  // One program per data folder: a second one would write every time stamp
  // of the day's file twice. A folder that cannot hold the lock file (not
  // made yet, read-only) is not a reason to refuse: its own errors follow.
  folderLock_ = std::make_unique<TInstanceLock>();
  {
    std::string holder;
    const std::string lockPath = DataFolderLockPath(GeneralParams.PathMainRootSav);
    if (folderLock_->Acquire(lockPath, LockOwnerText(options_.headless), holder) ==
        TInstanceLock::TResult::HeldByOther)
      throw ELockHeld("Another Quorvel is already measuring into the data folder [" +
                      GeneralParams.PathMainRootSav + "] (" + holder +
                      ") : this one does not measure");
  }
  settings_ = &CreateRegD(options_.settingsFile);
  mqttConfig_ = ResolveMqttConfig(settings_, options_, mqttProblems_);
  if (mqttConfig_.enabled && options_.mqttUrl) {
    // Asked for on the command line: refused at once, like any bad option.
    const std::string problem = CheckMqttConfig(mqttConfig_);
    if (!problem.empty()) throw Exception(problem);
    if (!mqttConfig_.passwordFile.empty()) ReadMqttPasswordFile(mqttConfig_.passwordFile);
  }

  if (options_.UsesSimulator()) {
    sim_ = std::make_shared<TSimulatedBackend>();
    TSimInstrumentConfig config;
    if (!options_.replayFile.empty()) {
      config.ReplaySource = std::make_shared<TReplayFileSource>(options_.replayFile);
    } else {
      config.StartErased = options_.simErased;
      config.Physics.Seed = options_.simSeed.value_or(1);
      // The simulated instrument stands at the program's site: the stored
      // one, and the new one as soon as the setup dialog applies it, so its
      // sky is light when the program expects daylight.
      config.Physics.SunElevation = SunElevationAtSite;
    }
    sim_->AddInstrument(config, !options_.simAbsent);
    if (!options_.simEvents.empty()) sim_->SetSchedule(ParseFaultSchedule(options_.simEvents));
    backend_ = sim_;
  } else {
    backend_ = std::make_shared<THidapiBackend>();
  }
  if (!options_.captureFile.empty()) {
    capture_ = std::make_shared<TCaptureBackend>(backend_, options_.captureFile);
    backend_ = capture_;
  }
}

TProgram::~TProgram() {
  driver_.reset();
  if (capture_) capture_->SetErrorSink(nullptr);
  mqtt_.reset();
  if (clock_) SetClock(nullptr);
  if (logFile_) SetLogCopy(nullptr);
}

void TProgram::Drive(TMainCore& core, std::function<void()> finished, bool endWithReplay) {
  if (capture_) {
    // Told on the cycle's thread (the capture records the cycle's answers).
    capture_->SetErrorSink(
        [&core](const std::string& text) { AddtoMemoLog(core.View().Memo(), text); });
  }
  mqtt_ = std::make_unique<TMqttOutput>(core.View().Memo());
  for (const std::string& p : mqttProblems_)
    AddtoMemoLog(core.View().Memo(), "Setting not used, default kept : " + p);
  if (mqttConfig_.enabled) {
    try {
      mqtt_->Apply(mqttConfig_);
    } catch (const std::exception& e) {
      // Stored settings that no longer work: the run goes on without MQTT.
      AddtoMemoLog(core.View().Memo(), std::string("MQTT not started : ") + e.what());
    }
  }
  core.Live().Add(mqtt_.get());
  // The queue goes out and "offline" is published while the log still
  // exists, before the event loop returns.
  QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, mqtt_.get(),
                   [this, &core] {
                     core.Live().Remove(mqtt_.get());
                     mqtt_->Finish();
                   });
  if (sim_) {
    sim_->SetReplayOverCallback([&core, finished, endWithReplay] {
      // Runs inside the exchange that found the file exhausted: end the run
      // from the event loop, after this cycle.
      QMetaObject::invokeMethod(
          &core,
          [&core, finished, endWithReplay] {
            AddtoMemoLog(core.View().Memo(), "Replay over: the replay file has no more reports");
            if (endWithReplay && finished) finished();
          },
          Qt::QueuedConnection);
    });
  }
  const double duration = options_.durationSec.value_or(0);
  if (clock_) {
    core.TimerMain().SetDrivenExternally(true);
    driver_ = std::make_unique<TVirtualTimeDriver>(*clock_, options_.speed.value_or(1.0));
    TSimulatedBackend* sim = sim_.get();
    std::vector<std::int64_t> stops = options_.simStopAt;
    std::sort(stops.begin(), stops.end());
    driver_->OnSecond = [this, &core, sim, duration, finished, stops,
                         next = std::size_t{0}](std::int64_t seconds) mutable {
      while (next < stops.size() && stops[next] <= seconds) {
        if (stops[next++] == seconds) {
          std::fflush(nullptr);
          std::raise(SIGSTOP);
        }
      }
      if (sim) sim->ApplyDueEvents();
      if (core.TimerMain().Enabled())
        core.TimerMain().Fire();
      else
        core.Heartbeat();
      if (duration > 0 && static_cast<double>(seconds) >= duration) {
        driver_->Stop();
        if (finished) finished();
      }
    };
    driver_->Start();
  } else {
    core.StartHeartbeat();
  }
  if (!clock_ && duration > 0) {
    realTimeGuard_ = std::make_unique<QObject>();
    QTimer::singleShot(static_cast<int>(std::min(duration * 1000.0, 2.0e9)), realTimeGuard_.get(),
                       [finished] {
                         if (finished) finished();
                       });
  }
}

}  // namespace quorvel
