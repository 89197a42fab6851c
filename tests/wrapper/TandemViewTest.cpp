// The properties around the mapping and the view, as a host uses them: value
// strings through the effect's Tandem conversions, element names, chains of
// units, and the editor as the unit's view.

#include "TandemScratchComponent.h"

#include "wrapper/TandemView.h"

#include "../support/PrivateX11.h"

#include <CoreFoundation/CFRunLoop.h>

#include <cmath>

namespace {

OSStatus stringFromValue(AudioUnit unit, AudioUnitParameterID id, const AudioUnitParameterValue* value,
                         std::string& result)
{
    AudioUnitParameterStringFromValue request = {id, value, nullptr};
    UInt32 size = sizeof request;
    const OSStatus status = AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterStringFromValue,
                                                 kAudioUnitScope_Global, 0, &request, &size);
    result = request.outString ? text(request.outString) : "";
    if (request.outString)
        CFRelease(request.outString);
    return status;
}

OSStatus valueFromString(AudioUnit unit, AudioUnitParameterID id, const std::string& string,
                         AudioUnitParameterValue& value)
{
    CFStringRef text = CFStringCreateWithCString(nullptr, string.c_str(), kCFStringEncodingMacRoman);
    AudioUnitParameterValueFromString request = {id, text, -1.0f};
    UInt32 size = sizeof request;
    const OSStatus status = AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueFromString,
                                                 kAudioUnitScope_Global, 0, &request, &size);
    CFRelease(text);
    value = request.outValue;
    return status;
}

} // namespace

