#include "Options.h"

#include <cmath>

#include "common/DateTime.h"
#include "common/Format.h"

namespace quorvel {

std::optional<std::int64_t> ParseUtcTimestamp(const std::string& text) {
  std::string t = text;
  if (!t.empty() && (t.back() == 'Z' || t.back() == 'z')) t.pop_back();
  // YYYY-MM-DDTHH:MM:SS[.mmm]
  if (t.size() != 19 && !(t.size() > 20 && t.size() <= 23 && t[19] == '.')) return std::nullopt;
  auto num = [&](std::size_t pos, std::size_t len, int& out) {
    out = 0;
    for (std::size_t i = pos; i < pos + len; ++i) {
      if (t[i] < '0' || t[i] > '9') return false;
      out = out * 10 + (t[i] - '0');
    }
    return true;
  };
  int y, mo, d, h, mi, s, ms = 0;
  if (!num(0, 4, y) || t[4] != '-' || !num(5, 2, mo) || t[7] != '-' || !num(8, 2, d) ||
      (t[10] != 'T' && t[10] != ' ') || !num(11, 2, h) || t[13] != ':' || !num(14, 2, mi) ||
      t[16] != ':' || !num(17, 2, s))
    return std::nullopt;
  if (t.size() > 19) {
    const std::size_t digits = t.size() - 20;
    if (!num(20, digits, ms)) return std::nullopt;
    for (std::size_t i = digits; i < 3; ++i) ms *= 10;
  }
  TDateTime date;
  if (!TryEncodeDate(y, mo, d, date) || h > 23 || mi > 59 || s > 59) return std::nullopt;
  return UnixMsFromDateTime(EncodeDateTime(y, mo, d, h, mi, s, ms));
}

std::optional<TOptions> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  TOptions o;
  auto value = [&](std::size_t& i, const std::string& name) -> std::optional<std::string> {
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      error = "option " + name + " needs a value";
      return std::nullopt;
    }
    return args[++i];
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    // Accept --name=value as well as --name value.
    std::string inlineValue;
    bool hasInline = false;
    if (a.rfind("--", 0) == 0) {
      const auto eq = a.find('=');
      if (eq != std::string::npos) {
        inlineValue = a.substr(eq + 1);
        a = a.substr(0, eq);
        hasInline = true;
      }
    }
    auto get = [&]() -> std::optional<std::string> {
      if (hasInline) {
        if (inlineValue.empty()) {
          error = "option " + a + " needs a value";
          return std::nullopt;
        }
        return inlineValue;
      }
      return value(i, a);
    };
    auto flag = [&]() {
      if (hasInline) {
        error = "option " + a + " takes no value";
        return false;
      }
      return true;
    };
    if (a == "--help" || a == "-h") {
      if (!flag()) return std::nullopt;
      o.help = true;
    } else if (a == "--version") {
      if (!flag()) return std::nullopt;
      o.version = true;
    } else if (a == "--headless") {
      if (!flag()) return std::nullopt;
      o.headless = true;
    } else if (a == "--simulate") {
      if (!flag()) return std::nullopt;
      o.simulate = true;
    } else if (a == "--debug-hid") {
      if (!flag()) return std::nullopt;
      o.debugHid = true;
    } else if (a == "--sim-erased") {
      if (!flag()) return std::nullopt;
      o.simErased = true;
    } else if (a == "--sim-absent") {
      if (!flag()) return std::nullopt;
      o.simAbsent = true;
    } else if (a == "--replay" || a == "--capture" || a == "--data-dir" || a == "--settings" ||
               a == "--sim-events") {
      auto v = get();
      if (!v) return std::nullopt;
      if (a == "--replay") o.replayFile = *v;
      if (a == "--capture") o.captureFile = *v;
      if (a == "--data-dir") o.dataDir = *v;
      if (a == "--settings") o.settingsFile = *v;
      if (a == "--sim-events") o.simEvents = *v;
    } else if (a == "--speed") {
      auto v = get();
      if (!v) return std::nullopt;
      const auto n = ParseFloat(*v);
      // Below the range one virtual second would take longer than the timer
      // can wait (and tiny values would wrap to "as fast as possible").
      if (!n || !std::isfinite(*n) || (*n != 0 && (*n < kMinSpeed || *n > kMaxSpeed))) {
        error =
            "option --speed needs 0 (as fast as possible) or a number from 0.001 to 1000000, "
            "not '" +
            *v + "'";
        return std::nullopt;
      }
      o.speed = *n;
    } else if (a == "--clock-start") {
      auto v = get();
      if (!v) return std::nullopt;
      const auto ms = ParseUtcTimestamp(*v);
      if (!ms) {
        error = "option --clock-start needs a UTC time YYYY-MM-DDTHH:MM:SS, not '" + *v + "'";
        return std::nullopt;
      }
      o.clockStartUtcMs = *ms;
    } else if (a == "--duration") {
      auto v = get();
      if (!v) return std::nullopt;
      const auto n = ParseFloat(*v);
      if (!n || !std::isfinite(*n) || *n <= 0) {
        error = "option --duration needs a positive number of seconds, not '" + *v + "'";
        return std::nullopt;
      }
      o.durationSec = *n;
    } else if (a == "--inject-default-calibration") {
      auto v = get();
      if (!v) return std::nullopt;
      if (*v == "yes")
        o.injectDefaultCalibration = true;
      else if (*v == "no")
        o.injectDefaultCalibration = false;
      else {
        error = "option --inject-default-calibration needs yes or no, not '" + *v + "'";
        return std::nullopt;
      }
    } else if (a == "--sim-stop-at") {
      auto v = get();
      if (!v) return std::nullopt;
      std::size_t start = 0;
      while (start <= v->size()) {
        const std::size_t comma = std::min(v->find(',', start), v->size());
        const std::string item = v->substr(start, comma - start);
        const auto n = ParseInt64(item);
        if (!n || *n < 1) {
          error =
              "option --sim-stop-at needs whole numbers of seconds from 1, separated by "
              "commas, not '" +
              item + "'";
          return std::nullopt;
        }
        o.simStopAt.push_back(*n);
        start = comma + 1;
      }
    } else if (a == "--sim-seed") {
      auto v = get();
      if (!v) return std::nullopt;
      const auto n = ParseInt64(*v);
      if (!n || *n < 0 || *n > 0xFFFFFFFFLL) {
        error = "option --sim-seed needs a whole number from 0 to 4294967295, not '" + *v + "'";
        return std::nullopt;
      }
      o.simSeed = static_cast<std::uint32_t>(*n);
    } else {
      error = "unknown option '" + args[i] + "' (try --help)";
      return std::nullopt;
    }
  }
  const bool simulated = o.UsesSimulator();
  if (o.speed && !simulated) {
    error = "option --speed needs the simulated or replayed instrument (--simulate or --replay)";
    return std::nullopt;
  }
  if (o.clockStartUtcMs && !simulated) {
    error =
        "option --clock-start needs the simulated or replayed instrument (--simulate or "
        "--replay)";
    return std::nullopt;
  }
  if (!o.simEvents.empty() && !o.simulate) {
    error = "option --sim-events needs --simulate";
    return std::nullopt;
  }
  if ((o.simErased || o.simAbsent || o.simSeed) && !o.simulate) {
    error = "the --sim-* options need --simulate";
    return std::nullopt;
  }
  if (!o.simStopAt.empty() && !(simulated && o.UsesVirtualClock())) {
    error =
        "option --sim-stop-at needs the simulated or replayed instrument on the virtual clock "
        "(--speed or --clock-start)";
    return std::nullopt;
  }
  if (o.simulate && !o.replayFile.empty()) {
    error = "--simulate and --replay cannot be used together";
    return std::nullopt;
  }
  return o;
}

