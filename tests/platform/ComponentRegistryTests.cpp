// The component registry and the AudioUnit call glue, driven as a host
// drives them, against the test component bundles.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <AudioToolbox/AudioToolbox.h>

#include "ComponentTestSupport.h"

namespace {

// The registry reads AU_PATH once, at its first call: the scan runs here,
// before any test, with its log kept for the bad-input test.
std::string scanLog;

class RegistryScan : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("AU_PATH", AU_PATH_DIR ":" MISSING_FOLDER, 1);
        ::testing::internal::CaptureStderr();
        CountComponents(nullptr);
        scanLog = ::testing::internal::GetCapturedStderr();
    }
};

[[maybe_unused]] auto* const registryScan = ::testing::AddGlobalTestEnvironment(new RegistryScan);

int linesNaming(const std::string& log, const std::string& text) {
    int count = 0;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        if (log.substr(start, end - start).find(text) != std::string::npos) ++count;
        start = end + 1;
    }
    return count;
}

std::string pascalString(Handle handle) {
    return std::string(*handle + 1, static_cast<unsigned char>(**handle));
}

}  // namespace

TEST(ComponentRegistry, EachBadBundleOrFolderIsSkippedWithOneLine) {
    for (const char* bundle : {"NotXml.bundle", "NoComponents.bundle", "WrongTypes.bundle", "MissingEntry.bundle",
                               "NoExecutable.bundle"})
        EXPECT_EQ(1, linesNaming(scanLog, bundle)) << bundle << " in:\n" << scanLog;
    EXPECT_EQ(1, linesNaming(scanLog, MISSING_FOLDER)) << scanLog;
    EXPECT_EQ(1, linesNaming(scanLog, "\"subtype\" is not a four-character string")) << scanLog;
    EXPECT_EQ(0, linesNaming(scanLog, "README.txt")) << "a plain file is no bundle and not worth a line";

    // Only ComponentA's two well-formed declarations come through.
    for (OSType subtype : {fourCC("tstX"), fourCC("tstN")}) {
        ComponentDescription skipped = {0, subtype, 0, 0, 0};
        EXPECT_EQ(0, CountComponents(&skipped));
    }
    ASSERT_NE(nullptr, findComponent("tstB"));
    ComponentDescription ours = {0, 0, fourCC("Grvl"), 0, 0};
    EXPECT_EQ(3, CountComponents(&ours)) << "two from A, one from B";

    EXPECT_EQ(fnfErr, GravelRegisterComponentBundle(MISSING_FOLDER));
    EXPECT_EQ(paramErr, GravelRegisterComponentBundle(AU_PATH_DIR "/NotXml.bundle"));
    EXPECT_EQ(unresolvedComponentDLLErr, GravelRegisterComponentBundle(AU_PATH_DIR "/MissingEntry.bundle"));
    EXPECT_EQ(unresolvedComponentDLLErr, GravelRegisterComponentBundle(AU_PATH_DIR "/NoExecutable.bundle"));
}

