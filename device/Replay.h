// Replay and capture of instrument answers. A replay file is text: one
// 65-byte input report per line written as 130 hexadecimal digits (report
// ID first, upper or lower case), blanks around it allowed, "#" starting a
// comment that runs to the end of the line, empty lines ignored. Reports
// whose byte 1 is 0x80 answer the version request, those whose byte 1 is
// 0x84 answer calibration writes, every other one answers the next
// measurement request, in file order. Capture writes what the program
// receives in the same format, so a capture replays.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/HidBackend.h"
#include "measure/Declarations.h"

namespace quorvel {

struct TReplayScript {
  std::vector<TReportBuffer> VersionAnswers;  // byte 1 = 0x80
  std::vector<TReportBuffer> WriteAnswers;    // byte 1 = 0x84
  std::vector<TReportBuffer> Answers;         // everything else, for 0x81
};

// Raises quorvel::Exception naming the source and the line of the first
// malformed line, e.g. `Replay file "day.txt", line 3: expected 130
// hexadecimal digits, found 128`.
TReplayScript ParseReplay(std::string_view text, const std::string& sourceName);
// Reads and parses a whole file into memory (tests and tools); an unreadable
// file or anything but a regular file raises quorvel::Exception.
TReplayScript LoadReplayFile(const std::string& path);

// Longest line of a replay file (a report line is 130 digits; the rest is
// room for blanks and comments).
inline constexpr std::size_t kReplayMaxLine = 65536;

// The reports a replayed instrument answers with, each kind in file order.
class IReplaySource {
 public:
  virtual ~IReplaySource() = default;
  // Nothing once that kind is used up.
  virtual std::optional<TReportBuffer> NextVersion() = 0;
  virtual std::optional<TReportBuffer> NextWrite() = 0;
  virtual std::optional<TReportBuffer> NextAnswer() = 0;
};

// A replay read from its file as the run goes, so memory stays bounded
// whatever the file's length. The file is checked whole at construction
// (a line at a time); a bad line, an unreadable file or anything but a
// regular file (a directory, /dev/zero, a FIFO) raises quorvel::Exception.
class TReplayFileSource final : public IReplaySource {
 public:
  explicit TReplayFileSource(const std::string& path);
  ~TReplayFileSource() override;
  std::optional<TReportBuffer> NextVersion() override;
  std::optional<TReportBuffer> NextWrite() override;
  std::optional<TReportBuffer> NextAnswer() override;

 private:
  class TCursor;
  std::unique_ptr<TCursor> version_, write_, answer_;
};

// A replay held in memory.
class TScriptReplaySource final : public IReplaySource {
 public:
  explicit TScriptReplaySource(std::shared_ptr<const TReplayScript> script)
      : script_(std::move(script)) {}
  std::optional<TReportBuffer> NextVersion() override;
  std::optional<TReportBuffer> NextWrite() override;
  std::optional<TReportBuffer> NextAnswer() override;

 private:
  std::shared_ptr<const TReplayScript> script_;
  std::size_t version_ = 0, write_ = 0, answer_ = 0;
};

// 2 upper-case hexadecimal digits per byte, no separators.
std::string ReportToHex(const std::uint8_t* data, std::size_t length);

// Wraps any backend and appends every input report read on a synchronous
// handle (the answers; not the read thread's copies, not discarded stale
// reports) to a capture file, as the program sees it: report ID at byte 0,
// padded with zeros to 65 bytes.
class TCaptureBackend final : public IHidBackend {
 public:
  // Raises quorvel::Exception if the file cannot be created.
  TCaptureBackend(std::shared_ptr<IHidBackend> inner, const std::string& path);
  ~TCaptureBackend() override;

  std::vector<THidDeviceEntry> Enumerate() override { return inner_->Enumerate(); }
  std::unique_ptr<IHidHandle> Open(const std::string& path, THidOpenMode mode,
                                   THidError& error) override;
  THidChangeSource ChangeSource() const override { return inner_->ChangeSource(); }
  void SetChangeListener(std::function<void()> listener) override {
    inner_->SetChangeListener(std::move(listener));
  }
  IHidBackend& Inner() const { return *inner_; }
  int CapturedReports() const;
  // The first write error stops the capture (the file keeps whole lines
  // only) and is told once to `sink`, also when it happened before the
  // sink was set. Measuring goes on either way.
  void SetErrorSink(std::function<void(const std::string&)> sink);
  bool Stopped() const {
    std::lock_guard<std::mutex> lock(m_);
    return stopped_;
  }

 private:
  friend class TCaptureHandle;
  void Record(const std::uint8_t* data, std::size_t length, bool numbered);
  // With m_ held.
  void WriteLine(const std::string& line);

  std::shared_ptr<IHidBackend> inner_;
  mutable std::mutex m_;
  std::string path_;
  int fd_ = -1;
  bool stopped_ = false;
  std::string error_;
  std::function<void(const std::string&)> onError_;
  int count_ = 0;
};

}  // namespace quorvel
