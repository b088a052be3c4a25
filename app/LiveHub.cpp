#include "app/LiveHub.h"

#include <algorithm>
#include <chrono>

namespace quorvel {

void TLiveHub::Add(ILiveOutput* output) {
  if (std::find(outputs_.begin(), outputs_.end(), output) == outputs_.end())
    outputs_.push_back(output);
}

void TLiveHub::Remove(ILiveOutput* output) {
  outputs_.erase(std::remove(outputs_.begin(), outputs_.end(), output), outputs_.end());
}

void TLiveHub::Publish(const TLiveSnapshot& snapshot) {
  last_ = std::make_shared<const TLiveSnapshot>(snapshot);
  for (ILiveOutput* o : outputs_) o->Publish(last_);
}

TSnapshotWorker::TSnapshotWorker(std::size_t maxQueued)
    : maxQueued_(std::max<std::size_t>(maxQueued, 1)) {}

TSnapshotWorker::~TSnapshotWorker() {
  Stop();
}

void TSnapshotWorker::Start() {
  if (thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this] { Run(); });
}

void TSnapshotWorker::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TSnapshotWorker::Publish(const TSnapshotPtr& snapshot) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A pending state without a measurement is superseded by the new one.
    if (!queue_.empty() && !queue_.back()->measurement) queue_.pop_back();
    queue_.push_back(snapshot);
    while (queue_.size() > maxQueued_) {
      queue_.pop_front();
      ++dropped_;
    }
  }
  wake_.notify_one();
}

std::uint64_t TSnapshotWorker::Dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

std::size_t TSnapshotWorker::Queued() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

void TSnapshotWorker::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    const auto ready = [this] { return stopping_ || !queue_.empty(); };
    if (idleMs_ > 0) {
      if (!wake_.wait_for(lock, std::chrono::milliseconds(idleMs_), ready)) {
        lock.unlock();
        Idle();
        lock.lock();
        continue;
      }
    } else {
      wake_.wait(lock, ready);
    }
    if (stopping_) return;
    TSnapshotPtr next = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    Consume(next);
    lock.lock();
  }
}

}  // namespace quorvel
