// libFuzzer target for the numeric fields' formula evaluator and the check a
// field runs when it is left. Any exception other than the three operator
// errors, any sanitizer report, or a rewritten text that the same field would
// not accept unchanged is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "setup/Formula.h"
#include "setup/NumberCheck.h"

namespace {

void CheckField(const std::string& text, quorvel::TTypeValue type, double min, double max) {
  std::string shown;
  try {
    shown = quorvel::EvaluateNumberText(text, type, min, max);
  } catch (const quorvel::EFormuleError&) {
    return;
  } catch (const quorvel::ERangeError&) {
    return;
  } catch (const quorvel::ENotWholeError&) {
    return;
  }
  // Leaving the field again must keep the value as it is.
  if (quorvel::EvaluateNumberText(shown, type, min, max) != shown) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    (void)quorvel::GiveFormuleValue(text);
  } catch (const quorvel::EFormuleError&) {
  }
  CheckField(text, quorvel::TTypeValue::Float, 0, 0);
  CheckField(text, quorvel::TTypeValue::Float, 0, 359.9999);
  CheckField(text, quorvel::TTypeValue::Float, -300, 9000);
  CheckField(text, quorvel::TTypeValue::Int, 0, 0);
  CheckField(text, quorvel::TTypeValue::Int, -10, 10);
  return 0;
}
