// libFuzzer target for the replay/capture file reader. Arbitrary text either
// parses or raises the reader's own error; a parsed script written back in
// the capture format must parse to the same reports.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/Errors.h"
#include "device/Replay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TReplayScript script;
  try {
    script = ParseReplay(text, "fuzz.txt");
  } catch (const Exception&) {
    return 0;
  }
  for (const auto& r : script.VersionAnswers)
    if (r[1] != 0x80) std::abort();
  for (const auto& r : script.WriteAnswers)
    if (r[1] != 0x84) std::abort();
  for (const auto& r : script.Answers)
    if (r[1] == 0x80 || r[1] == 0x84) std::abort();
  // Order within each kind is kept; write them back grouped.
  std::string again = "# written back\n";
  for (const auto* list : {&script.VersionAnswers, &script.WriteAnswers, &script.Answers})
    for (const auto& r : *list) again += ReportToHex(r.data(), r.size()) + "\r\n";
  const TReplayScript back = ParseReplay(again, "again.txt");
  if (back.VersionAnswers != script.VersionAnswers || back.WriteAnswers != script.WriteAnswers ||
      back.Answers != script.Answers)
    std::abort();
  return 0;
}
