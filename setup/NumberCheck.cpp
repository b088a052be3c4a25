#include "NumberCheck.h"

#include <cmath>
#include <cstdint>

#include "common/Format.h"
#include "setup/Formula.h"

namespace quorvel {

const char* const kTooBigMessage =
    "Nombre trop grand par rapport à la valeur maximale autorisée : ";
const char* const kTooSmallMessage =
    "Nombre trop petit par rapport à la valeur minimale autorisée : ";
const char* const kNotWholeSuffix = " n'est pas une valeur entière valide !";

ENotWholeError::ENotWholeError(const std::string& text) : Exception(text + kNotWholeSuffix) {}

namespace {

std::string WholeBound(double bound) {
  return FormatFixed(std::nearbyint(bound), 0);
}

}  // namespace

std::string EvaluateNumberText(const std::string& text, TTypeValue type, double minValue,
                               double maxValue) {
  if (text.empty()) return text;
  const bool ranged = maxValue > minValue;

  if (type == TTypeValue::Int) {
    const double v = GiveFormuleValue(text);
    std::int32_t i = 0;
    try {
      i = RoundToInt32Checked(v);
    } catch (const ERangeCheckError&) {
      throw ENotWholeError(text);  // NaN, infinities, beyond 32 bits
    }
    if (v != static_cast<double>(i)) throw ENotWholeError(text);
    if (ranged && i > maxValue) throw ERangeError(kTooBigMessage + WholeBound(maxValue));
    if (ranged && i < minValue) throw ERangeError(kTooSmallMessage + WholeBound(minValue));
    return std::to_string(i);
  }

  const auto plain = ParseFloat(text);
  const double v = plain ? *plain : GiveFormuleValue(text);
  if (ranged && v > maxValue) throw ERangeError(kTooBigMessage + FormatGeneral(maxValue));
  if (ranged && v < minValue) throw ERangeError(kTooSmallMessage + FormatGeneral(minValue));
  return FormatGeneral(v);
}

std::string PreviewNumberText(const std::string& text, TTypeValue type, double minValue,
                              double maxValue, const std::string& unit) {
  if (text.empty()) return "empty";
  try {
    return "= " + EvaluateNumberText(text, type, minValue, maxValue) + unit;
  } catch (const ENotWholeError&) {
    return "not a whole number";
  } catch (const ERangeError&) {
    const auto plain = ParseFloat(text);
    double v = 0;
    try {
      v = plain ? *plain : GiveFormuleValue(text);
    } catch (const EFormuleError&) {
    }
    return v > maxValue ? "above " + FormatGeneral(maxValue) + unit
                        : "below " + FormatGeneral(minValue) + unit;
  } catch (const Exception&) {
    return "not a number";
  }
}

}  // namespace quorvel