TEST(TandemValueStrings, TheEffectConvertsValuesAndTextsInTheMappingsRange)
{
    FakeTextState& fake = resetFakeText();
    ScratchComponent component(GRAVEL_FAKE_TEXT_BUNDLE);
    component.writeMapping(header + "1\tDrive\t0\t10\t?\t-\t0\r" + "2\tFlat\t0\t2\tA|B|C\t-\t0\r");
    auto opened = component.open();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;
    StderrCapture log;

    std::string shown;
    const AudioUnitParameterValue quarter = 2.5f;
    EXPECT_EQ(stringFromValue(unit, 1, &quarter, shown), noErr);
    EXPECT_EQ(shown, "2.5 dB") << "the effect was handed 0.25";
    fake.parameters[1] = 0.5f;
    EXPECT_EQ(stringFromValue(unit, 1, nullptr, shown), noErr);
    EXPECT_EQ(shown, "5.0 dB") << "without a value: the current display text";

    AudioUnitParameterValue value = -1;
    EXPECT_EQ(valueFromString(unit, 1, "7.5 dB", value), noErr);
    EXPECT_FLOAT_EQ(value, 7.5f);
    EXPECT_TRUE(log.contains(logLine(scratchName, "Trying to convert '7.5 dB' for parameter 1")));

    // A host string of any length reaches the effect cut and terminated.
    EXPECT_EQ(valueFromString(unit, 1, "1" + std::string(3000, '0'), value), noErr);
    EXPECT_TRUE(fake.textWasTerminated);
    EXPECT_EQ(fake.longestTextSeen, 2047);

    fake.conversionsFail = true;
    EXPECT_EQ(stringFromValue(unit, 1, &quarter, shown), kAudioUnitErr_InvalidProperty);
    EXPECT_TRUE(log.contains(
        logLine(scratchName, "Warning! Tandem extension 'sV2S' (value to string conversion) returned 0")));
    EXPECT_EQ(valueFromString(unit, 1, "1", value), kAudioUnitErr_InvalidProperty);
    EXPECT_TRUE(log.contains(
        logLine(scratchName, "Warning! Tandem extension 'sS2V' (string to value conversion) returned 0")));
    EXPECT_EQ(stringFromValue(unit, fakeTextParameterCount, nullptr, shown), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(valueFromString(unit, fakeTextParameterCount, "1", value), kAudioUnitErr_InvalidParameter);
}

TEST(TandemValueStrings, AreOfferedOnlyByAnEffectWithTheTandemExtensions)
{
    FakeTextState& fake = resetFakeText();
    fake.tandemExtensions = false;
    ScratchComponent component(GRAVEL_FAKE_TEXT_BUNDLE);
    component.writeMapping(header + "1\tDrive\t0\t10\t=\t-\t0\r");
    auto opened = component.open();
    ASSERT_EQ(opened->status, noErr);
    StderrCapture log;
    EXPECT_EQ(AudioUnitGetPropertyInfo(opened->unit, kAudioUnitProperty_ParameterStringFromValue,
                                       kAudioUnitScope_Global, 0, nullptr, nullptr),
              kAudioUnitErr_InvalidProperty);
    EXPECT_TRUE(
        log.contains(logLine(scratchName, "AU GetPropertyInfo: kAudioUnitProperty_ParameterStringFromValue (not supported)")));
    EXPECT_EQ(AudioUnitGetPropertyInfo(opened->unit, kAudioUnitProperty_ParameterValueFromString,
                                       kAudioUnitScope_Global, 0, nullptr, nullptr),
              kAudioUnitErr_InvalidProperty);
}

TEST(TandemElementNames, BusesAreNamedAfterTheirFirstPinsLabel)
{
    resetFakeBus();
    ScratchComponent component(GRAVEL_FAKE_BUS_BUNDLE);
    component.writeMapping(header);
    auto opened = component.open();
    ASSERT_EQ(opened->status, noErr);
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        CFStringRef name = nullptr;
        UInt32 size = sizeof name;
        ASSERT_EQ(AudioUnitGetProperty(opened->unit, kAudioUnitProperty_ElementName, scope, 0, &name, &size), noErr);
        EXPECT_EQ(text(name), scope == kAudioUnitScope_Input ? "I0" : "O0");
        CFRelease(name);
    }
    EXPECT_EQ(AudioUnitGetPropertyInfo(opened->unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Global, 0,
                                       nullptr, nullptr),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(AudioUnitGetPropertyInfo(opened->unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 1,
                                       nullptr, nullptr),
              kAudioUnitErr_InvalidElement);
}

// ---- two Gravel units in a chain ----

namespace {

constexpr UInt32 sliceFrames = 256;
constexpr int slices = 8;

OSStatus guitarSource(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp* timeStamp, UInt32, UInt32 frames,
                      AudioBufferList* ioData)
{
    for (UInt32 c = 0; c < ioData->mNumberBuffers; ++c) {
        float* data = static_cast<float*>(ioData->mBuffers[c].mData);
        for (UInt32 i = 0; i < frames; ++i) {
            const double t = (timeStamp->mSampleTime + i) / 44100.0;
            data[i] = float(0.4 * std::sin(2 * M_PI * 110.0 * t) + 0.1 * std::sin(2 * M_PI * (330.0 + c) * t));
        }
    }
    return noErr;
}

// Plays back what an earlier render produced, by sample time.
struct RecordedSource {
    std::vector<std::vector<float>> channels;
    static OSStatus render(void* reference, AudioUnitRenderActionFlags*, const AudioTimeStamp* timeStamp, UInt32,
                           UInt32 frames, AudioBufferList* ioData)
    {
        const auto& self = *static_cast<RecordedSource*>(reference);
        for (UInt32 c = 0; c < ioData->mNumberBuffers; ++c)
            std::memcpy(ioData->mBuffers[c].mData, self.channels[c].data() + size_t(timeStamp->mSampleTime),
                        frames * sizeof(float));
        return noErr;
    }
};

struct GravelUnit : OpenedUnit {
    GravelUnit() : OpenedUnit(GRAVEL_BUNDLE_DIR, "Grvl", "Bkfd")
    {
        if (unit)
            AudioUnitSetParameter(unit, 1, kAudioUnitScope_Global, 0, 7.0f, 0); // Drive
    }
    void feedFrom(AURenderCallback proc, void* reference)
    {
        AURenderCallbackStruct callback = {proc, reference};
        ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                       &callback, sizeof callback),
                  noErr);
    }
    std::vector<std::vector<float>> renderAll()
    {
        std::vector<std::vector<float>> out(2);
        for (int s = 0; s < slices; ++s) {
            BufferList buffers(2, sliceFrames);
            AudioUnitRenderActionFlags flags = 0;
            AudioTimeStamp stamp = sampleTime(double(s) * sliceFrames);
            EXPECT_EQ(AudioUnitRender(unit, &flags, &stamp, 0, sliceFrames, buffers.get()), noErr);
            for (UInt32 c = 0; c < 2; ++c)
                out[c].insert(out[c].end(), buffers.channel(c), buffers.channel(c) + sliceFrames);
        }
        return out;
    }
};

} // namespace

