#include "Options.h"

#include <algorithm>
#include <cmath>

#include "common/DateTime.h"
#include "common/Errors.h"
#include "common/Format.h"
#include "common/UtcText.h"
#include "mqtt/MqttConfig.h"

namespace quorvel {

namespace {

std::string SetFlag(bool TOptions::*field, TOptions& o) {
  o.*field = true;
  return {};
}

std::string YesNo(const char* name, std::optional<bool>& field, const std::string& v) {
  if (v == "yes")
    field = true;
  else if (v == "no")
    field = false;
  else
    return std::string("option ") + name + " needs yes or no, not '" + v + "'";
  return {};
}

std::string Seconds(const char* name, std::optional<double>& field, const std::string& v, double lo,
                    double hi) {
  const auto n = ParseFloat(v);
  if (!n || !std::isfinite(*n) || *n < lo || *n > hi)
    return std::string("option ") + name + " needs a number from " + FormatGeneral(lo) + " to " +
           FormatGeneral(hi) + ", not '" + v + "'";
  field = *n;
  return {};
}

std::string Port(const char* name, std::optional<std::uint16_t>& field, const std::string& v) {
  const auto n = ParseInt64(v);
  if (!n || *n < 0 || *n > 65535)
    return std::string("option ") + name + " needs a port from 0 (off) to 65535, not '" + v + "'";
  field = static_cast<std::uint16_t>(*n);
  return {};
}

// An MQTT option whose value is kept as given (checked with the rest).
template <std::optional<std::string> TOptions::*field>
std::string SetText(TOptions& o, const std::string& v) {
  o.*field = v;
  return {};
}

// Help columns: the option and its value, then the text from this column.
constexpr std::size_t kHelpColumn = 29;

const std::vector<TOptionSpec>& Specs() {
  static const std::vector<TOptionSpec> specs = {
      {"--headless", nullptr, nullptr, "run without a window; log lines go to standard output",
       [](TOptions& o, const std::string&) { return SetFlag(&TOptions::headless, o); }},
      {"--simulate", nullptr, nullptr, "use the simulated instrument instead of the USB device",
       [](TOptions& o, const std::string&) { return SetFlag(&TOptions::simulate, o); }},
      {"--replay", nullptr, "FILE",
       "simulated instrument answering with the reports of FILE\n"
       "(one 65-byte report per line as 130 hex digits, # comments;\n"
       "a regular file, read as the run goes); a headless run ends\n"
       "when the file is exhausted",
       [](TOptions& o, const std::string& v) {
         o.replayFile = v;
         return std::string();
       }},
      {"--capture", nullptr, "FILE", "write every report the instrument sends to FILE (replayable)",
       [](TOptions& o, const std::string& v) {
         o.captureFile = v;
         return std::string();
       }},
      {"--speed", nullptr, "N",
       "virtual clock N times faster than real time: 0 (as fast as\n"
       "possible) or from 0.001 to 1000000; simulated or replayed\n"
       "instrument only",
       [](TOptions& o, const std::string& v) {
         const auto n = ParseFloat(v);
         // Below the range one virtual second would take longer than the timer
         // can wait (and tiny values would wrap to "as fast as possible").
         if (!n || !std::isfinite(*n) || (*n != 0 && (*n < kMinSpeed || *n > kMaxSpeed)))
           return "option --speed needs 0 (as fast as possible) or a number from 0.001 to "
                  "1000000, not '" +
                  v + "'";
         o.speed = *n;
         return std::string();
       }},
      {"--clock-start", nullptr, "UTC", "start of the virtual clock, YYYY-MM-DDTHH:MM:SS (UTC)",
       [](TOptions& o, const std::string& v) {
         try {
           o.clockStartUtcMs = UnixMsFromDateTime(ParseUtcText(v));
         } catch (const EConvertError& e) {
           return "option --clock-start needs a UTC time YYYY-MM-DDTHH:MM:SS, not '" + v +
                  "': " + e.what();
         }
         return std::string();
       }},
      {"--duration", nullptr, "SECONDS", "stop cleanly after this many (virtual) seconds",
       [](TOptions& o, const std::string& v) {
         const auto n = ParseFloat(v);
         if (!n || !std::isfinite(*n) || *n <= 0)
           return "option --duration needs a positive number of seconds, not '" + v + "'";
         o.durationSec = *n;
         return std::string();
       }},
      {"--inject-default-calibration", nullptr, "yes|no",
       "headless answer when the instrument has no calibration\n"
       "(default: no)",
       [](TOptions& o, const std::string& v) {
         if (v == "yes")
           o.injectDefaultCalibration = true;
         else if (v == "no")
           o.injectDefaultCalibration = false;
         else
           return "option --inject-default-calibration needs yes or no, not '" + v + "'";
         return std::string();
       }},
      {"--data-dir", nullptr, "DIR", "folder of the results files (default: Documents/Quorvel)",
       [](TOptions& o, const std::string& v) {
         o.dataDir = v;
         return std::string();
       }},
      {"--settings", nullptr, "FILE", "settings file (default: ~/.config/DRAVO_Solar/Quorvel.ini)",
       [](TOptions& o, const std::string& v) {
         o.settingsFile = v;
         return std::string();
       }},
      {"--log-file", nullptr, "FILE",
       "append every log line to FILE as well (created if missing;\n"
       "the same lines as on screen or standard output)",
       [](TOptions& o, const std::string& v) {
         o.logFile = v;
         return std::string();
       }},
      {"--debug-hid", nullptr, nullptr, "log every input report of the instrument",
       [](TOptions& o, const std::string&) { return SetFlag(&TOptions::debugHid, o); }},
      {"--sim-events", nullptr, "LIST",
       "simulated faults, e.g. \"600:unplug,660:plug,900:silence\"",
       [](TOptions& o, const std::string& v) {
         o.simEvents = v;
         return std::string();
       }},
      {"--sim-erased", nullptr, nullptr,
       "the simulated instrument starts with an erased calibration",
       [](TOptions& o, const std::string&) { return SetFlag(&TOptions::simErased, o); }},
      {"--sim-absent", nullptr, nullptr, "the simulated instrument starts unplugged",
       [](TOptions& o, const std::string&) { return SetFlag(&TOptions::simAbsent, o); }},
      {"--sim-seed", nullptr, "N", "seed of the simulated weather (reproducible runs)",
       [](TOptions& o, const std::string& v) {
         const auto n = ParseInt64(v);
         if (!n || *n < 0 || *n > 0xFFFFFFFFLL)
           return "option --sim-seed needs a whole number from 0 to 4294967295, not '" + v + "'";
         o.simSeed = static_cast<std::uint32_t>(*n);
         return std::string();
       }},
      {"--sim-stop-at", nullptr, "LIST",
       "on the virtual clock, the process stops itself (SIGSTOP) at\n"
       "these virtual seconds, before their cycle, and goes on at\n"
       "SIGCONT, e.g. \"5,60\" (for tests that change files mid-run)",
       [](TOptions& o, const std::string& v) {
         std::size_t start = 0;
         while (start <= v.size()) {
           const std::size_t comma = std::min(v.find(',', start), v.size());
           const std::string item = v.substr(start, comma - start);
           const auto n = ParseInt64(item);
           if (!n || *n < 1)
             return "option --sim-stop-at needs whole numbers of seconds from 1, separated by "
                    "commas, not '" +
                    item + "'";
           o.simStopAt.push_back(*n);
           start = comma + 1;
         }
         return std::string();
       }},
      {"--trigger-value", nullptr, "instant|1min|5min",
       "the seeing the trigger watches: the instant value or a mean\n"
       "(default: stored setting, else 1min)",
       [](TOptions& o, const std::string& v) {
         if (v != "instant" && v != "1min" && v != "5min")
           return "option --trigger-value needs instant, 1min or 5min, not '" + v + "'";
         o.triggerValue = v;
         return std::string();
       }},
      {"--trigger-zenith", nullptr, "yes|no",
       "the trigger watches the zenith-corrected seeing (default: no)",
       [](TOptions& o, const std::string& v) {
         return YesNo("--trigger-zenith", o.triggerZenith, v);
       }},
      {"--trigger-start", nullptr, "ARCSEC",
       "GOOD once the seeing stays at or below this level (default 2)",
       [](TOptions& o, const std::string& v) {
         return Seconds("--trigger-start", o.triggerStart, v, 0.01, 100);
       }},
      {"--trigger-stop", nullptr, "ARCSEC",
       "BAD as soon as the seeing rises above this level; not below\n"
       "the start level (default 2.5)",
       [](TOptions& o, const std::string& v) {
         return Seconds("--trigger-stop", o.triggerStop, v, 0.01, 100);
       }},
      {"--trigger-min-good", nullptr, "SECONDS",
       "how long the seeing must stay at or below the start level\n"
       "before GOOD (default 60)",
       [](TOptions& o, const std::string& v) {
         return Seconds("--trigger-min-good", o.triggerMinGood, v, 0, 86400);
       }},
      {"--trigger-max-invalid", nullptr, "SECONDS",
       "how long cycles without a valid seeing (clouds, night, no\n"
       "instrument) may last before GOOD turns BAD (default 120)",
       [](TOptions& o, const std::string& v) {
         return Seconds("--trigger-max-invalid", o.triggerMaxInvalid, v, 0, 86400);
       }},
      {"--on-good", nullptr, "COMMAND",
       "program and arguments run when the trigger turns GOOD (no\n"
       "shell; quotes group words); \"none\" for no command",
       [](TOptions& o, const std::string& v) {
         o.onGood = v == "none" ? std::string() : v;
         return std::string();
       }},
      {"--on-bad", nullptr, "COMMAND", "the same when the trigger turns BAD",
       [](TOptions& o, const std::string& v) {
         o.onBad = v == "none" ? std::string() : v;
         return std::string();
       }},
      {"--command-timeout", nullptr, "SECONDS",
       "a trigger command still running after this is killed\n"
       "(default 30)",
       [](TOptions& o, const std::string& v) {
         return Seconds("--command-timeout", o.commandTimeout, v, 0.1, 3600);
       }},
      {"--live-file", nullptr, "FILE",
       "JSON file replaced every cycle with the latest values\n"
       "(default $XDG_RUNTIME_DIR/quorvel/live.json; \"none\": off)",
       [](TOptions& o, const std::string& v) {
         o.liveFile = v == "none" ? std::string() : v;
         return std::string();
       }},
      {"--alpaca-port", nullptr, "N",
       "serve an ASCOM Alpaca ObservingConditions device on this TCP\n"
       "port (0 = off, the default; 11111 is the usual port)",
       [](TOptions& o, const std::string& v) { return Port("--alpaca-port", o.alpacaPort, v); }},
      {"--alpaca-bind", nullptr, "ADDRESS", "address the Alpaca device listens on (default: all)",
       [](TOptions& o, const std::string& v) {
         o.alpacaBind = v;
         return std::string();
       }},
      {"--alpaca-zenith", nullptr, "yes|no",
       "the Alpaca StarFWHM is the zenith-corrected seeing (default: no)",
       [](TOptions& o, const std::string& v) {
         return YesNo("--alpaca-zenith", o.alpacaZenith, v);
       }},
      {"--alpaca-discovery-port", nullptr, "N",
       "UDP port of the Alpaca discovery answers (default 32227,\n"
       "0 = no discovery)",
       [](TOptions& o, const std::string& v) {
         return Port("--alpaca-discovery-port", o.alpacaDiscoveryPort, v);
       }},
      {"--mqtt-url", nullptr, "URL",
       "publish to the MQTT broker at mqtt://HOST:PORT or\n"
       "mqtts://HOST:PORT (TLS); \"off\": no MQTT for this run",
       [](TOptions& o, const std::string& v) {
         std::string error;
         if (v != "off" && !ParseMqttUrl(v, error)) return "option --mqtt-url: " + error;
         o.mqttUrl = v;
         return std::string();
       }},
      {"--mqtt-prefix", nullptr, "PREFIX", "first level of the MQTT topics (default: quorvel)",
       SetText<&TOptions::mqttPrefix>},
      {"--mqtt-station", nullptr, "NAME",
       "station name in the MQTT topics and payloads (default:\n"
       "quorvel-<serial number of the instrument>)",
       SetText<&TOptions::mqttStation>},
      {"--mqtt-user", nullptr, "USER", "user name at the MQTT broker",
       SetText<&TOptions::mqttUser>},
      {"--mqtt-password-file", nullptr, "FILE",
       "the MQTT password: the first line of FILE, which only its\n"
       "owner may read (chmod 600)",
       SetText<&TOptions::mqttPasswordFile>},
      {"--mqtt-ca", nullptr, "FILE",
       "CA certificates (PEM) that sign the broker's certificate\n"
       "(mqtts; default: the system's)",
       SetText<&TOptions::mqttCa>},
      {"--mqtt-cert", nullptr, "FILE", "client certificate (PEM) for the broker (mqtts)",
       SetText<&TOptions::mqttCert>},
      {"--mqtt-key", nullptr, "FILE", "private key (PEM) of the client certificate (mqtts)",
       SetText<&TOptions::mqttKey>},
      {"--mqtt-discovery", nullptr, "yes|no",
       "Home Assistant discovery messages (default: yes); no\n"
       "removes the ones published before",
       [](TOptions& o, const std::string& v) {
         if (v != "yes" && v != "no")
           return "option --mqtt-discovery needs yes or no, not '" + v + "'";
         o.mqttDiscovery = v == "yes";
         return std::string();
       }},
      {"--mqtt-discovery-prefix", nullptr, "PREFIX",
       "Home Assistant discovery prefix (default: homeassistant)",
       SetText<&TOptions::mqttDiscoveryPrefix>},
      {"--mqtt-queue", nullptr, "N",
       "measurements kept while the broker is unreachable, oldest\n"
       "dropped beyond (default: 86400, a day at one a second)",
       [](TOptions& o, const std::string& v) {
         const auto n = ParseInt64(v);
         if (!n || *n < 1 || *n > 10000000)
           return "option --mqtt-queue needs a whole number from 1 to 10000000, not '" + v + "'";
         o.mqttQueue = static_cast<std::size_t>(*n);
         return std::string();
       }},
      {"--version", nullptr, nullptr, "print the version and exit",
       [](TOptions& o, const std::string&) { return SetFlag(&TOptions::version, o); }},
      {"--help", "-h", nullptr, "print this help and exit",
       [](TOptions& o, const std::string&) { return SetFlag(&TOptions::help, o); }},
  };
  return specs;
}

const TOptionSpec* Find(const std::string& name) {
  for (const auto& s : Specs())
    if (name == s.name || (s.alias && name == s.alias)) return &s;
  return nullptr;
}

// Rules between options, once each has been read.
std::string CheckCombination(const TOptions& o) {
  const bool simulated = o.UsesSimulator();
  if (o.speed && !simulated)
    return "option --speed needs the simulated or replayed instrument (--simulate or --replay)";
  if (o.clockStartUtcMs && !simulated)
    return "option --clock-start needs the simulated or replayed instrument (--simulate or "
           "--replay)";
  if (!o.simEvents.empty() && !o.simulate) return "option --sim-events needs --simulate";
  if ((o.simErased || o.simAbsent || o.simSeed) && !o.simulate)
    return "the --sim-* options need --simulate";
  if (!o.simStopAt.empty() && !(simulated && o.UsesVirtualClock()))
    return "option --sim-stop-at needs the simulated or replayed instrument on the virtual clock "
           "(--speed or --clock-start)";
  if (o.triggerStart && o.triggerStop && *o.triggerStop < *o.triggerStart)
    return "option --trigger-stop must not be below --trigger-start";
  if (o.simulate && !o.replayFile.empty()) return "--simulate and --replay cannot be used together";
  return {};
}

}  // namespace

const std::vector<TOptionSpec>& OptionSpecs() {
  return Specs();
}

std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  TOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    // Accept --name=value as well as --name value.
    std::string value;
    bool hasInline = false;
    if (name.rfind("--", 0) == 0) {
      const auto eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
        hasInline = true;
      }
    }
    const TOptionSpec* spec = Find(name);
    if (spec == nullptr) {
      error = "unknown option '" + args[i] + "' (try --help)";
      return std::nullopt;
    }
    if (spec->value == nullptr) {
      if (hasInline) {
        error = "option " + name + " takes no value";
        return std::nullopt;
      }
    } else if (!hasInline) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = "option " + name + " needs a value";
        return std::nullopt;
      }
      value = args[++i];
    } else if (value.empty()) {
      error = "option " + name + " needs a value";
      return std::nullopt;
    }
    error = spec->apply(o, value);
    if (!error.empty()) return std::nullopt;
  }
  error = CheckCombination(o);
  if (!error.empty()) return std::nullopt;
  return o;
}

