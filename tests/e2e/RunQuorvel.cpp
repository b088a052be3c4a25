#include "RunQuorvel.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef QUORVEL_EXE
#error "QUORVEL_EXE must name the executable under test"
#endif

namespace quorvel::e2e {

std::string QuorvelPath() {
  // Another build (an older one, to see a test fail there) when asked.
  if (const char* other = std::getenv("QUORVEL_E2E_EXE"); other && *other) return other;
  return QUORVEL_EXE;
}

int TRunResult::Count(const std::string& prefix) const {
  int n = 0;
  for (const auto& l : log) n += l.rfind(prefix, 0) == 0;
  return n;
}

std::optional<std::size_t> TRunResult::Find(const std::string& prefix, std::size_t from) const {
  for (std::size_t i = from; i < log.size(); ++i)
    if (log[i].rfind(prefix, 0) == 0) return i;
  return std::nullopt;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

namespace {

std::vector<std::string> LogLines(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  std::string l;
  while (std::getline(in, l)) {
    const auto cut = l.find("] : ");
    lines.push_back(cut == std::string::npos ? l : l.substr(cut + 4));
  }
  return lines;
}

}  // namespace

TRunResult RunQuorvel(const TRunPlan& plan, const fs::path& workDir) {
  fs::create_directories(workDir);
  std::string exe = QuorvelPath();
  if (plan.uid) {
    const fs::path copy = workDir / "quorvel";
    if (!fs::exists(copy)) {
      fs::copy_file(exe, copy);
      fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    }
    exe = copy.string();
  }
  const fs::path outPath = workDir / "stdout.txt";
  const fs::path errPath = workDir / "stderr.txt";
  int outFd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (plan.stdoutBrokenPipe) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    ::close(fds[0]);  // nobody will ever read
    ::close(outFd);
    outFd = fds[1];
  }
  const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (outFd < 0 || errFd < 0) throw std::runtime_error("cannot create the output files");

  std::vector<std::string> argvText{exe};
  argvText.insert(argvText.end(), plan.args.begin(), plan.args.end());
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Child: only async-signal-safe calls matter little here, the parent has
    // no other threads.
    ::dup2(outFd, STDOUT_FILENO);
    ::dup2(errFd, STDERR_FILENO);
    ::close(STDIN_FILENO);
    ::open("/dev/null", O_RDONLY);
    for (const auto& [name, value] : plan.env) ::setenv(name.c_str(), value.c_str(), 1);
    if (plan.umask) ::umask(*plan.umask);
    if (plan.fileSizeLimit) {
      const rlimit lim{*plan.fileSizeLimit, *plan.fileSizeLimit};
      if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) ::_exit(126);
    }
    if (::chdir(workDir.c_str()) != 0) ::_exit(126);
    if (plan.gid) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(*plan.gid) != 0) ::_exit(126);
    }
    if (plan.uid && ::setuid(*plan.uid) != 0) ::_exit(126);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(outFd);
  ::close(errFd);

  TRunResult r;
  r.pid = pid;
  const auto start = std::chrono::steady_clock::now();
  std::optional<std::chrono::steady_clock::time_point> armedAt;
  if (!plan.armed) armedAt = start;
  bool killed = false;
  for (;;) {
    int st = 0;
    const pid_t w = ::waitpid(pid, &st, WUNTRACED | WNOHANG);
    if (w == pid) {
      if (WIFSTOPPED(st)) {
        if (plan.onStop) plan.onStop(r.stops);
        if (const auto sig = plan.signalAtStop.find(r.stops); sig != plan.signalAtStop.end())
          ::kill(pid, sig->second);
        ++r.stops;
        ::kill(pid, SIGCONT);
        continue;
      }
      if (WIFEXITED(st)) {
        r.exited = true;
        r.status = WEXITSTATUS(st);
      } else if (WIFSIGNALED(st)) {
        r.status = WTERMSIG(st);
      }
      break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!armedAt && plan.armed()) armedAt = now;
    const auto since = [&now](std::chrono::steady_clock::time_point t) {
      return std::chrono::duration_cast<std::chrono::milliseconds>(now - t).count();
    };
    const bool due = plan.killAfterMs && armedAt && since(*armedAt) >= *plan.killAfterMs;
    if (!killed && (due || since(start) >= plan.timeoutMs)) {
      ::kill(pid, SIGKILL);
      killed = true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  r.out = ReadFile(outPath);
  r.err = ReadFile(errPath);
  r.log = LogLines(r.out);
  return r;
}

const std::string& ResultHeader() {
  static const std::string header =
      "Local Date          | UTC Date            | Julian Day      |Sig(mV)| Se \" |R0 mm | AZ "
      "\xB0    | ELV \xB0  | Se \" zen | R0 mm Zen |";
  return header;
}

bool IsWholeDataLine(const std::string& line) {
  static const std::regex pattern(
      R"(^[^|]+ \| [^|]+ \| \d+\.\d{7} \| -?\d+\.\d \| -?\d+\.\d{2} \| -?\d+\.\d \| )"
      R"(-?\d+\.\d{3} \| -?\d+\.\d{3} \| -?\d+\.\d{2}     \| -?\d+\.\d     \|$)");
  return std::regex_match(line, pattern);
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::string f;
  std::istringstream in(line);
  while (std::getline(in, f, '|')) {
    const auto a = f.find_first_not_of(' ');
    const auto b = f.find_last_not_of(' ');
    out.push_back(a == std::string::npos ? std::string() : f.substr(a, b - a + 1));
  }
  return out;
}

TDayFile ReadDayFile(const fs::path& path) {
  TDayFile d;
  d.bytes = ReadFile(path);
  d.endsWithLineEnd = d.bytes.size() >= 2 && d.bytes.compare(d.bytes.size() - 2, 2, "\r\n") == 0;
  std::size_t pos = 0;
  while (pos < d.bytes.size()) {
    const auto end = d.bytes.find("\r\n", pos);
    const std::string line =
        d.bytes.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    d.lines.push_back(line);
    if (line == ResultHeader())
      ++d.headers;
    else if (!IsWholeDataLine(line))
      d.badLines.push_back(line);
    if (end == std::string::npos) break;
    pos = end + 2;
  }
  return d;
}

std::string DayFileName(int year, int month, int day) {
  char name[64];
  std::snprintf(name, sizeof name, "%d_%2d_%2d_Results.txt", year, month, day);
  return name;
}

}  // namespace quorvel::e2e
