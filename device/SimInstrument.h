// The simulated instrument's firmware: answers the version (0x80),
// measurement (0x81) and calibration-write (0x84) commands byte for byte as
// the real one does, keeps its calibration in a simulated non-volatile
// memory, takes its measurements from the simulated sky, and can be made to
// misbehave. Plain C++; the simulated backend serialises calls into it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/Replay.h"
#include "device/SimPhysics.h"

namespace quorvel {

// How the instrument answers requests.
enum class TAnswerMode {
  Normal,
  Silent,     // takes requests, never answers
  WrongEcho,  // answers with command + 1 in byte 1
  Garbage,    // right echo, random payload
  Short,      // only the first 9 bytes (report ID, echo, 7 payload bytes)
};

// Actions of a fault schedule.
enum class TFaultAction {
  Unplug,       // the instrument is pulled out
  Plug,         // ... and plugged in again (a new device to the system)
  Silence,      // TAnswerMode::Silent
  Talk,         // back to normal answers
  WrongEcho,    // TAnswerMode::WrongEcho
  Garbage,      // TAnswerMode::Garbage
  Short,        // TAnswerMode::Short
  Normal,       // back to normal answers
  Erase,        // calibration memory erased (all 0xFF)
  MousePlug,    // a mouse is plugged in
  MouseUnplug,  // ... and pulled out
};

struct TFaultEvent {
  double AtSeconds = 0;  // virtual seconds since the schedule started
  TFaultAction Action = TFaultAction::Normal;
};

// A fault schedule: comma-separated items "SECONDS:ACTION", SECONDS a
// non-negative decimal number of virtual seconds since the start, ACTION one
// of unplug, plug, silence, talk, wrong-echo, garbage, short, normal, erase,
// mouse-plug, mouse-unplug. Blanks around items are allowed; an empty text
// is an empty schedule. Items are returned sorted by time (stable). Raises
// quorvel::Exception naming the bad item.
// Example: "600:unplug,660:plug,900:silence,960:talk,1300:erase".
std::vector<TFaultEvent> ParseFaultSchedule(std::string_view text);
std::string FaultActionName(TFaultAction action);

// The calibration as the 0x84 request carries it: serial number and four
// float32, big-endian, 20 bytes.
using TSimNvm = std::array<std::uint8_t, 20>;
TSimNvm NvmFromValues(std::uint32_t serial, float rShunt, float gainFiltered, float gainNotFilt,
                      float offsetV);

constexpr std::uint32_t kSimSerialNumber = 4294900475u;

struct TSimInstrumentConfig {
  TSimPhysicsConfig Physics;
  std::uint8_t FirmwareMajor = 1;
  std::uint8_t FirmwareMinor = 7;
  std::uint32_t SerialNumber = kSimSerialNumber;
  // A fresh instrument whose calibration was never written (all 0xFF).
  bool StartErased = false;
  // Answers from a replay instead of the simulated sky: a script in memory,
  // or a source read as the run goes (a replay file); the source wins.
  std::shared_ptr<const TReplayScript> Replay;
  std::shared_ptr<IReplaySource> ReplaySource;
};

class TSimFirmware {
 public:
  explicit TSimFirmware(TSimInstrumentConfig config);

  // One output report (byte 0 the report ID, byte 1 the command) -> the input
  // report answering it (byte 0 the report ID), or nothing.
  std::optional<std::vector<std::uint8_t>> Answer(const std::uint8_t* request, std::size_t length);

  void SetAnswerMode(TAnswerMode mode) { mode_ = mode; }
  TAnswerMode AnswerMode() const { return mode_; }
  void EraseCalibration() { nvm_.fill(0xFF); }
  const TSimNvm& Nvm() const { return nvm_; }
  // The truth behind the latest measurement answer.
  const TSimTruth& LastTruth() const { return truth_; }
  TSimPhysics& Physics() { return physics_; }
  // The replay is exhausted: the instrument has gone silent.
  bool ReplayOver() const { return replayOver_; }
  // Becomes true once when the replay runs out (the caller then reports it).
  bool TakeReplayOverNews();

 private:
  std::vector<std::uint8_t> VersionAnswer() const;
  std::vector<std::uint8_t> MeasurementAnswer();

  TSimInstrumentConfig config_;
  TSimPhysics physics_;
  TSimNvm nvm_{};
  TAnswerMode mode_ = TAnswerMode::Normal;
  TSimTruth truth_;
  std::shared_ptr<IReplaySource> replay_;
  // The last version answer keeps answering once they are used up.
  std::optional<TReportBuffer> lastVersion_;
  bool replayOver_ = false;
  bool replayOverNews_ = false;
  std::int64_t garbageCounter_ = 0;
};

}  // namespace quorvel
