// Small separate process for the tests that must kill a writer mid-way or run
// under another locale:
//   records_test_helper append-loop DIR    appends results lines for ever
//   records_test_helper append-once DIR    appends one known line, prints the file path
//   records_test_helper settings-loop FILE G  rewrites the settings for ever,
//                                             generations G, G+1, ...
#include <clocale>
#include <cstdio>
#include <string>

#include "common/DateTime.h"
#include "records/ResultFile.h"
#include "records/SettingsStore.h"

using namespace quorvel;

namespace {

TDataOutMes KnownRecord() {
  TDataOutMes m;
  m.CurrentDate = EncodeDateTime(2026, 5, 3, 14, 7, 9, 0);
  m.UTCDate = EncodeDateTime(2026, 5, 3, 12, 7, 9, 0);
  m.Signal_UtileV = 0.41234;
  m.seeingArcSec = 1.25;
  m.R0 = 85.26;
  m.AZ = 135.5;
  m.ELV = 52.25;
  m.seeingArcSecZen = 1.126;
  m.R0Zen = 103.76;
  return m;
}

// A text of the generation that a torn save could not pass for whole.
std::string Generation(long g) {
  std::string s;
  for (int i = 0; i < 40; ++i) s += std::to_string(g) + "-";
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  // As a GUI application would: the C library takes over the user's locale.
  std::setlocale(LC_ALL, "");
  const std::string mode = argv[1];
  const std::string target = argv[2];
  try {
    if (mode == "append-loop") {
      TDataOutMes m = KnownRecord();
      std::string path;
      for (long i = 0;; ++i) {
        m.Signal_UtileV = static_cast<double>(i) / 1000.0;
        SaveData(target, m, path);
      }
    } else if (mode == "append-once") {
      std::string path;
      SaveData(target, KnownRecord(), path);
      std::printf("%s\n", path.c_str());
      return 0;
    } else if (mode == "settings-loop") {
      TDatabaseRegistry reg(target);
      for (long g = argc > 3 ? std::stol(argv[3]) : 1;; ++g)
        for (int k = 0; k < 10; ++k)
          reg.WriteCFGtoRegister("\\General", TTaggedValue(Generation(g)), "v" + std::to_string(k));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 2;
}
