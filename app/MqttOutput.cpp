#include "app/MqttOutput.h"

#include "common/Errors.h"
#include "mqtt/MqttSecrets.h"
#include "mqtt/MqttSettings.h"
#include "records/BuildStamp.h"

namespace quorvel {

namespace {

// Time a clean end gives the queue to reach the broker.
constexpr int kFinishFlushMs = 5000;
// A restart from the settings dialog keeps the window waiting less.
constexpr int kRestartFlushMs = 1000;

}  // namespace

TMqttConfig ResolveMqttConfig(TDatabaseRegistry* settings, const TOptions& o,
                              std::vector<std::string>& problems) {
  TMqttConfig c;
  if (settings) {
    const auto p = ReadMqttSettings(*settings, c);
    problems.insert(problems.end(), p.begin(), p.end());
  }
  if (o.mqttUrl) {
    c.enabled = *o.mqttUrl != "off";
    if (c.enabled) c.url = *o.mqttUrl;
  }
  const auto take = [](std::string& field, const std::optional<std::string>& v) {
    if (v) field = *v;
  };
  take(c.prefix, o.mqttPrefix);
  take(c.station, o.mqttStation);
  take(c.user, o.mqttUser);
  take(c.passwordFile, o.mqttPasswordFile);
  take(c.caFile, o.mqttCa);
  take(c.certFile, o.mqttCert);
  take(c.keyFile, o.mqttKey);
  take(c.discoveryPrefix, o.mqttDiscoveryPrefix);
  if (o.mqttDiscovery) c.discovery = *o.mqttDiscovery;
  if (o.mqttQueue) c.maxQueued = *o.mqttQueue;
  return c;
}

std::string MqttSoftwareVersion() {
  const TBuildStamp s = CompiledBuildStamp();
  return std::to_string(s.Major) + "." + std::to_string(s.Minor) + "." + std::to_string(s.Patch);
}

TMqttOutput::TMqttOutput(ILogSink& log) : log_(log) {}

TMqttOutput::~TMqttOutput() {
  // Normally finished already; the log may be gone by now, so whatever the
  // publisher still says is not written.
  if (!publisher_) return;
  {
    std::lock_guard<std::mutex> lock(heldMutex_);
    holding_ = true;
  }
  publisher_->Finish(0);
}

void TMqttOutput::PostLog(const std::string& line) {
  {
    std::lock_guard<std::mutex> lock(heldMutex_);
    if (holding_) {
      held_.push_back(line);
      return;
    }
  }
  QMetaObject::invokeMethod(
      this, [this, line] { AddtoMemoLog(log_, line); }, Qt::QueuedConnection);
}

void TMqttOutput::Apply(const TMqttConfig& config) {
  std::unique_ptr<TMqttPublisher> next;
  if (config.enabled) {
    const std::string problem = CheckMqttConfig(config);
    if (!problem.empty()) throw Exception(problem);
    const std::string password =
        config.passwordFile.empty() ? std::string() : ReadMqttPasswordFile(config.passwordFile);
    next = std::make_unique<TMqttPublisher>(config, password, MqttSoftwareVersion(),
                                            [this](const std::string& l) { PostLog(l); });
  }
  Stop(kRestartFlushMs);
  config_ = config;
  publisher_ = std::move(next);
  if (publisher_) {
    AddtoMemoLog(log_, "MQTT: publishing to " + config.url + " under " + config.prefix + "/" +
                           (config.station.empty() ? std::string("<station>") : config.station) +
                           (config.discovery ? ", with Home Assistant discovery" : ""));
  }
}

void TMqttOutput::Stop(int flushMs) {
  if (!publisher_) return;
  {
    std::lock_guard<std::mutex> lock(heldMutex_);
    holding_ = true;
  }
  publisher_->Finish(flushMs);
  publisher_.reset();
  std::vector<std::string> lines;
  {
    std::lock_guard<std::mutex> lock(heldMutex_);
    holding_ = false;
    lines.swap(held_);
  }
  for (const auto& l : lines) AddtoMemoLog(log_, l);
}

void TMqttOutput::Finish() {
  Stop(kFinishFlushMs);
}

void TMqttOutput::Publish(const TSnapshotPtr& snapshot) {
  if (publisher_) publisher_->Publish(snapshot);
}

std::optional<TMqttPublisher::TStats> TMqttOutput::Stats() const {
  if (!publisher_) return std::nullopt;
  return publisher_->Stats();
}

}  // namespace quorvel
