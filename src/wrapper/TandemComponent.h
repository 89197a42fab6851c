#pragma once

// TandemComponent: one AudioUnit instance around a hosted VST 2.4 effect.
// The component entry (TandemEntry) makes one per opened instance and hands it
// every AudioUnit request; the component answers them by driving its
// VSTPlugIn. Every failure is an exception (TandemException or MacOSException)
// that the entry turns into a status.
//
// The sources follow the component's concerns: TandemComponent.cpp
// (construction and tear-down), TandemDispatch.cpp (selectors),
// TandemProperties.cpp, TandemRender.cpp, TandemConfiguration.cpp
// (configuration, host identification, idle timer), TandemParameterMapping.cpp
// and TandemPresets.cpp.

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <Carbon/Carbon.h>
#include <CoreServices/CoreServices.h>

#include "plugin/VstInterface.h"
#include "wrapper/VSTHost.h"
#include "wrapper/VSTPlugIn.h"

#include <cstddef>
#include <string>

// The MIDI queue handed to the effect: a VstEvents record with room for the
// whole queue.
struct Tandem20010220_CocoaView;
namespace gravel_files {
struct FolderItem;
}

struct TandemVstEvents {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[1024];
};
static_assert(offsetof(TandemVstEvents, events) == offsetof(VstEvents, events),
              "the queue is handed to the effect as a VstEvents record");

class TandemComponent : public VSTHost {
public:
    static constexpr int maxBuses = 32;
    static constexpr int maxPins = 32;
    static constexpr int maxPropertyListeners = 128;
    static constexpr int maxRenderNotifies = 128;
    static constexpr int maxFactoryPresets = 128;
    static constexpr int maxAUParameters = 1024;
    static constexpr int maxMidiEvents = 1024;
    // The sample time that stands for "no slice rendered yet".
    static constexpr double noSampleTime = -12345678.0;
    // Seconds between two idle calls of the effect (and its editor).
    static constexpr double idleInterval = 0.025;

    enum HostApplication {
        hostUndetermined = 0,
        hostLogic7OrOlder = 1,
        hostGarageBand41OrOlder = 2,
        hostLogic80 = 3
    };

    explicit TandemComponent(ComponentInstance instance);
    ~TandemComponent() override;

    TandemComponent(const TandemComponent&) = delete;
    TandemComponent& operator=(const TandemComponent&) = delete;

    // The AudioUnit selectors (1 and up); every failure is an exception.
    void dispatch(ComponentParameters* params);
    // The version of the component's registration ('thng' resource).
    long componentVersion() const;

    // VSTHost
    void getVendor(VSTPlugIn* plugIn, char* text) override;
    void getProduct(VSTPlugIn* plugIn, char* text) override;
    int getVersion(VSTPlugIn* plugIn) override;
    bool canDo(VSTPlugIn* plugIn, const char* question) override;
    VstTimeInfo* getTimeInfo(VSTPlugIn* plugIn, int flags) override;
    void beginEdit(VSTPlugIn* plugIn, int parameter) override;
    void automate(VSTPlugIn* plugIn, int parameter, float value) override;
    void endEdit(VSTPlugIn* plugIn, int parameter) override;
    bool isIOPinConnected(VSTPlugIn* plugIn, bool isOutput, int pin) override;
    void idle(VSTPlugIn* plugIn) override;
    void updateDisplay(VSTPlugIn* plugIn) override;
    void resizeWindow(VSTPlugIn* plugIn, int width, int height) override;

    // The view that embeds the effect's editor (the view factory's work):
    // opens the editor in it; the host owns the view and releases it, which
    // drops it here.
    Tandem20010220_CocoaView* createView(unsigned long parentWindow);
    void dropView();

