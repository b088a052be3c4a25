// The Alpaca device on the network: an HTTP server (Qt HTTP Server) and the
// UDP discovery responder, both on a thread of their own with its own event
// loop. The cycle only notes the snapshot's values under a short lock; every
// request is answered from the latest values. Hostile clients are held to
// limits: open connections, bytes and time per request.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "alpaca/AlpacaDevice.h"
#include "app/LiveHub.h"

namespace quorvel {

struct TAlpacaServerConfig {
  std::uint16_t port = 0;
  std::string bind;  // empty: every address
  std::uint16_t discoveryPort = 32227;
  TAlpacaInfo info;
  // Limits against hostile clients.
  int maxConnections = 64;
  std::int64_t maxRequestBytes = 64 * 1024;
  int requestTimeoutMs = 10000;
};

class TAlpacaServer final : public ILiveOutput {
 public:
  // `log` is called from the server's thread.
  TAlpacaServer(TAlpacaServerConfig config, std::function<void(const std::string&)> log);
  ~TAlpacaServer() override;

  // Listens; false (with the reason logged) when the port cannot be had.
  // Discovery failing is logged and leaves the HTTP side running.
  bool Start();
  void Stop();
  std::uint16_t Port() const { return boundPort_; }

  void Publish(const TSnapshotPtr& snapshot) override;

  // For the server's thread.
  TAlpacaResponse Handle(const TAlpacaRequest& request);
  const TAlpacaServerConfig& Config() const { return config_; }
  void Log(const std::string& text) const {
    if (log_) log_(text);
  }

 private:
  TAlpacaServerConfig config_;
  std::function<void(const std::string&)> log_;
  std::mutex mutex_;  // guards values_
  TAlpacaValues values_;
  TAlpacaDevice device_;  // the server's thread only
  std::uint16_t boundPort_ = 0;
  class TThread;
  std::unique_ptr<TThread> thread_;
};

}  // namespace quorvel
