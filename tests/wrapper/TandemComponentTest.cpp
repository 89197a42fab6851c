// The AudioUnit component as a host sees it: opened through the AudioUnit
// API from bundles around the fake effect, answered selector by selector.

#include "TandemTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

bool operator==(const AUChannelInfo& a, const AUChannelInfo& b)
{
    return a.inChannels == b.inChannels && a.outChannels == b.outChannels;
}

namespace {

const std::string stereoName = "Test: Stereo";

std::unique_ptr<OpenedUnit> openStereo() { return std::unique_ptr<OpenedUnit>(openTestComponent("Stereo", "FBst")); }
std::unique_ptr<OpenedUnit> openMonoIO() { return std::unique_ptr<OpenedUnit>(openTestComponent("MonoIO", "FBmo")); }

UInt32 elementCount(AudioUnit unit, AudioUnitScope scope)
{
    UInt32 count = 99, size = sizeof count;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ElementCount, scope, 0, &count, &size), noErr);
    return count;
}

std::vector<AUChannelInfo> supportedChannels(AudioUnit unit, OSStatus* status = nullptr)
{
    UInt32 size = 0;
    Boolean writable = true;
    OSStatus result = AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_SupportedNumChannels,
                                               kAudioUnitScope_Global, 0, &size, &writable);
    if (status)
        *status = result;
    std::vector<AUChannelInfo> channels(size / sizeof(AUChannelInfo));
    if (result == noErr && !channels.empty()) {
        EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0,
                                       channels.data(), &size),
                  noErr);
    }
    return channels;
}

void countingListener(void* reference, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement)
{
    ++*static_cast<int*>(reference);
}

OSStatus silentNotify(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32, AudioBufferList*)
{
    return noErr;
}

} // namespace

TEST(TandemEntry, AnswersWhichSelectorsItHandles)
{
    resetFakeBus();
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    for (SInt16 selector : {-4, -3, -2, -1, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 14, 15, 16, 17, 18, 257})
        EXPECT_TRUE(AudioComponentInstanceCanDo(opened->unit, selector)) << selector;
    for (SInt16 selector : {0, 8, 12, 13, 19, 20, 258})
        EXPECT_FALSE(AudioComponentInstanceCanDo(opened->unit, selector)) << selector;

    EXPECT_EQ(GetComponentVersion(reinterpret_cast<ComponentInstance>(opened->unit)), 65794);
}

TEST(TandemEntry, OpeningLogsTheBundleTheEffectAndTheBuses)
{
    resetFakeBus();
    std::unique_ptr<OpenedUnit> opened;
    StderrCapture log;
    opened = openStereo();
    ASSERT_EQ(opened->status, noErr) << log.text();
    const std::string name = "Test: Stereo";
    EXPECT_FALSE(log.contains(logLine(name, "No VST bundle or alias found in resources, assuming fat AU bundle")));
    const std::string linkPath = componentPath("Stereo") + "/Contents/Resources/Effect.vst";
    EXPECT_TRUE(log.contains(logLine(name, "Found VST bundle or alias at " + linkPath))) << log.text();
    char resolved[4096];
    ASSERT_NE(realpath(linkPath.c_str(), resolved), nullptr);
    EXPECT_TRUE(log.contains(logLine(name, std::string("Resolved alias to ") + resolved))) << "a chain of two links";
    EXPECT_TRUE(log.contains(logLine(name, "VST supports Tandem extensions")));
    EXPECT_TRUE(log.contains(logLine(name, "VST does not support tail size")));
    EXPECT_TRUE(log.contains(logLine(name, "VST supports bypassing")));
    EXPECT_TRUE(log.contains(logLine(name, "Component type: aufx")));
    EXPECT_TRUE(log.contains(logLine(name, "VST has 2 inputs and 2 outputs configured into 1 input buses and 1 "
                                           "output buses (SupportedNumChannels supported)")));

    opened->dispose();
    EXPECT_TRUE(log.contains(logLine(name, "AU kComponentCloseSelect")));
    EXPECT_FALSE(fakeBus().open) << "closing the unit closes the effect";
}

