// The on-screen event log and the operator message boxes, reached through two
// small interfaces so that nothing below the main window knows about widgets:
// the GUI implements them with its log box and message boxes, the headless
// runner with standard output, tests with a vector of lines.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// Where log lines go (the main window's log box, stdout, a test).
class ILogSink {
 public:
  virtual ~ILogSink() = default;
  virtual void AppendLogLine(const std::string& line) = 0;
};

// Modal operator messages.
class IMessageSink {
 public:
  virtual ~IMessageSink() = default;
  // Error box: error icon, one OK button.
  virtual void ShowError(const std::string& text) = 0;
  // Plain box: no icon, one OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // Question box with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
};

// The sink used by ShowMessageError and other program-wide messages. Without
// one installed, messages go to standard error and questions are answered No.
void SetMessageSink(IMessageSink* sink);
IMessageSink& CurrentMessageSink();

// Time stamp of a log line: "LT 2026-02-01  09h05m03.007s  [Main] : ",
// local time, the thread tag "Main" on the main thread.
std::string ReturnTimeStampDateStr();
// The same from explicit pieces (tests, and the function above).
std::string TimeStampFromPieces(double localDateTime, const std::string& threadTag);

// "Main" when `threadId` is the main thread, else upper-case hex, >= 4 digits.
std::string ThreadTag(std::uint64_t threadId, std::uint64_t mainThreadId);
// Identifier of the calling thread, and of the main thread (the one that
// called MarkMainThread(), by default the process's initial thread).
std::uint64_t CurrentThreadId();
std::uint64_t MainThreadId();
void MarkMainThread();

// Zero-padded decimal: Format 100 -> 2 digits, 1000 -> 3, 10000 -> 4,
// 100000 -> 5; any other Format gives the plain number.
std::string InttoStrWith_zero_Left(std::int64_t Int, std::int64_t Format);

// Appends time stamp + S as one line to the log, and to the log's copy when
// one is installed.
void AddtoMemoLog(ILogSink& Memo, const std::string& S);
// A second place every log line goes to (the --log-file), or none.
void SetLogCopy(ILogSink* copy);

// Modal error box with S (through the current message sink).
void ShowMessageError(const std::string& S);

}  // namespace quorvel
