#include "ephemeris/KeplerSolver.h"

#include <cmath>

#include "common/EventLog.h"
#include "common/Format.h"

namespace quorvel::ephem {

namespace {

constexpr const char* kNegativeDeterminant = "Determinant <0";
constexpr const char* kNotConverged = "Seuil depassé ou I>Itermax";

class FixedLabel final : public TSolverLabel {
 public:
  explicit FixedLabel(std::string_view text) : text_(text) {}
  std::string Text() const override { return std::string(text_); }

 private:
  std::string_view text_;
};

void ReportFailure(const TSolverLabel& Msg, std::int32_t i, const char* failure,
                   const std::array<double, 4>& p, double d) {
  std::string text = Msg.Text();
  text += " Iteration=" + std::to_string(i) + " ->" + failure;
  text += " P0= " + FormatGeneral(p[0]) + " " + "P1= " + FormatGeneral(p[1]) + " " +
          "P2= " + FormatGeneral(p[2]) + " " + "P3= " + FormatGeneral(p[3]) + " " +
          "d= " + FormatGeneral(d);
  ShowMessageError(text);
}

}  // namespace

double FunctionKepler0_1(double x, double e, double m) {
  return x - e * std::sin(x) - m;
}

bool MullerResolving(const TSolverLabel& Msg, std::int32_t IterMax, double Seuil, double ecc,
                     double M, std::array<double, 4>& p, TKeplerFunction funck, double& Solve) {
  std::int32_t i = 0;
  double d = 0;
  double x = 0;
  const char* failure = nullptr;
  // f of the three working points; after a shift two of them are already known
  // (f is a pure function, so this is the same as evaluating them again).
  double F0 = funck(p[0], ecc, M);
  double F1 = funck(p[1], ecc, M);
  double F2 = funck(p[2], ecc, M);
  bool stuck = false;
  do {
    const double d02 = p[0] - p[2];
    const double d12 = p[1] - p[2];
    d = d02 * d12 * (p[0] - p[1]);
    if (d == 0) {
      failure = kDivisionByZero;
      break;
    }
    const double c = F2;
    const double b = (d02 * d02 * (F1 - F2) - d12 * d12 * (F0 - F2)) / d;
    const double a = (d12 * (F0 - F2) - d02 * (F1 - F2)) / d;
    const double u = b < 0 ? -1.0 : 1.0;
    const double v = b * b - 4.0 * a * c;
    if (v < 0) {
      failure = kNegativeDeterminant;
      break;
    }
    const double denominator = b + u * std::sqrt(v);
    if (denominator == 0) {
      failure = kDivisionByZero;
      break;
    }
    x = p[2] - 2.0 * c / denominator;
    if (std::isnan(x)) {
      failure = kInvalidOperation;
      break;
    }
    p[0] = p[1];
    p[1] = p[2];
    p[2] = x;
    F0 = F1;
    F1 = F2;
    F2 = funck(x, ecc, M);
    stuck = p[0] == p[2] || p[1] == p[2] || p[0] == p[1];
    ++i;
  } while (!(std::fabs(F2) <= Seuil || i >= IterMax || stuck));

  if (failure == nullptr && i == IterMax) failure = kNotConverged;
  if (failure != nullptr) {
    ReportFailure(Msg, i, failure, p, d);
    Solve = 0;
    return false;
  }
  Solve = x;
  return true;
}

bool MullerResolving(std::string_view Msg, std::int32_t IterMax, double Seuil, double ecc, double M,
                     std::array<double, 4>& p, TKeplerFunction funck, double& Solve) {
  return MullerResolving(FixedLabel(Msg), IterMax, Seuil, ecc, M, p, funck, Solve);
}

}  // namespace quorvel::ephem
