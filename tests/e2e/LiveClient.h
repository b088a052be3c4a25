// A running quorvel for the tests of the live outputs, and the clients they
// use: a plain HTTP/1.1 client and a UDP exchange, both on 127.0.0.1 only.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::e2e {

namespace fs = std::filesystem;

// quorvel started in the background, its standard output and error in files
// of `dir`. Stopped with SIGTERM (then SIGKILL) when it goes.
class TChild {
 public:
  TChild(const std::vector<std::string>& args, const fs::path& dir,
         const std::map<std::string, std::string>& env = {});
  ~TChild();
  // The exit status, or -1 when it had to be killed.
  int Stop();
  bool Running();
  std::string Out() const;
  std::string Err() const;
  // Waits until the standard output holds `text`.
  bool WaitFor(const std::string& text, int timeoutMs = 30000) const;
  // Resident memory in KiB.
  long RssKb() const;
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  fs::path dir_;
  std::optional<int> status_;
};

struct THttpReply {
  int status = 0;  // 0: no answer
  std::string contentType;
  std::string body;
};

// One request on a new connection to 127.0.0.1:`port`; `body` goes out
// form-encoded. Waits at most `timeoutMs`.
THttpReply Http(int port, const std::string& method, const std::string& target,
                const std::string& body = {}, int timeoutMs = 5000);
// Sends raw bytes and reads until the peer closes or the time is over.
std::string RawExchange(int port, const std::string& bytes, int timeoutMs = 5000);

// The raw JSON text of a top-level member of an object ("Value" -> "1.23").
std::optional<std::string> JsonMember(const std::string& json, const std::string& name);

// A port free right now on 127.0.0.1 (TCP or UDP).
int FreePort(bool udp = false);

// Sends `datagram` to 127.0.0.1:`port` and returns the answer, if any.
std::optional<std::string> UdpExchange(int port, const std::string& datagram, int timeoutMs);

}  // namespace quorvel::e2e
