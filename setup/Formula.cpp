#include "Formula.h"

#include <array>
#include <cstddef>

#include "common/Format.h"

namespace quorvel {

const char* const kFormuleErrorMessage =
    "Entrée incorrecte (caractères A-Z, ou a-z sont interdits) !";

EFormuleError::EFormuleError() : Exception(kFormuleErrorMessage) {}

namespace {

enum class TDesign { DsNombre, DsOperateur };
enum class TOperateur { OpPlus, OpMoins, OpMult, OpDiv };

struct TElement {
  TDesign Design = TDesign::DsNombre;
  double Nombre = 0;
  TOperateur Operateur = TOperateur::OpPlus;
};

// Fixed capacity: a formula that needs more raises the formula error instead
// of writing past the end.
constexpr int kPileSize = 100;

struct TPile {
  std::array<TElement, kPileSize> Tab{};
  int NumSommet = 0;

  void Push(const TElement& e) {
    if (NumSommet >= kPileSize) throw EFormuleError();
    Tab[static_cast<std::size_t>(NumSommet)] = e;
    ++NumSommet;
  }
  TElement Pop() {
    if (NumSommet <= 0) throw EFormuleError();
    --NumSommet;
    return Tab[static_cast<std::size_t>(NumSommet)];
  }
};

TElement Number(double v) {
  TElement e;
  e.Design = TDesign::DsNombre;
  e.Nombre = v;
  return e;
}

TElement Operator(TOperateur op) {
  TElement e;
  e.Design = TDesign::DsOperateur;
  e.Operateur = op;
  return e;
}

bool IsNumberChar(char c) {
  return (c >= '0' && c <= '9') || c == '.';
}

// Reads one token that ends at the 1-based position `pos` and moves `pos` to
// the character left of it.
TElement GiveNextvalue(const std::string& frml, std::size_t& pos) {
  switch (frml[pos - 1]) {
    case '+':
      --pos;
      return Operator(TOperateur::OpPlus);
    case '-':
      --pos;
      return Operator(TOperateur::OpMoins);
    case '*':
      --pos;
      return Operator(TOperateur::OpMult);
    case '/':
      --pos;
      return Operator(TOperateur::OpDiv);
    default:
      break;
  }
  const std::size_t end = pos;
  while (pos > 0 && IsNumberChar(frml[pos - 1])) --pos;
  if (pos == end) throw EFormuleError();
  const auto value = ParseFloat(std::string_view(frml).substr(pos, end - pos));
  if (!value) throw EFormuleError();  // "1.2.3", "."
  return Number(*value);
}

// One reduction. The text is read backwards, so the top of the stack holds the
// leftmost element read so far: A op B with A on top.
void RunOperation(TPile& pile) {
  if (pile.NumSommet >= 3) {
    const TElement a = pile.Pop();
    const TElement op = pile.Pop();
    const TElement b = pile.Pop();
    if (a.Design != TDesign::DsNombre || op.Design != TDesign::DsOperateur ||
        b.Design != TDesign::DsNombre)
      throw EFormuleError();
    double r = 0;
    switch (op.Operateur) {
      case TOperateur::OpPlus:
        r = a.Nombre + b.Nombre;
        break;
      case TOperateur::OpMoins:
        r = a.Nombre - b.Nombre;
        break;
      case TOperateur::OpMult:
        r = a.Nombre * b.Nombre;
        break;
      case TOperateur::OpDiv:
        r = a.Nombre / b.Nombre;
        break;  // IEEE: INF or NAN, no trap
    }
    pile.Push(Number(r));
  } else if (pile.NumSommet == 2) {
    const TElement sign = pile.Pop();
    const TElement value = pile.Pop();
    if (sign.Design != TDesign::DsOperateur || value.Design != TDesign::DsNombre ||
        (sign.Operateur != TOperateur::OpPlus && sign.Operateur != TOperateur::OpMoins))
      throw EFormuleError();
    pile.Push(Number(sign.Operateur == TOperateur::OpMoins ? -value.Nombre : value.Nombre));
  } else {
    throw EFormuleError();
  }
}

}  // namespace

double GiveFormuleValue(const std::string& Frml) {
  TPile pile;
  std::size_t pos = Frml.size();  // 1-based position of the character looked at
  while (pos > 0) {
    const char c = Frml[pos - 1];
    if (c == '(') {
      RunOperation(pile);
      --pos;
    } else if (c == ')') {
      --pos;
    } else {
      pile.Push(GiveNextvalue(Frml, pos));
    }
  }
  while (pile.NumSommet >= 2) RunOperation(pile);
  if (pile.NumSommet == 0 || pile.Tab[0].Design != TDesign::DsNombre) throw EFormuleError();
  return pile.Tab[0].Nombre;
}

}  // namespace quorvel
