#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "circuit/Exponential.h"
#include "circuit/Newton.h"

// The reference is expl: x86-64's long double carries 64 bits of mantissa,
// eleven more than a double, so it measures a double's error to about 1/2000
// of an ulp.
static_assert(std::numeric_limits<long double>::digits >= 64,
              "the reference needs a long double wider than double");

namespace {

const double notANumber = std::numeric_limits<double>::quiet_NaN();
const double infinity = std::numeric_limits<double>::infinity();
constexpr long double ln2 = 0.693147180559945309417232121458176568L;

uint64_t bitsOf(double x)
{
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

std::string hex(double x)
{
    char text[40];
    std::snprintf(text, sizeof text, "%a", x);
    return text;
}

// |y − exact| in units of the last place a double holds at the exact value
// (2^-1074 throughout the subnormal range). A result on the wrong side of
// overflow counts as infinitely wrong.
long double ulpError(double y, long double exact)
{
    const double rounded = static_cast<double>(exact);
    if (std::isinf(rounded) || std::isinf(y))
        return y == rounded ? 0.0L : std::numeric_limits<long double>::infinity();
    int exponent;
    std::frexp(exact, &exponent); // exact = f·2^exponent, 1/2 ≤ f < 1
    const int ulpExponent = exponent - 53 > -1074 ? exponent - 53 : -1074;
    return std::fabs(static_cast<long double>(y) - exact) / std::ldexp(1.0L, ulpExponent);
}

std::vector<double> evenlySpaced(double first, double last, int count)
{
    std::vector<double> x(count);
    for (int i = 0; i < count; ++i)
        x[i] = first + (last - first) * i / (count - 1);
    return x;
}

// Around every point where round(x·128/ln 2) changes (there |r| is largest
// and the table index and powers of two step) the nearest double and its two
// neighbours each side, and every node k·ln 2/128 itself (r about 0).
std::vector<double> tableBoundaries(double first, double last)
{
    std::vector<double> x;
    const long long lowest = std::llround(first * 128 / ln2);
    const long long highest = std::llround(last * 128 / ln2);
    for (long long k = lowest; k <= highest; ++k) {
        const double node = static_cast<double>(k * ln2 / 128);
        const double boundary = static_cast<double>((k + 0.5L) * ln2 / 128);
        const double below = std::nextafter(boundary, -infinity);
        const double above = std::nextafter(boundary, infinity);
        for (double v : {node, std::nextafter(below, -infinity), below, boundary, above,
                         std::nextafter(above, infinity)}) {
            if (v >= first && v <= last)
                x.push_back(v);
        }
    }
    return x;
}

struct Sweep {
    const char* name;
    std::vector<double> arguments;
};

// The arguments the stages hand to exp: densely over the buffers' and the
// diodes' working range, coarsely over everything with a finite nonzero
// result, and at every table boundary in between.
const std::vector<Sweep>& sweeps()
{
    static const std::vector<Sweep> all = {
        {"working_range", evenlySpaced(-40.0, 40.0, 1000001)},
        {"full_range", evenlySpaced(-745.0, 709.78, 300001)},
        {"table_boundaries", tableBoundaries(-745.0, 709.78)},
    };
    return all;
}

} // namespace

TEST(Exponential, WithinOneUlpOverEveryArgumentTheStagesUse)
{
    for (const Sweep& sweep : sweeps()) {
        long double worst = 0.0L;
        double worstArgument = 0.0;
        for (double x : sweep.arguments) {
            const long double error = ulpError(Exponential::of(x), expl(x));
            if (!(error <= worst)) {
                worst = error;
                worstArgument = x;
            }
        }
        char text[120];
        std::snprintf(text, sizeof text, "%.4Lf ulp at %a (%zu arguments)", worst, worstArgument,
                      sweep.arguments.size());
        RecordProperty(std::string("max_error_") + sweep.name, text);
        std::printf("exp over %s: %s\n", sweep.name, text);
        // Half an ulp and a little where the stages work; near the ends the
        // result is scaled into the subnormal range, which rounds once more.
        const long double bound = std::string(sweep.name) == "working_range" ? 0.51L : 1.0L;
        EXPECT_LE(worst, bound) << sweep.name << ": exp(" << hex(worstArgument) << ") is "
                                << hex(Exponential::of(worstArgument));
    }
}

TEST(Exponential, SaturatesAndKeepsItsSpecialValues)
{
    EXPECT_TRUE(std::isnan(Exponential::of(notANumber)));
    EXPECT_TRUE(std::isnan(Exponential::of(-notANumber)));

    for (double x : {infinity, 710.0, 709.79, 1e300, DBL_MAX})
        EXPECT_EQ(Exponential::of(x), infinity) << x;
    for (double x : {-infinity, -746.0, -1e300, -DBL_MAX, -745.2})
        EXPECT_EQ(bitsOf(Exponential::of(x)), bitsOf(0.0)) << x;

    // Exactly 1 at and around zero: no tiny offset on a junction at rest.
    for (double x : {0.0, -0.0, 1e-300, -1e-300, std::numeric_limits<double>::denorm_min()})
        EXPECT_EQ(Exponential::of(x), 1.0) << x;

    // The stages' bounds: the largest finite value, its inverse, its square.
    const double highest = Exponential::of(Newton::maxExponent);
    EXPECT_TRUE(std::isfinite(highest));
    EXPECT_LE(ulpError(highest, expl(Newton::maxExponent)), 1.0L) << hex(highest);
    const double squaredBound = Exponential::of(Newton::maxSquaredExponent);
    EXPECT_TRUE(std::isfinite(squaredBound * squaredBound));

    // The smallest one stays normal, so its inverse is finite even where
    // denormals are flushed to zero.
    const double lowest = Exponential::of(Newton::minExponent);
    EXPECT_LE(ulpError(lowest, expl(Newton::minExponent)), 1.0L) << hex(lowest);
    EXPECT_GE(lowest, DBL_MIN);
    EXPECT_LT(lowest, 1.000000000001 * DBL_MIN);
    EXPECT_TRUE(std::isfinite(1.0 / lowest));

    // Where the table's own rounding once pushed the result past an ulp.
    EXPECT_LE(ulpError(Exponential::of(0x1.993cca10959e1p+1), expl(0x1.993cca10959e1p+1L)), 0.51L);

    // Gradual underflow down to the smallest subnormal.
    EXPECT_EQ(Exponential::of(-745.0), std::numeric_limits<double>::denorm_min());
    EXPECT_LE(ulpError(Exponential::of(-720.0), expl(-720.0L)), 1.0L);
}
