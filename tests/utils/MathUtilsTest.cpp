#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "utils/Assert.h"
#include "utils/MathUtils.h"

using MathUtils::Clipping::clipBetween;
using MathUtils::Curves::scaleToLog;
using MathUtils::Curves::scaleToSCurve;

namespace {

const double notANumber = std::numeric_limits<double>::quiet_NaN();

// Central-difference slope; the curves are smooth inside each half.
template <class F>
double slope(F f, double x, double h = 1e-7)
{
    return (f(x + h) - f(x - h)) / (2.0 * h);
}

} // namespace

TEST(ClipBetween, LimitsToTheRailsAndPassesValuesBetween)
{
    EXPECT_EQ(clipBetween(5.0, -4.5, 4.5), 4.5);
    EXPECT_EQ(clipBetween(-7.0, -4.5, 4.5), -4.5);
    EXPECT_EQ(clipBetween(1.0, -4.5, 4.5), 1.0);
    EXPECT_EQ(clipBetween(4.5, -4.5, 4.5), 4.5);
    EXPECT_EQ(clipBetween(-4.5, -4.5, 4.5), -4.5);
    EXPECT_EQ(clipBetween(0.0, -4.5, 4.5), 0.0);
    // The template serves integers as well.
    EXPECT_EQ(clipBetween(12, -3, 9), 9);
    EXPECT_EQ(clipBetween(-12, -3, 9), -3);
    EXPECT_EQ(clipBetween(4, -3, 9), 4);
}

TEST(ScaleToLog, LogTaperValuesSlopesAndIdentity)
{
    EXPECT_DOUBLE_EQ(scaleToLog(0.5, 5.5), 0.5 / 3.25);
    EXPECT_EQ(scaleToLog(0.0, 5.5), 0.0);
    EXPECT_EQ(scaleToLog(1.0, 5.5), 1.0);
    for (double x = 0.0; x <= 1.0; x += 0.0625)
        EXPECT_DOUBLE_EQ(scaleToLog(x, 1.0), x) << "x = " << x;

    // A log-taper pot: slope 1/a at the bottom and a at the top.
    for (double a : {2.0, 5.5, 10.0}) {
        auto f = [a](double x) { return scaleToLog(x, a); };
        EXPECT_NEAR((f(1e-7) - f(0.0)) / 1e-7, 1.0 / a, 1e-5) << "a = " << a;
        EXPECT_NEAR((f(1.0) - f(1.0 - 1e-7)) / 1e-7, a, 1e-4 * a) << "a = " << a;
        // Rising everywhere.
        double previous = -1.0;
        for (double x = 0.0; x <= 1.0; x += 0.01) {
            EXPECT_GT(f(x), previous);
            previous = f(x);
        }
    }
}

TEST(ScaleToSCurve, CentreEndsSymmetryAndTaperValues)
{
    EXPECT_DOUBLE_EQ(scaleToSCurve(0.5, 0.0), 0.5);
    // a = 0 is allowed but degenerate (0/0 at the ends), so the shape checks
    // start above it.
    for (double a : {0.25, 1.0, 2.0, 6.0, 20.0}) {
        EXPECT_DOUBLE_EQ(scaleToSCurve(0.5, a), 0.5) << "a = " << a;
        EXPECT_NEAR(scaleToSCurve(0.0, a), 0.0, 1e-15) << "a = " << a;
        EXPECT_NEAR(scaleToSCurve(1.0, a), 1.0, 1e-15) << "a = " << a;
        // Point-symmetric about the centre.
        for (double x = 0.0; x <= 0.5; x += 0.03125)
            EXPECT_NEAR(scaleToSCurve(x, a) + scaleToSCurve(1.0 - x, a), 1.0, 1e-14)
                << "a = " << a << ", x = " << x;
    }
    EXPECT_DOUBLE_EQ(scaleToSCurve(0.25, 6.0), 1.0 / 14.0);
    EXPECT_DOUBLE_EQ(scaleToSCurve(0.75, 6.0), 13.0 / 14.0);
    for (double x = 0.0; x <= 1.0; x += 0.0625)
        EXPECT_DOUBLE_EQ(scaleToSCurve(x, 1.0), x) << "x = " << x;

    // For a > 1: flat ends (slope 1/a), steep centre (slope a).
    auto f = [](double x) { return scaleToSCurve(x, 6.0); };
    EXPECT_NEAR(slope(f, 0.5), 6.0, 1e-4);
    EXPECT_NEAR((f(1e-7) - f(0.0)) / 1e-7, 1.0 / 6.0, 1e-5);
    EXPECT_NEAR((f(1.0) - f(1.0 - 1e-7)) / 1e-7, 1.0 / 6.0, 1e-5);
    // For a < 1 the shape is reversed: steep ends, flat centre.
    auto g = [](double x) { return scaleToSCurve(x, 0.5); };
    EXPECT_NEAR(slope(g, 0.5), 0.5, 1e-5);
    EXPECT_GT((g(1e-7) - g(0.0)) / 1e-7, 1.9);
}

