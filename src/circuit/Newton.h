#pragma once

#include <cmath>

// Newton's method as every nonlinear stage of the circuit uses it: stop once
// a step is at most 1e-6 V, or after 100 steps, and keep the last iterate.
//
// Several independent problems (the stereo channels) can be solved in lock
// step. Each lane still stops on its own step test; a lane that has finished
// keeps its solution while the others go on, so every lane's result is what
// it would be alone. The point is speed: one lane's exponential and divisions
// run while the other lane waits on its own.
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
    return std::exp(argument > upper ? upper : argument);
}

// The same for a stage that also divides by the exponential.
inline double boundedExpAndInverse(double argument, double upper)
{
    return boundedExp(argument < minExponent ? minExponent : argument, upper);
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

// residual(lane, v, f, fPrime, aux) evaluates the stage's residual at v; it
// may move v (the clipping stage clamps it to the rails) and fills aux.
template <int Lanes, class Aux, class Residual>
inline void solve(double (&v)[Lanes], LastIterate<Aux> (&last)[Lanes], Residual residual)
{
    if constexpr (Lanes == 1) {
        // The mono path as a plain loop: the lane bookkeeping below costs a
        // single channel time it does not need to spend.
        int n = 0;
        double step, inverseSlope;
        Aux aux;
        do {
            double f, fPrime;
            residual(0, v[0], f, fPrime, aux);
            inverseSlope = 1.0 / fPrime;
            step = f * inverseSlope;
            v[0] -= step;
            ++n;
        } while (std::abs(step) > tolerance && n < maxIterations);
        last[0] = {inverseSlope, step, n, aux};
        return;
    }

    bool active[Lanes];
    int n[Lanes];
    for (int k = 0; k < Lanes; ++k) {
        active[k] = true;
        n[k] = 0;
    }
    bool anyActive;
    do {
        anyActive = false;
        for (int k = 0; k < Lanes; ++k) {
            // A finished lane keeps its solution and costs nothing more.
            if (!active[k])
                continue;
            double f, fPrime;
            Aux aux;
            residual(k, v[k], f, fPrime, aux);
            const double inverseSlope = 1.0 / fPrime;
            const double step = f * inverseSlope;
            v[k] -= step;
            ++n[k];
            last[k] = {inverseSlope, step, n[k], aux};
            // A NaN step fails the comparison and ends the lane.
            active[k] = std::abs(step) > tolerance && n[k] < maxIterations;
            anyActive = anyActive || active[k];
        }
    } while (anyActive);
}

// One stage (or model) alone through its lane-wise process: the mono path
// and the stereo pair share one implementation.
template <class Stage>
inline double processAlone(Stage* stage, double x)
{
    Stage* const stages[1] = {stage};
    const double in[1] = {x};
    double out[1];
    Stage::processLanes(stages, in, out);
    return out[0];
}

} // namespace Newton
