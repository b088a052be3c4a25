// The tagged value of the settings store: a small variant whose kind code
// (the platform's variant type numbering) decides how it is stored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/DateTime.h"

namespace quorvel {

// Kind codes.
inline constexpr int varEmpty = 0;
inline constexpr int varNull = 1;
inline constexpr int varSmallint = 2;  // 16-bit signed
inline constexpr int varInteger = 3;   // 32-bit signed
inline constexpr int varSingle = 4;    // 32-bit float
inline constexpr int varDouble = 5;    // 64-bit float
inline constexpr int varCurrency = 6;
inline constexpr int varDate = 7;  // date-time value
inline constexpr int varOleStr = 8;
inline constexpr int varDispatch = 9;
inline constexpr int varError = 10;
inline constexpr int varBoolean = 11;
inline constexpr int varVariant = 12;
inline constexpr int varUnknown = 13;
inline constexpr int varShortInt = 16;  // 8-bit signed
inline constexpr int varByte = 17;      // 8-bit unsigned
inline constexpr int varWord = 18;      // 16-bit unsigned
inline constexpr int varLongWord = 19;  // 32-bit unsigned
inline constexpr int varInt64 = 20;     // 64-bit signed
inline constexpr int varStrArg = 72;
inline constexpr int varString = 256;   // 8-bit text
inline constexpr int varUString = 258;  // UTF-16 text

// A value with its kind. Integers and booleans are held as int64, floats and
// date-times as double, texts as UTF-8. Kinds without a payload of their own
// (empty, null, dispatch, ...) carry none.
class TTaggedValue {
 public:
  TTaggedValue() = default;  // empty (kind 0)
  TTaggedValue(bool v) : kind_(varBoolean), i_(v ? 1 : 0) {}
  TTaggedValue(signed char v) : kind_(varShortInt), i_(v) {}
  TTaggedValue(unsigned char v) : kind_(varByte), i_(v) {}
  TTaggedValue(short v) : kind_(varSmallint), i_(v) {}
  TTaggedValue(unsigned short v) : kind_(varWord), i_(v) {}
  TTaggedValue(int v) : kind_(varInteger), i_(v) {}
  TTaggedValue(unsigned v) : kind_(varLongWord), i_(v) {}
  TTaggedValue(long v) : kind_(varInt64), i_(v) {}
  TTaggedValue(long long v) : kind_(varInt64), i_(v) {}
  TTaggedValue(float v) : kind_(varSingle), d_(v) {}
  TTaggedValue(double v) : kind_(varDouble), d_(v) {}
  TTaggedValue(const char* v) : kind_(varUString), s_(v) {}
  TTaggedValue(std::string v) : kind_(varUString), s_(std::move(v)) {}

  static TTaggedValue Null();
  static TTaggedValue Date(TDateTime v);
  // Text of kind varString (8-bit) or varUString.
  static TTaggedValue Text(std::string v, int kind = varUString);
  // An integer of an integer kind (2, 3, 16..20) or a boolean; the number is
  // range-checked for the kind ("Range check error").
  static TTaggedValue Integer(int kind, std::int64_t v);
  // A float of kind 4 (rounded to float32), 5, 6 or 7.
  static TTaggedValue Float(int kind, double v);
  // A value of any kind, with no payload (refused kinds, tests).
  static TTaggedValue OfKind(int kind);

  int VarType() const { return kind_; }
  bool IsEmpty() const { return kind_ == varEmpty; }
  std::int64_t AsInt64() const { return i_; }
  double AsDouble() const { return d_; }
  bool AsBool() const { return i_ != 0; }
  const std::string& AsText() const { return s_; }

 private:
  int kind_ = varEmpty;
  std::int64_t i_ = 0;
  double d_ = 0;
  std::string s_;
};

enum class TPayload { None, Integer, Float, Text };
// Where a kind keeps its value.
TPayload PayloadOf(int kind);
// Bounds of an integer kind.
bool IntegerKindRange(int kind, std::int64_t& lo, std::int64_t& hi);

// `v` converted to `kind`, or the general error "Could not convert a value of
// kind %d into kind %d". Numbers round half to even; texts parse with ".".
TTaggedValue ConvertTo(const TTaggedValue& v, int kind);

// Whether two values hold the same thing (numbers by value, texts by text,
// a number and a text by the text's number). Two NaNs are the same.
bool SameValue(const TTaggedValue& a, const TTaggedValue& b);

// Stored forms. Every kind is kept as plain text except the date-time value
// (kind 7), kept as the 8 bytes of its float64 (little-endian).
//   integers (2, 3, 16..20): decimal;  floats (4, 5): general format, 15
//   significant digits, ".";  boolean: "Yes" / "No";  texts (256, 258): the
//   text between two double quotes.
enum class TStoredKind { Text, Binary, Refused };
TStoredKind StoredKindOf(int kind);
// The stored text of a text-stored value (StoredKindOf(kind) == Text).
std::string StoredText(const TTaggedValue& v);
std::string StoredBinary(TDateTime v);

// Read-back rules: the value of `kind` from a stored text, or nothing when the
// text is not valid for the kind. Integers parse as 32-bit (19 and 20: 64-bit)
// decimal and are then clamped to the kind (19 keeps the low 32 bits); kind 4
// is clamped to the float range; a boolean is true exactly for "Yes"; a text
// loses its first and last characters, whatever they are.
std::optional<TTaggedValue> ParseStoredText(int kind, std::string_view text);
std::optional<TTaggedValue> ParseStoredBinary(std::string_view bytes);

}  // namespace quorvel