TEST(TandemConnections, TwoGravelUnitsInAChainRenderLikeTwoPassesThroughTheEffect)
{
    StderrCapture quiet;
    GravelUnit first, second;
    ASSERT_EQ(first.status, noErr);
    ASSERT_EQ(second.status, noErr);
    first.feedFrom(guitarSource, nullptr);
    AudioUnitConnection connection = {first.unit, 0, 0};
    ASSERT_EQ(AudioUnitSetProperty(second.unit, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                                   &connection, sizeof connection),
              noErr);
    ASSERT_EQ(AudioUnitInitialize(first.unit), noErr);
    ASSERT_EQ(AudioUnitInitialize(second.unit), noErr);
    const auto chained = second.renderAll();

    GravelUnit onePass, twoPasses;
    onePass.feedFrom(guitarSource, nullptr);
    ASSERT_EQ(AudioUnitInitialize(onePass.unit), noErr);
    RecordedSource firstPass{onePass.renderAll()};
    twoPasses.feedFrom(&RecordedSource::render, &firstPass);
    ASSERT_EQ(AudioUnitInitialize(twoPasses.unit), noErr);
    const auto expected = twoPasses.renderAll();

    EXPECT_TRUE(chained == expected) << "sample for sample";
    EXPECT_FALSE(expected == firstPass.channels) << "the second pass changes the sound";

    // Disconnected, the input format is the host's to set again.
    connection.sourceAudioUnit = nullptr;
    ASSERT_EQ(AudioUnitSetProperty(second.unit, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                                   &connection, sizeof connection),
              noErr);
    AudioStreamBasicDescription format = floatFormat(48000, 2);
    ASSERT_EQ(AudioUnitUninitialize(second.unit), noErr);
    EXPECT_EQ(AudioUnitSetProperty(second.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format,
                                   sizeof format),
              noErr)
        << "the input format is the host's again";
}

// ---- the view ----

namespace {

const Tandem20010220_CocoaViewFactoryRecord* viewFactory(AudioUnit unit, std::string* bundlePath = nullptr)
{
    AudioUnitCocoaViewInfo info = {nullptr, {nullptr}};
    UInt32 size = sizeof info;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info, &size) != noErr)
        return nullptr;
    CFBundleRef bundle = CFBundleCreate(nullptr, info.mCocoaAUViewBundleLocation);
    const void* factory = bundle ? CFBundleGetDataPointerForName(bundle, info.mCocoaAUViewClass[0]) : nullptr;
    if (bundlePath) {
        char path[1024] = {};
        CFURLGetFileSystemRepresentation(info.mCocoaAUViewBundleLocation, true, reinterpret_cast<UInt8*>(path),
                                         sizeof path);
        *bundlePath = path;
    }
    EXPECT_EQ(text(info.mCocoaAUViewClass[0]), kTandemCocoaViewFactoryName);
    CFRelease(info.mCocoaAUViewBundleLocation);
    CFRelease(info.mCocoaAUViewClass[0]);
    if (bundle)
        CFRelease(bundle);
    return static_cast<const Tandem20010220_CocoaViewFactoryRecord*>(factory);
}

void pumpIdle() { CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.06, false); }

// Runs the main loop (where the component idles its effect) until the
// condition holds, for 3 s at most: a loaded machine may delay the timer.
template <typename Condition>
bool pumpUntil(Condition condition)
{
    for (int i = 0; i < 100 && !condition(); ++i)
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.03, false);
    return condition();
}

} // namespace

