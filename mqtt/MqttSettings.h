// The MQTT values of the settings store, under "\General" beside the
// program's five. The password itself is never stored: only its file's path.
#pragma once

#include <string>
#include <vector>

#include "mqtt/MqttConfig.h"
#include "records/SettingsStore.h"

namespace quorvel {

inline constexpr char kIdMqttEnabled[] = "MqttEnabled";                  // kind 11
inline constexpr char kIdMqttUrl[] = "MqttUrl";                          // kind 256
inline constexpr char kIdMqttPrefix[] = "MqttPrefix";                    // kind 256
inline constexpr char kIdMqttStation[] = "MqttStation";                  // kind 256
inline constexpr char kIdMqttUser[] = "MqttUser";                        // kind 256
inline constexpr char kIdMqttPasswordFile[] = "MqttPasswordFile";        // kind 256
inline constexpr char kIdMqttCaFile[] = "MqttCaFile";                    // kind 256
inline constexpr char kIdMqttCertFile[] = "MqttCertFile";                // kind 256
inline constexpr char kIdMqttKeyFile[] = "MqttKeyFile";                  // kind 256
inline constexpr char kIdMqttDiscovery[] = "MqttDiscovery";              // kind 11
inline constexpr char kIdMqttDiscoveryPrefix[] = "MqttDiscoveryPrefix";  // kind 256
inline constexpr char kIdMqttQueueMax[] = "MqttQueueMax";                // kind 19

// Reads the MQTT values into `config`; a value that is missing or unreadable
// keeps what `config` holds. Returns the messages of values that were there
// but could not be read.
std::vector<std::string> ReadMqttSettings(TDatabaseRegistry& reg, TMqttConfig& config);

// Stores every MQTT value of `config`.
void WriteMqttSettings(TDatabaseRegistry& reg, const TMqttConfig& config);

}  // namespace quorvel
