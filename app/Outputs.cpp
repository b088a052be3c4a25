#include "app/Outputs.h"

#include <QCoreApplication>
#include <QUuid>
#include <cstdio>

#include "app/AlpacaServer.h"
#include "app/LiveFile.h"
#include "app/MainCore.h"
#include "app/TriggerCommands.h"
#include "common/Angles.h"
#include "common/EventLog.h"
#include "measure/Declarations.h"
#include "records/BuildStamp.h"
#include "records/ProgramSettings.h"
#include "records/SettingsStore.h"

namespace quorvel {

TOutputs::TOutputs(TMainCore& core, TDatabaseRegistry* settings, const TOptions& options)
    : core_(core), settings_(settings) {
  TOutputSettings s;
  if (settings_) {
    std::vector<std::string> messages;
    s = ReadOutputSettings(*settings_, &messages);
    for (const auto& m : messages) Log(m);
  }
  ApplyOptions(options, s);
  commands_ = std::make_unique<TTriggerCommands>([this](const std::string& t) { Log(t); });
  core_.OnTriggerChange = [this](const TTriggerChange& change, const TLiveSnapshot& snapshot) {
    commands_->OnChange(core_.Trigger().Config(), change, snapshot);
  };
  // Everything starts from "nothing running".
  current_.liveFile = "none";
  current_.alpacaPort = 0;
  Apply(s);
}

TOutputs::~TOutputs() {
  core_.OnTriggerChange = nullptr;
  if (liveFile_) core_.Live().Remove(liveFile_.get());
  if (alpaca_) core_.Live().Remove(alpaca_.get());
  alpaca_.reset();
  liveFile_.reset();
  commands_.reset();
  // What the workers logged last is still waiting for the event loop.
  QCoreApplication::sendPostedEvents(&core_);
}

void TOutputs::Log(const std::string& text) {
  // Workers call this from their own threads: the line goes to the log on
  // the core's thread.
  TMainCore* core = &core_;
  QMetaObject::invokeMethod(
      core, [core, text] { AddtoMemoLog(core->View().Memo(), text); }, Qt::QueuedConnection);
}

void TOutputs::Apply(const TOutputSettings& s) {
  const TOutputSettings old = current_;
  current_ = s;
  if (const std::string e = CheckTriggerConfig(s.trigger); !e.empty()) {
    Log("Seeing trigger settings not used : " + e);
    current_.trigger = old.trigger;
  }
  core_.Trigger().SetConfig(current_.trigger);
  commands_->Configure(current_.onGood, current_.onBad, current_.commandTimeoutSec);

  if (LiveFilePath(old.liveFile) != LiveFilePath(current_.liveFile) || !liveFile_) {
    if (liveFile_) {
      core_.Live().Remove(liveFile_.get());
      liveFile_.reset();
    }
    const std::string path = LiveFilePath(current_.liveFile);
    if (!path.empty()) {
      liveFile_ = std::make_unique<TLiveFileWriter>(path, [this](const std::string& t) { Log(t); });
      core_.Live().Add(liveFile_.get());
    }
  }

  const bool alpacaChanged = old.alpacaPort != current_.alpacaPort ||
                             old.alpacaBind != current_.alpacaBind ||
                             old.alpacaZenith != current_.alpacaZenith ||
                             old.alpacaDiscoveryPort != current_.alpacaDiscoveryPort;
  if (alpacaChanged || (!alpaca_ && current_.alpacaPort != 0)) {
    if (alpaca_) {
      core_.Live().Remove(alpaca_.get());
      alpaca_.reset();
    }
    if (current_.alpacaPort != 0) StartAlpaca();
  }
}

void TOutputs::StartAlpaca() {
  if (current_.alpacaUniqueId.empty()) {
    // Made once and kept, so clients know the device again after a restart.
    current_.alpacaUniqueId = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    if (settings_)
      settings_->WriteCFGtoRegister(kSettingsSection,
                                    TTaggedValue::Text(current_.alpacaUniqueId, varUString),
                                    kIdAlpacaUniqueId);
  }
  TAlpacaServerConfig c;
  c.port = current_.alpacaPort;
  c.bind = current_.alpacaBind;
  c.discoveryPort = current_.alpacaDiscoveryPort;
  c.info.uniqueId = current_.alpacaUniqueId;
  c.info.version = BuildVersionString();
  while (!c.info.version.empty() && c.info.version.front() == ' ') c.info.version.erase(0, 1);
  c.info.zenith = current_.alpacaZenith;
  char site[128];
  std::snprintf(site, sizeof site, "latitude %.4f, longitude %.4f (east positive), %.0f m",
                SetupLocation.Latitude * kRadToDeg, -SetupLocation.Longitude * kRadToDeg,
                SetupLocation.AltitudeM);
  c.info.location = site;
  alpaca_ = std::make_unique<TAlpacaServer>(c, [this](const std::string& t) { Log(t); });
  // The values so far, so a client gets the last valid seeing at once.
  if (const auto last = core_.Live().Last()) alpaca_->Publish(last);
  if (!alpaca_->Start()) {
    alpaca_.reset();
    return;
  }
  core_.Live().Add(alpaca_.get());
}

std::uint16_t TOutputs::AlpacaPort() const {
  return alpaca_ ? alpaca_->Port() : 0;
}

}  // namespace quorvel
