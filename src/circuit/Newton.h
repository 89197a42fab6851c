#pragma once

#include <cmath>

#include "circuit/Exponential.h"

// Newton's method as every nonlinear stage of the circuit uses it: stop once
// a step is at most 1e-6 V, or after 100 steps, and keep the last iterate.
namespace Newton {

constexpr double tolerance = 1e-6; // V, on the step
constexpr int maxIterations = 100;

// A junction driven far beyond anything the 9 V pedal could put across it
// would need a current no double holds. Its exponential is held at the edge
// of the representable instead: no argument the circuit's finite solutions
// ever use is touched, and beyond it the junction simply conducts as hard as
// it can, so Newton keeps finite numbers and the stage saturates.
constexpr double maxExponent = 709.78271289338397;  // ln(DBL_MAX): exp stays finite
constexpr double minExponent = -708.39641853226408; // ln(DBL_MIN): 1/exp stays finite,
                                                    // even with denormals flushed
constexpr double maxSquaredExponent = 354.89135644669199; // exp² stays finite

// exp held below overflow (a NaN argument stays NaN).
inline double boundedExp(double argument, double upper = maxExponent)
{
    return Exponential::of(argument, Exponential::lowest, upper);
}

// The same for a stage that also divides by the exponential.
inline double boundedExpAndInverse(double argument, double upper)
{
    return Exponential::of(argument, minExponent, upper);
}

// What a solve leaves behind about its last iterate: enough to predict the
// next sample's solution.
template <class Aux>
struct LastIterate {
    double inverseSlope = 0.0; // 1/f′
    double step = 0.0;         // the last step taken
    int iterations = 0;
    Aux aux{};                 // the stage's own values at that iterate
};

// residual(v, f, fPrime, aux) evaluates the stage's residual at v; it may
// move v (the clipping stage clamps it to the rails) and fills aux. Returns
// the solution; last describes the final step.
template <class Aux, class Residual>
inline double solve(double v, LastIterate<Aux>& last, Residual residual)
{
    int n = 0;
    double step, inverseSlope;
    Aux aux;
    do {
        double f, fPrime;
        residual(v, f, fPrime, aux);
        inverseSlope = 1.0 / fPrime;
        step = f * inverseSlope;
        v -= step;
        ++n;
    } while (std::abs(step) > tolerance && n < maxIterations);
    last = {inverseSlope, step, n, aux};
    return v;
}

} // namespace Newton
