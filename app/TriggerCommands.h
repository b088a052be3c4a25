// The commands run when the seeing trigger changes: a program and its
// arguments, started without a shell on a thread of their own, with the
// state and the values in environment variables and a time limit. The cycle
// only queues; a command that hangs is killed, one that fails is logged.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "live/SeeingTrigger.h"

namespace quorvel {

// The environment a command gets beside the program's own:
// QUORVEL_TRIGGER (good|bad), QUORVEL_TRIGGER_PREVIOUS, QUORVEL_TRIGGER_VALUE
// (arcsec, empty without one), QUORVEL_TRIGGER_WATCHES, QUORVEL_UTC,
// QUORVEL_SEEING_ARCSEC, QUORVEL_SEEING_ZENITH_ARCSEC,
// QUORVEL_SEEING_1MIN_ARCSEC, QUORVEL_SEEING_5MIN_ARCSEC, QUORVEL_R0_MM,
// QUORVEL_SIGNAL_MV, QUORVEL_SUN_ELEVATION_DEG, QUORVEL_STATION and
// QUORVEL_JSON (the whole snapshot). Values that do not exist are empty.
std::vector<std::string> TriggerEnvironment(const TTriggerConfig& config,
                                            const TTriggerChange& change,
                                            const TLiveSnapshot& snapshot);

class TTriggerCommands {
 public:
  // `log` is called from the runner's thread.
  explicit TTriggerCommands(std::function<void(const std::string&)> log);
  ~TTriggerCommands();

  // Empty command lines run nothing. A line that does not split is logged.
  void Configure(const std::string& onGood, const std::string& onBad, double timeoutSec);
  // On the cycle's thread: queues the command of the new state, if any.
  void OnChange(const TTriggerConfig& config, const TTriggerChange& change,
                const TLiveSnapshot& snapshot);

 private:
  struct TJob {
    std::vector<std::string> argv;
    std::vector<std::string> env;
    double timeoutSec = 30;
  };
  void Run();
  void Execute(const TJob& job);

  std::function<void(const std::string&)> log_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<TJob> jobs_;
  std::vector<std::string> onGood_, onBad_;
  double timeoutSec_ = 30;
  bool stopping_ = false;
  // When the program ends, queued and running commands get this long (but
  // never more than their own limit) before they are killed or dropped.
  std::chrono::steady_clock::time_point graceEnd_;
  std::thread thread_;
};

}  // namespace quorvel
