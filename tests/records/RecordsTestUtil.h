// Small helpers shared by the records tests: temporary folders, whole-file
// reads and writes, and the helper process.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel::testutil {

// A fresh folder under the temporary directory, removed with its content.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quorvel_records_XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline bool Exists(const std::string& path) {
  return std::filesystem::exists(path);
}

// Starts the helper executable with `args`; `env` entries ("NAME=value") are
// added to (or replace those of) the current environment. stdout goes to
// `stdoutFd` when not -1.
inline pid_t SpawnHelper(const std::vector<std::string>& args,
                         const std::vector<std::string>& env = {}, int stdoutFd = -1) {
  // Everything is built before fork(): the child only dup2()s and exec()s.
  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& add : env)
      if (add.substr(0, add.find('=')) == name) replaced = true;
    if (!replaced) envStrings.push_back(entry);
  }
  for (const std::string& add : env) envStrings.push_back(add);
  std::string exe = QUORVEL_RECORDS_HELPER;
  std::vector<std::string> argStrings = args;
  std::vector<char*> argv{exe.data()};
  for (std::string& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (stdoutFd >= 0) ::dup2(stdoutFd, STDOUT_FILENO);
  ::execve(exe.c_str(), argv.data(), envp.data());
  ::_exit(127);
}

// Runs the helper to its end; returns its exit status and its output.
inline int RunHelper(const std::vector<std::string>& args, const std::vector<std::string>& env,
                     std::string& output) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = SpawnHelper(args, env, fds[1]);
  ::close(fds[1]);
  output.clear();
  char buf[512];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) output.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline void KillAndReap(pid_t pid) {
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

}  // namespace quorvel::testutil
