#include "TaggedValue.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "common/Errors.h"
#include "common/Format.h"

namespace quorvel {

namespace {

[[noreturn]] void CannotConvert(int from, int to) {
  throw Exception(Format("Could not convert a value of kind %d into kind %d", {from, to}));
}

bool IsNumeric(TPayload p) {
  return p == TPayload::Integer || p == TPayload::Float;
}

double NumberOf(const TTaggedValue& v) {
  return PayloadOf(v.VarType()) == TPayload::Integer ? static_cast<double>(v.AsInt64())
                                                     : v.AsDouble();
}

bool SameNumber(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

bool IsZeroValue(const TTaggedValue& v) {
  switch (PayloadOf(v.VarType())) {
    case TPayload::Integer:
      return v.AsInt64() == 0;
    case TPayload::Float:
      return v.AsDouble() == 0;
    case TPayload::Text:
      return v.AsText().empty();
    case TPayload::None:
      return true;
  }
  return false;
}

// Removes the first and the last character (UTF-8 code point) of a text.
std::string StripEnds(std::string_view s) {
  if (s.empty()) return {};
  std::size_t first = 1;
  while (first < s.size() && (static_cast<unsigned char>(s[first]) & 0xC0) == 0x80) ++first;
  if (first >= s.size()) return {};
  std::size_t last = s.size() - 1;
  while (last > first && (static_cast<unsigned char>(s[last]) & 0xC0) == 0x80) --last;
  return std::string(s.substr(first, last - first));
}

std::optional<std::int64_t> ParseInt32(std::string_view text) {
  const auto v = ParseInt64(text);
  if (!v || *v < std::numeric_limits<std::int32_t>::min() ||
      *v > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return v;
}

std::int64_t Clamp(std::int64_t v, std::int64_t lo, std::int64_t hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

}  // namespace

TPayload PayloadOf(int kind) {
  switch (kind) {
    case varSmallint:
    case varInteger:
    case varBoolean:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
      return TPayload::Integer;
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
      return TPayload::Float;
    case varOleStr:
    case varStrArg:
    case varString:
    case varUString:
      return TPayload::Text;
    default:
      return TPayload::None;
  }
}

bool IntegerKindRange(int kind, std::int64_t& lo, std::int64_t& hi) {
  switch (kind) {
    case varSmallint:
      lo = -32768;
      hi = 32767;
      return true;
    case varInteger:
      lo = std::numeric_limits<std::int32_t>::min();
      hi = std::numeric_limits<std::int32_t>::max();
      return true;
    case varShortInt:
      lo = -128;
      hi = 127;
      return true;
    case varByte:
      lo = 0;
      hi = 255;
      return true;
    case varWord:
      lo = 0;
      hi = 65535;
      return true;
    case varLongWord:
      lo = 0;
      hi = 4294967295LL;
      return true;
    case varInt64:
      lo = std::numeric_limits<std::int64_t>::min();
      hi = std::numeric_limits<std::int64_t>::max();
      return true;
    case varBoolean:
      lo = 0;
      hi = 1;
      return true;
    default:
      return false;
  }
}

TTaggedValue TTaggedValue::Null() {
  return OfKind(varNull);
}

TTaggedValue TTaggedValue::Date(TDateTime v) {
  TTaggedValue t;
  t.kind_ = varDate;
  t.d_ = v;
  return t;
}

TTaggedValue TTaggedValue::Text(std::string v, int kind) {
  TTaggedValue t;
  t.kind_ = kind == varString ? varString : varUString;
  t.s_ = std::move(v);
  return t;
}

TTaggedValue TTaggedValue::Integer(int kind, std::int64_t v) {
  std::int64_t lo = 0, hi = 0;
  if (!IntegerKindRange(kind, lo, hi)) CannotConvert(varInt64, kind);
  if (kind == varBoolean) v = v != 0;
  if (v < lo || v > hi) throw ERangeCheckError();
  TTaggedValue t;
  t.kind_ = kind;
  t.i_ = v;
  return t;
}

TTaggedValue TTaggedValue::Float(int kind, double v) {
  if (PayloadOf(kind) != TPayload::Float) CannotConvert(varDouble, kind);
  TTaggedValue t;
  t.kind_ = kind;
  t.d_ = kind == varSingle ? static_cast<double>(static_cast<float>(v)) : v;
  return t;
}

TTaggedValue TTaggedValue::OfKind(int kind) {
  TTaggedValue t;
  t.kind_ = kind;
  return t;
}

TTaggedValue ConvertTo(const TTaggedValue& v, int kind) {
  const int from = v.VarType();
  if (from == kind) return v;
  if (kind == varEmpty) return TTaggedValue();
  if (kind == varNull) return TTaggedValue::Null();
  const TPayload src = PayloadOf(from);
  if (src == TPayload::None && from != varEmpty) CannotConvert(from, kind);

  switch (PayloadOf(kind)) {
    case TPayload::None:
      return TTaggedValue::OfKind(kind);
    case TPayload::Integer: {
      double number = 0;
      if (src == TPayload::Integer) {
        std::int64_t lo = 0, hi = 0;
        IntegerKindRange(kind, lo, hi);
        std::int64_t x = v.AsInt64();
        if (kind == varBoolean) x = x != 0;
        if (x < lo || x > hi) CannotConvert(from, kind);
        return TTaggedValue::Integer(kind, x);
      }
      if (src == TPayload::Float) {
        number = v.AsDouble();
      } else if (src == TPayload::Text) {
        const std::string& t = v.AsText();
        if (kind == varBoolean) {
          std::string lower;
          for (char c : t)
            lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
          if (lower == "true") return TTaggedValue(true);
          if (lower == "false") return TTaggedValue(false);
        }
        if (const auto i = ParseInt64(t)) {
          return ConvertTo(TTaggedValue(static_cast<long long>(*i)), kind);
        }
        const auto f = ParseFloat(t);
        if (!f) CannotConvert(from, kind);
        number = *f;
      }
      if (kind == varBoolean) return TTaggedValue(number != 0);
      const double r = std::nearbyint(number);
      if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) CannotConvert(from, kind);
      std::int64_t lo = 0, hi = 0;
      IntegerKindRange(kind, lo, hi);
      const auto x = static_cast<std::int64_t>(r);
      if (x < lo || x > hi) CannotConvert(from, kind);
      return TTaggedValue::Integer(kind, x);
    }
    case TPayload::Float: {
      double d = 0;
      if (src == TPayload::Integer) {
        d = static_cast<double>(v.AsInt64());
      } else if (src == TPayload::Float) {
        d = v.AsDouble();
      } else if (src == TPayload::Text) {
        const auto f = ParseFloat(v.AsText());
        if (!f) CannotConvert(from, kind);
        d = *f;
      }
      return TTaggedValue::Float(kind, d);
    }
    case TPayload::Text: {
      std::string s;
      if (src == TPayload::Integer) {
        s = from == varBoolean ? (v.AsBool() ? "True" : "False") : std::to_string(v.AsInt64());
      } else if (src == TPayload::Float) {
        s = FormatGeneral(v.AsDouble());
      } else if (src == TPayload::Text) {
        s = v.AsText();
      }
      return TTaggedValue::Text(std::move(s), kind);
    }
  }
  CannotConvert(from, kind);
}

bool SameValue(const TTaggedValue& a, const TTaggedValue& b) {
  const TPayload pa = PayloadOf(a.VarType());
  const TPayload pb = PayloadOf(b.VarType());
  if (pa == TPayload::None && pb == TPayload::None) return true;
  if (pa == TPayload::None) return a.IsEmpty() && IsZeroValue(b);
  if (pb == TPayload::None) return b.IsEmpty() && IsZeroValue(a);
  if (pa == TPayload::Integer && pb == TPayload::Integer) return a.AsInt64() == b.AsInt64();
  if (IsNumeric(pa) && IsNumeric(pb)) return SameNumber(NumberOf(a), NumberOf(b));
  if (pa == TPayload::Text && pb == TPayload::Text) return a.AsText() == b.AsText();
  const TTaggedValue& text = pa == TPayload::Text ? a : b;
  const TTaggedValue& number = pa == TPayload::Text ? b : a;
  const auto f = ParseFloat(text.AsText());
  return f && SameNumber(*f, NumberOf(number));
}

TStoredKind StoredKindOf(int kind) {
  switch (kind) {
    case varSmallint:
    case varInteger:
    case varSingle:
    case varDouble:
    case varBoolean:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
    case varString:
    case varUString:
      return TStoredKind::Text;
    case varDate:
      return TStoredKind::Binary;
    default:
      return TStoredKind::Refused;
  }
}

std::string StoredText(const TTaggedValue& v) {
  switch (v.VarType()) {
    case varSingle:
    case varDouble:
      return FormatGeneral(v.AsDouble());
    case varBoolean:
      return v.AsBool() ? "Yes" : "No";
    case varString:
    case varUString:
      return "\"" + v.AsText() + "\"";
    default:
      return std::to_string(v.AsInt64());
  }
}

std::string StoredBinary(TDateTime v) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>(bits >> (8 * i));
  return out;
}

std::optional<TTaggedValue> ParseStoredBinary(std::string_view bytes) {
  if (bytes.size() != 8) return std::nullopt;
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i)
    bits = (bits << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
  double v = 0;
  std::memcpy(&v, &bits, sizeof v);
  return TTaggedValue::Date(v);
}

std::optional<TTaggedValue> ParseStoredText(int kind, std::string_view text) {
  switch (kind) {
    case varSmallint:
    case varShortInt:
    case varByte:
    case varWord:
    case varInteger: {
      const auto v = ParseInt32(text);
      if (!v) return std::nullopt;
      std::int64_t lo = 0, hi = 0;
      IntegerKindRange(kind, lo, hi);
      return TTaggedValue::Integer(kind, Clamp(*v, lo, hi));
    }
    case varLongWord: {
      const auto v = ParseInt64(text);
      if (!v) return std::nullopt;
      return TTaggedValue::Integer(kind, static_cast<std::int64_t>(static_cast<std::uint32_t>(*v)));
    }
    case varInt64: {
      const auto v = ParseInt64(text);
      if (!v) return std::nullopt;
      return TTaggedValue::Integer(kind, *v);
    }
    case varSingle: {
      auto v = ParseFloat(text);
      if (!v) return std::nullopt;
      constexpr double kMax = 3.4028235e38;
      double d = *v;
      if (d > kMax) d = kMax;
      if (d < -kMax) d = -kMax;
      return TTaggedValue(static_cast<float>(d));
    }
    case varDouble: {
      const auto v = ParseFloat(text);
      if (!v) return std::nullopt;
      return TTaggedValue(*v);
    }
    case varBoolean:
      return TTaggedValue(text == "Yes");
    case varString:
    case varUString:
      return TTaggedValue::Text(StripEnds(text), varUString);
    default:
      return std::nullopt;
  }
}

}  // namespace quorvel
