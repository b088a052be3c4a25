// The live outputs' side of the acquisition cycle: the cycle hands one
// immutable snapshot to the hub, the hub to every output. An output never
// works on the cycle's thread: it queues the snapshot and returns, so a dead,
// slow or hostile peer cannot delay a measurement, and its queue is bounded.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "live/LiveSnapshot.h"

namespace quorvel {

using TSnapshotPtr = std::shared_ptr<const TLiveSnapshot>;

class ILiveOutput {
 public:
  virtual ~ILiveOutput() = default;
  // Called on the cycle's thread; must return at once.
  virtual void Publish(const TSnapshotPtr& snapshot) = 0;
};

class TLiveHub {
 public:
  // The hub does not own its outputs; they outlive it or are removed first.
  void Add(ILiveOutput* output);
  void Remove(ILiveOutput* output);
  void Publish(const TLiveSnapshot& snapshot);
  // The last snapshot published (none before the first cycle).
  TSnapshotPtr Last() const { return last_; }

 private:
  std::vector<ILiveOutput*> outputs_;
  TSnapshotPtr last_;
};

// An output that works on a thread of its own: Publish only queues.
// Measurement snapshots (those with a results line) are kept, in order, up
// to `maxQueued`; beyond that the oldest is dropped and counted. Other
// snapshots only replace the newest pending one, since only the latest
// state matters.
class TSnapshotWorker : public ILiveOutput {
 public:
  explicit TSnapshotWorker(std::size_t maxQueued);
  ~TSnapshotWorker() override;

  void Publish(const TSnapshotPtr& snapshot) override;

  // Snapshots dropped since the start because the queue was full.
  std::uint64_t Dropped() const;
  std::size_t Queued() const;

 protected:
  // The derived class starts the thread once it is fully built, and stops it
  // in its destructor before its members go.
  void Start();
  void Stop();
  // On the worker's thread, one snapshot at a time, in order.
  virtual void Consume(const TSnapshotPtr& snapshot) = 0;
  // On the worker's thread when the queue has stayed empty for `idleMs`
  // (0: never); for time-outs and reconnections.
  virtual void Idle() {}
  void SetIdleMs(int idleMs) { idleMs_ = idleMs; }

 private:
  void Run();

  const std::size_t maxQueued_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<TSnapshotPtr> queue_;
  std::uint64_t dropped_ = 0;
  bool stopping_ = false;
  int idleMs_ = 0;
  std::thread thread_;
};

}  // namespace quorvel
