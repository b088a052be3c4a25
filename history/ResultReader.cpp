#include "history/ResultReader.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace quorvel::history {

namespace {

// Julian days of 1800-01-01 and 2200-01-01: anything outside is not a time
// the instrument could have written.
constexpr double kMinJd = 2378496.5;
constexpr double kMaxJd = 2524593.5;
constexpr std::size_t kMaxLine = 4096;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool ReadNumber(std::string_view field, double& out) {
  field = Trim(field);
  if (field.empty()) return false;
  const char* first = field.data();
  const char* last = first + field.size();
  if (*first == '+') ++first;
  const auto res = std::from_chars(first, last, out, std::chars_format::general);
  return res.ec == std::errc() && res.ptr == last;
}

TDate CivilFromDays(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return TDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

bool DateExists(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static constexpr std::array<int, 12> kDays{31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d > kDays[static_cast<std::size_t>(m - 1)]) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return !(m == 2 && d == 29 && !leap);
}

}  // namespace

TReadCounts& TReadCounts::operator+=(const TReadCounts& o) {
  measurements += o.measurements;
  headers += o.headers;
  torn += o.torn;
  bad += o.bad;
  blank += o.blank;
  return *this;
}

double UnixSecondsFromJulianDay(double jd) {
  // The Julian day's 7 decimals resolve 8.6 ms: the instant is taken to the
  // centisecond it holds, so that a measurement stamped on the hour (or at
  // midnight) falls in that hour (or day), not a few milliseconds before.
  return std::round((jd - 2440587.5) * 8640000.0) / 100.0;
}

TLineKind ParseResultLine(std::string_view line, TMeasurement& out) {
  const std::string_view whole = Trim(line);
  if (whole.empty()) return TLineKind::Blank;
  if (whole.substr(0, 10) == "Local Date") return TLineKind::Header;
  // Ten fields, each closed by '|'; a line cut short misses some of them.
  std::array<std::string_view, 10> fields;
  std::size_t start = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const auto bar = whole.find('|', start);
    if (bar == std::string_view::npos) return TLineKind::Torn;
    fields[i] = whole.substr(start, bar - start);
    start = bar + 1;
  }
  if (start != whole.size()) return TLineKind::Bad;
  std::array<double, 8> v{};
  for (std::size_t i = 0; i < v.size(); ++i)
    if (!ReadNumber(fields[i + 2], v[i])) return TLineKind::Bad;
  if (!(v[0] >= kMinJd && v[0] <= kMaxJd)) return TLineKind::Bad;
  out.julianDay = v[0];
  out.unixSeconds = UnixSecondsFromJulianDay(v[0]);
  out.signalMv = v[1];
  out.seeing = v[2];
  out.r0 = v[3];
  out.azimuth = v[4];
  out.elevation = v[5];
  out.seeingZenith = v[6];
  out.r0Zenith = v[7];
  return TLineKind::Measurement;
}

TReadCounts ReadResults(std::istream& in,
                        const std::function<void(const TMeasurement&)>& onMeasurement) {
  TReadCounts counts;
  std::string line;
  line.reserve(256);
  bool overlong = false;
  TMeasurement m;
  const auto finish = [&] {
    if (overlong) {
      ++counts.bad;
    } else {
      switch (ParseResultLine(line, m)) {
        case TLineKind::Measurement:
          ++counts.measurements;
          onMeasurement(m);
          break;
        case TLineKind::Header:
          ++counts.headers;
          break;
        case TLineKind::Torn:
          ++counts.torn;
          break;
        case TLineKind::Bad:
          ++counts.bad;
          break;
        case TLineKind::Blank:
          ++counts.blank;
          break;
      }
    }
    line.clear();
    overlong = false;
  };
  std::streambuf* sb = in.rdbuf();
  if (sb == nullptr) return counts;
  std::array<char, 65536> buf;
  for (;;) {
    const std::streamsize n = sb->sgetn(buf.data(), static_cast<std::streamsize>(buf.size()));
    if (n <= 0) break;
    for (std::streamsize i = 0; i < n; ++i) {
      const char c = buf[static_cast<std::size_t>(i)];
      if (c == '\n') {
        finish();
      } else if (line.size() < kMaxLine) {
        line.push_back(c);
      } else {
        overlong = true;
      }
    }
  }
  if (!line.empty() || overlong) finish();
  return counts;
}

std::string TDate::Iso() const {
  char s[16];
  std::snprintf(s, sizeof s, "%04d-%02d-%02d", year, month, day);
  return s;
}

std::optional<TDate> DateFromResultFileName(std::string_view name) {
  const auto slash = name.find_last_of('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  constexpr std::string_view kSuffix = "_Results.txt";
  if (name.size() <= kSuffix.size() || name.substr(name.size() - kSuffix.size()) != kSuffix)
    return std::nullopt;
  name.remove_suffix(kSuffix.size());
  std::array<int, 3> parts{};
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto us = name.find('_');
    std::string_view part = i + 1 < parts.size() ? name.substr(0, us) : name;
    if (i + 1 < parts.size() && us == std::string_view::npos) return std::nullopt;
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    if (part.empty() || part.size() > 4) return std::nullopt;
    const auto r = std::from_chars(part.data(), part.data() + part.size(), parts[i]);
    if (r.ec != std::errc() || r.ptr != part.data() + part.size()) return std::nullopt;
    if (i + 1 < parts.size()) name.remove_prefix(us + 1);
  }
  if (!DateExists(parts[0], parts[1], parts[2])) return std::nullopt;
  return TDate{parts[0], parts[1], parts[2]};
}

std::optional<TDate> ParseIsoDate(std::string_view t) {
  if (t.size() != 10 || t[4] != '-' || t[7] != '-') return std::nullopt;
  int y = 0, m = 0, d = 0;
  const auto num = [&](std::size_t pos, std::size_t len, int& v) {
    const auto r = std::from_chars(t.data() + pos, t.data() + pos + len, v);
    return r.ec == std::errc() && r.ptr == t.data() + pos + len;
  };
  if (!num(0, 4, y) || !num(5, 2, m) || !num(8, 2, d) || !DateExists(y, m, d)) return std::nullopt;
  return TDate{y, m, d};
}

TDate DateOfUnixSeconds(double unixSeconds, int offsetSeconds) {
  const double local = unixSeconds + offsetSeconds;
  return CivilFromDays(static_cast<long long>(std::floor(local / 86400.0)));
}

std::string IsoUtc(double unixSeconds) {
  // The Julian day's 7 decimals resolve 8.6 ms: centiseconds are what it holds.
  const long long totalMs = static_cast<long long>(std::round(unixSeconds * 100.0)) * 10;
  long long days = totalMs / 86400000;
  long long rest = totalMs % 86400000;
  if (rest < 0) {
    rest += 86400000;
    --days;
  }
  const TDate d = CivilFromDays(days);
  char s[40];
  std::snprintf(s, sizeof s, "%04d-%02d-%02dT%02lld:%02lld:%02lld.%02lldZ", d.year, d.month, d.day,
                rest / 3600000, rest / 60000 % 60, rest / 1000 % 60, rest % 1000 / 10);
  return s;
}

}  // namespace quorvel::history
