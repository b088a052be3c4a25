// libFuzzer target for quorvel-sun --batch: arbitrary rows on standard
// input. Every row that is neither blank nor the header gives exactly one
// output row of twelve fields or one error line naming it; the exit status
// is 2 exactly when there was an error; a computed row has a finite place.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "sun/SunReport.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string l;
  while (std::getline(in, l)) out.push_back(l);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  std::ostringstream out, err;
  const int status = quorvel::ephem::RunSunTool({"--batch"}, in, out, err);
  if (status != 0 && status != 2) std::abort();
  const auto rows = Lines(out.str());
  const auto errors = Lines(err.str());
  if (rows.empty() || rows[0].rfind("utc,", 0) != 0) std::abort();
  if ((status == 2) != !errors.empty()) std::abort();
  for (const auto& e : errors)
    if (e.rfind("quorvel-sun: line ", 0) != 0) std::abort();
  // Only the first non-blank line may be a header; a "utc..." row further
  // down is a bad row like any other.
  std::size_t expected = 0;
  bool first = true;
  for (std::string l : Lines(text)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    std::size_t a = 0;
    while (a < l.size() && std::isspace(static_cast<unsigned char>(l[a]))) ++a;
    if (a == l.size()) continue;
    const bool header = first && l.compare(a, 3, "utc") == 0;
    first = false;
    if (!header) ++expected;
  }
  if (rows.size() - 1 + errors.size() != expected) std::abort();
  for (std::size_t i = 1; i < rows.size(); ++i) {
    std::vector<std::string> f;
    std::string x;
    std::istringstream row(rows[i]);
    while (std::getline(row, x, ',')) f.push_back(x);
    if (rows[i].back() == ',') f.push_back("");
    if (f.size() != 12) std::abort();
    for (int k = 4; k <= 8; ++k)
      if (f[k] == "NAN" || f[k] == "INF" || f[k] == "-INF") std::abort();
  }
  return 0;
}
