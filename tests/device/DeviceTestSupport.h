// Shared helpers of the device tests: a Qt event loop to pump, log and
// status sinks that keep what they get.
#pragma once

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "common/EventLog.h"
#include "device/InstrumentProtocol.h"

namespace quorvel::test {

inline QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "device_tests";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// Runs the event loop until `done` holds or `timeoutMs` passed.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
  App();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

inline void Pump(int ms) {
  PumpUntil([] { return false; }, ms);
}

// Log lines without their time stamp ("LT ... [Main] : ").
class TLogLines : public ILogSink {
 public:
  void AppendLogLine(const std::string& line) override {
    const auto cut = line.find("] : ");
    lines.push_back(cut == std::string::npos ? line : line.substr(cut + 4));
    raw.push_back(line);
  }
  std::vector<std::string> lines;
  std::vector<std::string> raw;
};

class TStatusTexts : public IStatusPanel {
 public:
  void SetStatusText(int panel, const std::string& text) override {
    texts.push_back(std::to_string(panel) + ":" + text);
  }
  std::vector<std::string> texts;
};

}  // namespace quorvel::test
