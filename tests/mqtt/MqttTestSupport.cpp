#include "MqttTestSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>

namespace quorvel::mqtttest {

namespace {

bool CanConnect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

pid_t Spawn(const std::vector<std::string>& argv, const fs::path& out, bool append) {
  const int fd =
      ::open(out.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + out.string());
  std::vector<std::string> args = argv;
  std::vector<char*> p;
  for (auto& a : args) p.push_back(a.data());
  p.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fd, STDOUT_FILENO);
    ::dup2(fd, STDERR_FILENO);
    ::execvp(p[0], p.data());
    ::_exit(127);
  }
  ::close(fd);
  return pid;
}

void EndChild(pid_t& pid, int sig) {
  if (pid <= 0) return;
  ::kill(pid, sig);
  int st = 0;
  ::waitpid(pid, &st, 0);
  pid = -1;
}

}  // namespace

std::string MosquittoPath() {
  for (const char* p : {"/usr/sbin/mosquitto", "/usr/bin/mosquitto", "/usr/local/sbin/mosquitto"})
    if (::access(p, X_OK) == 0) return p;
  return {};
}

std::string MissingTools() {
  if (MosquittoPath().empty()) return "mosquitto is not installed (Debian package mosquitto)";
  for (const char* p : {"/usr/bin/mosquitto_sub", "/usr/bin/mosquitto_pub"})
    if (::access(p, X_OK) != 0)
      return std::string(p) + " is not installed (Debian package mosquitto-clients)";
  return {};
}

int FreePort() {
  // Below the ephemeral range: no outgoing connection (a client, a bridge
  // retrying, the probes) can take the port while its broker is stopped, nor
  // connect to itself on it.
  int low = 32768;
  {
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    range >> low;
  }
  const int top = std::max(low, 12000);
  static std::mt19937 random(static_cast<std::uint32_t>(std::random_device()() ^ ::getpid()));
  std::uniform_int_distribution<int> pick(10000, top - 1);
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int port = pick(random);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    if (free) return port;
  }
  throw std::runtime_error("no free port below the ephemeral range");
}

TBroker::TBroker(fs::path dir, std::string config, int port)
    : dir_(std::move(dir)), config_(std::move(config)), port_(port ? port : FreePort()) {
  fs::create_directories(dir_);
}

TBroker::~TBroker() {
  Kill();
}

