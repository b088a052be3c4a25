#include "mqtt/MqttConfig.h"

#include <cctype>

#include "common/Format.h"
#include "live/LiveSnapshot.h"

namespace quorvel {

namespace {

bool HasControl(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

// A topic prefix: one or more levels, none empty, no wildcards.
std::string CheckPrefix(const char* what, const std::string& p) {
  if (p.empty()) return std::string(what) + " must not be empty";
  if (p.find_first_of("+#") != std::string::npos || HasControl(p))
    return std::string(what) + " '" + p + "' must not hold '+', '#' or control characters";
  if (p.front() == '/' || p.back() == '/' || p.find("//") != std::string::npos)
    return std::string(what) + " '" + p + "' has an empty topic level";
  return {};
}

}  // namespace

std::optional<TMqttAddress> ParseMqttUrl(const std::string& url, std::string& error) {
  TMqttAddress a;
  std::string rest;
  if (url.rfind("mqtt://", 0) == 0) {
    rest = url.substr(7);
  } else if (url.rfind("mqtts://", 0) == 0) {
    rest = url.substr(8);
    a.tls = true;
    a.port = 8883;
  } else {
    error =
        "the MQTT broker's URL must be mqtt://HOST:PORT or mqtts://HOST:PORT, not '" + url + "'";
    return std::nullopt;
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  std::string portText;
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    if (close == std::string::npos) {
      error = "the MQTT broker's URL '" + url + "' has an unclosed '['";
      return std::nullopt;
    }
    a.host = rest.substr(1, close - 1);
    const std::string after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') {
        error = "the MQTT broker's URL '" + url + "' has text after the address";
        return std::nullopt;
      }
      portText = after.substr(1);
      if (portText.empty()) portText = "-";
    }
  } else {
    const auto colon = rest.rfind(':');
    a.host = rest.substr(0, colon);
    if (colon != std::string::npos) portText = rest.substr(colon + 1);
    if (colon != std::string::npos && portText.empty()) portText = "-";
  }
  if (a.host.empty() || HasControl(a.host) || a.host.find_first_of("/@?# ") != std::string::npos ||
      (url[a.tls ? 8 : 7] != '[' && a.host.find(':') != std::string::npos)) {
    error = "the MQTT broker's URL '" + url + "' needs a host name or address (mqtt://HOST:PORT)";
    return std::nullopt;
  }
  if (!portText.empty()) {
    const auto port = ParseInt64(portText);
    if (!port || *port < 1 || *port > 65535) {
      error = "the MQTT broker's URL '" + url + "' needs a port from 1 to 65535";
      return std::nullopt;
    }
    a.port = static_cast<int>(*port);
  }
  return a;
}

std::string CheckStationName(const std::string& station) {
  if (station.empty()) return "the MQTT station name must not be empty";
  if (station.find_first_of("/+#") != std::string::npos || HasControl(station))
    return "the MQTT station name '" + station +
           "' must be one topic level: no '/', '+', '#' or control characters";
  return {};
}

std::string CheckMqttConfig(const TMqttConfig& c) {
  std::string error;
  const auto address = ParseMqttUrl(c.url, error);
  if (!address) return error;
  if (auto e = CheckPrefix("the MQTT topic prefix", c.prefix); !e.empty()) return e;
  if (!c.station.empty())
    if (auto e = CheckStationName(c.station); !e.empty()) return e;
  if (c.discovery)
    if (auto e = CheckPrefix("the Home Assistant discovery prefix", c.discoveryPrefix); !e.empty())
      return e;
  if (!c.passwordFile.empty() && c.user.empty())
    return "an MQTT password file needs a user name (--mqtt-user)";
  if (c.certFile.empty() != c.keyFile.empty())
    return "an MQTT client certificate needs both --mqtt-cert and --mqtt-key";
  if (!address->tls && (!c.caFile.empty() || !c.certFile.empty()))
    return "MQTT certificates need a TLS broker URL (mqtts://HOST:PORT)";
  if (c.maxQueued < 1) return "the MQTT queue must hold at least one measurement";
  return {};
}

