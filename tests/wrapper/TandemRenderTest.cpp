// Rendering through the AudioUnit API: buses, formats, slices and the audio
// path's promises (no allocation, no lock), on the fake effect and on Gravel.

#include "TandemTestSupport.h"

#include "AllocationCounter.h"
#include "TandemDirectRender.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>

#include <thread>

#include <atomic>
#include <cmath>
#include <memory>

// The render path must take no lock and write nothing.
#include "LockCounter.h"

namespace {

const std::string stereoName = "Test: Stereo";

std::unique_ptr<OpenedUnit> openStereo() { return std::unique_ptr<OpenedUnit>(openTestComponent("Stereo", "FBst")); }
std::unique_ptr<OpenedUnit> openMonoIO() { return std::unique_ptr<OpenedUnit>(openTestComponent("MonoIO", "FBmo")); }

OSStatus setFormat(AudioUnit unit, AudioUnitScope scope, const AudioStreamBasicDescription& format)
{
    return AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, scope, 0, &format, sizeof format);
}

void countingListener(void* reference, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement)
{
    ++*static_cast<int*>(reference);
}

// A unit around the fake effect, initialized, fed by a ramp.
struct FakeRender : testing::Test {
    void SetUp() override
    {
        resetFakeBus();
        opened = openStereo();
        ASSERT_EQ(opened->status, noErr);
        unit = opened->unit;
        ASSERT_EQ(feedFrom(unit, source), noErr);
        ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    }
    FakeBusState& fake = fakeBus();
    std::unique_ptr<OpenedUnit> opened;
    AudioUnit unit = nullptr;
    RampSource source;
};

} // namespace

TEST_F(FakeRender, SliceLimitsAndBusesAreChecked)
{
    StderrCapture log;
    BufferList out(2, 4097);
    AudioTimeStamp stamp = sampleTime(0);
    EXPECT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 4096, out.get()), noErr);
    EXPECT_EQ(fake.lastFrames, 4096);
    stamp.mSampleTime = 4096;
    EXPECT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 4097, out.get()), paramErr);
    EXPECT_TRUE(log.containsSoon(logLine(
        stereoName, "AURender called for an unexpected large number of frames (expected max 4096, got 4097)")));
    EXPECT_EQ(AudioUnitRender(unit, nullptr, &stamp, 1, 64, out.get()), paramErr);
    EXPECT_TRUE(log.containsSoon(logLine(stereoName, "AURender called for an invalid bus (1)")));
    EXPECT_EQ(AudioUnitRender(unit, nullptr, nullptr, 0, 64, out.get()), paramErr);
    EXPECT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 64, nullptr), paramErr);
    EXPECT_EQ(fake.processCalls, 1);
}

TEST_F(FakeRender, OneTimeStampIsRenderedOnce)
{
    BufferList first(2, 128), second(2, 128);
    AudioTimeStamp stamp = sampleTime(1000);
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 128, first.get()), noErr);
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 128, second.get()), noErr);
    EXPECT_EQ(fake.processCalls, 1);
    EXPECT_EQ(source.calls, 1);
    EXPECT_EQ(first.storage, second.storage);
    for (int i = 0; i < 128; ++i) {
        EXPECT_FLOAT_EQ(first.channel(0)[i], RampSource::value(0, 1000 + i));
        EXPECT_FLOAT_EQ(first.channel(1)[i], 2 * RampSource::value(1, 1000 + i));
    }
    stamp.mSampleTime += 128;
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 128, second.get()), noErr);
    EXPECT_EQ(fake.processCalls, 2);
}

TEST_F(FakeRender, HostBuffersAreFilledOrPointedAtAndNeverOverrun)
{
    // No data pointers: the host gets the unit's own buffers.
    BufferList pointed(2, 64, false);
    AudioTimeStamp stamp = sampleTime(0);
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 64, pointed.get()), noErr);
    ASSERT_NE(pointed.channel(0), nullptr);
    ASSERT_NE(pointed.channel(1), nullptr);
    EXPECT_NE(pointed.channel(0), pointed.channel(1));
    EXPECT_FLOAT_EQ(pointed.channel(1)[63], 2 * RampSource::value(1, 63));

    // More buffers than the bus has channels: the extra ones repeat the last
    // channel instead of reading past the bus.
    BufferList wide(4, 64);
    stamp.mSampleTime = 64;
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 64, wide.get()), noErr);
    EXPECT_EQ(wide.storage[2], wide.storage[1]);
    EXPECT_EQ(wide.storage[3], wide.storage[1]);
    wide.list.mBuffers[0].mData = nullptr;
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 64, wide.get()), noErr);
    EXPECT_EQ(wide.channel(3)[0], wide.channel(1)[0]);

    // A buffer declared smaller than the slice gets only what fits.
    BufferList small(2, 64);
    small.list.mBuffers[0].mDataByteSize = 16;
    stamp.mSampleTime = 128;
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 64, small.get()), noErr);
    EXPECT_FLOAT_EQ(small.channel(0)[3], RampSource::value(0, 131));
    EXPECT_EQ(small.channel(0)[4], -99.0f);
}

