// Real mosquitto brokers and clients for the tests, started on free loopback
// ports and stopped by the tests; a fake broker that misbehaves on purpose.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::mqtttest {

namespace fs = std::filesystem;

// The mosquitto broker's program, or empty when it is not installed.
std::string MosquittoPath();
// Why the broker tests cannot run here (empty when they can).
std::string MissingTools();

// A free TCP port on 127.0.0.1.
int FreePort();

// A mosquitto broker with the configuration `config` (the listener line is
// added) in `dir`.
class TBroker {
 public:
  TBroker(fs::path dir, std::string config, int port = 0);
  ~TBroker();
  void Start();
  void Stop();  // SIGTERM: persistence is saved
  void Kill();
  int Port() const { return port_; }
  const fs::path& Dir() const { return dir_; }

 private:
  fs::path dir_;
  std::string config_;
  int port_;
  pid_t pid_ = -1;
  int starts_ = 0;
};

// A test CA and a server certificate for 127.0.0.1 made by openssl in
// `dir`: ca.pem, ca.key, server.pem, server.key. Returns what failed
// (empty: all made).
std::string MakeTestCertificates(const fs::path& dir);

// A child process whose standard output is appended to a file.
class TChild {
 public:
  TChild(std::vector<std::string> argv, fs::path out);
  ~TChild();
  void Stop();
  void Kill();
  const fs::path& Out() const { return out_; }

 private:
  pid_t pid_ = -1;
  fs::path out_;
};

// Runs a command to its end; its standard output (and exit status).
std::string RunCommand(const std::vector<std::string>& argv, int* status = nullptr);

// One message as mosquitto_sub -F '%r %q %t %p' prints it.
struct TMessage {
  bool retained = false;
  int qos = 0;
  std::string topic, payload;
};
std::vector<TMessage> ReadMessages(const fs::path& file);

// A mosquitto_sub printing in that format into `out`, started only once it
// has subscribed (a probe message came through). `extra` are more options
// (-c -i ID -q 1, TLS, credentials).
std::unique_ptr<TChild> StartSubscriber(int port, const std::vector<std::string>& topics,
                                        const fs::path& out,
                                        const std::vector<std::string>& extra = {});

// The retained messages under `topic` (a second of listening).
std::vector<TMessage> Retained(int port, const std::string& topic,
                               const std::vector<std::string>& extra = {});

// A TCP server on 127.0.0.1 that accepts connections and then either never
// answers (`answerConnect` false) or answers the CONNECT with a CONNACK and
// never reads or answers again.
class TSilentBroker {
 public:
  explicit TSilentBroker(bool answerConnect);
  ~TSilentBroker();
  int Port() const { return port_; }
  int Accepted() const { return accepted_; }

 private:
  void Run();
  bool answer_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::vector<int> clients_;
  std::thread thread_;
};

// The JSON value of `key` in a flat JSON object, as text ("null", "2.35").
std::string JsonField(const std::string& json, const std::string& key);

}  // namespace quorvel::mqtttest
