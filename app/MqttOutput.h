// The MQTT publisher as one of the program's live outputs: its configuration
// from the settings store with the command line's values on top, its log
// lines in the program's log (posted to the main thread), a restart when the
// operator changes it, and a clean end when the program quits.
#pragma once

#include <QObject>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/LiveHub.h"
#include "app/Options.h"
#include "common/EventLog.h"
#include "mqtt/MqttConfig.h"
#include "mqtt/MqttPublisher.h"

namespace quorvel {

class TDatabaseRegistry;

// The stored MQTT settings (none: the defaults), then every MQTT option given
// on the command line. Values that were stored but could not be read are
// added to `problems`.
TMqttConfig ResolveMqttConfig(TDatabaseRegistry* settings, const TOptions& options,
                              std::vector<std::string>& problems);

// "1.0.0", for Home Assistant's device.
std::string MqttSoftwareVersion();

class TMqttOutput final : public QObject, public ILiveOutput {
 public:
  explicit TMqttOutput(ILogSink& log);
  ~TMqttOutput() override;

  // Starts, restarts or stops (config.enabled false) the publisher. Raises
  // quorvel::Exception with an operator message when the configuration
  // cannot be used (a bad value, an unreadable or unprotected password
  // file); the running publisher is then left as it is.
  void Apply(const TMqttConfig& config);
  const TMqttConfig& Config() const { return config_; }
  bool Running() const { return publisher_ != nullptr; }
  std::optional<TMqttPublisher::TStats> Stats() const;

  // ILiveOutput: on the cycle's thread, returns at once.
  void Publish(const TSnapshotPtr& snapshot) override;

  // The end of the run: what is queued goes out while the broker takes it
  // (a few seconds at most), then "offline" and the disconnection.
  void Finish();

 private:
  void Stop(int flushMs);
  void PostLog(const std::string& line);

  ILogSink& log_;
  TMqttConfig config_;
  std::unique_ptr<TMqttPublisher> publisher_;
  // Lines of a publisher that is being stopped: the main thread waits for
  // it, then writes them.
  std::mutex heldMutex_;
  bool holding_ = false;
  std::vector<std::string> held_;
};

}  // namespace quorvel