void TBroker::Start() {
  const fs::path conf = dir_ / "mosquitto.conf";
  {
    std::ofstream f(conf);
    // As root, mosquitto would otherwise become the user "mosquitto", who
    // cannot write the test's folder.
    if (const passwd* pw = ::getpwuid(::geteuid())) f << "user " << pw->pw_name << "\n";
    f << "listener " << port_ << " 127.0.0.1\n" << config_ << "\n";
  }
  pid_ = Spawn({MosquittoPath(), "-c", conf.string()}, dir_ / "broker.log", starts_++ > 0);
  for (int i = 0; i < 500; ++i) {
    if (CanConnect(port_)) return;
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::ifstream log(dir_ / "broker.log");
  std::stringstream s;
  s << log.rdbuf();
  throw std::runtime_error("mosquitto did not start on port " + std::to_string(port_) + ":\n" +
                           s.str());
}

void TBroker::Stop() {
  EndChild(pid_, SIGTERM);
}

void TBroker::Kill() {
  EndChild(pid_, SIGKILL);
}

TChild::TChild(std::vector<std::string> argv, fs::path out) : out_(std::move(out)) {
  pid_ = Spawn(argv, out_, true);
}

TChild::~TChild() {
  Kill();
}

void TChild::Stop() {
  EndChild(pid_, SIGTERM);
}

void TChild::Kill() {
  EndChild(pid_, SIGKILL);
}

std::string RunCommand(const std::vector<std::string>& argv, int* status) {
  int pipeFd[2];
  if (::pipe2(pipeFd, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  std::vector<std::string> args = argv;
  std::vector<char*> p;
  for (auto& a : args) p.push_back(a.data());
  p.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFd[1], STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDERR_FILENO);
    ::execvp(p[0], p.data());
    ::_exit(127);
  }
  ::close(pipeFd[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  ::close(pipeFd[0]);
  int st = 0;
  ::waitpid(pid, &st, 0);
  if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return out;
}

std::vector<TMessage> ReadMessages(const fs::path& file) {
  std::vector<TMessage> out;
  std::ifstream f(file);
  std::string line;
  while (std::getline(f, line)) {
    TMessage m;
    std::istringstream in(line);
    std::string r, q;
    if (!(in >> r >> q >> m.topic)) continue;
    if (r != "0" && r != "1") continue;  // not a message line
    m.retained = r == "1";
    m.qos = std::stoi(q);
    const auto at = line.find(m.topic) + m.topic.size();
    m.payload = at < line.size() ? line.substr(at + 1) : std::string();
    if (m.topic.rfind("quorvel-test/", 0) == 0) continue;
    out.push_back(m);
  }
  return out;
}

std::unique_ptr<TChild> StartSubscriber(int port, const std::vector<std::string>& topics,
                                        const fs::path& out,
                                        const std::vector<std::string>& extra) {
  std::vector<std::string> argv = {"mosquitto_sub",      "-h", "127.0.0.1",  "-p",
                                   std::to_string(port), "-F", "%r %q %t %p"};
  for (const auto& t : topics) argv.insert(argv.end(), {"-t", t});
  argv.insert(argv.end(), {"-t", "quorvel-test/probe"});
  argv.insert(argv.end(), extra.begin(), extra.end());
  auto child = std::make_unique<TChild>(argv, out);
  // Subscribed once a probe comes through.
  std::vector<std::string> pub = {
      "mosquitto_pub",      "-h", "127.0.0.1", "-p", std::to_string(port), "-t",
      "quorvel-test/probe", "-m", "probe"};
  for (std::size_t i = 0; i < extra.size(); ++i) {
    const std::string& e = extra[i];
    if ((e == "--cafile" || e == "-u" || e == "-P" || e == "--cert" || e == "--key") &&
        i + 1 < extra.size()) {
      pub.insert(pub.end(), {e, extra[i + 1]});
      ++i;
    }
  }
  for (int i = 0; i < 100; ++i) {
    RunCommand(pub);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream f(out);
    std::stringstream s;
    s << f.rdbuf();
    if (s.str().find("quorvel-test/probe probe") != std::string::npos) return child;
  }
  throw std::runtime_error("mosquitto_sub did not subscribe on port " + std::to_string(port));
}

std::vector<TMessage> Retained(int port, const std::string& topic,
                               const std::vector<std::string>& extra) {
  std::vector<std::string> argv = {
      "mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(port), "-F", "%r %q %t %p", "-t",
      topic,           "-W", "1"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  const std::string text = RunCommand(argv);
  const fs::path tmp =
      fs::temp_directory_path() / ("quorvel_retained_" + std::to_string(::getpid()));
  {
    std::ofstream f(tmp);
    f << text;
  }
  auto messages = ReadMessages(tmp);
  fs::remove(tmp);
  return messages;
}

TSilentBroker::TSilentBroker(bool answerConnect) : answer_(answerConnect) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // A small receive buffer: a client that keeps writing soon finds it full.
  const int small = 4096;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(listenFd_, 16);
  socklen_t len = sizeof a;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Run(); });
}

TSilentBroker::~TSilentBroker() {
  stop_ = true;
  thread_.join();
  for (int fd : clients_) ::close(fd);
  ::close(listenFd_);
}

void TSilentBroker::Run() {
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++accepted_;
    clients_.push_back(fd);
    if (answer_) {
      // Read the CONNECT (it fits one read on loopback), accept it, and from
      // then on neither read nor answer.
      pollfd c{fd, POLLIN, 0};
      if (::poll(&c, 1, 2000) > 0) {
        char buf[1024];
        [[maybe_unused]] const ssize_t n = ::read(fd, buf, sizeof buf);
        const unsigned char connack[] = {0x20, 0x02, 0x00, 0x00};
        [[maybe_unused]] const ssize_t w = ::write(fd, connack, sizeof connack);
      }
    }
  }
}

std::string JsonField(const std::string& json, const std::string& key) {
  const std::string k = "\"" + key + "\":";
  const auto at = json.find(k);
  if (at == std::string::npos) return {};
  const auto start = at + k.size();
  if (json[start] == '"') return json.substr(start + 1, json.find('"', start + 1) - start - 1);
  const auto end = json.find_first_of(",}", start);
  return json.substr(start, end - start);
}

std::string MakeTestCertificates(const fs::path& dir) {
  fs::create_directories(dir);
  const std::string p = dir.string() + "/";
  {
    std::ofstream ext(p + "ext.cnf");
    ext << "subjectAltName=IP:127.0.0.1\n";
  }
  const std::vector<std::vector<std::string>> steps = {
      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
       "/CN=Quorvel test CA", "-keyout", p + "ca.key", "-out", p + "ca.pem"},
      {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
       p + "server.key", "-out", p + "server.csr"},
      {"x509", "-req", "-in", p + "server.csr", "-CA", p + "ca.pem", "-CAkey", p + "ca.key",
       "-CAcreateserial", "-days", "2", "-extfile", p + "ext.cnf", "-out", p + "server.pem"}};
  for (auto args : steps) {
    args.insert(args.begin(), "openssl");
    int status = -1;
    RunCommand(args, &status);
    if (status != 0) return "openssl " + args[1] + " failed";
  }
  return {};
}

}  // namespace quorvel::mqtttest
