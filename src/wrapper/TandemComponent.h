#pragma once

// TandemComponent: one AudioUnit instance around a hosted VST 2.4 effect.
// The component entry (TandemEntry) makes one per opened instance and hands it
// every AudioUnit request; the component answers them with the help of one
// small object per concern, each owning its own state:
//
//   TandemHostCallback   what the effect calls back (TandemHostCallback.cpp)
//   TandemNotifier       property listeners, render notifications, and the
//                        notifications the render thread queues
//   TandemRenderer       buses, pin buffers, inputs and the render itself
//   TandemParameterMap   the published parameters and their one scaling
//   TandemPresetStore    factory presets, preset files, the current preset
//                        and the document state (ClassInfo)
//   TandemViewHost       the view that embeds the effect's editor
//
// The component itself builds them in order (TandemComponent.cpp), answers
// the selectors (TandemDispatch.cpp) and the properties
// (TandemProperties.cpp), and adapts to its bundle and host
// (TandemConfiguration.cpp). Every failure is an exception (TandemException
// or MacOSException) that the entry turns into a status, except on the render
// thread, where throwing would allocate: render answers with a status.

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <Carbon/Carbon.h>
#include <CoreServices/CoreServices.h>

#include "wrapper/TandemConfiguration.h"
#include "wrapper/TandemHostCallback.h"
#include "wrapper/TandemNotifications.h"
#include "wrapper/TandemParameterMapping.h"
#include "wrapper/TandemPresets.h"
#include "wrapper/TandemRender.h"
#include "wrapper/TandemView.h"
#include "hosting/VSTPlugIn.h"

#include <memory>
#include <string>

class TandemComponent {
public:
    // Seconds between two idle calls of the effect (and its editor).
    static constexpr double idleInterval = 0.025;

    enum HostApplication {
        hostUndetermined = 0,
        hostLogic7OrOlder = 1,
        hostGarageBand41OrOlder = 2,
        hostLogic80 = 3
    };

    explicit TandemComponent(ComponentInstance instance);
    ~TandemComponent();

    TandemComponent(const TandemComponent&) = delete;
    TandemComponent& operator=(const TandemComponent&) = delete;

    // The AudioUnit selectors (1 and up); every failure is an exception.
    void dispatch(ComponentParameters* params);
    // The real-time selectors (render, scheduled parameters): no exception,
    // no allocation, no lock.
    OSStatus dispatchRealtime(ComponentParameters* params) noexcept;
    static bool isRealtimeSelector(SInt16 selector);
    // The version of the component's registration ('thng' resource).
    long componentVersion() const;

    // The view factory's work: opens the editor in a view of ours; the host
    // owns the view and releases it, which drops it here.
    Tandem20010220_CocoaView* createView(unsigned long parentWindow) { return view->create(parentWindow); }

    // Called back through TandemHostCallback.
    TandemNotifier& getNotifier() { return *notifier; }
    VstTimeInfo& getTimeInfo() { return renderer->timeInfo(); }
    void effectDisplayChanged();
    void effectAskedForSize(int width, int height) { view->resize(width, height); }

    // The main event loop's timer procedure: delivers what the render thread
    // queued and idles the component's effect.
    static void idleTimerAction(EventLoopTimerRef timer, void* component);
    static EventLoopTimerUPP idleTimerUPP;

private:
    // Construction steps, in the order the constructor runs them.
    void copyComponentName();
    CFURLRef createOwnExecutableURL();
    CFBundleRef createEffectBundle();
    void checkAndProbeEffect();
    void buildSupportedChannels();
    void tryToIdentifyHostApplication();
    void installIdleTimer();
    void tearDown();

    // Selector helpers
    void initialize();
    void uninitialize();
    void checkGlobalScope(AudioUnitScope scope) const;
    void checkParameter(AudioUnitParameterID id) const;
    OSStatus scheduleParameters(const AudioUnitParameterEvent* events, UInt32 count) noexcept;
    void queueMidiEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset);
    void reset(AudioUnitScope scope);

    // Properties (TandemProperties.cpp)
    void getPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         bool& readable, bool& writable, UInt32& minimumSize, UInt32& size);
    void getProperty(UInt32* ioDataSize, void* outData, AudioUnitElement element, AudioUnitScope scope,
                     AudioUnitPropertyID id);
    void setProperty(UInt32 dataSize, const void* data, AudioUnitElement element, AudioUnitScope scope,
                     AudioUnitPropertyID id);
    void propertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element)
    {
        notifier->propertyChanged(id, scope, element);
    }
    void presetChanged();
    void setFormat(AudioUnitScope scope, AudioUnitElement bus, const AudioStreamBasicDescription& format);
    void setSampleRate(Float64 rate);
    void setMaximumFramesPerSlice(UInt32 frames);
    void setMakeConnection(AudioUnitElement element, const AudioUnitConnection& connection);
    void setRenderCallback(AudioUnitElement element, const AURenderCallbackStruct& callback);
    void setHostCallbacks(UInt32 dataSize, const void* data);
    void getParameterStringFromValue(AudioUnitParameterStringFromValue& request);
    void getParameterValueFromString(AudioUnitParameterValueFromString& request);
    bool updateInitialDelayTime();
    bool updateTailTime();
    void updateInitialDelayAndTailTimes();

    ComponentInstance auInstance;
    // The instance's own "Maker: Name", which names its preset folder.
    std::string componentName;
    CFBundleRef auBundle = nullptr;
    // The bundle's Resources folder, where the parameter mapping and factory
    // preset files live (a path: this platform's files are named by paths).
    std::string resourcesFolder;
    TandemConfiguration configuration;
    int hostApplication = hostUndetermined;

    // Torn down in the reverse order: the timer first, so nothing idles a
    // half-closed effect; the view before the effect it embeds; the effect
    // before the tables its callbacks still read.
    std::unique_ptr<TandemNotifier> notifier;
    std::unique_ptr<TandemHostCallback> hostCallback;
    std::unique_ptr<TandemParameterMap> parameters;
    std::unique_ptr<TandemPresetStore> presets;
    std::unique_ptr<TandemRenderer> renderer;
    std::unique_ptr<VSTPlugIn> vst;
    std::unique_ptr<TandemViewHost> view;
    EventLoopTimerRef idleTimer = nullptr;
    // Set when tear-down starts: a host's listener may call in while the
    // effect closes, and is told the unit is no longer there.
    bool closing = false;

    bool vstSupportsTandemExtensions = false;
    bool vstSupportsTailTime = false;
    bool vstSupportsBypass = false;
    bool isBypassing = false;
    double initialDelayTime = 0.0;
    double tailTime = 0.0;
    int supportedChannelCount = 0;
    AUChannelInfo supportedChannels[4] = {};
};

// The hosting application by its bundle identifier and short version string
// (either may be null); one of TandemComponent::HostApplication.
int identifyHostApplication(CFStringRef identifier, CFTypeRef version);
