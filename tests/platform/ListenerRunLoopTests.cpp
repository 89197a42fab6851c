// Listeners between the host and two component bundles in one process, and
// the main loop's timers as a host pumps them.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <AudioToolbox/AudioToolbox.h>
#include <Carbon/Carbon.h>

#include "ComponentTestSupport.h"

namespace {

struct Heard {
    AudioUnitEvent event;
    void* object;
    AudioUnitParameterValue value;
    std::thread::id thread;
};

void recordEvent(void* refCon, void* object, const AudioUnitEvent* event, UInt64, AudioUnitParameterValue value) {
    static_cast<std::vector<Heard>*>(refCon)->push_back({*event, object, value, std::this_thread::get_id()});
}

void recordParameter(void* refCon, void* object, const AudioUnitParameter* parameter, AudioUnitParameterValue value) {
    AudioUnitEvent event = {};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter = *parameter;
    static_cast<std::vector<Heard>*>(refCon)->push_back({event, object, value, std::this_thread::get_id()});
}

AudioUnitEvent parameterEvent(AudioUnitEventType type, AudioUnit unit, AudioUnitParameterID id) {
    AudioUnitEvent event = {};
    event.mEventType = type;
    event.mArgument.mParameter = {unit, id, kAudioUnitScope_Global, 0};
    return event;
}

AudioUnitEvent propertyEvent(AudioUnit unit, AudioUnitPropertyID id) {
    AudioUnitEvent event = {};
    event.mEventType = kAudioUnitEvent_PropertyChange;
    event.mArgument.mProperty = {unit, id, kAudioUnitScope_Global, 0};
    return event;
}

class Listeners : public ::testing::Test {
protected:
    void SetUp() override {
        unitA = OpenComponent(findComponent("tstA"));
        unitB = OpenComponent(findComponent("tstB"));
        ASSERT_NE(nullptr, unitA);
        ASSERT_NE(nullptr, unitB);
        bundleA = testFunctions(unitA);
        bundleB = testFunctions(unitB);
        ASSERT_TRUE(bundleA.valid() && bundleB.valid());
        ASSERT_NE(bundleA.notify, bundleB.notify) << "two bundles, two copies of the test code";
    }
    void TearDown() override {
        CloseComponent(unitA);
        CloseComponent(unitB);
    }

    AudioUnit unitA = nullptr;
    AudioUnit unitB = nullptr;
    TestComponentFunctions bundleA;
    TestComponentFunctions bundleB;
};

}  // namespace

