#include "app/OutputSettings.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "common/Errors.h"
#include "records/ProgramSettings.h"
#include "records/SettingsStore.h"

namespace quorvel {

namespace {

template <class T>
void Read(TDatabaseRegistry& reg, const char* id, T& variable, int kind, bool (*ok)(T),
          std::vector<std::string>* messages) {
  T value = variable;
  if (!reg.ReadValueRegisterDFset(kSettingsSection, value, id, kind)) {
    // A missing value is the usual case: the outputs keep their defaults.
    if (messages && reg.ErrorMessage.find("does not exists") == std::string::npos &&
        reg.ErrorMessage.find(" not found!") == std::string::npos)
      messages->push_back(reg.ErrorMessage);
    return;
  }
  if (ok && !ok(value)) {
    if (messages) messages->push_back(std::string("Setting ") + id + " out of range, default kept");
    return;
  }
  variable = value;
}

void ReadText(TDatabaseRegistry& reg, const char* id, std::string& variable) {
  std::string value = variable;
  if (reg.ReadValueRegisterDFset(kSettingsSection, value, id, varString)) variable = value;
}

}  // namespace

TOutputSettings ReadOutputSettings(TDatabaseRegistry& reg, std::vector<std::string>* messages) {
  TOutputSettings s;
  std::string key = TriggerValueKey(s.trigger.value);
  ReadText(reg, kIdTriggerValue, key);
  if (const auto v = TriggerValueFromKey(key))
    s.trigger.value = *v;
  else if (messages)
    messages->push_back(std::string("Setting ") + kIdTriggerValue + " '" + key +
                        "' unknown, default kept");
  Read<bool>(reg, kIdTriggerZenith, s.trigger.zenith, varBoolean, nullptr, messages);
  const auto level = [](double v) { return std::isfinite(v) && v > 0 && v <= 100; };
  const auto seconds = [](double v) { return std::isfinite(v) && v >= 0 && v <= 86400; };
  Read<double>(reg, kIdTriggerStart, s.trigger.startArcsec, varDouble, level, messages);
  Read<double>(reg, kIdTriggerStop, s.trigger.stopArcsec, varDouble, level, messages);
  if (s.trigger.stopArcsec < s.trigger.startArcsec) {
    if (messages) messages->push_back("Trigger stop level below the start level: both default");
    s.trigger.startArcsec = TTriggerConfig{}.startArcsec;
    s.trigger.stopArcsec = TTriggerConfig{}.stopArcsec;
  }
  Read<double>(reg, kIdTriggerMinGood, s.trigger.minGoodSec, varDouble, seconds, messages);
  Read<double>(reg, kIdTriggerMaxInvalid, s.trigger.maxInvalidSec, varDouble, seconds, messages);
  ReadText(reg, kIdOnGood, s.onGood);
  ReadText(reg, kIdOnBad, s.onBad);
  Read<double>(
      reg, kIdCommandTimeout, s.commandTimeoutSec, varDouble,
      [](double v) { return std::isfinite(v) && v >= 0.1 && v <= 3600; }, messages);
  ReadText(reg, kIdLiveFile, s.liveFile);
  Read<std::uint16_t>(reg, kIdAlpacaPort, s.alpacaPort, varWord, nullptr, messages);
  ReadText(reg, kIdAlpacaBind, s.alpacaBind);
  Read<bool>(reg, kIdAlpacaZenith, s.alpacaZenith, varBoolean, nullptr, messages);
  Read<std::uint16_t>(reg, kIdAlpacaDiscoveryPort, s.alpacaDiscoveryPort, varWord, nullptr,
                      messages);
  ReadText(reg, kIdAlpacaUniqueId, s.alpacaUniqueId);
  return s;
}

void WriteOutputSettings(TDatabaseRegistry& reg, const TOutputSettings& s) {
  const auto text = [&reg](const char* id, const std::string& v) {
    reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue::Text(v, varUString), id);
  };
  text(kIdTriggerValue, TriggerValueKey(s.trigger.value));
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(s.trigger.zenith), kIdTriggerZenith);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(s.trigger.startArcsec), kIdTriggerStart);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(s.trigger.stopArcsec), kIdTriggerStop);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(s.trigger.minGoodSec), kIdTriggerMinGood);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(s.trigger.maxInvalidSec),
                         kIdTriggerMaxInvalid);
  text(kIdOnGood, s.onGood);
  text(kIdOnBad, s.onBad);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(s.commandTimeoutSec), kIdCommandTimeout);
  text(kIdLiveFile, s.liveFile);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(s.alpacaPort), kIdAlpacaPort);
  text(kIdAlpacaBind, s.alpacaBind);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(s.alpacaZenith), kIdAlpacaZenith);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(s.alpacaDiscoveryPort),
                         kIdAlpacaDiscoveryPort);
  if (!s.alpacaUniqueId.empty()) text(kIdAlpacaUniqueId, s.alpacaUniqueId);
}

void ApplyOptions(const TOptions& o, TOutputSettings& s) {
  if (o.triggerValue)
    if (const auto v = TriggerValueFromKey(*o.triggerValue)) s.trigger.value = *v;
  if (o.triggerZenith) s.trigger.zenith = *o.triggerZenith;
  if (o.triggerStart) s.trigger.startArcsec = *o.triggerStart;
  if (o.triggerStop) s.trigger.stopArcsec = *o.triggerStop;
  // One level given alone may cross the stored other one: the band closes.
  if (s.trigger.stopArcsec < s.trigger.startArcsec) {
    if (o.triggerStart)
      s.trigger.stopArcsec = s.trigger.startArcsec;
    else
      s.trigger.startArcsec = s.trigger.stopArcsec;
  }
  if (o.triggerMinGood) s.trigger.minGoodSec = *o.triggerMinGood;
  if (o.triggerMaxInvalid) s.trigger.maxInvalidSec = *o.triggerMaxInvalid;
  if (o.onGood) s.onGood = *o.onGood;
  if (o.onBad) s.onBad = *o.onBad;
  if (o.commandTimeout) s.commandTimeoutSec = *o.commandTimeout;
  if (o.liveFile) s.liveFile = o.liveFile->empty() ? "none" : *o.liveFile;
  if (o.alpacaPort) s.alpacaPort = *o.alpacaPort;
  if (o.alpacaBind) s.alpacaBind = *o.alpacaBind;
  if (o.alpacaZenith) s.alpacaZenith = *o.alpacaZenith;
  if (o.alpacaDiscoveryPort) s.alpacaDiscoveryPort = *o.alpacaDiscoveryPort;
}

std::string LiveFilePath(const std::string& setting) {
  if (setting == "none") return {};
  if (!setting.empty()) return setting;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::string(runtime) + "/quorvel/live.json";
  return "/tmp/quorvel-" + std::to_string(::getuid()) + "/live.json";
}

std::vector<std::string> SplitCommandLine(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote)
        quote = 0;
      else if (c == '\\' && quote == '"' && i + 1 < text.size())
        word += text[++i];
      else
        word += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (c == '\\' && i + 1 < text.size()) {
      word += text[++i];
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quote) throw Exception("unclosed quote in the command \"" + text + "\"");
  if (inWord) words.push_back(word);
  return words;
}

}  // namespace quorvel