TEST_F(FakeRender, SilenceIsReportedBothWays)
{
    // No callback, no connection: zeros, flagged silent to the effect.
    AURenderCallbackStruct none = {nullptr, nullptr};
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &none,
                                   sizeof none),
              noErr);
    fake.outputSilentAnswer = true;
    BufferList out(2, 32);
    AudioTimeStamp stamp = sampleTime(0);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(AudioUnitRender(unit, &flags, &stamp, 0, 32, out.get()), noErr);
    EXPECT_EQ(fake.lastInputSilence, 1);
    EXPECT_EQ(flags, UInt32(kAudioUnitRenderAction_OutputIsSilence));
    EXPECT_EQ(out.channel(1)[5], 0.0f);

    ASSERT_EQ(feedFrom(unit, source), noErr);
    fake.outputSilentAnswer = false;
    stamp.mSampleTime = 32;
    ASSERT_EQ(AudioUnitRender(unit, &flags, &stamp, 0, 32, out.get()), noErr);
    EXPECT_EQ(fake.lastInputSilence, 0);
    EXPECT_EQ(flags, 0u);
}

TEST_F(FakeRender, AFailingSourceStopsTheSlice)
{
    source.status = -1234;
    BufferList out(2, 32);
    AudioTimeStamp stamp = sampleTime(0);
    EXPECT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 32, out.get()), -1234);
    EXPECT_EQ(fake.processCalls, 0);
    EXPECT_EQ(out.channel(0)[0], -99.0f) << "the caller's buffers are untouched";
}

TEST_F(FakeRender, FormatsAreCheckedAndTheSameRateIsNotSentTwice)
{
    StderrCapture log;
    AudioStreamBasicDescription integer = floatFormat(44100, 2);
    integer.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsNonInterleaved;
    integer.mBitsPerChannel = 16;
    integer.mBytesPerFrame = integer.mBytesPerPacket = 2;
    EXPECT_EQ(setFormat(unit, kAudioUnitScope_Input, integer), kAudioUnitErr_FormatNotSupported);
    EXPECT_EQ(log.text().find("Expecting"), std::string::npos);
    EXPECT_EQ(setFormat(unit, kAudioUnitScope_Output, floatFormat(44100, 3)), kAudioUnitErr_FormatNotSupported);
    EXPECT_TRUE(log.contains(logLine(stereoName, "Expecting 1 to 2 channels")));
    EXPECT_EQ(setFormat(unit, kAudioUnitScope_Input, floatFormat(44100, 1)), kAudioUnitErr_FormatNotSupported)
        << "mono on a stereo bus only with CanDoMonoIO";
    for (double rate : {0.0, 1e-300, 0.5, 1e300})
        EXPECT_EQ(setFormat(unit, kAudioUnitScope_Input, floatFormat(rate, 2)), kAudioUnitErr_FormatNotSupported)
            << rate;

    int heard = 0;
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_StreamFormat, countingListener, &heard), noErr);
    const int rateCalls = fake.sampleRateCalls;
    EXPECT_EQ(setFormat(unit, kAudioUnitScope_Input, floatFormat(44100, 2)), noErr);
    EXPECT_EQ(fake.sampleRateCalls, rateCalls) << "the same rate again sends nothing";
    EXPECT_EQ(heard, 0);
    EXPECT_EQ(setFormat(unit, kAudioUnitScope_Output, floatFormat(96000, 2)), kAudioUnitErr_Initialized);
    EXPECT_EQ(fake.sampleRateCalls, rateCalls) << "a resumed effect's rate stays";
    ASSERT_EQ(AudioUnitUninitialize(unit), noErr);
    EXPECT_EQ(setFormat(unit, kAudioUnitScope_Output, floatFormat(96000, 2)), noErr);
    EXPECT_EQ(fake.sampleRateCalls, rateCalls + 1);
    EXPECT_FLOAT_EQ(fake.lastSampleRate, 96000.0f);
    EXPECT_EQ(heard, 2) << "the input and the output bus's formats changed";
    Float64 rate = 0;
    UInt32 size = sizeof rate;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Input, 0, &rate, &size), noErr);
    EXPECT_EQ(rate, 96000.0);
    const Float64 bad = -1.0;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &bad, sizeof bad),
              kAudioUnitErr_InvalidPropertyValue);
}

