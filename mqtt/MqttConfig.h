// What the MQTT publisher is told: the broker, the topics, the credentials'
// files and Home Assistant discovery; the checks of these values and the
// topics and discovery messages they give. Plain C++, no I/O.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvel {

// A full day at one results line a second: what waits while the broker is
// unreachable before the oldest lines go.
inline constexpr std::size_t kMqttDefaultMaxQueued = 86400;

struct TMqttConfig {
  bool enabled = false;
  std::string url;                 // mqtt://HOST[:PORT] or mqtts://HOST[:PORT]
  std::string prefix = "quorvel";  // first topic level(s)
  std::string station;             // empty: from the instrument's serial number
  std::string user;
  std::string passwordFile;       // the password is read from this file only
  std::string caFile;             // mqtts: CA certificates (default: the system's)
  std::string certFile, keyFile;  // mqtts: client certificate and its key
  bool discovery = true;          // Home Assistant discovery
  std::string discoveryPrefix = "homeassistant";
  std::size_t maxQueued = kMqttDefaultMaxQueued;
};

struct TMqttAddress {
  bool tls = false;
  std::string host;
  int port = 1883;
};

// "mqtt://host:port" (port 1883 by default) or "mqtts://host:port" (8883);
// an IPv6 literal in brackets. Nothing else: no path, no user in the URL.
// Returns nothing and an error text when the URL is not one of these.
std::optional<TMqttAddress> ParseMqttUrl(const std::string& url, std::string& error);

// Empty when the configuration can be used, else the first problem found,
// as an operator message.
std::string CheckMqttConfig(const TMqttConfig& config);

// A station name that makes one topic level: not empty, no '/', '+', '#' or
// control characters. Empty text when fine, else why not.
std::string CheckStationName(const std::string& station);

struct TMqttTopics {
  std::string status, state, measurement, trigger;
};
TMqttTopics MqttTopics(const std::string& prefix, const std::string& station);

// Letters, digits, '_' and '-' only, for Home Assistant's ids.
std::string DiscoveryId(const std::string& text);

// The retained Home Assistant discovery messages (topic, JSON payload) of a
// station: sensors for the seeing, r0, their zenith values and the means,
// the signal and the Sun's elevation, and a binary sensor for the trigger.
// With `remove` the same topics with empty payloads, which delete them.
std::vector<std::pair<std::string, std::string>> DiscoveryMessages(const TMqttConfig& config,
                                                                   const std::string& station,
                                                                   const std::string& swVersion,
                                                                   bool remove = false);

}  // namespace quorvel