TEST(TandemView, TheFactoryTheCocoaUIPropertyNamesEmbedsTheEditorUntilTheViewIsReleased)
{
    FakeTextState& fake = resetFakeText();
    fake.hasEditor = true;
    ScratchComponent component(GRAVEL_FAKE_TEXT_BUNDLE);
    component.writeMapping(header);
    auto opened = component.open();
    ASSERT_EQ(opened->status, noErr);
    AudioUnit unit = opened->unit;

    std::string bundlePath;
    const Tandem20010220_CocoaViewFactoryRecord* factory = viewFactory(unit, &bundlePath);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(fs::canonical(bundlePath), fs::canonical(component.bundle())) << "the factory is in the unit's bundle";
    EXPECT_EQ(factory->interfaceVersion, 0u);
    EXPECT_STREQ(factory->description, "Tandem Cocoa View");

    // Without a view the effect's size request is answered and changes nothing.
    fake.resizeOnIdleWidth = 300;
    fake.resizeOnIdleHeight = 150;
    EXPECT_TRUE(pumpUntil([&] { return fake.resizeOnIdleWidth == 0; }));
    EXPECT_EQ(fake.sizeWindowAnswer, 1);

    Tandem20010220_CocoaView* view = factory->uiViewForAudioUnit(unit, TandemViewSize{10, 10}, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(fake.editOpenCalls, 1);
    EXPECT_EQ(fake.lastEditParent, nullptr) << "an offscreen view";
    EXPECT_EQ(factory->frameSize(view).width, 200.0);
    EXPECT_EQ(factory->frameSize(view).height, 100.0);
    fake.resizeOnIdleWidth = 320;
    fake.resizeOnIdleHeight = 240;
    EXPECT_TRUE(pumpUntil([&] { return fake.resizeOnIdleWidth == 0; }));
    EXPECT_EQ(factory->frameSize(view).width, 320.0);
    EXPECT_EQ(factory->frameSize(view).height, 240.0);
    EXPECT_TRUE(pumpUntil([&] { return fake.editIdleCalls > 0; })) << "the open editor idles";
    EXPECT_EQ(factory->uiViewForAudioUnit(unit, TandemViewSize{10, 10}, 0), nullptr)
        << "one view at a time: the editor is never opened under an open one";
    EXPECT_EQ(fake.editOpenCalls, 1);

    factory->release(view);
    EXPECT_EQ(fake.editCloseCalls, 1);
    const int idles = fake.editIdleCalls;
    pumpIdle();
    EXPECT_EQ(fake.editIdleCalls, idles) << "a closed editor is not idled";
    opened->dispose();
    EXPECT_EQ(fake.editCloseCalls, 1) << "closed exactly once";
}

TEST(TandemView, AViewOutlivingItsUnitClosesTheEditorWithTheUnit)
{
    FakeTextState& fake = resetFakeText();
    fake.hasEditor = true;
    ScratchComponent component(GRAVEL_FAKE_TEXT_BUNDLE);
    component.writeMapping(header);
    auto opened = component.open();
    ASSERT_EQ(opened->status, noErr);
    const Tandem20010220_CocoaViewFactoryRecord* factory = viewFactory(opened->unit);
    ASSERT_NE(factory, nullptr);
    Tandem20010220_CocoaView* view = factory->uiViewForAudioUnit(opened->unit, TandemViewSize{0, 0}, 0);
    ASSERT_NE(view, nullptr);

    // The editor ends a drag as it closes, and a host's listener asks the
    // closing unit for the value: it is told no, and nothing freed is read.
    fake.endGestureOnEditClose = true;
    struct Asked {
        AudioUnit unit;
        std::vector<OSStatus> answers;
    } asked{opened->unit, {}};
    AUEventListenerRef listener = nullptr;
    ASSERT_EQ(AUEventListenerCreate(
                  [](void* reference, void*, const AudioUnitEvent*, UInt64, AudioUnitParameterValue) {
                      Asked* a = static_cast<Asked*>(reference);
                      AudioUnitParameterValue value = 0;
                      a->answers.push_back(AudioUnitGetParameter(a->unit, 0, kAudioUnitScope_Global, 0, &value));
                  },
                  &asked, nullptr, nullptr, 0.0f, 0.0f, &listener),
              noErr);
    AudioUnitEvent end = {};
    end.mEventType = kAudioUnitEvent_EndParameterChangeGesture;
    end.mArgument.mParameter = {opened->unit, 0, kAudioUnitScope_Global, 0};
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &end), noErr);

    opened->dispose();
    EXPECT_EQ(fake.editCloseCalls, 1);
    EXPECT_EQ(asked.answers, std::vector<OSStatus>{kAudioUnitErr_Uninitialized});
    factory->release(view);
    EXPECT_EQ(fake.editCloseCalls, 1);
    AUListenerDispose(listener);
}

TEST(TandemView, AnEffectWithoutEditorOffersNoView)
{
    resetFakeText();
    ScratchComponent component(GRAVEL_FAKE_TEXT_BUNDLE);
    component.writeMapping(header);
    auto opened = component.open();
    ASSERT_EQ(opened->status, noErr);
    StderrCapture log;
    EXPECT_EQ(AudioUnitGetPropertyInfo(opened->unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, nullptr,
                                       nullptr),
              kAudioUnitErr_InvalidProperty);
    EXPECT_TRUE(log.contains(logLine(scratchName, "VST has no editor")));
}

namespace {


std::vector<Window> childrenOf(Display* display, Window window)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    if (XQueryTree(display, window, &root, &parent, &children, &count) && children) {
        result.assign(children, children + count);
        XFree(children);
    }
    return result;
}

Window parentOf(Display* display, Window window)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, window, &root, &parent, &children, &count);
    if (children)
        XFree(children);
    return parent;
}


struct HeardEvent {
    AudioUnitEventType type;
    AudioUnitParameterValue value;
};

