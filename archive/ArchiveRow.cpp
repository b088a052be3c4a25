#include "archive/ArchiveRow.h"

#include <charconv>
#include <cmath>
#include <map>

#include "mqtt/MqttConfig.h"

namespace quorvel::archive {

const char* const kValueKeys[11] = {"jd",
                                    "signal_mV",
                                    "seeing_arcsec",
                                    "r0_mm",
                                    "sun_azimuth_deg",
                                    "sun_elevation_deg",
                                    "seeing_zenith_arcsec",
                                    "r0_zenith_mm",
                                    "latitude_deg",
                                    "longitude_deg",
                                    "altitude_m"};

namespace {

// One member's value: a decoded string, or the raw text of anything else.
struct TValue {
  enum { String, Number, Other } kind = Other;
  std::string text;
};

// A JSON object's top-level members. Nested values are checked and kept as
// raw text; the payload is small, so depth and size are bounded by hand.
class TObjectReader {
 public:
  explicit TObjectReader(std::string_view s) : s_(s) {}

  bool Read(std::map<std::string, TValue>& out, std::string& error) {
    Blank();
    if (!Eat('{')) return Fail("not a JSON object", error);
    Blank();
    if (Eat('}')) return End(error);
    for (;;) {
      Blank();
      std::string key;
      if (!String(key)) return Fail("a key is not a JSON string", error);
      Blank();
      if (!Eat(':')) return Fail("no ':' after a key", error);
      Blank();
      TValue v;
      if (!Value(v, 0)) return Fail("the value of \"" + key + "\" is not JSON", error);
      if (!out.emplace(key, std::move(v)).second)
        return Fail("the key \"" + key + "\" comes twice", error);
      Blank();
      if (Eat(',')) continue;
      if (Eat('}')) return End(error);
      return Fail("not a JSON object", error);
    }
  }

