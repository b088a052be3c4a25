#include "device/Replay.h"

#include <algorithm>
#include <sstream>

#include "common/Errors.h"
#include "common/Format.h"

namespace quorvel {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Printable description of an unexpected character.
std::string Describe(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x21 && u < 0x7F) return std::string("'") + c + "'";
  return "byte 0x" + FormatHex(u, 2);
}

}  // namespace

TReplayScript ParseReplay(std::string_view text, const std::string& sourceName) {
  TReplayScript script;
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    if (pos == text.size() && (text.empty() || text.back() == '\n')) break;
    const std::size_t eol = std::min(text.find('\n', pos), text.size());
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++lineNo;
    auto fail = [&](const std::string& why) {
      throw Exception(Format("Replay file \"%s\", line %d: %s",
                             {sourceName, static_cast<long long>(lineNo), why}));
    };
    const std::size_t hash = line.find('#');
    if (hash != std::string_view::npos) line = line.substr(0, hash);
    std::size_t first = 0;
    while (first < line.size() && IsBlank(line[first])) ++first;
    std::size_t last = line.size();
    while (last > first && IsBlank(line[last - 1])) --last;
    line = line.substr(first, last - first);
    if (line.empty()) continue;

    TReportBuffer report{};
    std::size_t digits = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const int v = HexValue(line[i]);
      if (v < 0)
        fail(Describe(line[i]) + " at column " + std::to_string(first + i + 1) +
             " is not a hexadecimal digit");
      if (digits < 2 * kReportSize)
        report[digits / 2] = static_cast<std::uint8_t>((report[digits / 2] << 4) | v);
      ++digits;
    }
    if (digits != 2 * kReportSize)
      fail("expected " + std::to_string(2 * kReportSize) + " hexadecimal digits, found " +
           std::to_string(digits));
    if (report[1] == 0x80)
      script.VersionAnswers.push_back(report);
    else if (report[1] == 0x84)
      script.WriteAnswers.push_back(report);
    else
      script.Answers.push_back(report);
  }
  return script;
}

TReplayScript LoadReplayFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Exception(Format("Cannot open replay file \"%s\"", {path}));
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) throw Exception(Format("Cannot read replay file \"%s\"", {path}));
  return ParseReplay(content.str(), path);
}

std::string ReportToHex(const std::uint8_t* data, std::size_t length) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(2 * length);
  for (std::size_t i = 0; i < length; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

// ------------------------------------------------------------------ capture

class TCaptureHandle final : public IHidHandle {
 public:
  TCaptureHandle(TCaptureBackend& owner, std::unique_ptr<IHidHandle> inner)
      : owner_(owner), inner_(std::move(inner)) {}

  int Write(const std::uint8_t* data, std::size_t length) override {
    return inner_->Write(data, length);
  }
  int Read(std::uint8_t* data, std::size_t length, int timeoutMs) override {
    const int n = inner_->Read(data, length, timeoutMs);
    if (n > 0) owner_.Record(data, static_cast<std::size_t>(n), inner_->NumberedReports());
    return n;
  }
  void DiscardInput() override { inner_->DiscardInput(); }
  bool NumberedReports() const override { return inner_->NumberedReports(); }
  bool GetProductString(std::wstring& out) override { return inner_->GetProductString(out); }
  bool GetSerialNumberString(std::wstring& out) override {
    return inner_->GetSerialNumberString(out);
  }
  std::optional<std::vector<std::uint16_t>> GetLanguageIds() override {
    return inner_->GetLanguageIds();
  }
  int SetInputQueueLength(int requested) override { return inner_->SetInputQueueLength(requested); }
  bool IsGone() override { return inner_->IsGone(); }
  THidError LastError() const override { return inner_->LastError(); }

 private:
  TCaptureBackend& owner_;
  std::unique_ptr<IHidHandle> inner_;
};

TCaptureBackend::TCaptureBackend(std::shared_ptr<IHidBackend> inner, const std::string& path)
    : inner_(std::move(inner)), out_(path, std::ios::out | std::ios::trunc) {
  if (!out_) throw Exception(Format("Cannot create capture file \"%s\"", {path}));
  out_ << "# Quorvel capture: one input report per line, 65 bytes in hexadecimal\n";
  out_.flush();
}

TCaptureBackend::~TCaptureBackend() = default;

std::unique_ptr<IHidHandle> TCaptureBackend::Open(const std::string& path, THidOpenMode mode,
                                                  THidError& error) {
  auto h = inner_->Open(path, mode, error);
  if (!h || mode != THidOpenMode::Sync) return h;
  return std::make_unique<TCaptureHandle>(*this, std::move(h));
}

void TCaptureBackend::Record(const std::uint8_t* data, std::size_t length, bool numbered) {
  TReportBuffer report{};
  const std::size_t offset = numbered ? 0 : 1;  // implied report ID 0
  std::copy_n(data, std::min(length, kReportSize - offset),
              report.begin() + static_cast<long>(offset));
  std::lock_guard<std::mutex> lock(m_);
  out_ << ReportToHex(report.data(), report.size()) << '\n';
  out_.flush();  // a capture must survive a crash of the program
  ++count_;
}

int TCaptureBackend::CapturedReports() const {
  std::lock_guard<std::mutex> lock(m_);
  return count_;
}

}  // namespace quorvel