void recordEvent(void* reference, void*, const AudioUnitEvent* event, UInt64, AudioUnitParameterValue value)
{
    static_cast<std::vector<HeardEvent>*>(reference)->push_back(HeardEvent{event->mEventType, value});
}

} // namespace

// Gravel's pedal in a host's window: the view's window is a child of the
// host's, the editor's a child of the view's, and a drag on the Drive knob
// reaches the host's event listener as one gesture.
TEST(TandemView, GravelsEditorInAHostWindowSendsADragAsBeginChangeEnd)
{
    Xvfb server;
    if (!server.failure.empty())
        GTEST_SKIP() << server.failure << "; the X11 view test did not run";
    setenv("DISPLAY", server.display.c_str(), 1);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const Window host = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 400, 0, 0, 0);
    XMapWindow(display, host);
    XSync(display, False);

    StderrCapture quiet;
    {
        OpenedUnit opened(GRAVEL_BUNDLE_DIR, "Grvl", "Bkfd");
        ASSERT_EQ(opened.status, noErr);
        AudioUnit unit = opened.unit;
        const Tandem20010220_CocoaViewFactoryRecord* factory = viewFactory(unit);
        ASSERT_NE(factory, nullptr);

        std::vector<HeardEvent> heard;
        AUEventListenerRef listener = nullptr;
        ASSERT_EQ(AUEventListenerCreate(recordEvent, &heard, nullptr, nullptr, 0.0f, 0.0f, &listener), noErr);
        for (AudioUnitEventType type : {kAudioUnitEvent_ParameterValueChange,
                                        kAudioUnitEvent_BeginParameterChangeGesture,
                                        kAudioUnitEvent_EndParameterChangeGesture}) {
            AudioUnitEvent event;
            std::memset(&event, 0, sizeof event);
            event.mEventType = type;
            event.mArgument.mParameter = AudioUnitParameter{unit, 1, kAudioUnitScope_Global, 0}; // Drive
            ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);
        }

        Tandem20010220_CocoaView* view = factory->uiViewForAudioUnit(unit, TandemViewSize{0, 0}, host);
        ASSERT_NE(view, nullptr) << quiet.text();
        const Window own = factory->window(view);
        EXPECT_EQ(parentOf(display, own), host);
        EXPECT_EQ(factory->frameSize(view).width, 263.0);
        EXPECT_EQ(factory->frameSize(view).height, 350.0);
        const std::vector<Window> editorWindows = childrenOf(display, own);
        ASSERT_EQ(editorWindows.size(), 1u) << "the editor opened in the view's window";
        const Window editor = editorWindows[0];

        sendButton(display, editor, ButtonPress, 53, 50, 0);
        sendMotion(display, editor, 53, 30);
        sendButton(display, editor, ButtonRelease, 53, 30, Button1Mask);
        XFlush(display);
        for (int i = 0; i < 100 && (heard.empty() || heard.back().type != kAudioUnitEvent_EndParameterChangeGesture);
             ++i)
            CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.03, false);
        AUListenerDispose(listener);

        ASSERT_GE(heard.size(), 3u) << quiet.text();
        EXPECT_EQ(heard.front().type, kAudioUnitEvent_BeginParameterChangeGesture);
        EXPECT_EQ(heard.back().type, kAudioUnitEvent_EndParameterChangeGesture);
        for (size_t i = 1; i + 1 < heard.size(); ++i)
            EXPECT_EQ(heard[i].type, kAudioUnitEvent_ParameterValueChange);
        EXPECT_NEAR(heard[heard.size() - 2].value, 1.0f, 1e-4) << "Drive dragged to 0.1 of its 0..10";

        factory->release(view);
        XSync(display, False);
        EXPECT_TRUE(childrenOf(display, host).empty()) << "the view's window went with the view";

        // A parent that is not a window: no view, and the host is told so
        // instead of being taken down.
        EXPECT_EQ(factory->uiViewForAudioUnit(unit, TandemViewSize{0, 0}, 0x7ffff0), nullptr);
        EXPECT_NE(quiet.text().find("Could not create the view: The host's window for the view is not a window"),
                  std::string::npos);

        // A host that destroys its window before releasing the view.
        const Window doomed = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 300, 400, 0, 0, 0);
        XMapWindow(display, doomed);
        XSync(display, False);
        view = factory->uiViewForAudioUnit(unit, TandemViewSize{0, 0}, doomed);
        ASSERT_NE(view, nullptr);
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.06, false);
        XDestroyWindow(display, doomed);
        XSync(display, False);
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.06, false);
        factory->release(view);
    }
    XDestroyWindow(display, host);
    XCloseDisplay(display);
}
