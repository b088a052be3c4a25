// Evaluation of the small arithmetic formulas the numeric fields accept
// ("90/2", "2*(3+4)"). Plain C++, no Qt.
#pragma once

#include <string>

#include "common/Errors.h"

namespace quorvel {

// The formula cannot be evaluated. Always the same operator message.
class EFormuleError : public Exception {
 public:
  EFormuleError();
};

extern const char* const kFormuleErrorMessage;

// Evaluates `Frml`: numbers (digits and "."), + - * / and round brackets, no
// blanks. There is no operator precedence: a stack machine reads the text from
// its last character to its first, reduces one operation at every "(" and the
// rest strictly from left to right, so 2+3*4 = 20 and 2*(1+2+3) = 9. A sign is
// accepted only where a pair is reduced (-5, 3*(-2)). Division does not trap:
// 1/0 = INF, 0/0 = NAN. Raises EFormuleError for anything else, including a
// formula that needs more than 100 stack elements.
double GiveFormuleValue(const std::string& Frml);

}  // namespace quorvel
