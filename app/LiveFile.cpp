#include "app/LiveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorvel {

namespace {

std::string MakeFolders(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return {};
  const std::string folder = path.substr(0, slash);
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) return {};
  if (const std::string up = MakeFolders(folder); !up.empty()) return up;
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return "cannot create the folder " + folder + ": " + std::strerror(errno);
  return {};
}

}  // namespace

TLiveFileWriter::TLiveFileWriter(std::string path, std::function<void(const std::string&)> log)
    : TSnapshotWorker(4), path_(std::move(path)), log_(std::move(log)) {
  Start();
}

TLiveFileWriter::~TLiveFileWriter() {
  Stop();
  if (newest_ && newest_ != written_) Consume(newest_);
}

void TLiveFileWriter::Publish(const TSnapshotPtr& snapshot) {
  {
    std::lock_guard<std::mutex> lock(lastMutex_);
    newest_ = snapshot;
  }
  TSnapshotWorker::Publish(snapshot);
}

std::string TLiveFileWriter::WriteAtomically(const std::string& path, const std::string& json) {
  if (std::string e = MakeFolders(path); !e.empty()) return e;
  // The default place without a runtime folder is in /tmp, where a folder
  // someone else made could redirect the file: it must be ours and private.
  if (path.rfind("/tmp/quorvel-", 0) == 0) {
    const std::string folder = path.substr(0, path.rfind('/'));
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 0077) != 0)
      return "the folder " + folder + " is not a private folder of this user";
  }
  const std::string temp = path + ".tmp" + std::to_string(::getpid());
  ::unlink(temp.c_str());  // a leftover of a crash, never followed
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return "cannot create " + temp + ": " + std::strerror(errno);
  const std::string text = json + "\n";
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string e = "cannot write " + temp + ": " + std::strerror(errno);
      ::close(fd);
      ::unlink(temp.c_str());
      return e;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) {
    const std::string e = "cannot write " + temp + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return e;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string e = "cannot replace " + path + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return e;
  }
  return {};
}

void TLiveFileWriter::Consume(const TSnapshotPtr& snapshot) {
  {
    std::lock_guard<std::mutex> lock(lastMutex_);
    // Behind already: only the newest state matters to a reader, and it is
    // queued behind this one.
    if (newest_ && newest_ != snapshot) return;
  }
  written_ = snapshot;
  const std::string error = WriteAtomically(path_, SnapshotJson(*snapshot));
  if (error == lastError_) return;
  if (log_)
    log_(error.empty() ? "Live file written again : " + path_ : "Live file error : " + error);
  lastError_ = error;
}

}  // namespace quorvel
