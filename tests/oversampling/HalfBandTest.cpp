#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "oversampling/BandLimit.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// Impulse response of the filter at the higher rate, H(z) = ½·(A(z²) +
// z⁻¹·B(z²)), run until it has decayed far below anything measured here.
std::vector<double> impulseResponse(int order, bool steep)
{
    CHalfBandFilter filter(order, steep);
    std::vector<double> h;
    double recent = 1.0;
    for (int n = 0; n < 32768 && (n < 64 || recent > 1e-22); ++n) {
        h.push_back(filter.process(n == 0 ? 1.0 : 0.0));
        recent = std::fmax(0.5 * recent, std::fabs(h.back()));
    }
    return h;
}

// |H| at nu cycles per high-rate sample: the DFT of the impulse response.
double magnitude(const std::vector<double>& h, double nu)
{
    const std::complex<double> rotation = std::polar(1.0, -2.0 * pi * nu);
    std::complex<double> phasor = 1.0, sum = 0.0;
    for (size_t n = 0; n < h.size(); ++n) {
        if (n % 256 == 0) // keep the recurrence exact enough over long responses
            phasor = std::polar(1.0, -2.0 * pi * std::fmod(nu * static_cast<double>(n), 1.0));
        sum += h[n] * phasor;
        phasor *= rotation;
    }
    return std::abs(sum);
}

double decibelsDown(double m)
{
    return -20.0 * std::log10(m);
}

// Minimum attenuation over 0.3..0.5 of the higher rate: a dense grid, then
// the worst ripple peak refined.
double minimumStopbandAttenuation(const std::vector<double>& h)
{
    const int points = 1000;
    double worst = 0.0, at = 0.3;
    for (int i = 0; i <= points; ++i) {
        const double nu = 0.3 + 0.2 * i / points;
        const double m = magnitude(h, nu);
        if (m > worst) {
            worst = m;
            at = nu;
        }
    }
    double lo = std::fmax(0.3, at - 0.2 / points), hi = std::fmin(0.5, at + 0.2 / points);
    for (int i = 0; i < 40; ++i) {
        const double m1 = lo + (hi - lo) / 3.0, m2 = hi - (hi - lo) / 3.0;
        if (magnitude(h, m1) > magnitude(h, m2))
            hi = m2;
        else
            lo = m1;
    }
    return decibelsDown(std::fmax(worst, magnitude(h, 0.5 * (lo + hi))));
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

struct Design {
    int order;
    bool steep;
    double attenuation; // dB, as published (whole dB)
};

const Design designs[] = {{12, true, 104},  {10, true, 87},   {8, true, 69},   {6, true, 51},
                          {4, true, 54},    {12, false, 160}, {10, false, 103}, {8, false, 107},
                          {6, false, 80},   {4, false, 69},   {2, false, 36}};

} // namespace

// The published figures are whole dB: the order-12 sets measure 159.56 dB
// (not steep) and 103.98 dB (steep) from these exact coefficients, also in
// 40-digit arithmetic, so "at least 160" is not a property of the design.
TEST(HalfBand, StopbandOfEveryDesignRoundsToThePublishedFigure)
{
    for (const Design& d : designs) {
        const double measured = minimumStopbandAttenuation(impulseResponse(d.order, d.steep));
        EXPECT_NEAR(measured, d.attenuation, 0.5)
            << "order " << d.order << (d.steep ? " steep" : " not steep");
    }
}

TEST(HalfBand, TransitionBandAndPassband)
{
    const auto gentle = impulseResponse(12, false);
    const auto steep = impulseResponse(12, true);
    EXPECT_NEAR(decibelsDown(magnitude(gentle, 0.26)), 43.0, 0.5);
    EXPECT_NEAR(decibelsDown(magnitude(gentle, 0.28)), 171.0, 0.5);
    EXPECT_GT(decibelsDown(magnitude(steep, 0.26)), 110.0);
    for (const Design& d : designs) {
        const auto h = impulseResponse(d.order, d.steep);
        // Power complementary halves: exactly 3 dB down at a quarter of the rate.
        EXPECT_NEAR(magnitude(h, 0.25), std::sqrt(0.5), 1e-9) << d.order << " " << d.steep;
        // Flat below: the passband ripple is the square of the stopband's.
        for (double nu : {0.0, 0.05, 0.1, 0.15, 0.2})
            EXPECT_NEAR(magnitude(h, nu), 1.0, 1e-3) << d.order << " " << d.steep << " " << nu;
    }
    for (double nu : {0.0, 0.1, 0.2})
        EXPECT_NEAR(magnitude(gentle, nu), 1.0, 1e-12) << nu;
}

