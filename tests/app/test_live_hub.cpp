#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "app/LiveHub.h"

namespace quorvel {
namespace {

// An output whose consumer can be held still, like a peer that stopped
// reading.
class THeldWorker final : public TSnapshotWorker {
 public:
  explicit THeldWorker(std::size_t max) : TSnapshotWorker(max) { Start(); }
  ~THeldWorker() override {
    Release();
    Stop();
  }
  void Hold() {
    std::lock_guard<std::mutex> l(m_);
    held_ = true;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> l(m_);
      held_ = false;
    }
    cv_.notify_all();
  }
  std::vector<std::int64_t> Seen() {
    std::lock_guard<std::mutex> l(m_);
    return seen_;
  }
  bool WaitFor(std::size_t n) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
      if (Seen().size() >= n) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

 protected:
  void Consume(const TSnapshotPtr& s) override {
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [this] { return !held_; });
    seen_.push_back(s->utcMs);
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool held_ = false;
  std::vector<std::int64_t> seen_;
};

TSnapshotPtr Snap(std::int64_t t, bool line) {
  auto s = std::make_shared<TLiveSnapshot>();
  s->utcMs = t;
  if (line) s->measurement = TLiveMeasurement{};
  return s;
}

TEST(LiveHub, MeasurementsArriveInOrderAndAStuckPeerCostsABoundedQueue) {
  THeldWorker w(100);
  w.Hold();
  w.Publish(Snap(0, true));  // taken, then held in Consume
  ASSERT_TRUE([&] {
    for (int i = 0; i < 500 && w.Queued() != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return w.Queued() == 0;
  }());
  const auto start = std::chrono::steady_clock::now();
  for (int t = 1; t <= 1000; ++t) w.Publish(Snap(t, true));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::seconds(1));  // never waits for the peer
  EXPECT_EQ(w.Queued(), 100u);
  EXPECT_EQ(w.Dropped(), 900u);
  w.Release();
  ASSERT_TRUE(w.WaitFor(101));
  const auto seen = w.Seen();
  ASSERT_EQ(seen.size(), 101u);
  EXPECT_EQ(seen.front(), 0);
  // The newest 100, in order: the oldest were dropped.
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(seen[i], 900 + std::int64_t(i));
}

TEST(LiveHub, AStateWithoutALineOnlyReplacesTheNewestPendingState) {
  THeldWorker w(100);
  w.Hold();
  w.Publish(Snap(0, false));
  ASSERT_TRUE([&] {
    for (int i = 0; i < 500 && w.Queued() != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return w.Queued() == 0;
  }());
  w.Publish(Snap(1, false));
  w.Publish(Snap(2, true));
  w.Publish(Snap(3, false));
  w.Publish(Snap(4, false));
  EXPECT_EQ(w.Queued(), 2u);
  w.Release();
  ASSERT_TRUE(w.WaitFor(3));
  EXPECT_EQ(w.Seen(), (std::vector<std::int64_t>{0, 2, 4}));
  EXPECT_EQ(w.Dropped(), 0u);
}

TEST(LiveHub, EveryOutputGetsTheSameSnapshot) {
  struct TKeep : ILiveOutput {
    std::vector<TSnapshotPtr> got;
    void Publish(const TSnapshotPtr& s) override { got.push_back(s); }
  } a, b;
  TLiveHub hub;
  hub.Add(&a);
  hub.Add(&b);
  hub.Add(&a);  // once only
  TLiveSnapshot s;
  s.utcMs = 42;
  hub.Publish(s);
  hub.Remove(&b);
  hub.Publish(s);
  ASSERT_EQ(a.got.size(), 2u);
  ASSERT_EQ(b.got.size(), 1u);
  EXPECT_EQ(a.got[0], b.got[0]);
  EXPECT_EQ(hub.Last()->utcMs, 42);
}

}  // namespace
}  // namespace quorvel
