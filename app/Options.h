// Command-line options of quorvel, shared by the window and the headless
// runner. Parsing is pure so that every option is checked with a clear error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

inline constexpr double kMinSpeed = 0.001;
inline constexpr double kMaxSpeed = 1e6;

struct TOptions {
  bool help = false;
  bool version = false;
  bool headless = false;
  bool simulate = false;
  std::string replayFile;
  std::string captureFile;
  // Virtual clock: N times faster than real time; 0 = as fast as possible,
  // else kMinSpeed..kMaxSpeed.
  std::optional<double> speed;
  // UTC start of the virtual clock, ms since 1970.
  std::optional<std::int64_t> clockStartUtcMs;
  // Virtual (or real) seconds to run, then a clean exit.
  std::optional<double> durationSec;
  // Headless answer to the missing-calibration question.
  std::optional<bool> injectDefaultCalibration;
  std::string dataDir;
  std::string settingsFile;
  // Every log line appended to this file as well.
  std::string logFile;
  bool debugHid = false;
  // Simulated instrument: scheduled faults, and whether it starts erased.
  std::string simEvents;
  bool simErased = false;
  bool simAbsent = false;
  std::optional<std::uint32_t> simSeed;
  // Virtual seconds at which the process stops itself (SIGSTOP) until it
  // gets SIGCONT: a test changes files while the run stands still.
  std::vector<std::int64_t> simStopAt;
  // Live outputs; each one, when given, replaces the stored setting for this
  // run (nothing is written back).
  std::optional<std::string> triggerValue;  // "instant", "1min", "5min"
  std::optional<bool> triggerZenith;
  std::optional<double> triggerStart, triggerStop, triggerMinGood, triggerMaxInvalid;
  std::optional<std::string> onGood, onBad;
  std::optional<double> commandTimeout;
  std::optional<std::string> liveFile;
  std::optional<std::uint16_t> alpacaPort;
  std::optional<std::string> alpacaBind;
  std::optional<bool> alpacaZenith;
  std::optional<std::uint16_t> alpacaDiscoveryPort;
  // MQTT: each given value replaces the stored setting for this run.
  // --mqtt-url turns the publisher on ("off" turns it off).
  std::optional<std::string> mqttUrl, mqttPrefix, mqttStation, mqttUser, mqttPasswordFile, mqttCa,
      mqttCert, mqttKey, mqttDiscoveryPrefix;
  std::optional<bool> mqttDiscovery;
  std::optional<std::size_t> mqttQueue;

  bool UsesVirtualClock() const { return speed.has_value() || clockStartUtcMs.has_value(); }
  bool UsesSimulator() const { return simulate || !replayFile.empty(); }
};

// One command-line option: its name, the name of its value (none for a
// flag), its help text (lines separated by newlines) and how it is stored.
// The help text and the manual page's check both come from this table.
struct TOptionSpec {
  // Stores the value into the options; returns an error text, empty if fine.
  using Apply = std::string (*)(TOptions&, const std::string& value);
  const char* name;
  const char* alias;
  const char* value;
  const char* help;
  Apply apply;
};

const std::vector<TOptionSpec>& OptionSpecs();

// Parses argv (without the program name). On error returns nothing and sets
// `error` to a message naming the option.
std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error);

// The --help text of quorvel (the window) or of quorvel-headless.
enum class THelpFor { Window, Headless };
std::string OptionsHelp(THelpFor program = THelpFor::Window);

}  // namespace quorvel