std::string OptionsHelp() {
  return R"(usage: quorvel [options]

Daytime seeing monitor. Without options, opens the main window and waits for the
instrument (USB HID 04D8:003F "HID QLX SOLAR").

  --headless                 run without a window; log lines go to standard output
  --simulate                 use the simulated instrument instead of the USB device
  --replay FILE              simulated instrument answering with the reports of FILE
                             (one 65-byte report per line as 130 hex digits, # comments;
                             a regular file, read as the run goes); a headless run ends
                             when the file is exhausted
  --capture FILE             write every report the instrument sends to FILE (replayable)
  --speed N                  virtual clock N times faster than real time: 0 (as fast as
                             possible) or from 0.001 to 1000000; simulated or replayed
                             instrument only
  --clock-start UTC          start of the virtual clock, YYYY-MM-DDTHH:MM:SS (UTC)
  --duration SECONDS         stop cleanly after this many (virtual) seconds
  --inject-default-calibration yes|no
                             headless answer when the instrument has no calibration
                             (default: no)
  --data-dir DIR             folder of the results files (default: Documents/Quorvel)
  --settings FILE            settings file (default: ~/.config/DRAVO_Solar/Quorvel.ini)
  --debug-hid                log every input report of the instrument
  --sim-events LIST          simulated faults, e.g. "600:unplug,660:plug,900:silence"
  --sim-erased               the simulated instrument starts with an erased calibration
  --sim-absent               the simulated instrument starts unplugged
  --sim-seed N               seed of the simulated weather (reproducible runs)
  --sim-stop-at LIST         on the virtual clock, the process stops itself (SIGSTOP) at
                             these virtual seconds, before their cycle, and goes on at
                             SIGCONT, e.g. "5,60" (for tests that change files mid-run)
  --version                  print the version and exit
  --help                     print this help and exit

Exit status: 0 on a clean end (window closed, --duration reached, SIGINT/SIGTERM/
SIGHUP, replay over), 1 when another Quorvel already measures into the data folder
or with the instrument, 2 on a bad option.
)";
}

}  // namespace quorvel
