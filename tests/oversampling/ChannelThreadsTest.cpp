#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "circuit/GRV.h"
#include "oversampling/HBOversamplerTemplate.h"
#include "TestSignals.h"

using namespace testsignals;

namespace {

// One channel as the effect builds it: a model at 44100 Hz wrapped in an
// oversampler with maximum 8, order 12, not steep.
struct Channel {
    GRV model{44100.0};
    HBOversampler<GRV> oversampler{&model, 8, 12, false, 44100.0};

    Channel(unsigned factor, float drive, float asym)
    {
        model.setSampleRate(8 * 44100.0);
        oversampler.setOversamplingFactor(factor);
        model.setParameterDrive(drive);
        model.setParameterClippingType(asym);
        model.setParameterToneLevel(0.6f, 0.8f);
    }

    std::vector<double> render(const std::vector<double>& in)
    {
        std::vector<double> out(in.size());
        for (size_t i = 0; i < in.size(); ++i)
            out[i] = oversampler.processOversampled(in[i], oversampler.factor, 0);
        return out;
    }
};

} // namespace

// Two channels on two threads must sound exactly as when run one after the
// other: no state may be shared between instances.
TEST(ChannelThreads, ConcurrentChannelsMatchSequentialOnes)
{
    const auto left = guitar(44100.0, 0.05);
    const auto right = guitar(44100.0, 0.05, 1.7);
    for (unsigned factor : {2u, 8u}) {
        Channel seqLeft(factor, 0.3f, 0.0f), seqRight(factor, 0.9f, 1.0f);
        const auto expectedLeft = seqLeft.render(left);
        const auto expectedRight = seqRight.render(right);

        Channel parLeft(factor, 0.3f, 0.0f), parRight(factor, 0.9f, 1.0f);
        std::vector<double> gotLeft, gotRight;
        std::thread a([&] { gotLeft = parLeft.render(left); });
        std::thread b([&] { gotRight = parRight.render(right); });
        a.join();
        b.join();
        EXPECT_EQ(gotLeft, expectedLeft) << factor;
        EXPECT_EQ(gotRight, expectedRight) << factor;
    }
}