TEST_F(FakeRender, SliceSizeChangesOnlyWhileUninitialized)
{
    StderrCapture log;
    UInt32 frames = 8192;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames,
                                   sizeof frames),
              kAudioUnitErr_Initialized);
    EXPECT_TRUE(log.contains(logLine(stereoName, "Cannot change the maximum frames per slice while initialized")));

    ASSERT_EQ(AudioUnitUninitialize(unit), noErr);
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames,
                                   sizeof frames),
              noErr);
    EXPECT_EQ(fake.lastBlockSize, 8192);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    BufferList out(2, 8193);
    AudioTimeStamp stamp = sampleTime(0);
    EXPECT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 8192, out.get()), noErr);
    EXPECT_FLOAT_EQ(out.channel(1)[8191], 2 * RampSource::value(1, 8191));
    EXPECT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 8193, out.get()), paramErr);
}

TEST_F(FakeRender, AnUpstreamUnitFeedsAConnectedBus)
{
    auto upstream = openStereo();
    ASSERT_EQ(upstream->status, noErr);
    RampSource upstreamSource;
    ASSERT_EQ(feedFrom(upstream->unit, upstreamSource), noErr);
    ASSERT_EQ(AudioUnitInitialize(upstream->unit), noErr);

    int connectionChanges = 0, callbackChanges = 0;
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_MakeConnection, countingListener,
                                           &connectionChanges),
              noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_SetRenderCallback, countingListener,
                                           &callbackChanges),
              noErr);
    AudioUnitConnection connection = {upstream->unit, 0, 0};
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, &connection,
                                   sizeof connection),
              noErr);
    EXPECT_EQ(connectionChanges, 1);
    EXPECT_EQ(callbackChanges, 1) << "a bus has a connection or a callback, not both";

    BufferList out(2, 64);
    AudioTimeStamp stamp = sampleTime(0);
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 64, out.get()), noErr);
    EXPECT_EQ(source.calls, 0);
    EXPECT_EQ(upstreamSource.calls, 1);
    EXPECT_EQ(fake.processCalls, 2) << "both units ran once";
    EXPECT_FLOAT_EQ(out.channel(0)[9], RampSource::value(0, 9));
    EXPECT_FLOAT_EQ(out.channel(1)[9], 4 * RampSource::value(1, 9)) << "doubled upstream, doubled here";

    StderrCapture log;
    EXPECT_EQ(setFormat(unit, kAudioUnitScope_Input, floatFormat(48000, 2)), kAudioUnitErr_InvalidProperty);
    EXPECT_TRUE(log.contains(logLine(stereoName, "Cannot write property: 8"))) << "the upstream unit sets the format";

    ASSERT_EQ(feedFrom(unit, source), noErr);
    EXPECT_EQ(connectionChanges, 2) << "the callback replaced the connection";
    stamp.mSampleTime = 64;
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 64, out.get()), noErr);
    EXPECT_EQ(upstreamSource.calls, 1);
    EXPECT_EQ(source.calls, 1);
}

namespace {

OSStatus beatAndTempo(void* user, Float64* beat, Float64* tempo)
{
    *beat = 4.5;
    *tempo = *static_cast<double*>(user);
    return noErr;
}

} // namespace

TEST_F(FakeRender, HostCallbacksGiveTheEffectItsTimeInformation)
{
    BufferList out(2, 32);
    AudioTimeStamp stamp = sampleTime(480);
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 32, out.get()), noErr);
    EXPECT_EQ(fake.lastTimeInfo.samplePos, 480.0);
    EXPECT_EQ(fake.lastTimeInfo.sampleRate, 44100.0);
    EXPECT_EQ(fake.lastTimeInfo.flags, 0);

    double tempo = 133.0;
    HostCallbackInfo callbacks = {&tempo, beatAndTempo, nullptr, nullptr};
    int changes = 0;
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_HostCallbacks, countingListener, &changes), noErr);
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &callbacks,
                                   sizeof callbacks),
              noErr);
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &callbacks,
                                   sizeof callbacks),
              noErr);
    EXPECT_EQ(changes, 1) << "only a change is announced";
    stamp.mSampleTime = 512;
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 32, out.get()), noErr);
    EXPECT_EQ(fake.lastTimeInfo.tempo, 133.0);
    EXPECT_EQ(fake.lastTimeInfo.ppqPos, 4.5);
    EXPECT_EQ(fake.lastTimeInfo.flags, kVstPpqPosValid | kVstTempoValid);
}

