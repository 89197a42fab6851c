// gravel live's threads meeting in the effect, without JACK or a display: an
// audio thread as JACK's (MIDI control changes, then the block) and the main
// loop's thread (idle, the editor reading and moving parameters). Also run
// under ThreadSanitizer.

#include "EffectLoader.h"
#include "ParameterMatch.h"
#include "hosting/TandemLog.h"
#include "live/LiveProcessor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

TEST(GravelLiveThreads, MidiOnTheAudioThreadAndTheMainLoopShareTheEffect)
{
    setTandemLogSink([](const char*, void*) {}, nullptr);
    LoadedEffect effect(GRAVEL_BUNDLE_DIR, 48000.0f, 256);
    VSTPlugIn& plugIn = effect.plugIn();
    VSTParameterAccess access(plugIn);
    std::string error;
    const int drive = findParameter(parameterNames(access), "drive", error);
    const int tone = findParameter(parameterNames(access), "tone", error);
    ASSERT_GE(drive, 0);
    ASSERT_GE(tone, 0);
    MidiControlMap controls;
    controls.bind(0, 11, drive, false);
    LiveProcessor processor(plugIn, controls);
    processor.configure(48000.0, 256);

    std::atomic<bool> finite{true};
    std::thread audio([&] {
        std::vector<float> in(256), left(256), right(256);
        const float* ins[2] = {in.data(), in.data()};
        float* outs[2] = {left.data(), right.data()};
        for (int block = 0; block < 400; ++block) {
            for (size_t i = 0; i < in.size(); ++i)
                in[i] = float(0.5 * std::sin(0.05 * double(block * 256 + int(i))));
            const unsigned char pedal[3] = {0xB0, 11, static_cast<unsigned char>(block % 128)};
            processor.controlChange(pedal, 3);
            processor.process(ins, outs, 256);
            finite = finite && std::isfinite(left[0]) && std::isfinite(right[255]);
        }
    });
    char text[64];
    for (int i = 0; i < 400; ++i) {
        plugIn.idle();
        plugIn.setParameter(tone, float(i % 10) / 10.0f);
        EXPECT_GE(plugIn.getParameter(drive), 0.0f);
        plugIn.getParameterDisplay(drive, text);
    }
    audio.join();
    processor.stop();
    EXPECT_TRUE(finite);
    EXPECT_FLOAT_EQ(plugIn.getParameter(drive), float(399 % 128) / 127.0f) << "the last pedal position";
}
