// The results writer of the acquisition cycle: appends each valid
// measurement's line to its day's file and, when the file cannot be written
// (disk full, a size limit, permissions, a folder gone), keeps the lines in
// memory in order and tries again at later cycles, backing off to one try a
// minute, until the file takes them. A station left alone thus loses no
// measurement to a passing fault and needs no restart to resume.
//
// At most 24 hours of lines wait (by their UTC stamps); beyond that the
// oldest are dropped and counted. Lines of one file stay in their order; a
// file that keeps failing does not hold back the lines of another day's file.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>

#include "measure/Declarations.h"
#include "records/ResultFile.h"

namespace quorvel {

class TResultsWriter {
 public:
  using TLogFn = std::function<void(const std::string&)>;

  // `onError` receives the error text when an outage begins and whenever its
  // text changes (the cycle logs it as "Main timer error : %s"); `log`
  // receives the writer's own lines (resumption, torn lines, dropped lines).
  // `dateText` formats the date columns (the regional formats by default).
  TResultsWriter(TLogFn onError, TLogFn log, TDateTimeTextFn dateText = {});

  // The line of `m` for today's local file in `folder`. `PathDataFile`
  // receives that file's name before anything is written. Formatting errors
  // (a value out of range) are raised as before; file errors are not: the
  // line waits in memory.
  void Save(const std::string& folder, const TDataOutMes& m, std::string& PathDataFile);

  // Writes the waiting lines when a retry is due; once per cycle, also in
  // cycles that measure nothing (night), so a backlog does not wait for the
  // Sun.
  void RetryIfDue();

  // One last try whatever the back-off (a clean end). Returns how many lines
  // are still unwritten; they are lost with the process.
  std::size_t Flush();

  std::size_t Pending() const { return backlog_.size(); }
  std::uint64_t DroppedTotal() const { return droppedTotal_; }
  // Milliseconds (clock time) between the last failed try and the next one.
  std::int64_t RetryDelayMs() const { return delayMs_; }

  // Longest span of waiting lines, in days, and the back-off bounds.
  static constexpr double kMaxBacklogDays = 1.0;
  static constexpr std::int64_t kFirstRetryMs = 1000;
  static constexpr std::int64_t kMaxRetryMs = 60000;
  // Hard bound on waiting lines whatever their stamps (two a second a day).
  static constexpr std::size_t kMaxBacklogLines = 2 * 86400;

 private:
  struct TLine {
    std::string path;
    std::string text;
    double utc;
  };
  // Writes waiting lines in order; the files that failed before are tried
  // only when `retryFailing`. Returns whether anything failed.
  bool Drain(bool retryFailing);
  void Trim();
  void Failed(const std::string& path, const std::string& error);

  TLogFn onError_;
  TLogFn log_;
  TDateTimeTextFn dateText_;
  std::deque<TLine> backlog_;
  std::set<std::string> failingPaths_;
  std::string lastError_;
  std::int64_t nextTryMs_ = 0;
  std::int64_t lastTryMs_ = 0;
  std::int64_t delayMs_ = kFirstRetryMs;
  std::uint64_t dropped_ = 0;  // in the current outage
  std::uint64_t droppedTotal_ = 0;
};

}  // namespace quorvel
