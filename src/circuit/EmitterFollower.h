#pragma once

#include "circuit/Newton.h"
#include "circuit/NewtonStart.h"

// Both buffers are emitter followers whose emitter voltage v solves
//
//   f(v) = linear·v + saturation·e + constant,  f′(v) = linear + slope·e,
//   e = exp((base − v)/Vt),
//
// with coefficients that depend on the stage and the sample. A stage
// prepares its problem, any solver finds v, the stage finishes the sample.
namespace EmitterFollower {

constexpr double Is = 6.7e-15;       // transistor saturation current, A
constexpr double invVt = 38.7596899; // 1/Vt, per volt

struct Problem {
    double start;      // first iterate
    double base;       // base voltage, V
    double linear;
    double saturation;
    double constant;
    double slope;
};

inline void residual(const Problem& p, double v, double& f, double& fPrime, double& e)
{
    e = Newton::boundedExp((p.base - v) * invVt);
    f = p.linear * v + p.saturation * e + p.constant;
    fPrime = p.linear + p.slope * e;
}

// p with its start predicted from the last solution: moved by the residual's
// linearised change (its exponential term as saturation·e·(1 + Δ/Vt), the
// terms known from the last sample summed before the new base), or the
// stage's safe start where that lands far away.
inline Problem startingFromLast(Problem p, double safeStart, double previousBase,
                                double lastSolution, const Newton::LastIterate<double>& last)
{
    const double saturationAtLast = p.saturation * last.aux;
    const double residualAtLast = (p.linear * lastSolution + p.constant + saturationAtLast) +
                                  saturationAtLast * invVt * ((p.base - previousBase) + last.step);
    p.start = NewtonStart::choose(safeStart, lastSolution - residualAtLast * last.inverseSlope);
    return p;
}

inline double solve(const Problem& p, Newton::LastIterate<double>& last)
{
    return Newton::solve(p.start, last, [&](double& v, double& f, double& fPrime, double& e) {
        residual(p, v, f, fPrime, e);
    });
}

} // namespace EmitterFollower
