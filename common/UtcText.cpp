#include "common/UtcText.h"

#include <cctype>

#include "common/Errors.h"

namespace quorvel {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Reads exactly `count` digits at pos.
bool Digits(std::string_view t, std::size_t& pos, std::size_t count, int& value) {
  if (pos + count > t.size()) return false;
  value = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const char c = t[pos + k];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += count;
  return true;
}

bool Expect(std::string_view t, std::size_t& pos, char c) {
  if (pos >= t.size() || t[pos] != c) return false;
  ++pos;
  return true;
}

std::string Quoted(std::string_view s) {
  return "\"" + std::string(s) + "\"";
}

std::string Pad(int value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width)
    s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
  return s;
}

}  // namespace

TDateTime ParseUtcText(std::string_view text) {
  std::string_view t = Trim(text);
  if (!t.empty() && (t.back() == 'Z' || t.back() == 'z')) t.remove_suffix(1);
  const auto bad = [&] {
    return EConvertError("invalid UTC time " + Quoted(text) + " (expected " + kUtcTextShape + ")");
  };

  // The year may carry a sign or more digits, so that it can be reported as
  // out of range rather than as unreadable.
  std::size_t pos = 0;
  bool negative = false;
  if (pos < t.size() && (t[pos] == '-' || t[pos] == '+')) negative = t[pos++] == '-';
  long long year = 0;
  std::size_t yearDigits = 0;
  while (pos < t.size() && t[pos] >= '0' && t[pos] <= '9' && yearDigits < 9) {
    year = year * 10 + (t[pos++] - '0');
    ++yearDigits;
  }
  if (yearDigits < 4) throw bad();
  if (negative) year = -year;

  int month, day, hour, minute, second, msec = 0;
  if (!Expect(t, pos, '-') || !Digits(t, pos, 2, month) || !Expect(t, pos, '-') ||
      !Digits(t, pos, 2, day) ||
      !(Expect(t, pos, 'T') || Expect(t, pos, 't') || Expect(t, pos, ' ')) ||
      !Digits(t, pos, 2, hour) || !Expect(t, pos, ':') || !Digits(t, pos, 2, minute) ||
      !Expect(t, pos, ':') || !Digits(t, pos, 2, second))
    throw bad();
  if (pos < t.size()) {
    if (!Expect(t, pos, '.')) throw bad();
    const std::size_t fracDigits = t.size() - pos;
    if (fracDigits < 1 || fracDigits > 3 || !Digits(t, pos, fracDigits, msec)) throw bad();
    for (std::size_t k = fracDigits; k < 3; ++k) msec *= 10;
  }

  if (year < 1 || year > 9999)
    throw EConvertError("year " + std::to_string(year) + " of " + Quoted(text) +
                        " is outside 1..9999");
  TDateTime date = 0;
  if (!TryEncodeDate(static_cast<int>(year), month, day, date) || hour > 23 || minute > 59 ||
      second > 59)
    throw EConvertError("no such date or time: " + Quoted(text));
  return ComposeDateTime(date, EncodeTime(hour, minute, second, msec));
}

std::string FormatUtcText(TDateTime utc) {
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(utc, y, mo, d, h, mi, s, ms);
  return Pad(y, 4) + "-" + Pad(mo, 2) + "-" + Pad(d, 2) + "T" + Pad(h, 2) + ":" + Pad(mi, 2) + ":" +
         Pad(s, 2) + "." + Pad(ms, 3);
}

}  // namespace quorvel