TEST(TandemEntry, FailedOpensReturnTheirStatus)
{
    resetFakeBus();
    struct Case {
        const char* bundle;
        const char* subtype;
        const char* message;
    } cases[] = {
        {"TwoEffects", "FB2e", "Caught exception in TandemEntry: Found more than one VST bundle or alias in resources"},
        {"NoConfig", "FBnc", "Caught exception in TandemEntry: Missing key in dictionary"},
        {"MonoIOMissing", "FBmm", "Caught exception in TandemEntry: Missing key in dictionary"},
        {"MonoIOString", "FBms", "Caught exception in TandemEntry: Value in dictionary is not of expected type"},
    };
    for (const Case& c : cases) {
        StderrCapture log;
        OpenedUnit opened(componentPath(c.bundle), c.subtype);
        EXPECT_EQ(opened.status, -32767) << c.bundle;
        EXPECT_EQ(opened.unit, nullptr);
        EXPECT_TRUE(log.contains(logLine(std::string("Test: ") + c.bundle, c.message))) << log.text();
    }
    EXPECT_FALSE(fakeBus().open) << "an effect opened before the failure is closed again";
}

TEST(TandemComponentBuses, StereoPinsMakeOneStereoBusEachWay)
{
    FakeBusState& fake = resetFakeBus();
    fake.stereoInputPins = fake.stereoOutputPins = 3;
    auto plain = openStereo();
    ASSERT_EQ(plain->status, noErr);
    EXPECT_EQ(elementCount(plain->unit, kAudioUnitScope_Input), 1u);
    EXPECT_EQ(elementCount(plain->unit, kAudioUnitScope_Output), 1u);
    EXPECT_EQ(elementCount(plain->unit, kAudioUnitScope_Global), 0u);
    EXPECT_EQ(supportedChannels(plain->unit), (std::vector<AUChannelInfo>{{2, 2}}));

    auto mono = openMonoIO();
    ASSERT_EQ(mono->status, noErr);
    EXPECT_EQ(supportedChannels(mono->unit), (std::vector<AUChannelInfo>{{1, 1}, {1, 2}, {2, 1}, {2, 2}}));

    CFStringRef name = nullptr;
    UInt32 size = sizeof name;
    ASSERT_EQ(AudioUnitGetProperty(plain->unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 0, &name,
                                   &size),
              noErr);
    char text[16] = {};
    CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
    EXPECT_STREQ(text, "O0") << "the pin's label names the bus";
    CFRelease(name);
}

TEST(TandemComponentBuses, PinsThatDoNotFillABusAreLeftOut)
{
    FakeBusState& fake = resetFakeBus();
    fake.numInputs = 3;
    fake.stereoInputPins = 7;
    fake.numOutputs = 1;
    fake.stereoOutputPins = 0;
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    EXPECT_EQ(elementCount(opened->unit, kAudioUnitScope_Input), 1u) << "pin 2 alone cannot be a stereo bus";
    AudioStreamBasicDescription format;
    UInt32 size = sizeof format;
    ASSERT_EQ(AudioUnitGetProperty(opened->unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format,
                                   &size),
              noErr);
    EXPECT_EQ(format.mChannelsPerFrame, 2u);
    ASSERT_EQ(AudioUnitGetProperty(opened->unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format,
                                   &size),
              noErr);
    EXPECT_EQ(format.mChannelsPerFrame, 1u);
    EXPECT_EQ(supportedChannels(opened->unit), (std::vector<AUChannelInfo>{{2, 1}}));
}

TEST(TandemComponentBuses, PinsLeftOutOfEveryBusStillHaveBuffers)
{
    FakeBusState& fake = resetFakeBus();
    fake.numInputs = fake.numOutputs = 3;
    fake.stereoInputPins = fake.stereoOutputPins = 7;
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    ASSERT_EQ(elementCount(opened->unit, kAudioUnitScope_Output), 1u);
    ASSERT_EQ(AudioUnitInitialize(opened->unit), noErr);
    BufferList out(2, 64);
    AudioTimeStamp stamp = sampleTime(0);
    // The fake effect reads and writes all three pins.
    ASSERT_EQ(AudioUnitRender(opened->unit, nullptr, &stamp, 0, 64, out.get()), noErr);
    EXPECT_EQ(fake.processCalls, 1);
    EXPECT_EQ(out.channel(1)[0], 0.0f);
}

