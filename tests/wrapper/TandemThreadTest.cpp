// A host's threads at once: render notifications added and removed on the
// main thread while the audio thread renders.

#include "TandemTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

struct Meter {
    std::atomic<bool> removed{true};
    std::atomic<int> calls{0};
    std::atomic<int> callsAfterRemoval{0};

    static OSStatus notify(void* reference, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                           AudioBufferList*)
    {
        Meter* meter = static_cast<Meter*>(reference);
        meter->calls.fetch_add(1);
        if (meter->removed.load())
            meter->callsAfterRemoval.fetch_add(1);
        return noErr;
    }
};

} // namespace

TEST(TandemThreads, ARemovedRenderNotificationIsNeverCalledAgainWhilePlaying)
{
    resetFakeBus();
    StderrCapture quiet;
    std::unique_ptr<OpenedUnit> opened(openTestComponent("Stereo", "FBst"));
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;
    RampSource source;
    ASSERT_EQ(feedFrom(unit, source), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);

    std::atomic<bool> playing{true};
    std::atomic<int> slices{0};
    std::thread audio([&] {
        BufferList out(2, 64);
        for (double time = 0; playing.load(); time += 64) {
            AudioTimeStamp stamp = sampleTime(time);
            AudioUnitRender(unit, nullptr, &stamp, 0, 64, out.get());
            slices.fetch_add(1);
        }
    });

    Meter meters[6];
    for (int round = 0; round < 200; ++round) {
        for (Meter& meter : meters) {
            meter.removed = false;
            ASSERT_EQ(AudioUnitAddRenderNotify(unit, Meter::notify, &meter), noErr);
        }
        const int seen = slices.load();
        while (slices.load() < seen + 2)
            std::this_thread::yield();
        for (Meter& meter : meters) {
            ASSERT_EQ(AudioUnitRemoveRenderNotify(unit, Meter::notify, &meter), noErr);
            meter.removed = true;
        }
    }
    playing = false;
    audio.join();

    for (const Meter& meter : meters) {
        EXPECT_GT(meter.calls.load(), 0);
        EXPECT_EQ(meter.callsAfterRemoval.load(), 0);
    }
}
