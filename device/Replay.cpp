#include "device/Replay.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

namespace {

// One line of a replay file: Empty (blank or comment), a Report, or an Error
// with `why` set.
enum class TLineKind { Empty, Report, Error };

TLineKind ParseReplayLine(std::string_view line, TReportBuffer& report, std::string& why) {
  const std::size_t hash = line.find('#');
  if (hash != std::string_view::npos) line = line.substr(0, hash);
  std::size_t first = 0;
  while (first < line.size() && IsBlank(line[first])) ++first;
  std::size_t last = line.size();
  while (last > first && IsBlank(line[last - 1])) --last;
  line = line.substr(first, last - first);
  if (line.empty()) return TLineKind::Empty;

  report = TReportBuffer{};
  std::size_t digits = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const int v = HexValue(line[i]);
    if (v < 0) {
      why = Describe(line[i]) + " at column " + std::to_string(first + i + 1) +
            " is not a hexadecimal digit";
      return TLineKind::Error;
    }
    if (digits < 2 * kReportSize)
      report[digits / 2] = static_cast<std::uint8_t>((report[digits / 2] << 4) | v);
    ++digits;
  }
  if (digits != 2 * kReportSize) {
    why = "expected " + std::to_string(2 * kReportSize) + " hexadecimal digits, found " +
          std::to_string(digits);
    return TLineKind::Error;
  }
  return TLineKind::Report;
}

[[noreturn]] void FailAtLine(const std::string& sourceName, std::size_t lineNo,
                             const std::string& why) {
  throw Exception(
      Format("Replay file \"%s\", line %d: %s", {sourceName, static_cast<long long>(lineNo), why}));
}

// Which list a report belongs to.
enum class TReplayKind { Version, Write, Answer };
TReplayKind KindOf(const TReportBuffer& r) {
  if (r[1] == 0x80) return TReplayKind::Version;
  if (r[1] == 0x84) return TReplayKind::Write;
  return TReplayKind::Answer;
}

// Reads a file line by line with a bounded line: a line longer than the
// limit is read to its end but kept only as "too long".
class TLineReader {
 public:
  explicit TLineReader(const std::string& path) : in_(path, std::ios::binary) {}
  bool IsOpen() const { return static_cast<bool>(in_); }
  bool Bad() const { return in_.bad(); }
  // False at the end of the file.
  bool Next(std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    std::streambuf* buf = in_.rdbuf();
    bool any = false;
    for (;;) {
      const int c = buf->sbumpc();
      if (c == std::char_traits<char>::eof()) {
        if (!any) in_.setstate(std::ios::eofbit);
        return any;
      }
      any = true;
      if (c == '\n') return true;
      if (line.size() < kReplayMaxLine)
        line.push_back(static_cast<char>(c));
      else
        tooLong = true;
    }
  }

 private:
  std::ifstream in_;
};

}  // namespace

TReplayScript ParseReplay(std::string_view text, const std::string& sourceName) {
  TReplayScript script;
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    if (pos == text.size() && (text.empty() || text.back() == '\n')) break;
    const std::size_t eol = std::min(text.find('\n', pos), text.size());
    const std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++lineNo;
    TReportBuffer report{};
    std::string why;
    switch (ParseReplayLine(line, report, why)) {
      case TLineKind::Empty:
        continue;
      case TLineKind::Error:
        FailAtLine(sourceName, lineNo, why);
      case TLineKind::Report:
        break;
    }
    switch (KindOf(report)) {
      case TReplayKind::Version:
        script.VersionAnswers.push_back(report);
        break;
      case TReplayKind::Write:
        script.WriteAnswers.push_back(report);
        break;
      case TReplayKind::Answer:
        script.Answers.push_back(report);
        break;
    }
  }
  return script;
}

namespace {

// Refuses anything but a regular file: a directory would replay as nothing,
// a device (/dev/zero) or a FIFO would be read forever.
void CheckRegularFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw Exception(Format("Cannot open replay file \"%s\"", {path}));
  if (!S_ISREG(st.st_mode))
    throw Exception(Format("Replay file \"%s\" is not a regular file", {path}));
}

}  // namespace

TReplayScript LoadReplayFile(const std::string& path) {
  CheckRegularFile(path);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Exception(Format("Cannot open replay file \"%s\"", {path}));
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) throw Exception(Format("Cannot read replay file \"%s\"", {path}));
  return ParseReplay(content.str(), path);
}

// ------------------------------------------------------------ file source