TEST(HalfBand, PolyphaseFormsAreTheFullRateFilter)
{
    // Decimation = H(z) then every second sample; interpolation = zero
    // stuffing then 2·H(z). So the stopband above holds for both paths.
    const auto x = noise(2000, 3);
    for (const Design& d : designs) {
        CHalfBandFilter full(d.order, d.steep), decimator(d.order, d.steep);
        for (size_t i = 0; i + 1 < x.size(); i += 2) {
            const double even = full.process(x[i]);
            full.process(x[i + 1]);
            double out;
            decimator.downsample(x[i], x[i + 1], out);
            ASSERT_NEAR(out, even, 1e-14) << d.order << " " << d.steep << " " << i;
        }
        CHalfBandFilter fullUp(d.order, d.steep), interpolator(d.order, d.steep);
        for (size_t i = 0; i < x.size(); ++i) {
            double first, second;
            interpolator.upsample(x[i], first, second);
            ASSERT_NEAR(first, fullUp.processUpsample(x[i]), 1e-14) << d.order << " " << i;
            ASSERT_NEAR(second, fullUp.processUpsample(0.0), 1e-14) << d.order << " " << i;
        }
    }
}

TEST(HalfBand, UnityAtDCAndZeroAtNyquist)
{
    for (const Design& d : designs) {
        CHalfBandFilter up(d.order, d.steep), down(d.order, d.steep), nyquist(d.order, d.steep);
        double first = 0, second = 0, dc = 0, alternating = 1;
        for (int n = 0; n < 6000; ++n) {
            up.upsample(1.0, first, second);
            down.downsample(1.0, 1.0, dc);
            nyquist.downsample(1.0, -1.0, alternating);
        }
        EXPECT_NEAR(first, 1.0, 1e-12) << d.order << " " << d.steep;
        EXPECT_NEAR(second, 1.0, 1e-12) << d.order << " " << d.steep;
        EXPECT_NEAR(dc, 1.0, 1e-12) << d.order << " " << d.steep;
        EXPECT_NEAR(alternating, 0.0, 1e-12) << d.order << " " << d.steep;
        EXPECT_NEAR(down.processDownsampleOpt(1.0, 1.0), 1.0, 1e-12);
        EXPECT_NEAR(up.processUpsampleOpt(1.0), 1.0, 1e-12);

        // After reset the state is gone: silence gives exactly zero.
        down.reset();
        double out = 1.0;
        down.downsample(0.0, 0.0, out);
        EXPECT_EQ(out, 0.0);
        up.reset();
        up.upsample(0.0, first, second);
        EXPECT_EQ(first, 0.0);
        EXPECT_EQ(second, 0.0);
    }
}

TEST(HalfBand, UnlistedOrdersBuildTheOrderTwoFilter)
{
    const auto x = noise(500, 9);
    CHalfBandFilter orderTwo(2, false);
    std::vector<double> expected;
    for (size_t i = 0; i + 1 < x.size(); i += 2) {
        double out, a, b;
        orderTwo.downsample(x[i], x[i + 1], out);
        orderTwo.upsample(x[i], a, b);
        expected.insert(expected.end(), {out, a, b});
    }
    for (int order : {3, 5, 14, 0, -2, 1, 2}) {
        for (bool steep : {false, true}) {
            CHalfBandFilter f(order, steep);
            EXPECT_EQ(f.branchASize(), 1) << order;
            EXPECT_EQ(f.branchBSize(), 1) << order;
            std::vector<double> got;
            for (size_t i = 0; i + 1 < x.size(); i += 2) {
                double out, a, b;
                f.downsample(x[i], x[i + 1], out);
                f.upsample(x[i], a, b);
                got.insert(got.end(), {out, a, b});
            }
            EXPECT_EQ(got, expected) << "order " << order << ", steep " << steep;
        }
    }
    for (const Design& d : designs) {
        CHalfBandFilter f(d.order, d.steep);
        EXPECT_EQ(f.branchASize() + f.branchBSize(), d.order);
        EXPECT_EQ(f.branchASize(), (d.order + 1) / 2);
    }
}