TEST(AssertionReport, NamesConditionFunctionSourceAndLine)
{
    EXPECT_EQ(gravel::formatAssertionReport("x>=0.0", "scaleToLog", "src/utils/MathUtils", 50),
              "Assertion failed: (x>=0.0), function scaleToLog, file src/utils/MathUtils, "
              "line 50.");
    EXPECT_EQ(gravel::formatAssertionReport("min<max", "clipBetween", "src/utils/MathUtils", 113),
              "Assertion failed: (min<max), function clipBetween, file src/utils/MathUtils, "
              "line 113.");
}

TEST(MathUtilsDeathTest, PreconditionsReportFunctionSourceLineAndCondition)
{
#ifndef NDEBUG
    EXPECT_DEATH(scaleToLog(0.5, 0.5),
                 "Assertion failed: \\(a>=1\\.0\\), function scaleToLog, file "
                 "src/utils/MathUtils, line 49\\.");
    EXPECT_DEATH(scaleToLog(-0.1, 5.5),
                 "Assertion failed: \\(x>=0\\.0\\), function scaleToLog, file "
                 "src/utils/MathUtils, line 50\\.");
    // NaN fails the first range check.
    EXPECT_DEATH(scaleToLog(notANumber, 5.5),
                 "Assertion failed: \\(x>=0\\.0\\), function scaleToLog, file "
                 "src/utils/MathUtils, line 50\\.");
    EXPECT_DEATH(scaleToLog(1.01, 5.5),
                 "Assertion failed: \\(x<=1\\.0\\), function scaleToLog, file "
                 "src/utils/MathUtils, line 51\\.");
    EXPECT_DEATH(scaleToSCurve(0.5, -1.0),
                 "Assertion failed: \\(a>=0\\.0\\), function scaleToSCurve, file "
                 "src/utils/MathUtils, line 67\\.");
    EXPECT_DEATH(scaleToSCurve(-0.25, 6.0),
                 "Assertion failed: \\(x>=0\\.0\\), function scaleToSCurve, file "
                 "src/utils/MathUtils, line 68\\.");
    EXPECT_DEATH(scaleToSCurve(notANumber, 6.0),
                 "Assertion failed: \\(x>=0\\.0\\), function scaleToSCurve, file "
                 "src/utils/MathUtils, line 68\\.");
    EXPECT_DEATH(scaleToSCurve(1.5, 6.0),
                 "Assertion failed: \\(x<=1\\.0\\), function scaleToSCurve, file "
                 "src/utils/MathUtils, line 69\\.");
    EXPECT_DEATH(clipBetween(0.0, 4.5, -4.5),
                 "Assertion failed: \\(min<max\\), function clipBetween, file "
                 "src/utils/MathUtils, line 113\\.");
#else
    GTEST_SKIP() << "assertions are compiled out of release builds";
#endif
}
