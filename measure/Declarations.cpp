#include "Declarations.h"

#include <cstring>

#include "common/Format.h"

namespace quorvel {

TGeneralParams GeneralParams;
TSetupLocation SetupLocation;

float TSingle32::Value() const {
  const std::uint32_t bits = ToUint32().Value();
  float f;
  static_assert(sizeof f == sizeof bits);
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void TSingle32::SetValue(float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  TUint32 u;
  u.SetValue(bits);
  as1 = u.as1;
  as2 = u.as2;
  as3 = u.as3;
  as4 = u.as4;
}

std::string FormatCurr(double Value) {
  // Strict comparisons, in this order; NaN falls through to pA.
  if (Value > 1) return FormatFixed(Value, 1) + " A";
  if (Value > 1e-3) return FormatFixed(Value * 1e3, 1) + " mA";
  if (Value > 1e-6) return FormatFixed(Value * 1e6, 1) + " \u00B5A";
  if (Value > 1e-9) return FormatFixed(Value * 1e9, 1) + " nA";
  return FormatFixed(Value * 1e12, 1) + " pA";
}

}  // namespace quorvel
