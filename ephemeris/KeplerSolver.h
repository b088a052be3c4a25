// Muller's method for Kepler's equation, with its failures reported to the
// operator through the program's message sink.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::ephem {

// Iteration limit of the root finder.
constexpr std::int32_t MaxIter = 100000;
// Root threshold |f(E)| every caller on the Sun path uses.
constexpr double kKeplerThreshold = 1e-14;

// What the operator reads when the arithmetic itself fails. Floating point does
// not trap here, so these cases are recognised explicitly.
constexpr const char* kDivisionByZero = "Floating point division by zero";
constexpr const char* kInvalidOperation = "Invalid floating point operation";

// f(x, e, m): the function whose root is sought.
using TKeplerFunction = double (*)(double x, double e, double m);

// Kepler's equation for an ellipse: E - e sin E - M.
double FunctionKepler0_1(double x, double e, double m);

// The caller's label, at the head of a failure message. It is only formed when
// a failure is reported, so the normal path builds no text.
class TSolverLabel {
 public:
  virtual ~TSolverLabel() = default;
  virtual std::string Text() const = 0;
};

// Solves funck(x, ecc, M) = 0 by Muller's method from the working points
// p[0..2] (p[3] is carried along for the message only), which are updated.
// Stops when |f| <= Seuil, when IterMax iterations are done or when two working
// points coincide. On failure ("Determinant <0", "Seuil depassé ou I>Itermax",
// or an arithmetic failure) it shows an error message through
// ShowMessageError, sets Solve to 0 and returns false; the caller goes on.
bool MullerResolving(const TSolverLabel& Msg, std::int32_t IterMax, double Seuil, double ecc,
                     double M, std::array<double, 4>& p, TKeplerFunction funck, double& Solve);
bool MullerResolving(std::string_view Msg, std::int32_t IterMax, double Seuil, double ecc, double M,
                     std::array<double, 4>& p, TKeplerFunction funck, double& Solve);

}  // namespace quorvel::ephem