TEST(HalfBand, BlockFunctionsReadAndWriteTheRightCounts)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    CHalfBandFilter blockUp(12, false), sampleUp(12, false);
    double in[6] = {0.5, -0.25, 1.0, 0.75, nan, nan};
    double out[10];
    for (double& v : out)
        v = 42.0;
    blockUp.upsampleBlock(in, out, 8);
    for (int i = 0; i < 4; ++i) {
        double a, b;
        sampleUp.upsample(in[i], a, b);
        EXPECT_EQ(out[2 * i], a) << i;
        EXPECT_EQ(out[2 * i + 1], b) << i;
    }
    EXPECT_EQ(out[8], 42.0);
    EXPECT_EQ(out[9], 42.0);

    CHalfBandFilter blockDown(12, false), sampleDown(12, false);
    double high[10] = {0.1, 0.2, 0.3, -0.4, 0.5, 0.6, -0.7, 0.8, nan, nan};
    double low[6];
    for (double& v : low)
        v = 42.0;
    blockDown.downsampleBlock(high, low, 4);
    for (int i = 0; i < 4; ++i) {
        double y;
        sampleDown.downsample(high[2 * i], high[2 * i + 1], y);
        EXPECT_EQ(low[i], y) << i;
    }
    EXPECT_EQ(low[4], 42.0);
    // Neither read past its inputs: the NaNs never reached the state.
    double a, b, y;
    blockUp.upsample(0.0, a, b);
    blockDown.downsample(0.0, 0.0, y);
    EXPECT_TRUE(std::isfinite(a) && std::isfinite(b) && std::isfinite(y));
}