TEST(TandemComponentProperties, RefusalsNameWhatWentWrong)
{
    resetFakeBus();
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;
    StderrCapture log;

    AudioUnitConnection connection = {nullptr, 0, 0};
    UInt32 size = sizeof connection;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, &connection,
                                   &size),
              kAudioUnitErr_InvalidProperty);
    EXPECT_TRUE(log.contains(logLine(stereoName, "Cannot read property: 1")));

    connection.destInputNumber = 1;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, &connection,
                                   sizeof connection),
              kAudioUnitErr_InvalidPropertyValue);

    Float64 latency = 0;
    UInt32 small = 4;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &latency, &small),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_TRUE(log.contains(logLine(stereoName, "Trying to get a property with min size: 8 with a buffer of size: 4")));
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_Latency, kAudioUnitScope_Input, 0, nullptr, nullptr),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 1, nullptr,
                                       nullptr),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, nullptr, nullptr),
              kAudioUnitErr_InvalidProperty);
    EXPECT_TRUE(log.contains(logLine(stereoName, "AU GetPropertyInfo: kAudioUnitProperty_TailTime (not supported)")));
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_CPULoad, kAudioUnitScope_Global, 0, nullptr, nullptr),
              kAudioUnitErr_InvalidProperty);
    EXPECT_TRUE(log.contains(logLine(stereoName, "AU GetPropertyInfo: kAudioUnitProperty_CPULoad (not supported)")));
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, 7, kAudioUnitScope_Global, 0, nullptr, nullptr),
              kAudioUnitErr_InvalidProperty);
    EXPECT_TRUE(log.contains(logLine(stereoName, "AU GetPropertyInfo: unknown property id: 7")));

    // Sizes: HostCallbacks takes anything up to its 32 bytes.
    UInt32 infoSize = 0;
    Boolean writable = false;
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &infoSize,
                                       &writable),
              noErr);
    EXPECT_EQ(infoSize, 32u);
    EXPECT_TRUE(writable);
    HostCallbackInfo callbacks;
    UInt32 callbacksSize = 8;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &callbacks,
                                   &callbacksSize),
              noErr);
    EXPECT_EQ(callbacksSize, 8u);
}

TEST(TandemComponentSelectors, TablesAreLimitedAndDuplicatesRemovedTogether)
{
    resetFakeBus();
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;
    StderrCapture log;

    int heard = 0;
    int other = 0;
    for (int i = 0; i < 128; ++i)
        ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_MaximumFramesPerSlice, countingListener,
                                               i < 2 ? &heard : &other),
                  noErr);
    EXPECT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_MaximumFramesPerSlice, countingListener, &heard),
              memFullErr);
    // The two registrations with the same user data go together.
    EXPECT_EQ(AudioUnitRemovePropertyListenerWithUserData(unit, kAudioUnitProperty_MaximumFramesPerSlice,
                                                          countingListener, &heard),
              noErr);
    int removedLines = 0;
    for (const std::string& line : log.lines())
        removedLines += line == logLine(stereoName, "AU Removed listener on 14");
    EXPECT_EQ(removedLines, 2);
    UInt32 frames = 1024;
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames,
                                   sizeof frames),
              noErr);
    EXPECT_EQ(heard, 0);
    EXPECT_EQ(other, 126) << "every remaining listener hears the change once";

    for (int i = 0; i < 128; ++i)
        ASSERT_EQ(AudioUnitAddRenderNotify(unit, silentNotify, i < 2 ? &heard : &other), noErr);
    EXPECT_EQ(AudioUnitAddRenderNotify(unit, silentNotify, &heard), memFullErr);
    EXPECT_EQ(AudioUnitRemoveRenderNotify(unit, silentNotify, &heard), noErr);
    EXPECT_EQ(AudioUnitAddRenderNotify(unit, silentNotify, &heard), noErr);
    EXPECT_EQ(AudioUnitAddRenderNotify(unit, silentNotify, &heard), noErr);
    EXPECT_EQ(AudioUnitAddRenderNotify(unit, silentNotify, &heard), memFullErr) << "both duplicates were removed";
}

