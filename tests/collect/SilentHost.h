#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace quorvel::pgtest {

// A socket on 127.0.0.1 that listens, so the kernel completes connections,
// but never accepts nor answers: a database host that has hung.
class TSilentHost {
 public:
  TSilentHost() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd_, 8) != 0)
      throw std::runtime_error("cannot listen on 127.0.0.1");
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~TSilentHost() { ::close(fd_); }
  int Port() const { return port_; }

 private:
  int fd_ = -1, port_ = 0;
};

}  // namespace quorvel::pgtest