TEST(TandemRenderChannels, AMonoSourceFeedsBothPinsOfAStereoBus)
{
    FakeBusState& fake = resetFakeBus();
    auto opened = openMonoIO();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;
    RampSource source;
    ASSERT_EQ(feedFrom(unit, source), noErr);
    ASSERT_EQ(setFormat(unit, kAudioUnitScope_Input, floatFormat(44100, 1)), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);

    BufferList out(2, 64);
    AudioTimeStamp stamp = sampleTime(0);
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 64, out.get()), noErr);
    for (int i = 0; i < 64; ++i) {
        EXPECT_FLOAT_EQ(out.channel(0)[i], RampSource::value(0, i));
        EXPECT_FLOAT_EQ(out.channel(1)[i], 2 * RampSource::value(0, i)) << "pin 1 heard the mono channel";
    }

    // A mono output: both pins write into the one buffer, the last one wins.
    ASSERT_EQ(AudioUnitUninitialize(unit), noErr);
    ASSERT_EQ(setFormat(unit, kAudioUnitScope_Input, floatFormat(44100, 2)), noErr);
    ASSERT_EQ(setFormat(unit, kAudioUnitScope_Output, floatFormat(44100, 1)), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    BufferList mono(1, 64);
    stamp.mSampleTime = 64;
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 64, mono.get()), noErr);
    EXPECT_FLOAT_EQ(mono.channel(0)[10], 2 * RampSource::value(1, 74));
    EXPECT_EQ(fake.processCalls, 2);
}

// ---- Gravel itself, through the AudioUnit API and through its VST entry ----

TEST(TandemGravel, RendersWhatTheVSTEntryRenders)
{
    StderrCapture quiet;
    OpenedUnit opened(GRAVEL_BUNDLE_DIR, "Grvl", "Bkfd");
    ASSERT_EQ(opened.status, noErr) << quiet.text();
    AudioUnit unit = opened.unit;
    AURenderCallbackStruct callback = {riffSource, nullptr};
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                                   sizeof callback),
              noErr);
    ASSERT_EQ(setFormat(unit, kAudioUnitScope_Input, floatFormat(48000, 2)), noErr);
    ASSERT_EQ(setFormat(unit, kAudioUnitScope_Output, floatFormat(48000, 2)), noErr);
    ASSERT_EQ(AudioUnitSetParameter(unit, 1, kAudioUnitScope_Global, 0, 8.0f, 0), noErr); // Drive 0..10
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    const std::vector<float> viaAudioUnit = renderRiffThroughAudioUnit(unit);
    ASSERT_FALSE(viaAudioUnit.empty());

    SilentVSTHost host;
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(GRAVEL_BUNDLE_DIR),
                                                           CFIndex(std::strlen(GRAVEL_BUNDLE_DIR)), true);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    ASSERT_NE(bundle, nullptr);
    VSTPlugIn direct(host, bundle, 44100.0f, 4096);
    CFRelease(bundle);
    direct.open();
    direct.setSampleRate(48000.0f);
    direct.setParameter(1, 0.8f);
    const std::vector<float> viaVST = renderRiffThroughVST(direct);
    ASSERT_EQ(viaAudioUnit.size(), viaVST.size());
    EXPECT_TRUE(viaAudioUnit == viaVST) << "sample for sample";
    double energy = 0;
    for (float x : viaAudioUnit)
        energy += double(x) * x;
    EXPECT_GT(energy, 1.0) << "the pedal was heard, not silence";
}

