// The log written to a file as well (--log-file): the same lines as on
// screen, appended, each one whole. The file is opened in append mode and
// each line goes out in one write; a write cut short (full disk) is taken
// back so that the file never ends in a partial line.
#pragma once

#include <mutex>
#include <string>

#include "common/EventLog.h"

namespace quorvel {

class TLogFile final : public ILogSink {
 public:
  // Opens (creates) `path` for appending; raises quorvel::Exception with an
  // operator message when it cannot.
  explicit TLogFile(const std::string& path);
  ~TLogFile() override;
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  void AppendLogLine(const std::string& line) override;

  const std::string& Path() const { return path_; }
  // Lines that could not be written since the file was opened.
  long Lost() const;

 private:
  std::string path_;
  int fd_ = -1;
  mutable std::mutex mutex_;
  long lost_ = 0;
};

}  // namespace quorvel
