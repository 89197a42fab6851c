// The host's UI thread hammers every parameter (oversampling, channel mode,
// bypass and the sample rate included) while its audio thread processes
// blocks. Run under ThreadSanitizer this proves the hand-over is race-free;
// in every build it proves the output stays finite and the last change wins.

#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/VST_GRV.h"

TEST(ParameterThreads, WriterAgainstAudioThread)
{
    VST_GRV effect(nullptr);
    AEffect* e = effect.getAEffect();
    constexpr int kBlocks = 150;
    constexpr int kFrames = 64;
    std::atomic<bool> audioDone{false};
    std::atomic<long> writes{0};

    std::thread writer([&] {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> value(0.0f, 1.0f);
        char text[64];
        while (!audioDone.load()) {
            for (VstInt32 index = 0; index < 11; ++index) {
                // Keep bypass mostly off so that the models really run.
                const float v = index == kBypass ? (value(rng) < 0.9f ? 0.0f : 1.0f) : value(rng);
                e->setParameter(e, index, v);
                e->getParameter(e, index);
                e->dispatcher(e, effGetParamDisplay, index, 0, text, 0.0f);
            }
            if (writes.load() % 8 == 0) // a program change re-sends all eleven
                e->dispatcher(e, effSetProgram, 0, 0, nullptr, 0.0f);
            if (writes.fetch_add(1) % 16 == 0)
                e->dispatcher(e, effSetSampleRate, 0, 0, nullptr,
                              value(rng) < 0.5f ? 44100.0f : 48000.0f);
        }
    });

    // The machine may be busy: let the writer get going before audio starts.
    while (writes.load() == 0)
        std::this_thread::yield();

    std::vector<float> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
    bool finite = true;
    for (int block = 0; block < kBlocks; ++block) {
        for (int i = 0; i < kFrames; ++i) {
            inL[i] = 0.3f * std::sin(0.05f * (block * kFrames + i));
            inR[i] = -inL[i];
        }
        float* ins[2] = {inL.data(), inR.data()};
        float* outs[2] = {outL.data(), outR.data()};
        e->processReplacing(e, ins, outs, kFrames);
        for (int i = 0; i < kFrames; ++i)
            finite = finite && std::isfinite(outL[i]) && std::isfinite(outR[i]);
    }
    audioDone.store(true);
    writer.join();
    EXPECT_TRUE(finite);
    EXPECT_GT(writes.load(), 0);

    // After the threads meet again, the next block applies the last values.
    e->setParameter(e, kOversampling, 1.0f);
    e->setParameter(e, kBypass, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 96000.0f);
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    e->processReplacing(e, ins, outs, kFrames);
    EXPECT_EQ(effect.getOversamplerL().factor, 8u);
    EXPECT_EQ(effect.getOversamplerR().factor, 8u);
    EXPECT_EQ(effect.getOversamplerR().model->getSampleRate(), 8 * 96000.0);
}