namespace {

// Loud noise with the odd full-scale step and tiny values, so every section
// works through large and small magnitudes alike.
std::vector<double> loudNoise(int count, unsigned seed)
{
    std::vector<double> v = noise(count, seed);
    for (size_t i = 0; i < v.size(); ++i) {
        v[i] *= 8.0;
        if (i % 97 == 5)
            v[i] = (i % 2 ? -1.0 : 1.0) * 1e6;
        if (i % 89 == 7)
            v[i] *= 1e-30;
    }
    return v;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

} // namespace

// The block forms keep the sections' memories in registers while they run:
// they must give exactly what upsample and downsample give sample by sample,
// and hand the memories back so that either form can continue the other.
TEST(HalfBand, BlocksEqualSampleBySampleBitForBitAcrossIrregularBlocks)
{
    const int blockSizes[] = {1, 7, 2, 32, 3, 64, 1, 13, 5, 128};
    const auto x = loudNoise(2 * 1024, 21);
    const int lowRateCount = static_cast<int>(x.size()) / 2;
    std::vector<Design> filters(std::begin(designs), std::end(designs));
    filters.push_back({14, true, 0}); // no designed set: the order-2 filter
    for (const Design& d : filters) {
        CHalfBandFilter sampleUp(d.order, d.steep), blockUp(d.order, d.steep);
        CHalfBandFilter sampleDown(d.order, d.steep), blockDown(d.order, d.steep);
        std::vector<double> expectedUp(x.size()), gotUp(x.size(), 42.0);
        std::vector<double> expectedDown(lowRateCount), gotDown(lowRateCount, 42.0);
        for (int i = 0; i < lowRateCount; ++i) {
            sampleUp.upsample(x[i], expectedUp[2 * i], expectedUp[2 * i + 1]);
            sampleDown.downsample(x[2 * i], x[2 * i + 1], expectedDown[i]);
        }
        // Block and per-sample calls take turns over the same filter.
        int start = 0;
        for (int b = 0; start < lowRateCount; ++b) {
            const int n = std::min(blockSizes[b % 10], lowRateCount - start);
            if (b % 3 == 2) {
                for (int i = start; i < start + n; ++i) {
                    blockUp.upsample(x[i], gotUp[2 * i], gotUp[2 * i + 1]);
                    blockDown.downsample(x[2 * i], x[2 * i + 1], gotDown[i]);
                }
            } else {
                blockUp.upsampleSamples(&x[start], n, &gotUp[2 * start]);
                blockDown.downsamplePairs(&x[2 * start], n, &gotDown[start]);
            }
            start += n;
        }
        const char* name = d.steep ? " steep" : " not steep";
        EXPECT_TRUE(sameBits(gotUp, expectedUp)) << "upsample, order " << d.order << name;
        EXPECT_TRUE(sameBits(gotDown, expectedDown)) << "downsample, order " << d.order << name;

        // Decimating in place reads each pair before writing its output.
        CHalfBandFilter inPlace(d.order, d.steep);
        std::vector<double> buffer = x;
        inPlace.downsamplePairs(buffer.data(), lowRateCount, buffer.data());
        buffer.resize(lowRateCount);
        EXPECT_TRUE(sameBits(buffer, expectedDown)) << "in place, order " << d.order << name;
    }
}

// A stereo pair's two filters run together must give each channel exactly
// what its own block calls give, and hand each filter its own memories back
// (per-sample calls continue from them), whether the two filters share a
// design, only a section count, or neither.
TEST(HalfBand, TwoChannelsTogetherEqualEachChannelsOwnBlocksBitForBit)
{
    const int blockSizes[] = {1, 7, 0, 2, 32, 3, 64, 1, 13, 5, 128};
    const int blockSizeCount = static_cast<int>(std::size(blockSizes));
    const auto left = loudNoise(2 * 1024, 31);
    const auto right = loudNoise(2 * 1024, 32);
    const int lowRateCount = static_cast<int>(left.size()) / 2;
    const int perSampleTail = 37; // low-rate samples run one by one at the end
    struct Pair {
        Design left, right;
    };
    std::vector<Pair> pairs;
    for (const Design& d : designs)
        pairs.push_back({d, d});
    pairs.push_back({{14, true, 0}, {14, true, 0}}); // no designed set: the order-2 filter
    pairs.push_back({{6, true, 0}, {6, false, 0}});  // same sections, other coefficients
    pairs.push_back({{12, false, 0}, {8, true, 0}}); // different sections
    for (const Pair& p : pairs) {
        CHalfBandFilter upLeft(p.left.order, p.left.steep), upRight(p.right.order, p.right.steep);
        CHalfBandFilter downLeft(p.left.order, p.left.steep);
        CHalfBandFilter downRight(p.right.order, p.right.steep);
        CHalfBandFilter ownUpLeft(p.left.order, p.left.steep);
        CHalfBandFilter ownUpRight(p.right.order, p.right.steep);
        CHalfBandFilter ownDownLeft(p.left.order, p.left.steep);
        CHalfBandFilter ownDownRight(p.right.order, p.right.steep);
        std::vector<double> upL(left.size(), 42.0), upR(left.size(), 42.0);
        std::vector<double> ownUpL(left.size()), ownUpR(left.size());
        std::vector<double> downL(lowRateCount, 42.0), downR(lowRateCount, 42.0);
        std::vector<double> ownDownL(lowRateCount), ownDownR(lowRateCount);
        int start = 0;
        for (int b = 0; start < lowRateCount - perSampleTail; ++b) {
            const int n =
                std::min(blockSizes[b % blockSizeCount], lowRateCount - perSampleTail - start);
            CHalfBandFilter::upsampleSamplesTogether(upLeft, upRight, &left[start], &right[start],
                                                     n, &upL[2 * start], &upR[2 * start]);
            CHalfBandFilter::downsamplePairsTogether(downLeft, downRight, &left[2 * start],
                                                     &right[2 * start], n, &downL[start],
                                                     &downR[start]);
            ownUpLeft.upsampleSamples(&left[start], n, &ownUpL[2 * start]);
            ownUpRight.upsampleSamples(&right[start], n, &ownUpR[2 * start]);
            ownDownLeft.downsamplePairs(&left[2 * start], n, &ownDownL[start]);
            ownDownRight.downsamplePairs(&right[2 * start], n, &ownDownR[start]);
            start += n;
        }
        for (int i = start; i < lowRateCount; ++i) {
            upLeft.upsample(left[i], upL[2 * i], upL[2 * i + 1]);
            upRight.upsample(right[i], upR[2 * i], upR[2 * i + 1]);
            downLeft.downsample(left[2 * i], left[2 * i + 1], downL[i]);
            downRight.downsample(right[2 * i], right[2 * i + 1], downR[i]);
            ownUpLeft.upsample(left[i], ownUpL[2 * i], ownUpL[2 * i + 1]);
            ownUpRight.upsample(right[i], ownUpR[2 * i], ownUpR[2 * i + 1]);
            ownDownLeft.downsample(left[2 * i], left[2 * i + 1], ownDownL[i]);
            ownDownRight.downsample(right[2 * i], right[2 * i + 1], ownDownR[i]);
        }
        std::ostringstream name;
        name << "orders " << p.left.order << (p.left.steep ? " steep" : " not steep") << " and "
             << p.right.order << (p.right.steep ? " steep" : " not steep");
        EXPECT_TRUE(sameBits(upL, ownUpL)) << "upsample left, " << name.str();
        EXPECT_TRUE(sameBits(upR, ownUpR)) << "upsample right, " << name.str();
        EXPECT_TRUE(sameBits(downL, ownDownL)) << "downsample left, " << name.str();
        EXPECT_TRUE(sameBits(downR, ownDownR)) << "downsample right, " << name.str();

        // Decimating each channel in place, as the single form allows.
        CHalfBandFilter inPlaceLeft(p.left.order, p.left.steep);
        CHalfBandFilter inPlaceRight(p.right.order, p.right.steep);
        std::vector<double> bufferL = left, bufferR = right;
        CHalfBandFilter::downsamplePairsTogether(inPlaceLeft, inPlaceRight, bufferL.data(),
                                                 bufferR.data(), lowRateCount, bufferL.data(),
                                                 bufferR.data());
        bufferL.resize(lowRateCount);
        bufferR.resize(lowRateCount);
        EXPECT_TRUE(sameBits(bufferL, ownDownL)) << "in place left, " << name.str();
        EXPECT_TRUE(sameBits(bufferR, ownDownR)) << "in place right, " << name.str();
    }
}

TEST(HalfBand, BlockFormsLeaveTheirStateWhereIsFiniteAndResetSeeIt)
{
    for (const Design& d : designs) {
        CHalfBandFilter up(d.order, d.steep), down(d.order, d.steep);
        const double in[4] = {0.25, std::numeric_limits<double>::infinity(), 0.5, -0.5};
        double out[6]; // four interpolated, then two decimated
        up.upsampleSamples(in, 2, out);
        down.downsamplePairs(in, 2, out);
        EXPECT_FALSE(up.isFinite()) << d.order << " " << d.steep;
        EXPECT_FALSE(down.isFinite()) << d.order << " " << d.steep;
        up.reset();
        down.reset();
        EXPECT_TRUE(up.isFinite() && down.isFinite()) << d.order << " " << d.steep;
        const double silence[4] = {};
        up.upsampleSamples(silence, 2, out);
        down.downsamplePairs(silence, 2, out + 4);
        for (double v : out)
            EXPECT_EQ(v, 0.0) << d.order << " " << d.steep;
    }
}

TEST(HalfBandDeathTest, BlockSizeChecksReportFunctionSourceLineAndCondition)
{
#ifndef NDEBUG
    double buffer[16] = {};
    EXPECT_DEATH(CHalfBandFilter(12, false).upsampleBlock(buffer, buffer + 8, 0),
                 "Assertion failed: \\(upsampledSize >= 2\\), function upsampleBlock, file "
                 "src/oversampling/BandLimit, line 389\\.");
    EXPECT_DEATH(CHalfBandFilter(12, false).upsampleBlock(buffer, buffer + 8, 7),
                 "Assertion failed: \\(upsampledSize%2 == 0\\), function upsampleBlock, file "
                 "src/oversampling/BandLimit, line 390\\.");
    EXPECT_DEATH(CHalfBandFilter(12, false).downsampleBlock(buffer, buffer + 8, 1),
                 "Assertion failed: \\(size>=2\\), function downsampleBlock, file "
                 "src/oversampling/BandLimit, line 413\\.");
    EXPECT_DEATH(CHalfBandFilter(12, false).downsampleBlock(buffer, buffer + 8, 3),
                 "Assertion failed: \\(size%2==0\\), function downsampleBlock, file "
                 "src/oversampling/BandLimit, line 414\\.");
#else
    GTEST_SKIP() << "assertions are compiled out of release builds";
#endif
}