// One reading position in the file, for one kind of report.
class TReplayFileSource::TCursor {
 public:
  TCursor(const std::string& path, TReplayKind kind) : reader_(path), kind_(kind) {}
  std::optional<TReportBuffer> Next() {
    std::string line, why;
    bool tooLong = false;
    while (reader_.Next(line, tooLong)) {
      TReportBuffer report{};
      // The file was checked at the start; a line changed since is skipped.
      if (!tooLong && ParseReplayLine(line, report, why) == TLineKind::Report &&
          KindOf(report) == kind_)
        return report;
    }
    return std::nullopt;
  }

 private:
  TLineReader reader_;
  TReplayKind kind_;
};

TReplayFileSource::TReplayFileSource(const std::string& path) {
  CheckRegularFile(path);
  {
    // The whole file is checked once at the start, a line at a time, so a
    // damaged file is refused before the run with its line named.
    TLineReader reader(path);
    if (!reader.IsOpen()) throw Exception(Format("Cannot open replay file \"%s\"", {path}));
    std::string line, why;
    bool tooLong = false;
    std::size_t lineNo = 0;
    while (reader.Next(line, tooLong)) {
      ++lineNo;
      if (tooLong)
        FailAtLine(path, lineNo,
                   "line longer than " + std::to_string(kReplayMaxLine) + " characters");
      TReportBuffer report{};
      if (ParseReplayLine(line, report, why) == TLineKind::Error) FailAtLine(path, lineNo, why);
    }
    if (reader.Bad()) throw Exception(Format("Cannot read replay file \"%s\"", {path}));
  }
  version_ = std::make_unique<TCursor>(path, TReplayKind::Version);
  write_ = std::make_unique<TCursor>(path, TReplayKind::Write);
  answer_ = std::make_unique<TCursor>(path, TReplayKind::Answer);
}

TReplayFileSource::~TReplayFileSource() = default;

std::optional<TReportBuffer> TReplayFileSource::NextVersion() {
  return version_->Next();
}
std::optional<TReportBuffer> TReplayFileSource::NextWrite() {
  return write_->Next();
}
std::optional<TReportBuffer> TReplayFileSource::NextAnswer() {
  return answer_->Next();
}

std::optional<TReportBuffer> TScriptReplaySource::NextVersion() {
  if (version_ >= script_->VersionAnswers.size()) return std::nullopt;
  return script_->VersionAnswers[version_++];
}
std::optional<TReportBuffer> TScriptReplaySource::NextWrite() {
  if (write_ >= script_->WriteAnswers.size()) return std::nullopt;
  return script_->WriteAnswers[write_++];
}
std::optional<TReportBuffer> TScriptReplaySource::NextAnswer() {
  if (answer_ >= script_->Answers.size()) return std::nullopt;
  return script_->Answers[answer_++];
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
    : inner_(std::move(inner)), path_(path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd_ < 0) throw Exception(Format("Cannot create capture file \"%s\"", {path}));
  std::lock_guard<std::mutex> lock(m_);
  WriteLine("# Quorvel capture: one input report per line, 65 bytes in hexadecimal\n");
}

TCaptureBackend::~TCaptureBackend() {
  if (fd_ >= 0) ::close(fd_);
}

void TCaptureBackend::WriteLine(const std::string& line) {
  if (stopped_) return;
  struct stat st {};
  const bool regular = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  std::size_t done = 0;
  int err = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (err == 0) return;
  // Stop on a whole line: a torn last line would make the replay refuse the
  // whole capture.
  if (regular) {
    [[maybe_unused]] const int r = ::ftruncate(fd_, st.st_size);
  }
  stopped_ = true;
  const std::string why = err == ENOSPC || err == EDQUOT ? "Disk full"
                          : err == EFBIG                 ? "File too large"
                                                         : std::strerror(err);
  error_ = "Capture stopped, the capture file cannot be written : " + why + " : [" + path_ + "]";
  if (onError_) onError_(error_);
}

void TCaptureBackend::SetErrorSink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> lock(m_);
  onError_ = std::move(sink);
  // A failure before anyone listened (the first line) is told now.
  if (onError_ && !error_.empty()) onError_(error_);
}

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
  if (stopped_) return;
  // Written at once: a capture must survive a crash of the program.
  WriteLine(ReportToHex(report.data(), report.size()) + "\n");
  if (!stopped_) ++count_;
}

int TCaptureBackend::CapturedReports() const {
  std::lock_guard<std::mutex> lock(m_);
  return count_;
}

}  // namespace quorvel
