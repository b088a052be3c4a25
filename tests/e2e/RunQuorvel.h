// Starts the built quorvel executable as a child process and reads back what
// it left: its standard output (the headless log), its standard error and the
// results files. POSIX only; no Qt, so the child is the only program running.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::e2e {

namespace fs = std::filesystem;

struct TRunPlan {
  std::vector<std::string> args;
  // Added to (or replacing in) the inherited environment.
  std::map<std::string, std::string> env;
  std::optional<mode_t> umask;
  // Run under this user and group (needs root); the executable is then
  // copied next to the outputs so that the user can reach it.
  std::optional<uid_t> uid;
  std::optional<gid_t> gid;
  // Called each time the child stops itself (--sim-stop-at), with the count
  // of stops so far (0 for the first); the child is then continued.
  std::function<void(int)> onStop;
  // Sent to the child at the stop of that index, before it is continued.
  std::map<int, int> signalAtStop;
  // Standard output is a pipe whose reading end is closed before the child
  // runs (`quorvel ... | head -0`); `out` then stays empty.
  bool stdoutBrokenPipe = false;
  // RLIMIT_FSIZE of the child in bytes (ulimit -f).
  std::optional<std::uint64_t> fileSizeLimit;
  // Killed with SIGKILL after this many milliseconds of real time, counted
  // from the moment `armed` (polled) first holds, or from the start.
  std::optional<int> killAfterMs;
  std::function<bool()> armed;
  // Longest run before the test gives up (the child is killed).
  int timeoutMs = 120000;
};

struct TRunResult {
  bool exited = false;  // else killed by a signal
  int status = -1;      // exit status, or the signal number
  int stops = 0;
  pid_t pid = -1;
  std::string out;
  std::string err;
  // The log, one entry per line, with the "LT ... [Main] : " prefix cut.
  std::vector<std::string> log;
  int Count(const std::string& prefix) const;
  bool Has(const std::string& prefix) const { return Count(prefix) > 0; }
  // Index of the first log entry starting with `prefix` at or after `from`.
  std::optional<std::size_t> Find(const std::string& prefix, std::size_t from = 0) const;
};

// Runs the executable; its outputs go to files in `workDir`.
TRunResult RunQuorvel(const TRunPlan& plan, const fs::path& workDir);

// Where the executable under test is: the build's own, or the one named by
// QUORVEL_E2E_EXE.
std::string QuorvelPath();

// One results file split at CR LF.
struct TDayFile {
  std::string bytes;
  std::vector<std::string> lines;  // without CR LF; the header included
  bool endsWithLineEnd = false;
  int headers = 0;
  std::vector<std::string> badLines;  // neither the header nor a whole data line
};
TDayFile ReadDayFile(const fs::path& path);

// The header line, byte for byte (Windows-1252 degree signs).
const std::string& ResultHeader();
// Whether `line` is a whole data line (all ten fields, the final bar).
bool IsWholeDataLine(const std::string& line);
// The fields of a data line, trimmed.
std::vector<std::string> Fields(const std::string& line);

// "2026_ 5_ 3_Results.txt".
std::string DayFileName(int year, int month, int day);

// Writes `bytes` to `path` as they are.
void WriteFile(const fs::path& path, const std::string& bytes);
std::string ReadFile(const fs::path& path);

}  // namespace quorvel::e2e
