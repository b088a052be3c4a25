// The live file: the latest snapshot as one JSON object, replaced atomically
// every cycle (written beside it, then renamed over it), so a script never
// reads half a file. Written on a thread of its own.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "app/LiveHub.h"

namespace quorvel {

class TLiveFileWriter final : public TSnapshotWorker {
 public:
  // `log` is called from the writer's thread, once per new trouble and once
  // when writing works again.
  TLiveFileWriter(std::string path, std::function<void(const std::string&)> log);
  ~TLiveFileWriter() override;
  const std::string& Path() const { return path_; }
  void Publish(const TSnapshotPtr& snapshot) override;

  // Writes `json` plus a line end to `path` atomically; the error text, or
  // empty. The folder is made (mode 0700) when missing.
  static std::string WriteAtomically(const std::string& path, const std::string& json);

 private:
  void Consume(const TSnapshotPtr& snapshot) override;

  const std::string path_;
  std::function<void(const std::string&)> log_;
  std::string lastError_;
  // The newest snapshot handed over and the last one written: the file is
  // brought up to date when the writer stops, whatever was skipped.
  std::mutex lastMutex_;
  TSnapshotPtr newest_;
  TSnapshotPtr written_;
};

}  // namespace quorvel
