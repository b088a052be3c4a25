// Settings of the live outputs: the seeing trigger with its commands, the
// live file and the Alpaca device. They live in the settings store beside the
// five measurement settings, under "\General"; options replace them for one
// run without writing them back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Options.h"
#include "live/SeeingTrigger.h"

namespace quorvel {

class TDatabaseRegistry;

inline constexpr char kIdTriggerValue[] = "TriggerValue";                // text: instant|1min|5min
inline constexpr char kIdTriggerZenith[] = "TriggerZenith";              // boolean
inline constexpr char kIdTriggerStart[] = "TriggerStart_arcsec";         // float64
inline constexpr char kIdTriggerStop[] = "TriggerStop_arcsec";           // float64
inline constexpr char kIdTriggerMinGood[] = "TriggerMinGood_s";          // float64
inline constexpr char kIdTriggerMaxInvalid[] = "TriggerMaxInvalid_s";    // float64
inline constexpr char kIdOnGood[] = "TriggerOnGood";                     // text
inline constexpr char kIdOnBad[] = "TriggerOnBad";                       // text
inline constexpr char kIdCommandTimeout[] = "TriggerCommandTimeout_s";   // float64
inline constexpr char kIdLiveFile[] = "LiveFile";                        // text, "none" = off
inline constexpr char kIdAlpacaPort[] = "AlpacaPort";                    // uint16, 0 = off
inline constexpr char kIdAlpacaBind[] = "AlpacaBind";                    // text
inline constexpr char kIdAlpacaZenith[] = "AlpacaZenith";                // boolean
inline constexpr char kIdAlpacaDiscoveryPort[] = "AlpacaDiscoveryPort";  // uint16
inline constexpr char kIdAlpacaUniqueId[] = "AlpacaUniqueID";            // text

inline constexpr std::uint16_t kAlpacaDiscoveryPort = 32227;

struct TOutputSettings {
  TTriggerConfig trigger;
  std::string onGood, onBad;  // command lines, empty: none
  double commandTimeoutSec = 30;
  // Empty: the default place; "none": no live file.
  std::string liveFile;
  std::uint16_t alpacaPort = 0;
  std::string alpacaBind;  // empty: every address
  bool alpacaZenith = false;
  std::uint16_t alpacaDiscoveryPort = kAlpacaDiscoveryPort;
  std::string alpacaUniqueId;
};

// Reads what the store holds; a missing or unusable value keeps the default.
// Messages name every stored value that was not usable.
TOutputSettings ReadOutputSettings(TDatabaseRegistry& reg, std::vector<std::string>* messages);
void WriteOutputSettings(TDatabaseRegistry& reg, const TOutputSettings& s);
// The options given on the command line replace the stored values.
void ApplyOptions(const TOptions& options, TOutputSettings& s);
// The live file of a setting: the default place for an empty one, empty for
// "none". The default is $XDG_RUNTIME_DIR/quorvel/live.json, or
// /tmp/quorvel-<uid>/live.json without a runtime folder.
std::string LiveFilePath(const std::string& setting);

// A command line split into a program and its arguments without a shell:
// blanks separate words, single or double quotes group them, a backslash
// takes the next character as it is. Raises quorvel::Exception on an
// unclosed quote.
std::vector<std::string> SplitCommandLine(const std::string& text);

}  // namespace quorvel