    // Properties
    void getPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         bool& readable, bool& writable, UInt32& minimumSize, UInt32& size);
    void getProperty(UInt32* ioDataSize, void* outData, AudioUnitElement element,
                     AudioUnitScope scope, AudioUnitPropertyID id);
    void setProperty(UInt32 dataSize, const void* data, AudioUnitElement element,
                     AudioUnitScope scope, AudioUnitPropertyID id);
    void propertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element);

    // Parameter values between the mapping's AudioUnit range and the VST
    // range 0..1; indexed and boolean parameters round to whole numbers.
    float scaleToAUParameter(int index, float value) const;
    float scaleFromAUParameter(int index, float value) const;

    // Rendering
    void render(AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                UInt32 bus, UInt32 frames, AudioBufferList* ioData);
    bool collectInputAudio(UInt32 frames, float** inputPointers, const AudioTimeStamp* timeStamp);
    void renderOutput(UInt32 frames, float** inputPointers, float** outputPointers,
                      bool inputIsSilent);
    void updateFormat(AudioUnitScope scope, AudioUnitElement bus,
                      const AudioStreamBasicDescription& format);
    bool updateSampleRate(Float64 rate);
    void updateMaxFramesPerSlice(int frames);
    void reallocateIOBuffers();
    bool updateInitialDelayTime();
    bool updateTailTime();
    void updateInitialDelayAndTailTimes();

    int getMaxInputChannels(int bus) const { return inputBusFirstPin[bus + 1] - inputBusFirstPin[bus]; }
    int getMaxOutputChannels(int bus) const { return outputBusFirstPin[bus + 1] - outputBusFirstPin[bus]; }
    int getActiveInputChannels(int bus) const { return inputBusActiveChannels[bus]; }
    int getActiveOutputChannels(int bus) const { return outputBusActiveChannels[bus]; }

    // The main event loop's timer procedure: idles the component's effect.
    static void idleTimerAction(EventLoopTimerRef timer, void* component);
    static EventLoopTimerUPP idleTimerUPP;