std::string OptionsHelp(THelpFor program) {
  std::string out;
  if (program == THelpFor::Window) {
    out =
        "usage: quorvel [options]\n"
        "\n"
        "Daytime seeing monitor. Without options, opens the main window and waits for the\n"
        "instrument (USB HID 04D8:003F \"HID QLX SOLAR\").\n\n";
  } else {
    out =
        "usage: quorvel-headless [options]\n"
        "\n"
        "Daytime seeing monitor without a display: waits for the instrument (USB HID\n"
        "04D8:003F \"HID QLX SOLAR\") and measures; log lines go to standard output.\n"
        "Takes the options of quorvel; --headless is implied.\n\n";
  }
  for (const auto& s : Specs()) {
    std::string head = std::string("  ") + s.name;
    if (s.value) head += std::string(" ") + s.value;
    std::string_view text = s.help;
    bool first = true;
    if (head.size() + 1 > kHelpColumn) {
      out += head + "\n";
      head.clear();
    }
    while (true) {
      const std::size_t nl = text.find('\n');
      const std::string_view line = text.substr(0, nl);
      std::string lead = first ? head : std::string();
      lead.resize(kHelpColumn, ' ');
      out += lead + std::string(line) + "\n";
      first = false;
      if (nl == std::string_view::npos) break;
      text.remove_prefix(nl + 1);
    }
  }
  out +=
      "\n"
      "Exit status: 0 on a clean end (window closed, --duration reached, SIGINT/SIGTERM/\n"
      "SIGHUP, replay over), 1 when another Quorvel already measures into the data folder\n"
      "or with the instrument, 2 on a bad option.\n";
  return out;
}

}  // namespace quorvel
