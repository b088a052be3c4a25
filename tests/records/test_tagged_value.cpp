#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "common/Errors.h"
#include "records/TaggedValue.h"

namespace quorvel {
namespace {

TEST(TaggedValue, StoredTextOfEachKind) {
  struct Case {
    TTaggedValue value;
    const char* text;
  } cases[] = {{TTaggedValue(static_cast<std::uint16_t>(2000)), "2000"},
               {TTaggedValue(static_cast<std::int16_t>(-32768)), "-32768"},
               {TTaggedValue(-7), "-7"},
               {TTaggedValue(static_cast<std::uint32_t>(4294967295u)), "4294967295"},
               {TTaggedValue(static_cast<long long>(INT64_MIN)), "-9223372036854775808"},
               {TTaggedValue(static_cast<signed char>(-128)), "-128"},
               {TTaggedValue(static_cast<unsigned char>(255)), "255"},
               {TTaggedValue(45.5 * M_PI / 180), "0.79412480965742"},
               {TTaggedValue(-3.5 * M_PI / 180), "-0.0610865238198015"},
               {TTaggedValue(0.1f), "0.100000001490116"},
               {TTaggedValue(1e-7), "1E-7"},
               {TTaggedValue(true), "Yes"},
               {TTaggedValue(false), "No"},
               {TTaggedValue("abc"), "\"abc\""},
               {TTaggedValue::Text("", varString), "\"\""}};
  for (const Case& c : cases) {
    EXPECT_EQ(StoredKindOf(c.value.VarType()), TStoredKind::Text) << c.text;
    EXPECT_EQ(StoredText(c.value), c.text);
  }
  EXPECT_EQ(StoredKindOf(varDate), TStoredKind::Binary);
  for (int kind : {varEmpty, varNull, varCurrency, varOleStr, varDispatch, varError, varVariant,
                   varUnknown, varStrArg, 14, 21, 257})
    EXPECT_EQ(StoredKindOf(kind), TStoredKind::Refused) << kind;
}

TEST(TaggedValue, ReadBackRulesClampAndRefuse) {
  struct Case {
    int kind;
    const char* text;
    bool ok;
    double number;  // numbers and booleans
  } cases[] = {
      {varWord, "2000", true, 2000},
      {varWord, "70000", true, 65535},
      {varWord, "-5", true, 0},
      {varWord, "12abc", false, 0},
      {varWord, "", false, 0},
      {varWord, " 12", false, 0},
      {varWord, "4294967296", false, 0},  // not a 32-bit number
      {varSmallint, "40000", true, 32767},
      {varSmallint, "-40000", true, -32768},
      {varShortInt, "-200", true, -128},
      {varByte, "300", true, 255},
      {varInteger, "-2147483648", true, -2147483648.0},
      {varInteger, "2147483648", false, 0},
      {varLongWord, "4294967297", true, 1},
      {varLongWord, "-1", true, 4294967295.0},
      {varInt64, "9223372036854775807", true, 9223372036854775807.0},
      {varInt64, "9223372036854775808", false, 0},
      {varDouble, "0.79412480965742", true, 0.79412480965742},
      {varDouble, "0,5", false, 0},
      {varDouble, "1e3", true, 1000},
      {varSingle, "1e39", true, FLT_MAX},
      {varSingle, "-1e39", true, -FLT_MAX},
      {varSingle, "0.1", true, 0.1f},
      {varBoolean, "Yes", true, 1},
      {varBoolean, "yes", true, 0},
      {varBoolean, "YES", true, 0},
      {varBoolean, "1", true, 0},
      {varBoolean, "No", true, 0},
  };
  for (const Case& c : cases) {
    const auto v = ParseStoredText(c.kind, c.text);
    ASSERT_EQ(v.has_value(), c.ok) << c.kind << " '" << c.text << "'";
    if (!c.ok) continue;
    EXPECT_EQ(v->VarType(), c.kind);
    const double got =
        PayloadOf(c.kind) == TPayload::Integer ? static_cast<double>(v->AsInt64()) : v->AsDouble();
    EXPECT_EQ(got, c.number) << c.kind << " '" << c.text << "'";
  }
}

TEST(TaggedValue, TextsLoseTheirFirstAndLastCharacter) {
  struct Case {
    const char* stored;
    const char* text;
  } cases[] = {{"\"abc\"", "abc"},
               {"abc", "b"},
               {"ab", ""},
               {"x", ""},
               {"", ""},
               {"\"\xC3\xA9t\xC3\xA9\"", "\xC3\xA9t\xC3\xA9"},
               {"\xC3\xA9"
                "ab\xC3\xA9",
                "ab"}};
  for (int kind : {varString, varUString})
    for (const Case& c : cases) {
      const auto v = ParseStoredText(kind, c.stored);
      ASSERT_TRUE(v.has_value());
      EXPECT_EQ(v->VarType(), varUString) << "texts are read as UTF-16 text";
      EXPECT_EQ(v->AsText(), c.text) << c.stored;
    }
}

TEST(TaggedValue, DateTimeIsEightBytes) {
  const TDateTime when = EncodeDateTime(2026, 5, 3, 14, 7, 9, 250);
  const std::string bytes = StoredBinary(when);
  ASSERT_EQ(bytes.size(), 8u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[7]), 0x40) << "little-endian float64";
  const auto back = ParseStoredBinary(bytes);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->VarType(), varDate);
  EXPECT_EQ(back->AsDouble(), when);
  EXPECT_FALSE(ParseStoredBinary(bytes.substr(0, 7)).has_value());
  EXPECT_FALSE(ParseStoredBinary(bytes + "x").has_value());
}

TEST(TaggedValue, ConversionAndSameness) {
  // A default that survives the conversion to the wanted kind unchanged.
  struct Case {
    TTaggedValue from;
    int kind;
    bool same;
  } cases[] = {{TTaggedValue(static_cast<std::uint16_t>(1200)), varWord, true},
               {TTaggedValue(1200), varWord, true},
               {TTaggedValue(1.5), varWord, false},  // rounds to 2
               {TTaggedValue(2.0), varWord, true},
               {TTaggedValue("12"), varWord, true},
               {TTaggedValue(NAN), varDouble, true},
               {TTaggedValue(0.1), varSingle, false},  // float32 is not 0.1
               {TTaggedValue(0.1f), varDouble, true},
               {TTaggedValue(true), varWord, true},
               {TTaggedValue("abc"), varString, true},
               {TTaggedValue(), varWord, true},
               {TTaggedValue(42), varString, true}};
  for (const Case& c : cases) {
    const TTaggedValue to = ConvertTo(c.from, c.kind);
    EXPECT_EQ(to.VarType(), c.kind);
    EXPECT_EQ(SameValue(to, c.from), c.same) << c.from.VarType() << " -> " << c.kind;
  }
  EXPECT_EQ(ConvertTo(TTaggedValue(2.5), varInteger).AsInt64(), 2) << "half to even";
  EXPECT_THROW(ConvertTo(TTaggedValue(70000), varWord), Exception);
  EXPECT_THROW(ConvertTo(TTaggedValue(NAN), varInteger), Exception);
  EXPECT_THROW(ConvertTo(TTaggedValue("abc"), varDouble), Exception);
  EXPECT_THROW(ConvertTo(TTaggedValue::Null(), varDouble), Exception);
  EXPECT_THROW(TTaggedValue::Integer(varWord, -1), ERangeCheckError);
}

}  // namespace
}  // namespace quorvel
