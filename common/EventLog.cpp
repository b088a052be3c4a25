#include "EventLog.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <iostream>

#include "Clock.h"
#include "DateTime.h"
#include "Format.h"

namespace quorvel {

namespace {

class StderrMessageSink final : public IMessageSink {
 public:
  void ShowError(const std::string& text) override { std::cerr << text << std::endl; }
  void ShowMessage(const std::string& text) override { std::cerr << text << std::endl; }
  bool AskYesNo(const std::string& text) override {
    std::cerr << text << " -> No" << std::endl;
    return false;
  }
};

StderrMessageSink g_stderrSink;
std::atomic<IMessageSink*> g_messageSink{&g_stderrSink};
std::atomic<std::uint64_t> g_mainThread{static_cast<std::uint64_t>(::getpid())};

}  // namespace

void SetMessageSink(IMessageSink* sink) {
  g_messageSink.store(sink ? sink : &g_stderrSink);
}
IMessageSink& CurrentMessageSink() {
  return *g_messageSink.load();
}

std::uint64_t CurrentThreadId() {
  return static_cast<std::uint64_t>(::syscall(SYS_gettid));
}
std::uint64_t MainThreadId() {
  return g_mainThread.load();
}
void MarkMainThread() {
  g_mainThread.store(CurrentThreadId());
}

std::string ThreadTag(std::uint64_t threadId, std::uint64_t mainThreadId) {
  if (threadId == mainThreadId) return "Main";
  return FormatHex(threadId, 4);
}

std::string InttoStrWith_zero_Left(std::int64_t Int, std::int64_t Format) {
  int width = 0;
  switch (Format) {
    case 100:
      width = 2;
      break;
    case 1000:
      width = 3;
      break;
    case 10000:
      width = 4;
      break;
    case 100000:
      width = 5;
      break;
    default:
      return std::to_string(Int);
  }
  std::string digits = std::to_string(Int);
  if (static_cast<int>(digits.size()) < width)
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}

std::string TimeStampFromPieces(double localDateTime, const std::string& threadTag) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(localDateTime, y, mo, d, h, mi, s, ms);
  std::string out = "LT ";
  out += std::to_string(y) + "-" + InttoStrWith_zero_Left(mo, 100) + "-" +
         InttoStrWith_zero_Left(d, 100) + "  " + InttoStrWith_zero_Left(h, 100) + "h" +
         InttoStrWith_zero_Left(mi, 100) + "m" + InttoStrWith_zero_Left(s, 100) + "." +
         InttoStrWith_zero_Left(ms, 1000) + "s  [" + threadTag + "] : ";
  return out;
}

std::string ReturnTimeStampDateStr() {
  // One clock reading for all the pieces.
  return TimeStampFromPieces(Now(), ThreadTag(CurrentThreadId(), MainThreadId()));
}

namespace {
ILogSink* g_logCopy = nullptr;
}  // namespace

void SetLogCopy(ILogSink* copy) {
  g_logCopy = copy;
}

void AddtoMemoLog(ILogSink& Memo, const std::string& S) {
  const std::string line = ReturnTimeStampDateStr() + S;
  Memo.AppendLogLine(line);
  if (g_logCopy && g_logCopy != &Memo) g_logCopy->AppendLogLine(line);
}

void ShowMessageError(const std::string& S) {
  CurrentMessageSink().ShowError(S);
}

}  // namespace quorvel
