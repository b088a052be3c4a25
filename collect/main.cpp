// quorvel-collect: every station's measurements from the broker into the
// PostgreSQL archive, each once.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/CollectOptions.h"
#include "collect/Collector.h"

namespace {

std::atomic<bool> gStop{false};

void OnSignal(int) {
  gStop = true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string out, err;
  int exitCode = 2;
  const auto options = quorvel::archive::ParseCollectArgs(args, out, err, exitCode);
  if (!options) {
    std::fputs(out.c_str(), stdout);
    std::fputs(err.c_str(), stderr);
    return exitCode;
  }
  struct sigaction sa = {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  std::setvbuf(stderr, nullptr, _IOLBF, 0);
  return quorvel::archive::RunCollector(*options, gStop, [](const std::string& text) {
    std::fprintf(stderr, "quorvel-collect: %s\n", text.c_str());
  });
}
