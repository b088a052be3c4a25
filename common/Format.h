// The program's one place for number formatting. Whatever the user's locale,
// numbers use "." as decimal separator; NaN prints "NAN" and infinities "INF"
// and "-INF"; hexadecimal is upper case. Dates and times are not formatted here
// (they follow the user's regional formats, see records/).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// Fixed-point with `decimals` digits after the point, like "%1.<decimals>f".
std::string FormatFixed(double value, int decimals);

// General format: shortest text with at most `precision` significant digits,
// no trailing zeros, scientific ("1.5E-7", "1E20") only for very small or very
// large magnitudes. 0.79412480965742, 89.99999999, 9000, -300, 0.
std::string FormatGeneral(double value, int precision = 15);

// Upper-case hexadecimal with at least `minDigits` digits ("%x", "%.2x", "%.4x").
std::string FormatHex(std::uint64_t value, int minDigits = 0);

// One argument of Format(): an integer (signed or unsigned), a float or a text.
class FmtArg {
 public:
  enum class Kind { Signed, Unsigned, Float, Text };
  FmtArg(int v) : kind_(Kind::Signed), i_(v) {}
  FmtArg(long v) : kind_(Kind::Signed), i_(v) {}
  FmtArg(long long v) : kind_(Kind::Signed), i_(v) {}
  FmtArg(unsigned v) : kind_(Kind::Unsigned), u_(v) {}
  FmtArg(unsigned long v) : kind_(Kind::Unsigned), u_(v) {}
  FmtArg(unsigned long long v) : kind_(Kind::Unsigned), u_(v) {}
  FmtArg(unsigned char v) : kind_(Kind::Unsigned), u_(v) {}
  FmtArg(unsigned short v) : kind_(Kind::Unsigned), u_(v) {}
  FmtArg(short v) : kind_(Kind::Signed), i_(v) {}
  FmtArg(double v) : kind_(Kind::Float), f_(v) {}
  FmtArg(float v) : kind_(Kind::Float), f_(v) {}
  FmtArg(const char* v) : kind_(Kind::Text), s_(v) {}
  FmtArg(std::string_view v) : kind_(Kind::Text), s_(v) {}
  FmtArg(const std::string& v) : kind_(Kind::Text), s_(v) {}

  Kind kind() const { return kind_; }
  std::int64_t asSigned() const { return i_; }
  std::uint64_t asUnsigned() const { return u_; }
  double asFloat() const { return f_; }
  std::string_view asText() const { return s_; }

 private:
  Kind kind_;
  std::int64_t i_ = 0;
  std::uint64_t u_ = 0;
  double f_ = 0;
  std::string_view s_;
};

// printf-like formatting with the program's conventions:
//   %d / %u  decimal integer (an unsigned argument prints unsigned)
//   %x       upper-case hexadecimal; %.2x and %.4x pad with zeros
//   %f       fixed point, "%1.1f" one decimal; NAN / INF / -INF
//   %g       general format, 15 significant digits
//   %s       text;   %%  a percent sign
// A width pads on the left with blanks ("-" pads on the right).
// A conversion that does not fit its argument throws quorvel::Exception.
std::string Format(std::string_view format, std::initializer_list<FmtArg> args = {});

// Parses a decimal number with "." as separator: optional sign, digits, optional
// fraction, optional exponent; the texts NAN, INF, +INF, -INF in any case.
// Leading/trailing blanks are not accepted. Returns nothing on failure.
std::optional<double> ParseFloat(std::string_view text);

// Parses a whole decimal integer with optional sign into 64 bits.
std::optional<std::int64_t> ParseInt64(std::string_view text);

}  // namespace quorvel
