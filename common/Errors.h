// Error classes shared by the whole program. Every error carries the exact
// operator-facing message; callers catch them where the program's design says.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quorvel {

// The general error class: "raise an error with a message".
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// Out-of-range array index or an out-of-range rounding to a 32-bit integer.
class ERangeCheckError : public Exception {
 public:
  ERangeCheckError() : Exception("Range check error") {}
};

// A calendar date or time that cannot be converted.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// File input/output failures (results file).
class EInOutError : public Exception {
 public:
  EInOutError(const std::string& message, int errorCode)
      : Exception(message), ErrorCode(errorCode) {}
  int ErrorCode;
};

// Rounds to the nearest integer, ties to even, and raises "Range check error"
// when the result does not fit a signed 32-bit integer (NaN and infinities
// included).
std::int32_t RoundToInt32Checked(double value);

// Raises "Range check error" unless 0 <= index < length.
inline void CheckIndex(std::int64_t index, std::int64_t length) {
  if (index < 0 || index >= length) throw ERangeCheckError();
}

}  // namespace quorvel
