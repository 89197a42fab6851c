#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "circuit/AnalogFilters.h"
#include "circuit/TDFII.h"
#include "TestSignals.h"

using namespace testsignals;

TEST(AnalogHPF, BackwardEulerCoefficientOfTheCouplingHighPass)
{
    // 1 kΩ, 10 µF at 44100 Hz: R·C·fs = 441, so k = 441/442. With zero state the
    // first output for a unit step is k itself.
    AnalogHPF hpf(1000.0, 1e-5, 44100.0);
    EXPECT_NEAR(hpf.processBackwardEuler(1.0), 441.0 / 442.0, 1e-15);
    // ...and every further sample of the step keeps multiplying by k.
    EXPECT_NEAR(hpf.processBackwardEuler(1.0), (441.0 / 442.0) * (441.0 / 442.0), 1e-15);
}

TEST(AnalogHPF, BiasedStateWithBiasInputGivesExactlyZero)
{
    AnalogHPF hpf(1000.0, 1e-5, 88200.0);
    hpf.setState(4.5, 0.0);
    for (int n = 0; n < 1000; ++n)
        ASSERT_EQ(hpf.processBackwardEuler(4.5), 0.0) << "sample " << n;
    EXPECT_EQ(hpf.getCurrent(), 0.0);
}

TEST(AnalogRC, DCThroughHighPassDecaysThroughLowPassSettles)
{
    const double fs = 44100.0;
    // τ = 1 ms: after 0.2 s the step response is e^-200 down.
    AnalogHPF hpfEuler(1000.0, 1e-6, fs), hpfTrap(1000.0, 1e-6, fs);
    AnalogLPF lpfEuler(1000.0, 1e-6, fs), lpfTrap(1000.0, 1e-6, fs);
    double he = 0, ht = 0, le = 0, lt = 0;
    for (int n = 0; n < static_cast<int>(0.2 * fs); ++n) {
        he = hpfEuler.processBackwardEuler(2.0);
        ht = hpfTrap.processTrapezoidal(2.0);
        le = lpfEuler.processBackwardEuler(2.0);
        lt = lpfTrap.process(2.0);
    }
    EXPECT_NEAR(he, 0.0, 1e-12);
    EXPECT_NEAR(ht, 0.0, 1e-12);
    EXPECT_NEAR(le, 2.0, 1e-12);
    EXPECT_NEAR(lt, 2.0, 1e-12);
    // The trapezoidal high-pass tracks the resistor current: y/R.
    EXPECT_NEAR(hpfTrap.getCurrent(), ht / 1000.0, 1e-18);
}

TEST(AnalogRC, TrapezoidalSectionsAreThreeDecibelsDownAtTheCorner)
{
    // At a high rate the bilinear warping is negligible at the corner.
    const double R = 1000.0, C = 1e-7, fs = 44100.0 * 64;
    const double fc = 1.0 / (2.0 * pi * R * C);
    const int count = static_cast<int>(fs * 0.02);
    const auto in = sine(1.0, fc, fs, count);
    AnalogLPF lpf(R, C, fs);
    AnalogHPF hpf(R, C, fs);
    const auto lo = run(lpf, in), hi = run(hpf, in);
    EXPECT_NEAR(fitSine(lo, fc, fs, count / 2, count).amplitude, std::sqrt(0.5), 1e-4);
    EXPECT_NEAR(fitSine(hi, fc, fs, count / 2, count).amplitude, std::sqrt(0.5), 1e-4);
    // A decade away: the low-pass passes, the high-pass stops, and vice versa.
    const auto low = sine(1.0, fc / 10.0, fs, count * 4);
    AnalogLPF lpf2(R, C, fs);
    AnalogHPF hpf2(R, C, fs);
    const double expectedPass = 1.0 / std::sqrt(1.01), expectedStop = 0.1 / std::sqrt(1.01);
    EXPECT_NEAR(fitSine(run(lpf2, low), fc / 10.0, fs, count * 2, count * 4).amplitude,
                expectedPass, 1e-4);
    EXPECT_NEAR(fitSine(run(hpf2, low), fc / 10.0, fs, count * 2, count * 4).amplitude,
                expectedStop, 1e-4);
}

TEST(AnalogRC, ComponentAndRateSettersMoveTheCorner)
{
    // Doubling C halves the corner; the same filter then is 3 dB down at fc/2.
    const double R = 2000.0, fs = 44100.0 * 64;
    AnalogLPF lpf(R, 1e-8, 44100.0);
    lpf.setCapacitor(2e-8);
    lpf.setSampleRate(fs);
    const double fc = 1.0 / (2.0 * pi * R * 2e-8);
    const int count = static_cast<int>(fs * 0.01);
    EXPECT_NEAR(fitSine(run(lpf, sine(1.0, fc, fs, count)), fc, fs, count / 2, count).amplitude,
                std::sqrt(0.5), 1e-4);
    AnalogHPF hpf(1.0, 1.0, fs);
    hpf.setResistorAndCapacitor(R, 2e-8);
    EXPECT_NEAR(fitSine(run(hpf, sine(1.0, fc, fs, count)), fc, fs, count / 2, count).amplitude,
                std::sqrt(0.5), 1e-4);
    AnalogHPF hpf2(1.0, 2e-8, fs);
    hpf2.setResistor(R);
    EXPECT_NEAR(fitSine(run(hpf2, sine(1.0, fc, fs, count)), fc, fs, count / 2, count).amplitude,
                std::sqrt(0.5), 1e-4);
}

