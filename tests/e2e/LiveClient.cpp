#include "LiveClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "RunQuorvel.h"

namespace quorvel::e2e {

namespace {

using Clock = std::chrono::steady_clock;

long MsLeft(Clock::time_point deadline) {
  return std::max<long>(
      0,
      static_cast<long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
}

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

TChild::TChild(const std::vector<std::string>& args, const fs::path& dir,
               const std::map<std::string, std::string>& env)
    : dir_(dir) {
  fs::create_directories(dir);
  const std::string exe = QuorvelPath();
  std::vector<std::string> text{exe};
  text.insert(text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : text) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int out = ::open((dir / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open((dir / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    ::close(STDIN_FILENO);
    ::open("/dev/null", O_RDONLY);
    for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out);
  ::close(err);
}

TChild::~TChild() {
  Stop();
}

bool TChild::Running() {
  if (status_) return false;
  int st = 0;
  if (::waitpid(pid_, &st, WNOHANG) == pid_) {
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return false;
  }
  return true;
}

int TChild::Stop() {
  if (status_) return *status_;
  if (!Running()) return *status_;
  ::kill(pid_, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(15);
  int st = 0;
  while (Clock::now() < deadline) {
    if (::waitpid(pid_, &st, WNOHANG) == pid_) {
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      return *status_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &st, 0);
  status_ = -1;
  return -1;
}

std::string TChild::Out() const {
  return ReadFile(dir_ / "stdout.txt");
}

std::string TChild::Err() const {
  return ReadFile(dir_ / "stderr.txt");
}

bool TChild::WaitFor(const std::string& text, int timeoutMs) const {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (Out().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

long TChild::RssKb() const {
  std::ifstream f("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

THttpReply Http(int port, const std::string& method, const std::string& target,
                const std::string& body, int timeoutMs) {
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (method == "PUT" || !body.empty())
    request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n";
  request += "\r\n" + body;
  const std::string raw = RawExchange(port, request, timeoutMs);
  THttpReply r;
  if (raw.rfind("HTTP/1.1 ", 0) != 0) return r;
  r.status = std::atoi(raw.c_str() + 9);
  const auto end = raw.find("\r\n\r\n");
  if (end == std::string::npos) return r;
  std::istringstream head(raw.substr(0, end));
  std::string line;
  while (std::getline(head, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "content-type") r.contentType = line.substr(colon + 2);
  }
  r.body = raw.substr(end + 4);
  return r;
}

std::string RawExchange(int port, const std::string& bytes, int timeoutMs) {
  const int fd = Connect(port);
  if (fd < 0) return {};
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  SendAll(fd, bytes);
  std::string in;
  // Reads until the peer closes, or until a whole answer with a length.
  while (MsLeft(deadline) > 0) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(MsLeft(deadline))) <= 0) break;
    char buf[4096];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    in.append(buf, static_cast<std::size_t>(n));
    const auto end = in.find("\r\n\r\n");
    if (end == std::string::npos) continue;
    std::string head = in.substr(0, end);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto cl = head.find("content-length:");
    if (cl != std::string::npos && in.size() >= end + 4 + std::stoul(head.substr(cl + 15))) break;
  }
  ::close(fd);
  return in;
}

std::optional<std::string> JsonMember(const std::string& json, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
      continue;
    }
    if (depth == 1 && json.compare(i, key.size(), key) == 0) {
      std::size_t j = i + key.size();
      const std::size_t start = j;
      int d = 0;
      bool s = false;
      for (; j < json.size(); ++j) {
        const char k = json[j];
        if (s) {
          if (k == '\\')
            ++j;
          else if (k == '"')
            s = false;
          continue;
        }
        if (k == '"') s = true;
        if (k == '[' || k == '{') ++d;
        if (k == ']' || k == '}') {
          if (d == 0) break;
          --d;
        }
        if (k == ',' && d == 0) break;
      }
      return json.substr(start, j - start);
    }
    if (c == '"') inString = true;
    if (c == '{' || c == '[') ++depth;
    if (c == '}' || c == ']') --depth;
  }
  return std::nullopt;
}

int FreePort(bool udp) {
  const int fd = ::socket(AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

std::optional<std::string> UdpExchange(int port, const std::string& datagram, int timeoutMs) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  pollfd p{fd, POLLIN, 0};
  std::optional<std::string> answer;
  if (::poll(&p, 1, timeoutMs) > 0) {
    char buf[512];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n >= 0) answer = std::string(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return answer;
}

}  // namespace quorvel::e2e
