// What a numeric field does with its text when the operator leaves it: plain
// number or formula, whole-number and range checks, and the normalised text.
// Plain C++, no Qt; the widget (NumberEdit.h) only adds focus and colour.
#pragma once

#include <string>

#include "common/Errors.h"

namespace quorvel {

enum class TTypeValue { Int = 0, Float = 1 };

// Value outside the field's range. Distinct from ERangeCheckError.
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};

// An Int field whose value is not a whole 32-bit number.
class ENotWholeError : public Exception {
 public:
  explicit ENotWholeError(const std::string& text);
};

extern const char* const kTooBigMessage;    // followed by the upper bound
extern const char* const kTooSmallMessage;  // followed by the lower bound
extern const char* const kNotWholeSuffix;   // after the field's text

// Returns the text that replaces `text` when the field is left.
//   Int:   the formula value must be a whole number that fits 32 bits
//          (ENotWholeError); written as a decimal integer.
//   Float: a plain number first (sign, fraction, exponent, NAN, INF), else a
//          formula; written in the general format (45.50 -> 45.5, 90/2 -> 45).
// The range applies only when maxValue > minValue (ERangeError; NaN passes).
// Formula faults raise EFormuleError. An empty text is returned unchanged.
std::string EvaluateNumberText(const std::string& text, TTypeValue type, double minValue,
                               double maxValue);

// What leaving the field would make of `text`, for showing beside it while
// the operator types: "= " + the value and `unit` ("= 1.25°"); "empty";
// "not a number" (a formula that cannot be evaluated); "not a whole number";
// "above " / "below " + the bound. Never raises.
std::string PreviewNumberText(const std::string& text, TTypeValue type, double minValue,
                              double maxValue, const std::string& unit);

}  // namespace quorvel
