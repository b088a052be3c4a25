#include "Format.h"

#include <locale.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Errors.h"

namespace quorvel {

namespace {

std::string NonFinite(double value) {
  if (std::isnan(value)) return "NAN";
  return value < 0 ? "-INF" : "INF";
}

bool AllZeroDigits(std::string_view s) {
  for (char c : s)
    if (c >= '1' && c <= '9') return false;
  return true;
}

}  // namespace

std::string FormatFixed(double value, int decimals) {
  if (!std::isfinite(value)) return NonFinite(value);
  if (decimals < 0) decimals = 0;
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  std::string out(buf, res.ptr);
  // A value that rounds to zero is written without a sign ("0.0", not "-0.0").
  if (!out.empty() && out[0] == '-' && AllZeroDigits(out)) out.erase(0, 1);
  return out;
}

std::string FormatGeneral(double value, int precision) {
  if (!std::isfinite(value)) return NonFinite(value);
  if (value == 0) return "0";
  if (precision < 1) precision = 1;
  if (precision > 17) precision = 17;
  char buf[64];
  auto res =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision - 1);
  std::string sci(buf, res.ptr);  // [-]d.ddde[+-]xx
  const bool negative = sci[0] == '-';
  if (negative) sci.erase(0, 1);
  const auto ePos = sci.find('e');
  const int exponent = std::atoi(sci.c_str() + ePos + 1);
  std::string digits;
  for (std::size_t i = 0; i < ePos; ++i)
    if (sci[i] != '.') digits.push_back(sci[i]);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out;
  if (exponent >= precision || exponent < -5) {
    out = digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E" + std::to_string(exponent);
  } else if (exponent < 0) {
    out = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else {
    const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
      out = digits + std::string(intDigits - digits.size(), '0');
    } else {
      out = digits.substr(0, intDigits) + "." + digits.substr(intDigits);
    }
  }
  return negative ? "-" + out : out;
}

std::string FormatHex(std::uint64_t value, int minDigits) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, value, 16);
  std::string out(buf, res.ptr);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (static_cast<int>(out.size()) < minDigits)
    out.insert(0, static_cast<std::size_t>(minDigits) - out.size(), '0');
  return out;
}

std::string Format(std::string_view format, std::initializer_list<FmtArg> args) {
  std::string out;
  out.reserve(format.size() + 16);
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    if (++i >= format.size()) throw Exception("Format '" + std::string(format) + "' invalid");
    if (format[i] == '%') {
      out.push_back('%');
      continue;
    }
    bool left = false;
    if (format[i] == '-') {
      left = true;
      ++i;
    }
    int width = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9')
      width = width * 10 + (format[i++] - '0');
    int prec = -1;
    if (i < format.size() && format[i] == '.') {
      prec = 0;
      ++i;
      while (i < format.size() && format[i] >= '0' && format[i] <= '9')
        prec = prec * 10 + (format[i++] - '0');
    }
    if (i >= format.size()) throw Exception("Format '" + std::string(format) + "' invalid");
    const char type = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i])));
    if (next == args.end())
      throw Exception("Format '" + std::string(format) + "' invalid or incompatible with argument");
    const FmtArg& arg = *next++;
    std::string piece;
    switch (type) {
      case 'd':
      case 'u':
        if (arg.kind() == FmtArg::Kind::Signed)
          piece = std::to_string(arg.asSigned());
        else if (arg.kind() == FmtArg::Kind::Unsigned)
          piece = std::to_string(arg.asUnsigned());
        else
          throw Exception("Format '" + std::string(format) +
                          "' invalid or incompatible with argument");
        if (prec > 0) {
          const bool neg = !piece.empty() && piece[0] == '-';
          std::string digits = neg ? piece.substr(1) : piece;
          if (static_cast<int>(digits.size()) < prec)
            digits.insert(0, static_cast<std::size_t>(prec) - digits.size(), '0');
          piece = neg ? "-" + digits : digits;
        }
        break;
      case 'x':
        if (arg.kind() == FmtArg::Kind::Signed)
          piece = FormatHex(static_cast<std::uint64_t>(arg.asSigned()) &
                                (arg.asSigned() < 0 ? 0xFFFFFFFFull : ~0ull),
                            prec);
        else if (arg.kind() == FmtArg::Kind::Unsigned)
          piece = FormatHex(arg.asUnsigned(), prec);
        else
          throw Exception("Format '" + std::string(format) +
                          "' invalid or incompatible with argument");
        break;
      case 'f':
      case 'g':
      case 'e': {
        double v;
        if (arg.kind() == FmtArg::Kind::Float)
          v = arg.asFloat();
        else
          throw Exception("Format '" + std::string(format) +
                          "' invalid or incompatible with argument");
        if (type == 'f')
          piece = FormatFixed(v, prec < 0 ? 2 : prec);
        else
          piece = FormatGeneral(v, prec <= 0 ? 15 : prec);
        break;
      }
      case 's':
        if (arg.kind() != FmtArg::Kind::Text)
          throw Exception("Format '" + std::string(format) +
                          "' invalid or incompatible with argument");
        piece = std::string(arg.asText());
        if (prec >= 0 && static_cast<int>(piece.size()) > prec)
          piece.resize(static_cast<std::size_t>(prec));
        break;
      default:
        throw Exception("Format '" + std::string(format) + "' invalid");
    }
    if (static_cast<int>(piece.size()) < width) {
      const std::string pad(static_cast<std::size_t>(width) - piece.size(), ' ');
      piece = left ? piece + pad : pad + piece;
    }
    out += piece;
  }
  return out;
}

std::optional<double> ParseFloat(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "NAN") return std::nan("");
  if (upper == "INF" || upper == "+INF") return HUGE_VAL;
  if (upper == "-INF") return -HUGE_VAL;
  // Strict grammar: [sign] digits [. digits] [e [sign] digits], at least one digit.
  std::size_t i = 0;
  if (text[i] == '+' || text[i] == '-') ++i;
  std::size_t mantissaDigits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
    ++i, ++mantissaDigits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
      ++i, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  // from_chars does not take a leading '+'.
  std::string_view body = text;
  if (body[0] == '+') body.remove_prefix(1);
  double value = 0;
  auto res = std::from_chars(body.data(), body.data() + body.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    // Overflow gives an infinity, underflow zero. strtod would decide, but it
    // follows the process locale, so ask it under the "C" locale.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const locale_t previous = uselocale(cLocale);
    value = std::strtod(std::string(body).c_str(), nullptr);
    uselocale(previous);
  } else if (res.ec != std::errc() || res.ptr != body.data() + body.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::int64_t> ParseInt64(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::string_view body = text;
  if (body[0] == '+') body.remove_prefix(1);
  // One sign at most: "+-5" is not a number.
  if (body.empty() || (body.size() < text.size() && body[0] == '-')) return std::nullopt;
  std::int64_t value = 0;
  auto res = std::from_chars(body.data(), body.data() + body.size(), value);
  if (res.ec != std::errc() || res.ptr != body.data() + body.size()) return std::nullopt;
  return value;
}

}  // namespace quorvel