TEST(TandemGravel, RenderingAllocatesNothingAndTakesNoLock)
{
    StderrCapture quiet;
    OpenedUnit opened(GRAVEL_BUNDLE_DIR, "Grvl", "Bkfd");
    ASSERT_EQ(opened.status, noErr);
    AudioUnit unit = opened.unit;
    AURenderCallbackStruct callback = {riffSource, nullptr};
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                                   sizeof callback),
              noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    BufferList out(2, 512), pointed(2, 512, false);
    AudioTimeStamp stamp = sampleTime(0);
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 512, out.get()), noErr); // settles first-block work
    AudioUnitParameterEvent drive = {kAudioUnitScope_Global, 0, 1, kParameterEvent_Immediate, {}};
    drive.eventValues.immediate.value = 7.5f;
    ASSERT_EQ(AudioUnitScheduleParameters(unit, &drive, 1), noErr);

    // Plain slices, scheduled parameters (also refused ones) and refused
    // slices, as a host's audio thread makes them.
    lock_counter::count = 0;
    lock_counter::writes = 0;
    allocation_counter::Scope allocations;
    lock_counter::armed = true;
    for (int slice = 1; slice <= 50; ++slice) {
        stamp.mSampleTime = 512.0 * slice;
        drive.eventValues.immediate.value = float(slice % 10);
        drive.parameter = slice % 7 == 0 ? 999 : 1;
        AudioUnitScheduleParameters(unit, &drive, 1);
        AudioUnitRenderActionFlags flags = 0;
        AudioUnitRender(unit, &flags, &stamp, 0, 512, slice % 2 ? out.get() : pointed.get());
        pointed.list.mBuffers[0].mData = pointed.list.mBuffers[1].mData = nullptr;
        if (slice % 5 == 0) {
            AudioUnitRender(unit, &flags, &stamp, 3, 512, out.get());  // no such bus
            AudioUnitRender(unit, &flags, &stamp, 0, 8192, out.get()); // too many frames
        }
    }
    lock_counter::armed = false;
    EXPECT_EQ(allocations.allocations(), 0);
#if GRAVEL_COUNTS_MALLOC
    EXPECT_EQ(lock_counter::count.load(), 0);
    EXPECT_EQ(lock_counter::writes.load(), 0) << "log lines of the audio thread are queued, not written";
#endif
}

TEST(TandemRenderThread, WhatAnEffectTellsItsHostFromProcessReachesListenersFromTheMainLoop)
{
    FakeBusState& fake = resetFakeBus();
    fake.automateFromProcess = true;
    fake.updateDisplayFromProcess = true;
    StderrCapture log;
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;
    RampSource source;
    ASSERT_EQ(feedFrom(unit, source), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);

    struct Heard {
        std::vector<AudioUnitEventType> events;
        std::vector<pthread_t> threads;
    } heard;
    AUEventListenerRef listener = nullptr;
    ASSERT_EQ(AUEventListenerCreate(
                  [](void* reference, void*, const AudioUnitEvent* event, UInt64, AudioUnitParameterValue) {
                      Heard* h = static_cast<Heard*>(reference);
                      h->events.push_back(event->mEventType);
                      h->threads.push_back(pthread_self());
                  },
                  &heard, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0, 0, &listener),
              noErr);
    for (AudioUnitEventType type : {kAudioUnitEvent_BeginParameterChangeGesture, kAudioUnitEvent_ParameterValueChange,
                                    kAudioUnitEvent_EndParameterChangeGesture}) {
        AudioUnitEvent event = {};
        event.mEventType = type;
        event.mArgument.mParameter = {unit, 1, kAudioUnitScope_Global, 0};
        ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);
    }

    BufferList out(2, 256);
    AudioTimeStamp stamp = sampleTime(0);
    lock_counter::count = 0;
    lock_counter::writes = 0;
    std::thread audio([&] {
        lock_counter::armed = true;
        allocation_counter::Scope allocations;
        const OSStatus status = AudioUnitRender(unit, nullptr, &stamp, 0, 256, out.get());
        lock_counter::armed = false;
        EXPECT_EQ(status, noErr);
        EXPECT_EQ(allocations.allocations(), 0);
    });
    audio.join();
#if GRAVEL_COUNTS_MALLOC
    EXPECT_EQ(lock_counter::count.load(), 0);
    EXPECT_EQ(lock_counter::writes.load(), 0);
#endif
    EXPECT_EQ(fake.processCalls, 1);
    EXPECT_TRUE(heard.events.empty()) << "nothing is delivered on the audio thread";

    for (int i = 0; i < 100 && heard.events.size() < 3; ++i)
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.03, false);
    EXPECT_EQ(heard.events, (std::vector<AudioUnitEventType>{kAudioUnitEvent_BeginParameterChangeGesture,
                                                              kAudioUnitEvent_ParameterValueChange,
                                                              kAudioUnitEvent_EndParameterChangeGesture}));
    for (pthread_t thread : heard.threads)
        EXPECT_TRUE(pthread_equal(thread, pthread_self())) << "delivered by the main loop";
    // The audio thread's lines arrive too, in order, once the writer or the next line writes them out.
    AudioUnitReset(unit, kAudioUnitScope_Global, 0);
    const std::string text = log.text();
    const size_t begin = text.find("VST audioMasterBeginEdit: 1");
    const size_t end = text.find("VST audioMasterEndEdit: 1");
    EXPECT_NE(begin, std::string::npos) << text;
    EXPECT_LT(begin, end);
    AUListenerDispose(listener);
}
