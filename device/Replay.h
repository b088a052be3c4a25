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
#include <memory>
#include <mutex>
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
// Reads and parses a file; an unreadable file raises quorvel::Exception.
TReplayScript LoadReplayFile(const std::string& path);

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

 private:
  friend class TCaptureHandle;
  void Record(const std::uint8_t* data, std::size_t length, bool numbered);

  std::shared_ptr<IHidBackend> inner_;
  mutable std::mutex m_;
  std::ofstream out_;
  int count_ = 0;
};

}  // namespace quorvel
