#include "app/TriggerCommands.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/OutputSettings.h"
#include "common/Errors.h"

extern char** environ;

namespace quorvel {

namespace {

// Pending commands beyond this are dropped (oldest first): only the latest
// changes matter, and a hanging command must not pile up work.
constexpr std::size_t kMaxPending = 8;
// How long the program's end waits for trigger commands.
constexpr std::chrono::seconds kExitGrace{3};

std::string Number(const std::optional<double>& v, int decimals) {
  if (!v) return {};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, *v);
  return buf;
}

std::string Quoted(const std::vector<std::string>& argv) {
  std::string text;
  for (const auto& a : argv) text += (text.empty() ? "" : " ") + a;
  return "\"" + text + "\"";
}

}  // namespace

std::vector<std::string> TriggerEnvironment(const TTriggerConfig& config,
                                            const TTriggerChange& change, const TLiveSnapshot& s) {
  return {
      std::string("QUORVEL_TRIGGER=") + TriggerStateName(change.to),
      std::string("QUORVEL_TRIGGER_PREVIOUS=") + TriggerStateName(change.from),
      "QUORVEL_TRIGGER_VALUE=" + Number(change.value, 2),
      "QUORVEL_TRIGGER_WATCHES=" + TriggerValueText(config),
      "QUORVEL_UTC=" + FormatIsoUtcMs(s.utcMs),
      "QUORVEL_SEEING_ARCSEC=" + Number(s.seeingArcsec, 2),
      "QUORVEL_SEEING_ZENITH_ARCSEC=" + Number(s.seeingZenithArcsec, 2),
      "QUORVEL_SEEING_1MIN_ARCSEC=" + Number(s.seeing1MinArcsec, 2),
      "QUORVEL_SEEING_5MIN_ARCSEC=" + Number(s.seeing5MinArcsec, 2),
      "QUORVEL_R0_MM=" + Number(s.r0Mm, 1),
      "QUORVEL_SIGNAL_MV=" + Number(s.signalMv, 1),
      "QUORVEL_SUN_ELEVATION_DEG=" + Number(s.sunElevationDeg, 3),
      "QUORVEL_STATION=" + s.station,
      "QUORVEL_JSON=" + SnapshotJson(s),
  };
}

TTriggerCommands::TTriggerCommands(std::function<void(const std::string&)> log)
    : log_(std::move(log)) {
  thread_ = std::thread([this] { Run(); });
}

TTriggerCommands::~TTriggerCommands() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    graceEnd_ = std::chrono::steady_clock::now() + kExitGrace;
  }
  wake_.notify_all();
  thread_.join();
}

void TTriggerCommands::Configure(const std::string& onGood, const std::string& onBad,
                                 double timeoutSec) {
  std::vector<std::string> good, bad;
  try {
    good = SplitCommandLine(onGood);
  } catch (const std::exception& e) {
    if (log_) log_(std::string("Trigger command for GOOD not used : ") + e.what());
  }
  try {
    bad = SplitCommandLine(onBad);
  } catch (const std::exception& e) {
    if (log_) log_(std::string("Trigger command for BAD not used : ") + e.what());
  }
  std::lock_guard<std::mutex> lock(mutex_);
  onGood_ = std::move(good);
  onBad_ = std::move(bad);
  timeoutSec_ = timeoutSec;
}

void TTriggerCommands::OnChange(const TTriggerConfig& config, const TTriggerChange& change,
                                const TLiveSnapshot& snapshot) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<std::string>& argv = change.to == TTriggerState::Good ? onGood_
                                         : change.to == TTriggerState::Bad
                                             ? onBad_
                                             : std::vector<std::string>{};
  if (argv.empty()) return;
  jobs_.push_back({argv, TriggerEnvironment(config, change, snapshot), timeoutSec_});
  while (jobs_.size() > kMaxPending) jobs_.pop_front();
  wake_.notify_one();
}

void TTriggerCommands::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    // At the end, what is queued still runs within the grace time: a BAD
    // just before the end must still stop the capture.
    if (jobs_.empty() || (stopping_ && std::chrono::steady_clock::now() >= graceEnd_)) {
      if (stopping_) return;
      continue;
    }
    TJob job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    Execute(job);
    lock.lock();
  }
}

void TTriggerCommands::Execute(const TJob& job) {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    if (std::strncmp(*e, "QUORVEL_", 8) == 0) continue;
    env.emplace_back(*e);
  }
  env.insert(env.end(), job.env.begin(), job.env.end());
  std::vector<char*> argv, envp;
  for (const auto& a : job.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // No input; what it prints goes to our standard error, not into the log.
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 2, 1);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Its own process group, so a time-out ends what it started as well.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  const std::string name = Quoted(job.argv);
  if (rc != 0) {
    if (log_) log_("Trigger command " + name + " could not start : " + std::strerror(rc));
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long long>(job.timeoutSec * 1000));
  int status = 0;
  while (true) {
    const pid_t w = ::waitpid(pid, &status, WNOHANG);
    if (w == pid) break;
    if (w < 0 && errno != EINTR) {
      if (log_) log_("Trigger command " + name + " lost : " + std::strerror(errno));
      return;
    }
    bool stopping = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping = stopping_ && std::chrono::steady_clock::now() >= graceEnd_;
    }
    if (stopping || std::chrono::steady_clock::now() >= deadline) {
      // At the time limit, and when the program ends: nobody waits for a
      // command that hangs.
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      if (log_)
        log_("Trigger command " + name +
             (stopping ? std::string(" killed as the program ends")
                       : " killed after " + Number(job.timeoutSec, 1) + " s (time limit)"));
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
  if (!log_) return;
  if (WIFEXITED(status))
    log_("Trigger command " + name + " failed : exit status " +
         std::to_string(WEXITSTATUS(status)));
  else if (WIFSIGNALED(status))
    log_("Trigger command " + name + " failed : killed by signal " +
         std::to_string(WTERMSIG(status)));
}

}  // namespace quorvel
