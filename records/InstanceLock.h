// One owner per data folder and per instrument: two programs appending to
// the same day's file would write every time stamp twice, and two polling
// the same instrument could read each other's answers. An exclusive flock()
// on a small lock file says who owns what; the kernel releases it when the
// owner ends, however it ends, so a crash never leaves a stale lock behind.
#pragma once

#include <string>

namespace quorvel {

class TInstanceLock {
 public:
  TInstanceLock() = default;
  ~TInstanceLock() { Release(); }
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;

  enum class TResult { Taken, HeldByOther, Unavailable };

  // Takes the lock on `path` (created when missing) without waiting, and on
  // success writes `owner` into the file for whoever finds it held. When
  // another process holds it, `holder` receives what that owner wrote.
  // Unavailable: the file cannot be created or locked (`holder` says why).
  TResult Acquire(const std::string& path, const std::string& owner, std::string& holder);
  void Release();
  bool Held() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// The lock file of a data folder (with its trailing '/').
std::string DataFolderLockPath(const std::string& folder);

// The lock file of an instrument, named after its device path (or serial):
// in $XDG_RUNTIME_DIR, or in /tmp when that is not set. Every character but
// letters, digits, '.', '-' and '_' becomes '_'.
std::string InstrumentLockPath(const std::string& instrumentId);

// "pid 1234, headless, started 2026-05-03 08:00:00 UTC": who a lock belongs to.
std::string LockOwnerText(bool headless);

}  // namespace quorvel