TEST(TandemComponentSelectors, ParametersScopesAndScheduledEvents)
{
    FakeBusState& fake = resetFakeBus();
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;

    EXPECT_EQ(AudioUnitSetParameter(unit, 1, kAudioUnitScope_Global, 0, 0.25f, 0), noErr);
    AudioUnitParameterValue value = -1;
    EXPECT_EQ(AudioUnitGetParameter(unit, 1, kAudioUnitScope_Global, 0, &value), noErr);
    EXPECT_FLOAT_EQ(value, 0.25f);
    EXPECT_EQ(AudioUnitSetParameter(unit, 1, kAudioUnitScope_Input, 0, 0.5f, 0), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(AudioUnitGetParameter(unit, fakeBusParameterCount, kAudioUnitScope_Global, 0, &value),
              kAudioUnitErr_InvalidParameter);

    AudioUnitParameterEvent events[3];
    std::memset(events, 0, sizeof events);
    const AudioUnitParameterID ids[3] = {0, 2, 17};
    for (int i = 0; i < 3; ++i) {
        events[i].parameter = ids[i];
        events[i].eventType = kParameterEvent_Immediate;
        events[i].eventValues.immediate.value = 0.1f * float(i + 1);
    }
    const int callsBefore = fake.setParameterCalls;
    EXPECT_EQ(AudioUnitScheduleParameters(unit, events, 3), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(fake.setParameterCalls, callsBefore + 2) << "the events before the bad one stay applied";
    EXPECT_FLOAT_EQ(fake.parameters[0], 0.1f);
    EXPECT_FLOAT_EQ(fake.parameters[2], 0.2f);

    events[0].eventType = kParameterEvent_Ramped;
    EXPECT_EQ(AudioUnitScheduleParameters(unit, events, 1), noErr);
    EXPECT_EQ(fake.setParameterCalls, callsBefore + 2) << "ramps are not applied";
}

TEST(TandemComponentSelectors, MidiIsQueuedOnlyForAnEffectThatAskedForIt)
{
    FakeBusState& fake = resetFakeBus();
    {
        auto deaf = openStereo();
        ASSERT_EQ(deaf->status, noErr);
        EXPECT_EQ(MusicDeviceMIDIEvent(deaf->unit, 0x90, 60, 100, 0), noErr);
    }

    resetFakeBus();
    fake.wantsMidi = true;
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(MusicDeviceMIDIEvent(opened->unit, 0x90, 60, UInt32(i % 128), UInt32(i % 64)), noErr);
    EXPECT_EQ(MusicDeviceMIDIEvent(opened->unit, 0x80, 60, 0, 0), memFullErr);

    ASSERT_EQ(AudioUnitInitialize(opened->unit), noErr);
    BufferList out(2, 64);
    AudioTimeStamp stamp = sampleTime(0);
    ASSERT_EQ(AudioUnitRender(opened->unit, nullptr, &stamp, 0, 64, out.get()), noErr);
    EXPECT_EQ(fake.midiEventsReceived, 1024);
    EXPECT_EQ(fake.lastMidi[0], 0x90);
    EXPECT_EQ(fake.lastMidi[2], 1023 % 128);
    EXPECT_EQ(fake.lastMidiDelta, 1023 % 64);
    EXPECT_EQ(MusicDeviceMIDIEvent(opened->unit, 0x80, 60, 0, 5), noErr) << "the queue was emptied by rendering";
}

TEST(TandemComponentSelectors, InitializeResetAndUninitializeDriveTheEffect)
{
    FakeBusState& fake = resetFakeBus();
    fake.initialDelay = 441;
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;
    Float64 latency = -1;
    UInt32 size = sizeof latency;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &latency, &size),
              noErr);
    EXPECT_DOUBLE_EQ(latency, 0.01);

    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    RampSource source;
    ASSERT_EQ(feedFrom(unit, source), noErr);
    BufferList out(2, 32);
    AudioTimeStamp stamp = sampleTime(100);
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 32, out.get()), noErr);
    ASSERT_EQ(fake.processCalls, 1);

    StderrCapture log;
    EXPECT_EQ(AudioUnitReset(unit, kAudioUnitScope_Input, 0), kAudioUnitErr_InvalidScope);
    EXPECT_TRUE(log.contains(logLine(stereoName, "AU kAudioUnitResetSelect")));
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 32, out.get()), noErr);
    EXPECT_EQ(fake.processCalls, 1) << "a refused reset forgets nothing: same time stamp, same slice";

    EXPECT_EQ(AudioUnitReset(unit, kAudioUnitScope_Global, 0), noErr);
    ASSERT_EQ(AudioUnitRender(unit, nullptr, &stamp, 0, 32, out.get()), noErr);
    EXPECT_EQ(fake.processCalls, 2) << "after a reset the same time stamp is rendered again";
    EXPECT_TRUE(log.contains(logLine(stereoName, "VST suspend")));
    EXPECT_TRUE(log.contains(logLine(stereoName, "VST resume")));

    EXPECT_EQ(AudioUnitUninitialize(unit), noErr);
    EXPECT_TRUE(log.contains(logLine(stereoName, "AU kAudioUnitUninitializeSelect")));
}

TEST(TandemComponentIdle, TheMainLoopIdlesTheEffectUntilTheUnitCloses)
{
    FakeBusState& fake = resetFakeBus();
    auto opened = openStereo();
    ASSERT_EQ(opened->status, noErr);
    EXPECT_EQ(fake.idleCalls, 0) << "the timer fires only while the host runs its main loop";
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.2, false);
    EXPECT_GE(fake.idleCalls, 2) << "every 0.025 s";
    EXPECT_EQ(fake.editIdleCalls, 0) << "no editor is open";

    opened->dispose();
    const int afterClose = fake.idleCalls;
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.1, false);
    EXPECT_EQ(fake.idleCalls, afterClose) << "a closed unit's timer never fires again";
}