private:
    // Construction steps, in the order the constructor runs them.
    void copyComponentName();
    CFURLRef createOwnExecutableURL();
    void loadConfiguration();
    CFBundleRef createEffectBundle();
    void checkAndProbeEffect();
    void tryToIdentifyHostApplication();
    void buildBuses(bool input, bool sameWidthForAllBuses);
    void buildSupportedChannels();
    void readOrCreateParameterMapping();
    void readParameterMapping(const std::string& path);
    void createDefaultParameterMappingFile(const std::string& path);
    void loadOrCreateFactoryPresets();
    void convertVSTPresets();
    bool updateCurrentAUPreset();
    void installIdleTimer();

    // Presets (TandemPresets.cpp): dictionaries owned by the caller.
    CFMutableDictionaryRef createAUPresetWithVSTData(size_t size, const unsigned char* data, CFStringRef name);
    CFMutableDictionaryRef createAUPresetOfCurrentProgram(CFStringRef name);
    CFMutableDictionaryRef createAUPresetOfCurrentBank(CFStringRef name);
    // Appends the name of each preset file written to the list text.
    void createFactoryPresets(std::string& listText);
    void loadFactoryPresets(const std::string& listPath);
    void convertLoadedPrograms(const std::string& folder, std::string* listText);
    void convertVSTPresetsInDomain(short domain, const std::string& componentName);
    void convertVSTPreset(const gravel_files::FolderItem& file, bool isBank);
    void updateCurrentVSTProgramName(CFStringRef name);
    CFPropertyListRef createClassInfo();
    void setClassInfo(CFPropertyListRef preset);
    // CurrentPreset / PresentPreset; returns the bytes written.
    UInt32 getCurrentPreset(UInt32 bufferSize, void* outData, bool retainName);
    void setCurrentPreset(UInt32 dataSize, const void* data);
    void uninit();

    // Selector helpers
    void checkGlobalScope(AudioUnitScope scope) const;
    void checkParameter(AudioUnitParameterID id) const;
    float scaledToVST(AudioUnitParameterID id, AudioUnitParameterValue value) const;
    AudioUnitParameterValue scaledFromVST(AudioUnitParameterID id, float value) const;
    void addPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* ref);
    void removePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* ref);
    void addRenderNotify(AURenderCallback proc, void* ref);
    void removeRenderNotify(AURenderCallback proc, void* ref);
    void scheduleParameters(const AudioUnitParameterEvent* events, UInt32 count);
    void queueMidiEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset);
    void reset(AudioUnitScope scope);
    void callRenderNotifies(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                            UInt32 bus, UInt32 frames, AudioBufferList* ioData);

    // Property helpers
    void setMakeConnection(AudioUnitElement element, const AudioUnitConnection& connection);
    void setRenderCallback(AudioUnitElement element, const AURenderCallbackStruct& callback);
    void setHostCallbacks(UInt32 dataSize, const void* data);
    void setMaximumFramesPerSlice(UInt32 frames);
    void getParameterStringFromValue(AudioUnitParameterStringFromValue& request);
    void getParameterValueFromString(AudioUnitParameterValueFromString& request);
    // The bundle and factory class of the view; both references are the caller's.
    AudioUnitCocoaViewInfo copyCocoaViewInfo() const;
    void resizeView(int width, int height);
    void detachView();

    ComponentInstance auInstance;
    CFBundleRef auBundle;
    // The bundle's Resources folder, where the parameter mapping and factory
    // preset files live (a path: this platform's files are named by paths).
    std::string resourcesFolder;
    AudioStreamBasicDescription streamFormat;
    int maxFramesPerSlice;
    int renderNotifyCount;
    AURenderCallbackStruct renderNotifies[maxRenderNotifies];
    double lastRenderSampleTime;
    AudioUnitConnection inputConnections[maxBuses];
    AURenderCallbackStruct inputCallbacks[maxBuses];
    float* ioBuffers[maxPins];
    // Where host channels that have no pin of their own go (a stereo format
    // accepted on a mono bus): written by the host, never read by the effect.
    float* spareBuffer;
    bool outputIsSilent;
    int propertyListenerCount;
    struct AUPropertyListener {
        AudioUnitPropertyID id;
        AudioUnitPropertyListenerProc proc;
        void* reference;
    };
    AUPropertyListener propertyListeners[maxPropertyListeners];
    HostCallbackInfo hostCallbacks;
    AUPreset currentAUPreset;
    AUPreset factoryPresets[maxFactoryPresets];
    CFDataRef factoryPresetData[maxFactoryPresets];
    CFArrayRef factoryPresetArray;
    int mappedParameterCount;
    unsigned int auParameterList[maxAUParameters];
    AudioUnitParameterInfo* parameterInfos;
    CFArrayRef* parameterValueStrings;
    bool presetIsFXB, autoConvertPresets, updateNameOnLoad, canDoMonoIO;
    VSTPlugIn* vst;
    TandemVstEvents vstMidiEvents;
    VstTimeInfo vstTimeInfo;
    bool vstSupportsTandemExtensions;
    bool vstSupportsTailTime;
    double initialDelayTime;
    double tailTime;
    bool vstSupportsBypass;
    bool isBypassing;
    int inputBusCount, outputBusCount;
    int inputBusFirstPin[maxBuses + 1], outputBusFirstPin[maxBuses + 1];
    int inputBusActiveChannels[maxBuses + 1], outputBusActiveChannels[maxBuses + 1];
    CFStringRef inputBusNames[maxBuses], outputBusNames[maxBuses];
    int supportedChannelCount;
    AUChannelInfo supportedChannels[4];
    int hostApplication;
    EventLoopTimerRef idleTimer;
    void* cocoaView;
    int parameterCount; // the effect's numParams, fixed once the effect is open
};

// The hosting application by its bundle identifier and short version string
// (either may be null); one of TandemComponent::HostApplication.
int identifyHostApplication(CFStringRef identifier, CFTypeRef version);