namespace {

// Direct form I of the same difference equation, for comparison.
std::vector<double> directForm(const std::vector<double>& a, const std::vector<double>& b,
                               const std::vector<double>& x)
{
    const size_t order = a.size() - 1;
    std::vector<double> y(x.size());
    for (size_t n = 0; n < x.size(); ++n) {
        double acc = 0.0;
        for (size_t i = 0; i <= order && i <= n; ++i)
            acc += b[i] * x[n - i] - (i > 0 ? a[i] * y[n - i] : 0.0);
        y[n] = acc / a[0];
    }
    return y;
}

std::vector<double> noise(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<double> v(count);
    for (auto& s : v)
        s = d(rng);
    return v;
}

} // namespace

TEST(TDFII, RealisesTheDifferenceEquationForOrdersOneToFour)
{
    const std::vector<std::vector<double>> as = {
        {1.0, -0.5}, {1.0, -1.2, 0.5}, {1.0, -0.9, 0.3, -0.05}, {1.0, -2.0, 1.6, -0.6, 0.09}};
    const std::vector<std::vector<double>> bs = {
        {0.3, 0.7}, {0.2, -0.1, 0.4}, {0.5, 0.25, -0.125, 0.0625}, {0.1, 0.2, 0.3, 0.2, 0.1}};
    const auto x = noise(400, 7);
    for (size_t k = 0; k < as.size(); ++k) {
        const int order = static_cast<int>(as[k].size()) - 1;
        TDFII f(order);
        f.setCoefficients(as[k].data(), bs[k].data());
        const auto expected = directForm(as[k], bs[k], x);
        for (size_t n = 0; n < x.size(); ++n) {
            ASSERT_NEAR(f.process(x[n]), expected[n], 1e-12) << "order " << order << ", n " << n;
            // Only z[0..N−1] carry state; z[N] stays 0.
            ASSERT_EQ(f.state()[order], 0.0);
        }
    }
}

TEST(TDFII, OrderOneUsesOnlyTheFirstStateValue)
{
    TDFII f(1);
    const double a[] = {1.0, -0.25}, b[] = {0.5, 2.0};
    f.setCoefficients(a, b);
    EXPECT_EQ(f.process(1.0), 0.5);          // y = b0·x + 0
    EXPECT_EQ(f.state()[0], 2.0 + 0.25 * 0.5); // z0 = b1·x − a1·y
    EXPECT_EQ(f.state()[1], 0.0);
    EXPECT_EQ(f.process(0.0), 2.125);
}

TEST(TDFII, LeadingDenominatorIsNormalisedToOne)
{
    TDFII halved(2), plain(2);
    const double a2[] = {2.0, -1.0, 0.5}, b2[] = {1.0, 0.5, 0.25};
    const double a1[] = {1.0, -0.5, 0.25}, b1[] = {0.5, 0.25, 0.125};
    halved.setCoefficients(a2, b2);
    plain.setCoefficients(a1, b1);
    for (int i = 0; i <= 2; ++i) {
        EXPECT_EQ(halved.denominator()[i], a1[i]);
        EXPECT_EQ(halved.numerator()[i], b1[i]);
    }
    for (double x : noise(100, 3))
        ASSERT_EQ(halved.process(x), plain.process(x));
}

TEST(TDFII, AllOnesWithZeroStateIsExactlyTheIdentity)
{
    // (1 + z⁻¹ + … + z⁻ᴺ) / (1 + z⁻¹ + … + z⁻ᴺ) = 1, and with zero state the
    // arithmetic is exact too: every z stays 0.
    const auto x = noise(300, 11);
    for (int order = 1; order <= 6; ++order) {
        TDFII fresh(order);
        for (double s : x)
            ASSERT_EQ(fresh.process(s), s) << "order " << order;

        // The same after reset, from a filter with other coefficients and state.
        TDFII used(order);
        std::vector<double> a(order + 1, 0.1), b(order + 1, 0.3);
        a[0] = 1.0;
        used.setCoefficients(a.data(), b.data());
        for (double s : x)
            used.process(s);
        used.reset();
        for (int i = 0; i <= order; ++i) {
            EXPECT_EQ(used.denominator()[i], 1.0);
            EXPECT_EQ(used.numerator()[i], 1.0);
            EXPECT_EQ(used.state()[i], 0.0);
        }
        for (double s : x)
            ASSERT_EQ(used.process(s), s) << "order " << order;
    }
}

TEST(TDFII, ClearHistoryKeepsCoefficientsClearCoeffsKeepsState)
{
    TDFII f(2), reference(2);
    const double a[] = {1.0, -0.5, 0.1}, b[] = {0.2, 0.3, 0.4};
    f.setCoefficients(a, b);
    reference.setCoefficients(a, b);
    for (double s : noise(50, 5))
        f.process(s);
    f.clearHistory();
    for (double s : noise(50, 6))
        ASSERT_EQ(f.process(s), reference.process(s));

    f.clearCoeffs();
    EXPECT_NE(f.state()[0], 0.0);
    for (int i = 0; i <= 2; ++i)
        EXPECT_EQ(f.denominator()[i], 1.0);
}
