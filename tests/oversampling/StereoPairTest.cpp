// The stereo pair solves both channels' Newton iterations in lock step, and
// the block operations run each stage over a whole chunk with the model's
// stages a sample apart; each channel must come out exactly as if it had been
// processed alone, sample by sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "TestSignals.h"
#include "circuit/GRV.h"
#include "oversampling/HBOversamplerTemplate.h"

namespace {

constexpr double hostRate = 44100.0;

struct Channel {
    GRV model{hostRate};
    HBOversampler<GRV> oversampler{&model, 8, 12, false, hostRate};

    Channel(unsigned factor, float drive, float asym, float inBuffer)
    {
        model.setParameterDrive(drive);
        model.setParameterToneLevel(0.3f, 0.8f);
        model.setParameterClippingType(asym);
        model.setParameterInputBuffer(inBuffer);
        model.setSampleRate(hostRate * oversampler.factor);
        oversampler.setOversamplingFactor(factor);
    }
};

struct PairCase {
    unsigned leftFactor, rightFactor;
    float leftAsym, rightAsym;
    float leftInBuffer, rightInBuffer;
};

class StereoPair : public ::testing::TestWithParam<PairCase> {};

TEST_P(StereoPair, EachChannelEqualsItsOwnProcessingBitForBit)
{
    const PairCase c = GetParam();
    const std::vector<double> left = testsignals::guitar(hostRate, 0.1, 3.0);
    const std::vector<double> right = testsignals::guitar(hostRate, 0.1, -2.0);

    Channel aloneL(c.leftFactor, 0.8f, c.leftAsym, c.leftInBuffer);
    Channel aloneR(c.rightFactor, 0.3f, c.rightAsym, c.rightInBuffer);
    Channel pairL(c.leftFactor, 0.8f, c.leftAsym, c.leftInBuffer);
    Channel pairR(c.rightFactor, 0.3f, c.rightAsym, c.rightInBuffer);

    for (size_t n = 0; n < left.size(); ++n) {
        const double expectL =
            aloneL.oversampler.processOversampled(left[n], aloneL.oversampler.factor, 0);
        const double expectR =
            aloneR.oversampler.processOversampled(right[n], aloneR.oversampler.factor, 0);
        double yL, yR;
        HBOversampler<GRV>::processOversampledPair(pairL.oversampler, pairR.oversampler,
                                                   left[n], right[n], yL, yR);
        ASSERT_EQ(expectL, yL) << "left, sample " << n;
        ASSERT_EQ(expectR, yR) << "right, sample " << n;
    }
}

// Irregular block sizes, in place, as hosts hand them over.
TEST_P(StereoPair, BlocksEqualSampleBySampleProcessingBitForBit)
{
    const PairCase c = GetParam();
    const std::vector<double> left = testsignals::guitar(hostRate, 0.1, 3.0);
    const std::vector<double> right = testsignals::guitar(hostRate, 0.1, -2.0);

    Channel aloneL(c.leftFactor, 0.8f, c.leftAsym, c.leftInBuffer);
    Channel aloneR(c.rightFactor, 0.3f, c.rightAsym, c.rightInBuffer);
    Channel pairL(c.leftFactor, 0.8f, c.leftAsym, c.leftInBuffer);
    Channel pairR(c.rightFactor, 0.3f, c.rightAsym, c.rightInBuffer);
    Channel monoL(c.leftFactor, 0.8f, c.leftAsym, c.leftInBuffer);

    std::vector<double> blockL = left, blockR = right, monoBlock = left;
    const int sizes[] = {1, 7, 64, 3, 100, 33, 512, 2};
    size_t start = 0;
    for (int b = 0; start < left.size(); ++b) {
        const int n = static_cast<int>(std::min<size_t>(sizes[b % 8], left.size() - start));
        HBOversampler<GRV>::processOversampledPairBlock(pairL.oversampler, pairR.oversampler,
                                                        &blockL[start], &blockR[start],
                                                        &blockL[start], &blockR[start], n);
        monoL.oversampler.processOversampledBlock(&monoBlock[start], &monoBlock[start], n);
        start += n;
    }
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(aloneL.oversampler.processOversampled(left[i], c.leftFactor, 0), blockL[i])
            << "left, sample " << i;
        ASSERT_EQ(aloneR.oversampler.processOversampled(right[i], c.rightFactor, 0), blockR[i])
            << "right, sample " << i;
        ASSERT_EQ(blockL[i], monoBlock[i]) << "mono block, sample " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, StereoPair,
    ::testing::Values(PairCase{2, 2, 0.f, 0.f, 1.f, 1.f}, PairCase{4, 4, 1.f, 1.f, 1.f, 1.f},
                      PairCase{8, 8, 0.f, 0.f, 0.f, 0.f},
                      // Channels that differ run apart, and still each as alone.
                      PairCase{8, 8, 0.f, 1.f, 1.f, 1.f}, PairCase{2, 8, 0.f, 0.f, 1.f, 1.f},
                      PairCase{4, 4, 1.f, 1.f, 1.f, 0.f}));

} // namespace
