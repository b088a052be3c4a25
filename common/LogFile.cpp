#include "LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "common/Errors.h"

namespace quorvel {

TLogFile::TLogFile(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) throw Exception("Cannot open the log file [" + path + "] : " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode) &&
      !S_ISCHR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw Exception("Cannot open the log file [" + path + "] : not a file");
  }
}

TLogFile::~TLogFile() {
  if (fd_ >= 0) ::close(fd_);
}

long TLogFile::Lost() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lost_;
}

void TLogFile::AppendLogLine(const std::string& line) {
  const std::string whole = line + "\n";
  std::lock_guard<std::mutex> lock(mutex_);
  struct stat st {};
  const bool regular = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  ssize_t n;
  do {
    n = ::write(fd_, whole.data(), whole.size());
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(whole.size())) return;
  const int error = n < 0 ? errno : ENOSPC;
  // Take a partial line back: the next line must start on a line of its own.
  if (n > 0 && regular && ::ftruncate(fd_, st.st_size) != 0) {
    // Could not: end the torn piece so that at least the next line is whole.
    [[maybe_unused]] const ssize_t m = ::write(fd_, "\n", 1);
  }
  if (lost_++ == 0)
    std::cerr << "quorvel: log file [" << path_ << "] : " << std::strerror(error)
              << "; lines are lost until it can be written again" << std::endl;
}

}  // namespace quorvel
