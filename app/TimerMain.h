// The acquisition timer. On the real clock it is a 1000 ms QTimer. On the
// virtual clock (simulated or replayed instrument with --speed/--clock-start)
// a driver moves the clock one second at a time and fires the timer once per
// virtual second while it is enabled, so a cycle always sees exactly one tick
// per (virtual) second however fast the run goes.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "common/Clock.h"

namespace quorvel {

class TTimerMain : public QObject {
 public:
  explicit TTimerMain(QObject* parent = nullptr);

  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  int Interval() const { return 1000; }

  // The handler (TimerMainTimer). Not called again while it runs.
  std::function<void()> OnTimer;

  // Hands the pacing to an outside driver: the QTimer stays idle and Fire()
  // is called once per virtual second.
  void SetDrivenExternally(bool external);
  void Fire();

 private:
  QTimer timer_;
  bool enabled_ = false;
  bool external_ = false;
  bool running_ = false;
};

// Moves a virtual clock by one second per step, `speed` steps per real second
// (speed 0: as fast as the event loop allows), and calls OnSecond after each
// step (the timer, scheduled simulator events, the run's duration).
class TVirtualTimeDriver : public QObject {
 public:
  TVirtualTimeDriver(VirtualClock& clock, double speed, QObject* parent = nullptr);
  void Start();
  void Stop();
  std::int64_t SecondsElapsed() const { return seconds_; }
  std::function<void(std::int64_t secondsElapsed)> OnSecond;

 private:
  void Step();

  VirtualClock& clock_;
  QTimer timer_;
  std::int64_t seconds_ = 0;
};

}  // namespace quorvel
