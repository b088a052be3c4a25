// The MQTT client of the program, on libmosquitto. Publish() only queues and
// returns at once; one thread of its own talks to the broker. Measurements
// wait in a bounded queue, in order, while the broker cannot be reached, and
// leave it only when the broker has acknowledged them (QoS 1). libmosquitto
// never holds more than a small window of messages, so neither a broker that
// never answers nor one that stops reading grows memory beyond the queue.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "live/LiveSnapshot.h"
#include "mqtt/MqttConfig.h"

namespace quorvel {

// Messages handed to libmosquitto and not yet acknowledged (written out, for
// QoS 0), at most.
inline constexpr int kMqttWindow = 32;

class TMqttPublisher {
 public:
  // On the publisher's thread; must not block.
  using TLog = std::function<void(const std::string&)>;

  // `config` must pass CheckMqttConfig; `password` is what the password file
  // holds (empty: none). Starts the thread; connects once the station's name
  // is known (configured, or the first snapshot with a serial number).
  TMqttPublisher(const TMqttConfig& config, std::string password, std::string swVersion, TLog log);
  ~TMqttPublisher();
  TMqttPublisher(const TMqttPublisher&) = delete;
  TMqttPublisher& operator=(const TMqttPublisher&) = delete;

  // Any thread; never waits for the network.
  void Publish(const std::shared_ptr<const TLiveSnapshot>& snapshot);

  // A clean end: what is queued goes out while the broker takes it, for at
  // most `flushMs`; then "offline" on the status topic and a disconnection.
  // Waits for the thread. Later calls do nothing.
  void Finish(int flushMs);

  struct TStats {
    bool connected = false;
    std::size_t queued = 0;          // measurements not yet acknowledged
    std::uint64_t dropped = 0;       // measurements dropped, queue full
    std::uint64_t acknowledged = 0;  // measurements the broker acknowledged
    int outstanding = 0;             // messages inside libmosquitto now
    int maxOutstanding = 0;          // the most there ever were
    std::uint64_t connections = 0;   // successful connections so far
  };
  TStats Stats() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace quorvel
