// A careless host: null property data, renders before initializing, format
// changes while rendering, the older listener calls, and what it keeps of a
// unit after closing it.

#include "TandemTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<OpenedUnit> openStereo() { return std::unique_ptr<OpenedUnit>(openTestComponent("Stereo", "FBst")); }

void countCall(void* reference, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement)
{
    ++*static_cast<int*>(reference);
}

OSStatus setFormat(AudioUnit unit, AudioUnitScope scope, const AudioStreamBasicDescription& format)
{
    return AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, scope, 0, &format, sizeof format);
}

OSStatus noBeat(void*, Float64* beat, Float64* tempo)
{
    *beat = 0;
    *tempo = 120;
    return noErr;
}

} // namespace

TEST(TandemCarelessHost, NullPropertyDataIsNeverRead)
{
    resetFakeBus();
    StderrCapture quiet;
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;

    HostCallbackInfo callbacks = {};
    callbacks.hostUserData = &callbacks;
    callbacks.beatAndTempoProc = noBeat;
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &callbacks,
                                   sizeof callbacks),
              noErr);
    // A host unregistering its callbacks.
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, nullptr, 0),
              noErr);
    HostCallbackInfo read;
    std::memset(&read, 0xff, sizeof read);
    UInt32 size = sizeof read;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &read, &size),
              noErr);
    EXPECT_EQ(read.hostUserData, nullptr);
    EXPECT_EQ(read.beatAndTempoProc, nullptr) << "cleared";

    // Every property a host may write, with null data: refused, never read.
    for (AudioUnitPropertyID id = 0; id < 64; ++id)
        for (AudioUnitScope scope : {kAudioUnitScope_Global, kAudioUnitScope_Input, kAudioUnitScope_Output}) {
            if (id == kAudioUnitProperty_HostCallbacks)
                continue;
            EXPECT_NE(AudioUnitSetProperty(unit, id, scope, 0, nullptr, 0), noErr) << id;
            EXPECT_NE(AudioUnitSetProperty(unit, id, scope, 0, nullptr, 64), noErr) << id;
            // Asking for the size only writes the size.
            UInt32 wanted = 0;
            AudioUnitGetProperty(unit, id, scope, 0, nullptr, &wanted);
        }
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, nullptr, nullptr),
              paramErr);
}

TEST(TandemCarelessHost, RenderAndFormatChangesFollowTheUnitsState)
{
    FakeBusState& fake = resetFakeBus();
    StderrCapture quiet;
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;
    RampSource source;
    ASSERT_EQ(feedFrom(unit, source), noErr);
    BufferList out(2, 512);
    AudioTimeStamp stamp = sampleTime(0);

    EXPECT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 512, out.get()), kAudioUnitErr_Uninitialized);
    EXPECT_EQ(fake.processCalls, 0) << "a suspended effect is not asked to process";
    EXPECT_EQ(source.calls, 0);

    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    EXPECT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 512, out.get()), noErr);
    EXPECT_EQ(fake.processCalls, 1);

    // While initialized: the same format is taken; another rate, channel
    // count or slice size is refused and changes nothing.
    const int rateCalls = fake.sampleRateCalls, blockCalls = fake.blockSizeCalls;
    EXPECT_EQ(setFormat(unit, kAudioUnitScope_Input, floatFormat(44100, 2)), noErr);
    EXPECT_EQ(setFormat(unit, kAudioUnitScope_Input, floatFormat(48000, 2)), kAudioUnitErr_Initialized);
    const Float64 rate = 96000;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, &rate, sizeof rate),
              kAudioUnitErr_Initialized);
    const UInt32 frames = 256;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames,
                                   sizeof frames),
              kAudioUnitErr_Initialized);
    EXPECT_EQ(fake.sampleRateCalls, rateCalls);
    EXPECT_EQ(fake.blockSizeCalls, blockCalls);
    AudioStreamBasicDescription format;
    UInt32 size = sizeof format;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format, &size),
              noErr);
    EXPECT_EQ(format.mSampleRate, 44100.0);

    ASSERT_EQ(AudioUnitUninitialize(unit), noErr);
    EXPECT_EQ(setFormat(unit, kAudioUnitScope_Input, floatFormat(48000, 2)), noErr);
    EXPECT_EQ(fake.lastSampleRate, 48000.0f);
}

TEST(TandemCarelessHost, TheOlderRemoveCallDropsEveryRegistrationOfTheProcedure)
{
    resetFakeBus();
    StderrCapture quiet;
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;
    int first = 0, second = 0, other = 0;
    const AudioUnitPropertyID id = kAudioUnitProperty_MaximumFramesPerSlice;
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, id, countCall, &first), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, id, countCall, &second), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_Latency, countCall, &other), noErr);
    ASSERT_EQ(AudioUnitRemovePropertyListener(unit, id, countCall), noErr);

    const UInt32 frames = 1024;
    ASSERT_EQ(AudioUnitSetProperty(unit, id, kAudioUnitScope_Global, 0, &frames, sizeof frames), noErr);
    EXPECT_EQ(first + second, 0) << "neither registration is called after its host let go";
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, id, countCall, &other), noErr);
    const UInt32 more = 2048;
    ASSERT_EQ(AudioUnitSetProperty(unit, id, kAudioUnitScope_Global, 0, &more, sizeof more), noErr);
    EXPECT_EQ(other, 1) << "registrations on other properties and later ones stay";
}

TEST(TandemCarelessHost, FactoryPresetsOutliveTheUnitUntilTheHostReleasesThem)
{
    StderrCapture quiet;
    auto opened = std::make_unique<OpenedUnit>(GRAVEL_BUNDLE_DIR, "Grvl", "Bkfd");
    ASSERT_EQ(opened->status, noErr);
    CFArrayRef presets = nullptr;
    UInt32 size = sizeof presets;
    ASSERT_EQ(AudioUnitGetProperty(opened->unit, kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0,
                                   &presets, &size),
              noErr);
    ASSERT_GT(CFArrayGetCount(presets), 0);
    opened.reset();

    for (CFIndex i = 0; i < CFArrayGetCount(presets); ++i) {
        const AUPreset* preset = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(presets, i));
        EXPECT_EQ(preset->presetNumber, SInt32(i));
        ASSERT_NE(preset->presetName, nullptr);
        EXPECT_GT(CFStringGetLength(preset->presetName), 0);
    }
    CFRelease(presets);
}
