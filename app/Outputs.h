// The live outputs of one run: the seeing trigger's settings and commands,
// the live file and the Alpaca device, set up from the settings store and the
// command line, and set up again when the Outputs dialog applies new values.
#pragma once

#include <memory>
#include <string>

#include "app/OutputSettings.h"

namespace quorvel {

class TMainCore;
class TLiveFileWriter;
class TTriggerCommands;
class TAlpacaServer;

class TOutputs {
 public:
  // Reads the stored settings, lays the options over them and starts what
  // they ask for. `settings` may be none (tests).
  TOutputs(TMainCore& core, TDatabaseRegistry* settings, const TOptions& options);
  ~TOutputs();

  // What is in effect now.
  const TOutputSettings& Current() const { return current_; }
  // New settings (the Outputs dialog): applied at once; the caller stores
  // them. Only the parts that changed are restarted.
  void Apply(const TOutputSettings& settings);
  // The Alpaca device's TCP port, 0 when off or not listening.
  std::uint16_t AlpacaPort() const;

 private:
  void Log(const std::string& text);
  void StartAlpaca();

  TMainCore& core_;
  TDatabaseRegistry* settings_;
  TOutputSettings current_;
  std::unique_ptr<TLiveFileWriter> liveFile_;
  std::unique_ptr<TTriggerCommands> commands_;
  std::unique_ptr<TAlpacaServer> alpaca_;
};

}  // namespace quorvel
