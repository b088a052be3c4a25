#include "mqtt/MqttSettings.h"

#include <algorithm>
#include <cstdint>

#include "records/ProgramSettings.h"
#include "records/TaggedValue.h"

namespace quorvel {

namespace {

struct TTextValue {
  const char* id;
  std::string TMqttConfig::*field;
};

const TTextValue kTexts[] = {
    {kIdMqttUrl, &TMqttConfig::url},
    {kIdMqttPrefix, &TMqttConfig::prefix},
    {kIdMqttStation, &TMqttConfig::station},
    {kIdMqttUser, &TMqttConfig::user},
    {kIdMqttPasswordFile, &TMqttConfig::passwordFile},
    {kIdMqttCaFile, &TMqttConfig::caFile},
    {kIdMqttCertFile, &TMqttConfig::certFile},
    {kIdMqttKeyFile, &TMqttConfig::keyFile},
    {kIdMqttDiscoveryPrefix, &TMqttConfig::discoveryPrefix},
};

}  // namespace

std::vector<std::string> ReadMqttSettings(TDatabaseRegistry& reg, TMqttConfig& config) {
  std::vector<std::string> problems;
  const auto note = [&](bool ok) {
    // A value that is simply absent is no problem: the default holds.
    if (!ok && reg.ErrorMessage.find("does not exists") == std::string::npos &&
        reg.ErrorMessage.find(" not found!") == std::string::npos)
      problems.push_back(reg.ErrorMessage);
  };
  note(reg.ReadValueRegisterDFset(kSettingsSection, config.enabled, kIdMqttEnabled, varBoolean));
  for (const TTextValue& t : kTexts)
    note(reg.ReadValueRegisterDFset(kSettingsSection, config.*t.field, t.id, varString));
  note(
      reg.ReadValueRegisterDFset(kSettingsSection, config.discovery, kIdMqttDiscovery, varBoolean));
  std::uint32_t queue = static_cast<std::uint32_t>(config.maxQueued);
  note(reg.ReadValueRegisterDFset(kSettingsSection, queue, kIdMqttQueueMax, varLongWord));
  if (queue >= 1) config.maxQueued = queue;
  return problems;
}

void WriteMqttSettings(TDatabaseRegistry& reg, const TMqttConfig& config) {
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(config.enabled), kIdMqttEnabled);
  for (const TTextValue& t : kTexts)
    reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue::Text(config.*t.field), t.id);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(config.discovery), kIdMqttDiscovery);
  reg.WriteCFGtoRegister(
      kSettingsSection,
      TTaggedValue::Integer(varLongWord, static_cast<std::int64_t>(
                                             std::min<std::size_t>(config.maxQueued, 0xFFFFFFFFu))),
      kIdMqttQueueMax);
}

}  // namespace quorvel
