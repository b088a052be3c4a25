// quorvel-collect's command line. Plain C++, no I/O.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvel::archive {

struct TCollectOptions {
  std::string url;                 // mqtt://HOST[:PORT] or mqtts://HOST[:PORT]
  std::string prefix = "quorvel";  // topics <prefix>/+/measurement
  std::string clientId;            // empty: quorvel-collect-<host name>
  std::string user, passwordFile, caFile, certFile, keyFile;
  std::string conninfo;  // empty: libpq's PG* environment variables
  int batchMs = 200;     // longest a measurement waits for its commit
  int batchMax = 1000;   // most measurements in one transaction
  int keepAliveS = 30;
};

// Parses the arguments (without the program name). Returns nothing after
// writing the reason to `err`, or the help or version to `out` (then
// `exitCode` is 0; else 2).
std::optional<TCollectOptions> ParseCollectArgs(const std::vector<std::string>& args,
                                                std::string& out, std::string& err, int& exitCode);

std::string CollectUsage();

// "quorvel-collect-<host>", reduced to what a client id may safely hold.
std::string DefaultClientId(const std::string& hostName);

}  // namespace quorvel::archive
