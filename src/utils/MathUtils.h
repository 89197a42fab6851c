#pragma once

#include <cmath>
#include <initializer_list>

#include "utils/Assert.h"

// Helpers shared by the circuit stages: a branch-free clamp and the taper
// curves that turn a 0..1 control position into a potentiometer position.
namespace MathUtils {

namespace Curves {

// Log-taper pot law: x / (a - (a - 1)·x). Slope 1/a at 0 and a at 1; a = 1 is
// the identity.
inline double scaleToLog(double x, double a)
{
    GRAVEL_ASSERT(a>=1.0, "src/utils/MathUtils", 49);
    GRAVEL_ASSERT(x>=0.0, "src/utils/MathUtils", 50);
    GRAVEL_ASSERT(x<=1.0, "src/utils/MathUtils", 51);
    return x / (a - (a - 1.0) * x);
}

// S-shaped taper through (0,0), (0.5,0.5), (1,1), point-symmetric about the
// centre: each half is a scaled scaleToLog. Slope 1/a at the ends, a at the
// centre.
inline double scaleToSCurve(double x, double a)
{
    GRAVEL_ASSERT(a>=0.0, "src/utils/MathUtils", 67);
    GRAVEL_ASSERT(x>=0.0, "src/utils/MathUtils", 68);
    GRAVEL_ASSERT(x<=1.0, "src/utils/MathUtils", 69);
    if (x < 0.5)
        return 0.5 * 2.0 * x / ((a - 1.0) * (-2.0 * x) + a);
    const double u = 2.0 * x - 1.0;
    return 0.5 * (a * u / (u * (a - 1.0) + 1.0) + 1.0);
}

} // namespace Curves

// True when every value is a finite number: the test a channel's state must
// pass to be worth keeping.
inline bool allFinite(std::initializer_list<double> values)
{
    for (double v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

namespace Clipping {

// (|x - min| + min + max - |x - max|) / 2: min below, max above, x between,
// without a branch.
template <typename T>
inline T clipBetween(T x, T min, T max)
{
    GRAVEL_ASSERT(min<max, "src/utils/MathUtils", 113);
    return (std::abs(x - min) + min + max - std::abs(x - max)) / T(2);
}

} // namespace Clipping

} // namespace MathUtils