 private:
  bool End(std::string& error) {
    Blank();
    if (i_ != s_.size()) return Fail("text after the JSON object", error);
    return true;
  }
  static bool Fail(const std::string& why, std::string& error) {
    error = why;
    return false;
  }
  void Blank() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
      ++i_;
  }
  bool Eat(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  static void Utf8(unsigned cp, std::string& out) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  bool Hex4(unsigned& v) {
    if (s_.size() - i_ < 4) return false;
    v = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = s_[i_++];
      v <<= 4;
      if (c >= '0' && c <= '9')
        v |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        v |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        v |= static_cast<unsigned>(c - 'A' + 10);
      else
        return false;
    }
    return true;
  }
  bool String(std::string& out) {
    if (!Eat('"')) return false;
    while (i_ < s_.size()) {
      const char c = s_[i_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) return false;
      const char e = s_[i_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          unsigned cp = 0;
          if (!Hex4(cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00) {
            unsigned lo = 0;
            if (!Eat('\\') || !Eat('u') || !Hex4(lo) || lo < 0xDC00 || lo >= 0xE000) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          } else if (cp >= 0xDC00 && cp < 0xE000) {
            return false;
          }
          Utf8(cp, out);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }
  bool Number(std::string& out) {
    const std::size_t start = i_;
    Eat('-');
    if (Eat('0')) {
    } else if (i_ < s_.size() && s_[i_] >= '1' && s_[i_] <= '9') {
      while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    } else {
      return false;
    }
    if (Eat('.')) {
      const std::size_t d = i_;
      while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
      if (i_ == d) return false;
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (!Eat('+')) Eat('-');
      const std::size_t d = i_;
      while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
      if (i_ == d) return false;
    }
    out.assign(s_.substr(start, i_ - start));
    return true;
  }
  bool Word(std::string_view w) {
    if (s_.substr(i_, w.size()) != w) return false;
    i_ += w.size();
    return true;
  }
  bool Value(TValue& v, int depth) {
    if (depth > 16) return false;
    const std::size_t start = i_;
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '"') {
      v.kind = TValue::String;
      return String(v.text);
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
      v.kind = TValue::Number;
      return Number(v.text);
    }
    bool ok = false;
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      ++i_;
      Blank();
      ok = Eat(close);
      while (!ok) {
        Blank();
        TValue inner;
        if (c == '{') {
          std::string k;
          if (!String(k)) return false;
          Blank();
          if (!Eat(':')) return false;
          Blank();
        }
        if (!Value(inner, depth + 1)) return false;
        Blank();
        if (Eat(close)) break;
        if (!Eat(',')) return false;
      }
      ok = true;
    } else {
      ok = Word("null") || Word("true") || Word("false");
    }
    v.kind = TValue::Other;
    v.text.assign(s_.substr(start, i_ - start));
    return ok;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

struct TRange {
  double min, max;
};
// What a station can send: anything outside is a fault on the way, not a
// measurement. Order of kValueKeys.
constexpr TRange kRanges[11] = {
    {2447892.5, 2524593.5},  // jd: 1990 to 2200
    {0, 1e6},                // signal, mV
    {0, 1000},               // seeing, arcsec
    {0, 1e6},                // r0, mm
    {0, 360},                // Sun's azimuth
    {-90, 90},               // Sun's elevation
    {0, 1000},               // zenith seeing
    {0, 1e6},                // zenith r0
    {-90, 90},               // latitude
    {-180, 360},             // longitude, east positive
    {-1000, 10000},          // altitude, m
};

// The instant of "jd" and of "utc" may not differ by more than this: the
// Julian day has 7 decimals (under 10 ms), a few seconds is a wrong clock.
constexpr double kJdToleranceS = 2.0;

}  // namespace

std::optional<std::int64_t> ParseIsoUtcMs(std::string_view t) {
  // YYYY-MM-DDTHH:MM:SS.mmmZ
  if (t.size() != 24) return std::nullopt;
  const auto digits = [&](std::size_t at, std::size_t n, int& v) {
    v = 0;
    for (std::size_t k = at; k < at + n; ++k) {
      if (t[k] < '0' || t[k] > '9') return false;
      v = v * 10 + (t[k] - '0');
    }
    return true;
  };
  if (t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' || t[19] != '.' ||
      t[23] != 'Z')
    return std::nullopt;
  int y, mo, d, h, mi, s, ms;
  if (!digits(0, 4, y) || !digits(5, 2, mo) || !digits(8, 2, d) || !digits(11, 2, h) ||
      !digits(14, 2, mi) || !digits(17, 2, s) || !digits(20, 3, ms))
    return std::nullopt;
  static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap) || h > 23 ||
      mi > 59 || s > 59)
    return std::nullopt;
  const long long days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  return ((days * 24 + h) * 60 + mi) * 60000LL + s * 1000LL + ms;
}

std::optional<std::string> StationOfTopic(std::string_view prefix, std::string_view topic,
                                          std::string_view kind) {
  const std::string kTail = "/" + std::string(kind);
  if (topic.size() <= prefix.size() + 1 + kTail.size()) return std::nullopt;
  if (topic.substr(0, prefix.size()) != prefix || topic[prefix.size()] != '/') return std::nullopt;
  if (topic.substr(topic.size() - kTail.size()) != kTail) return std::nullopt;
  const std::string_view station =
      topic.substr(prefix.size() + 1, topic.size() - prefix.size() - 1 - kTail.size());
  if (station.empty() || station.find('/') != std::string_view::npos) return std::nullopt;
  return std::string(station);
}

std::optional<TArchiveRow> ParseMeasurement(std::string_view topicStation, std::string_view payload,
                                            std::string& error) {
  std::map<std::string, TValue> members;
  if (!TObjectReader(payload).Read(members, error)) return std::nullopt;
  const auto stringOf = [&](const char* key, std::string& out) {
    const auto it = members.find(key);
    if (it == members.end()) {
      error = std::string("no \"") + key + "\"";
      return false;
    }
    if (it->second.kind != TValue::String) {
      error = std::string("\"") + key + "\" is not a string";
      return false;
    }
    out = it->second.text;
    return true;
  };
  TArchiveRow row;
  if (!stringOf("station", row.station) || !stringOf("utc", row.utc)) return std::nullopt;
  if (const std::string e = CheckStationName(row.station); !e.empty()) {
    error = "\"station\": " + e;
    return std::nullopt;
  }
  if (row.station != topicStation) {
    error =
        "\"station\" is '" + row.station + "' on the topic of '" + std::string(topicStation) + "'";
    return std::nullopt;
  }
  const auto utcMs = ParseIsoUtcMs(row.utc);
  if (!utcMs) {
    error = "\"utc\" is not an instant YYYY-MM-DDTHH:MM:SS.mmmZ: '" + row.utc + "'";
    return std::nullopt;
  }
  row.utcMs = *utcMs;
  double* const values[11] = {
      &row.jd,          &row.signalMv,         &row.seeing,       &row.r0,
      &row.azimuth,     &row.elevation,        &row.seeingZenith, &row.r0Zenith,
      &row.latitudeDeg, &row.longitudeEastDeg, &row.altitudeM};
  for (int k = 0; k < 11; ++k) {
    const auto it = members.find(kValueKeys[k]);
    if (it == members.end()) {
      error = std::string("no \"") + kValueKeys[k] + "\"";
      return std::nullopt;
    }
    const std::string& text = it->second.text;
    double v = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (it->second.kind != TValue::Number || res.ec != std::errc() ||
        res.ptr != text.data() + text.size() || !std::isfinite(v)) {
      error = std::string("\"") + kValueKeys[k] + "\" is not a number: " + text;
      return std::nullopt;
    }
    if (v < kRanges[k].min || v > kRanges[k].max) {
      error = std::string("\"") + kValueKeys[k] + "\" is out of range: " + text;
      return std::nullopt;
    }
    *values[k] = v;
    row.text[k] = text;
  }
  const double jdOfUtc = static_cast<double>(row.utcMs) / 86400000.0 + 2440587.5;
  if (std::fabs(row.jd - jdOfUtc) * 86400.0 > kJdToleranceS) {
    error = "\"jd\" " + row.text[0] + " is not the instant of \"utc\" " + row.utc;
    return std::nullopt;
  }
  return row;
}

std::optional<std::string> ParseStateInstrument(std::string_view topicStation,
                                                std::string_view payload, std::string& error) {
  error.clear();
  std::map<std::string, TValue> members;
  if (!TObjectReader(payload).Read(members, error)) return std::nullopt;
  const auto station = members.find("station");
  if (station == members.end() || station->second.kind != TValue::String) {
    error = station == members.end() ? "no \"station\"" : "\"station\" is not a string";
    return std::nullopt;
  }
  if (station->second.text != topicStation) {
    error = "\"station\" is '" + station->second.text + "' on the topic of '" +
            std::string(topicStation) + "'";
    return std::nullopt;
  }
  const auto serial = members.find("serial_number");
  if (serial == members.end()) {
    error = "no \"serial_number\"";
    return std::nullopt;
  }
  const std::string& text = serial->second.text;
  if (serial->second.kind == TValue::Other && text == "null") return std::nullopt;
  std::uint64_t v = 0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (serial->second.kind != TValue::Number || res.ec != std::errc() ||
      res.ptr != text.data() + text.size() || v > 4294967295ULL) {
    error = "\"serial_number\" is not a serial number: " + text;
    return std::nullopt;
  }
  return std::to_string(v);
}

}  // namespace quorvel::archive
