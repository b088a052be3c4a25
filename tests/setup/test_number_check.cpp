#include <gtest/gtest.h>

#include <string>

#include "setup/Formula.h"
#include "setup/NumberCheck.h"

namespace quorvel {
namespace {

const std::string kFormula = "Entrée incorrecte (caractères A-Z, ou a-z sont interdits) !";
const std::string kTooBig = "Nombre trop grand par rapport à la valeur maximale autorisée : ";
const std::string kTooSmall = "Nombre trop petit par rapport à la valeur minimale autorisée : ";

struct CheckCase {
  const char* text;
  TTypeValue type;
  double min, max;
  const char* result;   // the rewritten text, when accepted
  std::string message;  // the operator message, when refused
};

constexpr auto Int = TTypeValue::Int;
constexpr auto Float = TTypeValue::Float;

TEST(EvaluateNumberText, AcceptsRewritesOrRefusesWithTheOperatorMessage) {
  const CheckCase cases[] = {
      // Int: formula value, whole and within 32 bits.
      {"12", Int, 0, 0, "12", ""},
      {"6/2", Int, 0, 0, "3", ""},
      {"-5", Int, 0, 0, "-5", ""},
      {"2147483647", Int, 0, 0, "2147483647", ""},
      {"12.5", Int, 0, 0, nullptr, "12.5 n'est pas une valeur entière valide !"},
      {"7/2", Int, 0, 0, nullptr, "7/2 n'est pas une valeur entière valide !"},
      {"3000000000", Int, 0, 0, nullptr, "3000000000 n'est pas une valeur entière valide !"},
      {"0/0", Int, 0, 0, nullptr, "0/0 n'est pas une valeur entière valide !"},
      {"1/0", Int, 0, 0, nullptr, "1/0 n'est pas une valeur entière valide !"},
      {"1e3", Int, 0, 0, nullptr, kFormula},  // Int fields take formulas only
      {"11", Int, 0, 10, nullptr, kTooBig + "10"},
      {"-1", Int, 0, 10.5, nullptr, kTooSmall + "0"},
      {"11", Int, 0, 10.5, nullptr, kTooBig + "10"},  // bound rounded, ties to even
      // Float: plain number first, then formula, general format.
      {"45.5000", Float, 0, 89.99999999, "45.5", ""},
      {"90", Float, 0, 89.99999999, nullptr, kTooBig + "89.99999999"},
      {"-5", Float, 0, 89.99999999, nullptr, kTooSmall + "0"},
      {"89.99999999", Float, 0, 89.99999999, "89.99999999", ""},
      {"1e3", Float, 0, 0, "1000", ""},
      {"2+3*4", Float, 0, 0, "20", ""},
      {"90/2", Float, 0, 0, "45", ""},
      {"10-2-3", Float, 0, 0, "5", ""},
      {"8/2/2", Float, 0, 0, "2", ""},
      {"(1+2)*3", Float, 0, 0, "9", ""},
      {"3*(-2)", Float, 0, 0, "-6", ""},
      {"+5", Float, 0, 0, "5", ""},
      {"-2*3", Float, 0, 0, nullptr, kFormula},
      {"3*-2", Float, 0, 0, nullptr, kFormula},
      {"(-2)*3", Float, 0, 0, nullptr, kFormula},
      {"abc", Float, 0, 0, nullptr, kFormula},
      {"1,5", Float, 0, 0, nullptr, kFormula},
      {"2 + 3", Float, 0, 0, nullptr, kFormula},
      {"(5)", Float, 0, 0, nullptr, kFormula},
      {" 5", Float, 0, 0, nullptr, kFormula},
      {"1/0", Float, 0, 359.9999, nullptr, kTooBig + "359.9999"},
      {"1/0", Float, 0, 0, "INF", ""},
      {"0-1/0", Float, 0, 0, "-INF", ""},
      {"0/0", Float, 0, 359.9999, "NAN", ""},
      {"nan", Float, 0, 89.99999999, "NAN", ""},
      {"-inf", Float, 0, 0, "-INF", ""},
      {"-123.25", Float, 0, 0, "-123.25", ""},  // no range: negatives too
      {"-301", Float, -300, 9000, nullptr, kTooSmall + "-300"},
      {"9001", Float, -300, 9000, nullptr, kTooBig + "9000"},
      {"5", Float, 10, 10, "5", ""},  // equal bounds: no range
      {"", Float, 0, 89.99999999, "", ""},
      {"", Int, 0, 10, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.type == Int ? "Int " : "Float ") + "'" + c.text + "'");
    if (c.result) {
      EXPECT_EQ(EvaluateNumberText(c.text, c.type, c.min, c.max), c.result);
      continue;
    }
    try {
      const std::string r = EvaluateNumberText(c.text, c.type, c.min, c.max);
      ADD_FAILURE() << "accepted as " << r;
    } catch (const ENotWholeError& e) {
      EXPECT_EQ(e.Message(), c.message);
    } catch (const ERangeError& e) {
      EXPECT_EQ(e.Message(), c.message);
    } catch (const EFormuleError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

}  // namespace
}  // namespace quorvel