TEST(ComponentRegistry, MatchesLikeTheComponentManagerAndRegistersByPath) {
    ComponentDescription anyEffect = {fourCC("aufx"), 0, 0, 0, 0};
    Component a = FindNextComponent(nullptr, &anyEffect);
    ASSERT_NE(nullptr, a) << "ComponentA comes from AU_PATH";
    ComponentDescription description = {};
    ASSERT_EQ(noErr, GetComponentInfo(a, &description, nullptr, nullptr, nullptr));
    EXPECT_EQ(fourCC("tstA"), description.componentSubType);
    EXPECT_EQ(fourCC("Grvl"), description.componentManufacturer);

    ASSERT_EQ(noErr, GravelRegisterComponentBundle(REGISTERED_DIR "/ComponentB.bundle"));
    ASSERT_EQ(noErr, GravelRegisterComponentBundle(REGISTERED_DIR "/../registered/ComponentB.bundle"));
    ComponentDescription b = {0, fourCC("tstB"), 0, 0, 0};
    EXPECT_EQ(1, CountComponents(&b)) << "a bundle registers once";

    ComponentDescription musicDevice = {fourCC("aumu"), 0, 0, 0, 0};
    EXPECT_EQ(1, CountComponents(&musicDevice));
    ComponentDescription flagged = {fourCC("aufx"), 0, 0, 1, 1};
    EXPECT_EQ(0, CountComponents(&flagged)) << "flags under the mask must match";

    AudioComponentDescription audioB = {fourCC("aufx"), fourCC("tstB"), fourCC("Grvl"), 0, 0};
    AudioComponent componentB = AudioComponentFindNext(nullptr, &audioB);
    ASSERT_NE(nullptr, componentB);
    EXPECT_EQ(nullptr, AudioComponentFindNext(componentB, &audioB));
    EXPECT_EQ(1u, AudioComponentCount(&audioB));
    CFStringRef name = nullptr;
    ASSERT_EQ(noErr, AudioComponentCopyName(componentB, &name));
    EXPECT_TRUE(CFEqual(CFSTR("Gravel Tests: Component B"), name));
    CFRelease(name);
    UInt32 version = 0;
    ASSERT_EQ(noErr, AudioComponentGetVersion(componentB, &version));
    EXPECT_EQ(2u, version);
    AudioComponentDescription got = {};
    ASSERT_EQ(noErr, AudioComponentGetDescription(componentB, &got));
    EXPECT_EQ(0, std::memcmp(&audioB, &got, sizeof got));
}

TEST(ComponentRegistry, BothFamiliesOpenAndCloseWithStoragePerInstance) {
    Component a = findComponent("tstA");
    ASSERT_NE(nullptr, a);
    ComponentInstance first = nullptr;
    ASSERT_EQ(noErr, OpenAComponent(a, &first));
    TestComponentFunctions test = testFunctions(first);
    ASSERT_TRUE(test.valid());
    AudioComponentInstance second = nullptr;
    ASSERT_EQ(noErr, AudioComponentInstanceNew(reinterpret_cast<AudioComponent>(a), &second));
    EXPECT_EQ(2, test.openInstances());
    EXPECT_EQ(reinterpret_cast<AudioComponent>(a), AudioComponentInstanceGetComponent(second));

    Handle firstStorage = GetComponentInstanceStorage(first);
    Handle secondStorage = GetComponentInstanceStorage(second);
    ASSERT_NE(nullptr, firstStorage);
    EXPECT_NE(firstStorage, secondStorage);
    AudioUnitInitialize(second);
    EXPECT_EQ(secondStorage, test.lastStorage()) << "the entry gets the instance's own storage";

    // Info by instance, as a component asks for its own name.
    Handle name = NewHandle(256);
    ComponentDescription description = {};
    ASSERT_EQ(noErr, GetComponentInfo(reinterpret_cast<Component>(first), &description, name, nullptr, nullptr));
    EXPECT_EQ("Gravel Tests: Component A", pascalString(name));
    EXPECT_EQ(fourCC("aufx"), description.componentType);
    DisposeHandle(name);
    EXPECT_EQ(66051, GetComponentVersion(first)) << "the entry reads byte 44 of its 'thng' resource";
    Handle resource = nullptr;
    EXPECT_EQ(resNotFound, GetComponentResource(a, fourCC("thng"), 128, &resource));
    EXPECT_EQ(1, ComponentFunctionImplemented(first, kAudioUnitRenderSelect));
    EXPECT_EQ(0, ComponentFunctionImplemented(first, kAudioUnitRemovePropertyListenerSelect));
    EXPECT_TRUE(AudioComponentInstanceCanDo(second, kAudioUnitRenderSelect));

    EXPECT_EQ(noErr, CloseComponent(first));
    EXPECT_EQ(noErr, AudioComponentInstanceDispose(second));
    EXPECT_EQ(0, test.openInstances());
    EXPECT_EQ(badComponentInstance, AudioUnitInitialize(second)) << "a closed instance is forgotten";

    test.failNextOpen(-4321);
    ComponentInstance failed = reinterpret_cast<ComponentInstance>(&failed);
    EXPECT_EQ(-4321, OpenAComponent(a, &failed));
    EXPECT_EQ(nullptr, failed);
    EXPECT_EQ(0, test.openInstances());
    test.failNextOpen(kAudioUnitErr_FailedInitialization);
    EXPECT_EQ(nullptr, OpenComponent(a));
}

