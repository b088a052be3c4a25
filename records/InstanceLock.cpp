#include "InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace quorvel {

TInstanceLock::TResult TInstanceLock::Acquire(const std::string& path, const std::string& owner,
                                              std::string& holder) {
  Release();
  holder.clear();
  // O_NOFOLLOW: a link planted at the name must not make us truncate another file.
  constexpr int kFlags = O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY;
  int fd = ::open(path.c_str(), O_RDWR | kFlags, 0644);
  // Another user's lock file (a shared /tmp) can still be locked read-only.
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | kFlags, 0644);
  if (fd < 0) {
    holder = std::strerror(errno);
    return TResult::Unavailable;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    if (err == EWOULDBLOCK) {
      char buf[512];
      const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
      holder.assign(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
      while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\0')) holder.pop_back();
      if (holder.empty()) holder = "another process";
      ::close(fd);
      return TResult::HeldByOther;
    }
    holder = std::strerror(err);
    ::close(fd);
    return TResult::Unavailable;
  }
  const std::string text = owner + "\n";
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t n = ::pwrite(fd, text.data(), text.size(), 0);
  }
  fd_ = fd;
  path_ = path;
  return TResult::Taken;
}

void TInstanceLock::Release() {
  if (fd_ < 0) return;
  // The file stays: removing it would let a third process lock a new file
  // of the same name while a second one waits on the old one.
  [[maybe_unused]] const int r = ::ftruncate(fd_, 0);
  ::close(fd_);
  fd_ = -1;
  path_.clear();
}

std::string DataFolderLockPath(const std::string& folder) {
  std::string p = folder;
  if (!p.empty() && p.back() != '/') p.push_back('/');
  return p + ".quorvel.lock";
}

std::string InstrumentLockPath(const std::string& instrumentId) {
  std::string dir;
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run == '/') dir = run;
  // Without a runtime directory, /tmp: shared by every user, as the
  // instrument is.
  if (dir.empty()) dir = "/tmp";
  std::string name;
  for (char c : instrumentId) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == '_';
    name.push_back(keep ? c : '_');
  }
  if (dir.back() != '/') dir.push_back('/');
  return dir + "quorvel-instrument-" + name + ".lock";
}

std::string LockOwnerText(bool headless) {
  const std::time_t t = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return "pid " + std::to_string(::getpid()) + ", " + (headless ? "headless" : "window") +
         ", started " + when;
}

}  // namespace quorvel