TMqttTopics MqttTopics(const std::string& prefix, const std::string& station) {
  const std::string base = prefix + "/" + station + "/";
  return {base + "status", base + "state", base + "measurement", base + "trigger"};
}

std::string DiscoveryId(const std::string& text) {
  std::string out;
  for (unsigned char c : text)
    out += std::isalnum(c) || c == '_' || c == '-' ? static_cast<char>(c) : '_';
  return out.empty() ? "quorvel" : out;
}

std::vector<std::pair<std::string, std::string>> DiscoveryMessages(const TMqttConfig& config,
                                                                   const std::string& station,
                                                                   const std::string& swVersion,
                                                                   bool remove) {
  struct TSensor {
    const char* key;
    const char* name;
    const char* unit;
  };
  static const TSensor sensors[] = {
      {"seeing_arcsec", "Seeing", "arcsec"},
      {"r0_mm", "r0", "mm"},
      {"seeing_zenith_arcsec", "Seeing at zenith", "arcsec"},
      {"r0_zenith_mm", "r0 at zenith", "mm"},
      {"seeing_1min_arcsec", "Seeing 1-minute mean", "arcsec"},
      {"seeing_5min_arcsec", "Seeing 5-minute mean", "arcsec"},
      {"seeing_1min_zenith_arcsec", "Seeing 1-minute mean at zenith", "arcsec"},
      {"seeing_5min_zenith_arcsec", "Seeing 5-minute mean at zenith", "arcsec"},
      {"signal_mV", "Sun signal", "mV"},
      {"sun_elevation_deg", "Sun elevation", "\xC2\xB0"},
  };
  const TMqttTopics topics = MqttTopics(config.prefix, station);
  const std::string node = DiscoveryId(station);
  const std::string device = "{\"identifiers\":[" + JsonString("quorvel_" + node) +
                             "],\"name\":" + JsonString(station) +
                             ",\"manufacturer\":\"Quorvel\",\"model\":\"Solar seeing monitor\"" +
                             ",\"sw_version\":" + JsonString(swVersion) + "}";
  const std::string availability = ",\"availability_topic\":" + JsonString(topics.status) +
                                   ",\"payload_available\":\"online\"" +
                                   ",\"payload_not_available\":\"offline\"";
  std::vector<std::pair<std::string, std::string>> out;
  for (const TSensor& s : sensors) {
    const std::string topic = config.discoveryPrefix + "/sensor/" + node + "/" + s.key + "/config";
    std::string payload;
    if (!remove) {
      payload =
          "{\"name\":" + JsonString(s.name) + ",\"unique_id\":" + JsonString(node + "_" + s.key) +
          ",\"state_topic\":" + JsonString(topics.state) +
          ",\"value_template\":" + JsonString(std::string("{{ value_json.") + s.key + " }}") +
          ",\"unit_of_measurement\":" + JsonString(s.unit) + ",\"state_class\":\"measurement\"" +
          (std::string(s.key) == "signal_mV" ? ",\"device_class\":\"voltage\"" : "") +
          availability + ",\"device\":" + device + "}";
    }
    out.emplace_back(topic, payload);
  }
  const std::string topic = config.discoveryPrefix + "/binary_sensor/" + node + "/trigger/config";
  std::string payload;
  if (!remove) {
    // Anything but good or bad renders None, which Home Assistant shows as
    // unknown.
    payload = "{\"name\":\"Seeing trigger\",\"unique_id\":" + JsonString(node + "_trigger") +
              ",\"state_topic\":" + JsonString(topics.trigger) + ",\"value_template\":" +
              JsonString("{{ value if value in ('good', 'bad') else 'None' }}") +
              ",\"payload_on\":\"good\",\"payload_off\":\"bad\"" + availability +
              ",\"device\":" + device + "}";
  }
  out.emplace_back(topic, payload);
  return out;
}

}  // namespace quorvel
