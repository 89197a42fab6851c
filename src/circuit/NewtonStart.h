#pragma once

#include <cmath>

namespace NewtonStart {

// The circuit's own start values (cubic fits, extrapolation) are safe over the
// whole signal range; a start predicted from the previous sample's solution
// is far closer while the signal moves smoothly, but after a jump or a reset
// it can land where the exponential overflows. Use the prediction only while
// it stays near the safe start.
constexpr double maxDistance = 0.05; // V

inline double choose(double safeStart, double predicted)
{
    return std::abs(predicted - safeStart) < maxDistance ? predicted : safeStart;
}

} // namespace NewtonStart
