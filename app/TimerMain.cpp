#include "TimerMain.h"

#include <cmath>

namespace quorvel {

TTimerMain::TTimerMain(QObject* parent) : QObject(parent) {
  setObjectName("TimerMain");
  timer_.setInterval(1000);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { Fire(); });
}

void TTimerMain::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (enabled && !external_) {
    if (!timer_.isActive()) timer_.start();
  } else {
    timer_.stop();
  }
}

void TTimerMain::SetDrivenExternally(bool external) {
  external_ = external;
  SetEnabled(enabled_);
}

void TTimerMain::Fire() {
  // A tick that falls due while a cycle runs (a modal box inside the cycle)
  // is not run a second time.
  if (!enabled_ || running_ || !OnTimer) return;
  running_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{running_};
  OnTimer();
}

TVirtualTimeDriver::TVirtualTimeDriver(VirtualClock& clock, double speed, QObject* parent)
    : QObject(parent), clock_(clock) {
  const int interval = speed > 0 ? static_cast<int>(std::lround(1000.0 / speed)) : 0;
  timer_.setInterval(interval);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
}

void TVirtualTimeDriver::Start() {
  timer_.start();
}
void TVirtualTimeDriver::Stop() {
  timer_.stop();
}

void TVirtualTimeDriver::Step() {
  clock_.Advance(1000);
  ++seconds_;
  if (OnSecond) OnSecond(seconds_);
}

}  // namespace quorvel