// What each call packs is what the entry reads, field by field.
TEST(AudioUnitCalls, EveryCallArrivesAsItsParameterBlock) {
    Component a = findComponent("tstA");
    ASSERT_NE(nullptr, a);
    AudioUnit unit = OpenComponent(a);
    ASSERT_NE(nullptr, unit);
    TestComponentFunctions test = testFunctions(unit);
    auto block = [&test](auto* typed) { std::memcpy(typed, test.lastBlock(), sizeof *typed); return typed; };
    auto header = [&test](SInt16 what, std::size_t size) {
        const auto* p = reinterpret_cast<const ComponentParameters*>(test.lastBlock());
        EXPECT_EQ(what, p->what);
        EXPECT_EQ(size - 8, p->paramSize) << "selector " << what;
    };

    UInt32 size = 0;
    Boolean writable = false;
    EXPECT_EQ(3, AudioUnitGetPropertyInfo(unit, 11, 2, 5, &size, &writable)) << "the entry's status comes back";
    header(3, sizeof(AudioUnitGetPropertyInfoParams));
    AudioUnitGetPropertyInfoParams info;
    block(&info);
    EXPECT_EQ(11u, info.inID);
    EXPECT_EQ(2u, info.inScope);
    EXPECT_EQ(5u, info.inElement);
    EXPECT_EQ(&size, info.outDataSize);
    EXPECT_EQ(&writable, info.outWritable);

    double data = 0;
    EXPECT_EQ(4, AudioUnitGetProperty(unit, 2, 1, 3, &data, &size));
    header(4, sizeof(AudioUnitGetPropertyParams));
    AudioUnitGetPropertyParams get;
    block(&get);
    EXPECT_EQ(2u, get.inID);
    EXPECT_EQ(1u, get.inScope);
    EXPECT_EQ(3u, get.inElement);
    EXPECT_EQ(&data, get.outData);
    EXPECT_EQ(&size, get.ioDataSize);

    EXPECT_EQ(5, AudioUnitSetProperty(unit, 14, 0, 0, &data, 8));
    header(5, sizeof(AudioUnitSetPropertyParams));
    AudioUnitSetPropertyParams set;
    block(&set);
    EXPECT_EQ(14u, set.inID);
    EXPECT_EQ(&data, set.inData);
    EXPECT_EQ(8u, set.inDataSize);

    ASSERT_EQ(noErr, AudioUnitSetParameter(unit, 9, 0, 4, 0.625f, 17));
    header(7, sizeof(AudioUnitSetParameterParams));
    AudioUnitSetParameterParams setParameter;
    block(&setParameter);
    EXPECT_EQ(9u, setParameter.inID);
    EXPECT_EQ(4u, setParameter.inElement);
    EXPECT_EQ(0.625f, setParameter.inValue);
    EXPECT_EQ(17u, setParameter.inBufferOffsetInFrames);

    AudioUnitParameterValue value = 0;
    ASSERT_EQ(noErr, AudioUnitGetParameter(unit, 9, 0, 4, &value));
    header(6, sizeof(AudioUnitGetParameterParams));
    EXPECT_EQ(0.625f, value);
    AudioUnitGetParameterParams getParameter;
    block(&getParameter);
    EXPECT_EQ(9u, getParameter.inID);
    EXPECT_EQ(&value, getParameter.outValue);

    EXPECT_EQ(1, AudioUnitInitialize(unit));
    header(1, sizeof(AudioUnitNoArgumentsParams));
    EXPECT_EQ(2, AudioUnitUninitialize(unit));
    header(2, sizeof(AudioUnitNoArgumentsParams));

    EXPECT_EQ(9, AudioUnitReset(unit, 1, 6));
    header(9, sizeof(AudioUnitResetParams));
    AudioUnitResetParams reset;
    block(&reset);
    EXPECT_EQ(1u, reset.inScope);
    EXPECT_EQ(6u, reset.inElement);

    AudioUnitPropertyListenerProc listener = [](void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {};
    int userData = 0;
    for (SInt16 selector : {10, 11, 18}) {
        const OSStatus status =
            selector == 10   ? AudioUnitAddPropertyListener(unit, 30, listener, &userData)
            : selector == 11 ? AudioUnitRemovePropertyListener(unit, 30, listener)
                             : AudioUnitRemovePropertyListenerWithUserData(unit, 30, listener, &userData);
        EXPECT_EQ(noErr, status) << "the component keeps property listeners";
        header(selector, sizeof(AudioUnitPropertyListenerParams));
        AudioUnitPropertyListenerParams p;
        block(&p);
        EXPECT_EQ(30u, p.inID);
        EXPECT_EQ(listener, p.inProc);
        EXPECT_EQ(selector == 11 ? nullptr : &userData, p.inProcUserData);
    }

    AURenderCallback notify = [](void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                                 AudioBufferList*) -> OSStatus { return noErr; };
    for (SInt16 selector : {15, 16}) {
        EXPECT_EQ(selector, selector == 15 ? AudioUnitAddRenderNotify(unit, notify, &userData)
                                           : AudioUnitRemoveRenderNotify(unit, notify, &userData));
        header(selector, sizeof(AudioUnitRenderNotifyParams));
        AudioUnitRenderNotifyParams p;
        block(&p);
        EXPECT_EQ(notify, p.inProc);
        EXPECT_EQ(&userData, p.inProcUserData);
    }

    AudioUnitRenderActionFlags flags = kAudioUnitRenderAction_PreRender;
    AudioTimeStamp time = {};
    AudioBufferList buffers = {};
    EXPECT_EQ(14, AudioUnitRender(unit, &flags, &time, 1, 512, &buffers));
    header(14, sizeof(AudioUnitRenderParams));
    AudioUnitRenderParams render;
    block(&render);
    EXPECT_EQ(&flags, render.ioActionFlags);
    EXPECT_EQ(&time, render.inTimeStamp);
    EXPECT_EQ(1u, render.inOutputBusNumber);
    EXPECT_EQ(512u, render.inNumberFrames);
    EXPECT_EQ(&buffers, render.ioData);

    AudioUnitParameterEvent events[3] = {};
    EXPECT_EQ(17, AudioUnitScheduleParameters(unit, events, 3));
    header(17, sizeof(AudioUnitScheduleParametersParams));
    AudioUnitScheduleParametersParams schedule;
    block(&schedule);
    EXPECT_EQ(events, schedule.inParameterEvent);
    EXPECT_EQ(3u, schedule.inNumParamEvents);

    EXPECT_EQ(257, MusicDeviceMIDIEvent(unit, 0x90, 60, 100, 33));
    header(257, sizeof(MusicDeviceMIDIEventParams));
    MusicDeviceMIDIEventParams midi;
    block(&midi);
    EXPECT_EQ(0x90u, midi.inStatus);
    EXPECT_EQ(60u, midi.inData1);
    EXPECT_EQ(100u, midi.inData2);
    EXPECT_EQ(33u, midi.inOffsetSampleFrame);

    EXPECT_EQ(0, ComponentFunctionImplemented(unit, 42));
    header(kComponentCanDoSelect, sizeof(ComponentCanDoParams));
    EXPECT_EQ(42, reinterpret_cast<const ComponentCanDoParams*>(test.lastBlock())->selector);

    EXPECT_EQ(noErr, CloseComponent(unit));
    const auto* close = reinterpret_cast<const ComponentInstanceParams*>(test.lastBlock());
    EXPECT_EQ(kComponentCloseSelect, close->what);
    EXPECT_EQ(unit, close->instance);
}