TEST_F(Listeners, WithoutRunLoopTheyHearOnTheNotifyingThreadWhatTheySubscribedTo) {
    std::vector<Heard> events;
    std::vector<Heard> parameters;
    AUEventListenerRef eventListener = nullptr;
    AUParameterListenerRef parameterListener = nullptr;
    ASSERT_EQ(noErr, AUEventListenerCreate(recordEvent, &events, nullptr, nullptr, 0.1f, 0.0f, &eventListener));
    ASSERT_EQ(noErr, AUListenerCreate(recordParameter, &parameters, nullptr, nullptr, 0.1f, &parameterListener));
    int objectA = 0;
    int objectB = 0;
    const AudioUnitEvent valueA = parameterEvent(kAudioUnitEvent_ParameterValueChange, unitA, 5);
    const AudioUnitEvent gestureA = parameterEvent(kAudioUnitEvent_BeginParameterChangeGesture, unitA, 5);
    const AudioUnitEvent propertyB = propertyEvent(unitB, kAudioUnitProperty_ParameterList);
    ASSERT_EQ(noErr, AUEventListenerAddEventType(eventListener, &objectA, &valueA));
    ASSERT_EQ(noErr, AUEventListenerAddEventType(eventListener, &objectA, &gestureA));
    ASSERT_EQ(noErr, AUEventListenerAddEventType(eventListener, &objectB, &propertyB));
    const AudioUnitParameter anyOfB = {unitB, kAUParameterListener_AnyParameter, kAudioUnitScope_Global, 0};
    ASSERT_EQ(noErr, AUListenerAddParameter(parameterListener, &objectB, &anyOfB));

    // Component A announces its own change; the value is read back from it.
    ASSERT_EQ(noErr, AudioUnitSetParameter(unitA, 5, kAudioUnitScope_Global, 0, 0.25f, 0));
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(kAudioUnitEvent_ParameterValueChange, events[0].event.mEventType);
    EXPECT_EQ(unitA, events[0].event.mArgument.mParameter.mAudioUnit);
    EXPECT_EQ(&objectA, events[0].object);
    EXPECT_EQ(0.25f, events[0].value);
    EXPECT_EQ(std::this_thread::get_id(), events[0].thread);
    EXPECT_TRUE(parameters.empty()) << "subscribed to B only";

    ASSERT_EQ(noErr, AudioUnitSetParameter(unitA, 6, kAudioUnitScope_Global, 0, 0.5f, 0));
    ASSERT_EQ(noErr, bundleA.notify(&gestureA));
    const AudioUnitEvent endGestureA = parameterEvent(kAudioUnitEvent_EndParameterChangeGesture, unitA, 5);
    ASSERT_EQ(noErr, bundleA.notify(&endGestureA));
    ASSERT_EQ(2u, events.size()) << "parameter 6 and the end gesture were not subscribed to";
    EXPECT_EQ(kAudioUnitEvent_BeginParameterChangeGesture, events[1].event.mEventType);

    // Bundle B's property change and value change, then the host's own notification.
    const AudioUnitEvent propertyOfA = propertyEvent(unitA, kAudioUnitProperty_ParameterList);
    ASSERT_EQ(noErr, bundleB.notify(&propertyOfA));
    ASSERT_EQ(noErr, bundleB.notify(&propertyB));
    ASSERT_EQ(3u, events.size());
    EXPECT_EQ(kAudioUnitEvent_PropertyChange, events[2].event.mEventType);
    EXPECT_EQ(&objectB, events[2].object);
    ASSERT_EQ(noErr, AudioUnitSetParameter(unitB, 2, kAudioUnitScope_Global, 0, 0.75f, 0));
    ASSERT_EQ(1u, parameters.size());
    EXPECT_EQ(2u, parameters[0].event.mArgument.mParameter.mParameterID);
    EXPECT_EQ(0.75f, parameters[0].value);
    const AudioUnitParameter parameter2OfB = {unitB, 2, kAudioUnitScope_Global, 0};
    ASSERT_EQ(noErr, AUParameterListenerNotify(parameterListener, nullptr, &parameter2OfB));
    EXPECT_EQ(1u, parameters.size()) << "a sender does not hear itself";
    ASSERT_EQ(noErr, AUParameterListenerNotify(nullptr, nullptr, &parameter2OfB));
    EXPECT_EQ(2u, parameters.size());

    ASSERT_EQ(noErr, AUEventListenerRemoveEventType(eventListener, &objectB, &propertyB));
    ASSERT_EQ(noErr, bundleB.notify(&propertyB));
    EXPECT_EQ(3u, events.size());
    EXPECT_EQ(noErr, AUListenerDispose(eventListener));
    EXPECT_EQ(noErr, AUListenerDispose(parameterListener));
    EXPECT_EQ(paramErr, AUListenerDispose(parameterListener));
}

TEST_F(Listeners, WithRunLoopTheyHearWhenThatLoopRuns) {
    ASSERT_EQ(CFRunLoopGetMain(), CFRunLoopGetCurrent()) << "tests run on the process's first thread";
    std::vector<Heard> events;
    AUEventListenerRef listener = nullptr;
    ASSERT_EQ(noErr, AUEventListenerCreate(recordEvent, &events, CFRunLoopGetMain(), kCFRunLoopDefaultMode, 0.1f,
                                           0.0f, &listener));
    const AudioUnitEvent propertyA = propertyEvent(unitA, kAudioUnitProperty_Latency);
    ASSERT_EQ(noErr, AUEventListenerAddEventType(listener, nullptr, &propertyA));

    std::thread worker([&] { bundleA.notify(&propertyA); });
    worker.join();
    EXPECT_TRUE(events.empty()) << "nothing before the main loop runs";
    EXPECT_EQ(kCFRunLoopRunHandledSource, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 5.0, true));
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(std::this_thread::get_id(), events[0].thread);

    // A delivery still queued when the listener goes is dropped.
    ASSERT_EQ(noErr, bundleA.notify(&propertyA));
    ASSERT_EQ(noErr, AUListenerDispose(listener));
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.0, false);
    EXPECT_EQ(1u, events.size());
}

