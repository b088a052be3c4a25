#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/Format.h"
#include "setup/Formula.h"

namespace quorvel {
namespace {

struct FormulaCase {
  const char* text;
  double value;  // NAN: the result must be NaN
};

TEST(GiveFormuleValue, EvaluatesStrictlyFromLeftToRight) {
  const FormulaCase cases[] = {
      {"12", 12},        {"45.5000", 45.5},    {".5", 0.5},           {"7.", 7},
      {"2+3*4", 20},     {"10-2-3", 5},        {"8/2/2", 2},          {"90/2", 45},
      {"2*(3+4)", 14},   {"(1+2)*3", 9},       {"2*(1+2+3)", 9},      {"-5", -5},
      {"+5", 5},         {"3*(-2)", -6},       {"7/2", 3.5},          {"6/2", 3},
      {"1/0", HUGE_VAL}, {"0-1/0", -HUGE_VAL}, {"0/0", std::nan("")}, {"1-(2-3)", 2},
      {"((1+2)+3)", 6},  {"2-(-3)", 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const double v = GiveFormuleValue(c.text);
    if (std::isnan(c.value))
      EXPECT_TRUE(std::isnan(v));
    else
      EXPECT_EQ(v, c.value);
  }
}

TEST(GiveFormuleValue, RefusesEverythingElseWithTheOneMessage) {
  const char* cases[] = {"",     "abc",    "1,5",  "2 + 3", "(5)",  "2*(5)", "-2*3",
                         "3*-2", "(-2)*3", "1e3",  "1.2.3", ".",    "+",     "2+",
                         "*2",   "2**3",   "()",   "2(3)",  "(2)3", "NAN",   "INF",
                         "1\n",  "(",      "1+(2", "x1",    "1x",   "5--",   "--5"};
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    try {
      GiveFormuleValue(text);
      ADD_FAILURE() << "accepted";
    } catch (const EFormuleError& e) {
      EXPECT_EQ(e.Message(), "Entrée incorrecte (caractères A-Z, ou a-z sont interdits) !");
    }
  }
}

std::string Repeat(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

TEST(GiveFormuleValue, StackHoldsAHundredElementsAndRefusesMore) {
  // n ones joined by "+" need 2n-1 elements.
  EXPECT_EQ(GiveFormuleValue("1" + Repeat("+1", 49)), 50);                // 99 elements
  EXPECT_THROW(GiveFormuleValue("1" + Repeat("+1", 50)), EFormuleError);  // 101
  EXPECT_THROW(GiveFormuleValue("1" + Repeat("+1", 5000)), EFormuleError);
  // Brackets reduce as they are met, so nesting does not grow the stack.
  EXPECT_EQ(GiveFormuleValue(Repeat("(1+", 150) + "1" + Repeat(")", 150)), 151);
  EXPECT_THROW(GiveFormuleValue(Repeat("(1+", 150)), EFormuleError);
  EXPECT_THROW(GiveFormuleValue(Repeat("(", 150) + "1"), EFormuleError);
  EXPECT_THROW(GiveFormuleValue(Repeat(")", 150)), EFormuleError);
}

TEST(GiveFormuleValue, LongNumbersAndOverflowDoNotTrap) {
  EXPECT_EQ(GiveFormuleValue(std::string(400, '9')), HUGE_VAL);
  EXPECT_EQ(GiveFormuleValue("0." + std::string(400, '0') + "1"), 0.0);
  EXPECT_EQ(FormatGeneral(GiveFormuleValue(std::string(200, '9') + "*" + std::string(200, '9'))),
            "INF");
}

}  // namespace
}  // namespace quorvel
