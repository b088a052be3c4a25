#include "ResultsWriter.h"

#include <algorithm>

#include "common/Clock.h"
#include "common/Errors.h"
#include "records/DataFolder.h"
#include "records/RegionalFormat.h"

namespace quorvel {

TResultsWriter::TResultsWriter(TLogFn onError, TLogFn log, TDateTimeTextFn dateText)
    : onError_(std::move(onError)), log_(std::move(log)), dateText_(std::move(dateText)) {
  if (!dateText_) dateText_ = [](TDateTime v) { return RegionalDateTimeText(v); };
}

void TResultsWriter::Save(const std::string& folder, const TDataOutMes& m,
                          std::string& PathDataFile) {
  int year, month, day;
  DecodeDate(Now(), year, month, day);
  PathDataFile = ResultFileName(folder, year, month, day);
  // Formatted first: a bad value raises before anything is kept or written.
  std::string line = FormatResultLine(m, dateText_);
  backlog_.push_back(TLine{PathDataFile, std::move(line), m.UTCDate});
  Trim();
  const std::int64_t now = CurrentClock().UtcMs();
  const bool due = !failingPaths_.empty() && (now >= nextTryMs_ || now < lastTryMs_);
  // While its file fails and no retry is due, a line only joins the queue:
  // no walk over a day of waiting lines every second.
  if (!due && failingPaths_.count(PathDataFile) != 0) return;
  Drain(due);
}

void TResultsWriter::RetryIfDue() {
  if (backlog_.empty()) return;
  const std::int64_t now = CurrentClock().UtcMs();
  // A clock set back must not postpone the retry by the size of the step.
  if (now >= nextTryMs_ || now < lastTryMs_) Drain(true);
}

std::size_t TResultsWriter::Flush() {
  if (!backlog_.empty()) Drain(true);
  if (!backlog_.empty())
    log_("Results lines not written at the end : " + std::to_string(backlog_.size()) + " : [" +
         backlog_.front().path + "]");
  return backlog_.size();
}

bool TResultsWriter::Drain(bool retryFailing) {
  const std::int64_t now = CurrentClock().UtcMs();
  std::set<std::string> blocked;
  if (!retryFailing) blocked = failingPaths_;
  const auto onTorn = [this](const std::string& path, std::uintmax_t removed) {
    log_("Torn last line cut off the results file : " + std::to_string(removed) +
         " bytes removed : [" + path + "]");
  };
  if (retryFailing) {
    // A folder removed (or never made) since is made again, as at an
    // attachment of the instrument.
    for (const std::string& path : failingPaths_) {
      const auto slash = path.rfind('/');
      if (slash != std::string::npos && slash > 0) CreateDataFolder(path.substr(0, slash));
    }
  }
  bool failed = false;
  for (auto it = backlog_.begin(); it != backlog_.end();) {
    if (blocked.count(it->path) != 0) {
      ++it;
      continue;
    }
    try {
      AppendResultLine(it->path, it->text, TNewFileMode::Atomic, onTorn);
    } catch (const EInOutError& e) {
      // The lines after it in the same file wait too, so the file keeps
      // its order; other files go on.
      blocked.insert(it->path);
      Failed(it->path, e.what());
      failed = true;
      ++it;
      continue;
    }
    if (failingPaths_.erase(it->path) != 0)
      log_("Results file writable again : [" + it->path + "]");
    it = backlog_.erase(it);
  }
  if (failed) {
    lastTryMs_ = now;
    nextTryMs_ = now + delayMs_;
    delayMs_ = std::min(delayMs_ * 2, kMaxRetryMs);
  } else if (retryFailing) {
    lastTryMs_ = now;
    delayMs_ = kFirstRetryMs;
  }
  if (failingPaths_.empty()) {
    if (dropped_ > 0)
      log_("Results lines dropped while the file could not be written : " +
           std::to_string(dropped_) + " (more than 24 hours waiting)");
    dropped_ = 0;
    lastError_.clear();
    delayMs_ = kFirstRetryMs;
  }
  return failed;
}

void TResultsWriter::Failed(const std::string& path, const std::string& error) {
  failingPaths_.insert(path);
  if (error == lastError_) return;
  lastError_ = error;
  if (onError_) onError_(error);
}

void TResultsWriter::Trim() {
  while (!backlog_.empty() && (backlog_.size() > kMaxBacklogLines ||
                               backlog_.back().utc - backlog_.front().utc > kMaxBacklogDays)) {
    if (dropped_ == 0)
      log_(
          "Results file still not writable after 24 hours : the oldest waiting lines are "
          "dropped");
    backlog_.pop_front();
    ++dropped_;
    ++droppedTotal_;
  }
}

}  // namespace quorvel