// The component calls its property listeners and posts property events only
// while it has none; an event listener keeps a property listener of its own on
// the unit, so it hears its properties beside the host's direct listener.
TEST_F(Listeners, EventListenerHearsPropertiesBesideADirectPropertyListener) {
    std::vector<AudioUnitPropertyID> direct;
    AudioUnitPropertyListenerProc directProc = [](void* heard, AudioUnit, AudioUnitPropertyID id, AudioUnitScope,
                                                  AudioUnitElement) {
        static_cast<std::vector<AudioUnitPropertyID>*>(heard)->push_back(id);
    };
    ASSERT_EQ(noErr, AudioUnitAddPropertyListener(unitA, kAudioUnitProperty_Latency, directProc, &direct));
    std::vector<Heard> events;
    AUEventListenerRef listener = nullptr;
    ASSERT_EQ(noErr, AUEventListenerCreate(recordEvent, &events, CFRunLoopGetMain(), kCFRunLoopDefaultMode, 0.1f,
                                           0.0f, &listener));
    int object = 0;
    AudioUnitEvent formatOfInput = propertyEvent(unitA, kAudioUnitProperty_StreamFormat);
    formatOfInput.mArgument.mProperty.mScope = kAudioUnitScope_Input;
    ASSERT_EQ(noErr, AUEventListenerAddEventType(listener, &object, &formatOfInput));
    ASSERT_EQ(noErr, AUEventListenerAddEventType(listener, &object, &formatOfInput));
    EXPECT_EQ(2, bundleA.propertyListenerCount(unitA)) << "one property listener per unit and property";

    bundleA.changeProperty(unitA, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0);
    bundleA.changeProperty(unitA, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0);
    bundleA.changeProperty(unitA, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0);
    EXPECT_TRUE(events.empty()) << "delivered through the listener's run loop";
    while (CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.0, true) == kCFRunLoopRunHandledSource) {}
    ASSERT_EQ(1u, events.size()) << "only the subscribed scope, once";
    EXPECT_EQ(kAudioUnitEvent_PropertyChange, events[0].event.mEventType);
    EXPECT_EQ(unitA, events[0].event.mArgument.mProperty.mAudioUnit);
    EXPECT_EQ(kAudioUnitProperty_StreamFormat, events[0].event.mArgument.mProperty.mPropertyID);
    EXPECT_EQ(kAudioUnitScope_Input, events[0].event.mArgument.mProperty.mScope);
    EXPECT_EQ(&object, events[0].object);
    EXPECT_EQ(std::vector<AudioUnitPropertyID>{kAudioUnitProperty_Latency}, direct);

    // Removing the event type, and disposing of the listener, take its property listener off the unit.
    ASSERT_EQ(noErr, AUEventListenerRemoveEventType(listener, &object, &formatOfInput));
    EXPECT_EQ(1, bundleA.propertyListenerCount(unitA));
    bundleA.changeProperty(unitA, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.0, false);
    EXPECT_EQ(1u, events.size());
    ASSERT_EQ(noErr, AUEventListenerAddEventType(listener, nullptr, &formatOfInput));
    EXPECT_EQ(2, bundleA.propertyListenerCount(unitA));
    ASSERT_EQ(noErr, AUListenerDispose(listener));
    EXPECT_EQ(1, bundleA.propertyListenerCount(unitA));
    ASSERT_EQ(noErr, AudioUnitRemovePropertyListener(unitA, kAudioUnitProperty_Latency, directProc));
    EXPECT_EQ(0, bundleA.propertyListenerCount(unitA));
}

namespace {

struct TimerCount {
    int calls = 0;
    int removeAtCall = 0;  // 0: never
    std::thread::id thread;
};

void countCall(EventLoopTimerRef timer, void* userData) {
    auto* count = static_cast<TimerCount*>(userData);
    ++count->calls;
    count->thread = std::this_thread::get_id();
    if (count->calls == count->removeAtCall) RemoveEventLoopTimer(timer);
}

// Pumps the main loop as a host does until the timer has fired often enough.
void pumpUntil(const TimerCount& count, int calls) {
    for (int slice = 0; slice < 400 && count.calls < calls; ++slice)
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.025, false);
}

}  // namespace

TEST(MainLoop, RepeatingTimerFiresWhileTheHostPumpsAndStopsWhenRemoved) {
    EventLoopTimerUPP procedure = NewEventLoopTimerUPP(countCall);
    TimerCount count;
    EventLoopTimerRef timer = nullptr;
    ASSERT_EQ(noErr, InstallEventLoopTimer(GetMainEventLoop(), 0.025 * kEventDurationSecond,
                                           0.025 * kEventDurationSecond, procedure, &count, &timer));
    EXPECT_EQ(0, count.calls) << "nothing fires before the loop runs";
    pumpUntil(count, 3);
    EXPECT_GE(count.calls, 3);
    EXPECT_EQ(std::this_thread::get_id(), count.thread);

    ASSERT_EQ(noErr, RemoveEventLoopTimer(timer));
    const int callsAtRemoval = count.calls;
    EXPECT_EQ(kCFRunLoopRunFinished, CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.1, false))
        << "nothing is left on the loop";
    EXPECT_EQ(callsAtRemoval, count.calls);

    // A timer may remove itself from its own procedure.
    TimerCount selfRemoving;
    selfRemoving.removeAtCall = 2;
    ASSERT_EQ(noErr, InstallEventLoopTimer(GetMainEventLoop(), 0.0, 0.025, procedure, &selfRemoving, &timer));
    pumpUntil(selfRemoving, 3);
    EXPECT_EQ(2, selfRemoving.calls);
    DisposeEventLoopTimerUPP(procedure);

    EXPECT_EQ(paramErr, InstallEventLoopTimer(nullptr, 0.0, 0.025, procedure, &count, &timer));
}
