// Construction and tear-down of the component: find the own bundle, read the
// configuration, find and open the effect, build the buses from its pins and
// prepare everything rendering needs, in a fixed order.

#include "wrapper/TandemComponent.h"

#include "wrapper/TandemCF.h"
#include "wrapper/TandemException.h"
#include "wrapper/TandemLog.h"

#include <link.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr VstInt32 tandemHello = 0x73486921; // 'sHi!'

const char* supportText(bool supported) { return supported ? "supports" : "does not support"; }

CFURLRef createURLFromPath(const std::string& path, bool isDirectory)
{
    return CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault,
                                                   reinterpret_cast<const UInt8*>(path.data()),
                                                   CFIndex(path.size()), isDirectory);
}

std::string pathOfURL(CFURLRef url)
{
    char path[1024];
    if (!url || !CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(path), sizeof path))
        return std::string();
    return path;
}

// The loaded image that holds this code: its path, its index among the
// process's images and how many there are.
struct OwnImage {
    const void* address;
    std::string path;
    int index = -1;
    int count = 0;
};

int findOwnImage(dl_phdr_info* info, size_t, void* data)
{
    OwnImage& image = *static_cast<OwnImage*>(data);
    const auto address = reinterpret_cast<ElfW(Addr)>(image.address);
    for (ElfW(Half) i = 0; i < info->dlpi_phnum && image.index < 0; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        const ElfW(Addr) start = info->dlpi_addr + segment.p_vaddr;
        if (segment.p_type == PT_LOAD && address >= start && address < start + segment.p_memsz) {
            image.index = image.count;
            image.path = info->dlpi_name ? info->dlpi_name : "";
        }
    }
    ++image.count;
    return 0;
}

} // namespace

TandemComponent::TandemComponent(ComponentInstance instance)
    : auInstance(instance), auBundle(nullptr), streamFormat(), maxFramesPerSlice(4096),
      renderNotifyCount(0), renderNotifies(), lastRenderSampleTime(noSampleTime), inputConnections(),
      inputCallbacks(), ioBuffers(), spareBuffer(nullptr), outputIsSilent(false),
      propertyListenerCount(0), propertyListeners(), hostCallbacks(), currentAUPreset(),
      factoryPresets(), factoryPresetData(), factoryPresetArray(nullptr), mappedParameterCount(0),
      auParameterList(), parameterInfos(nullptr), parameterValueStrings(nullptr), presetIsFXB(false),
      autoConvertPresets(false), updateNameOnLoad(false), canDoMonoIO(false), vst(nullptr),
      vstMidiEvents(), vstTimeInfo(), vstSupportsTandemExtensions(false), vstSupportsTailTime(false),
      initialDelayTime(0.0), tailTime(0.0), vstSupportsBypass(false), isBypassing(false),
      inputBusCount(0), outputBusCount(0), inputBusFirstPin(), outputBusFirstPin(),
      inputBusActiveChannels(), outputBusActiveChannels(), inputBusNames(), outputBusNames(),
      supportedChannelCount(0), supportedChannels(), hostApplication(hostUndetermined),
      idleTimer(nullptr), cocoaView(nullptr), parameterCount(0)
{
    streamFormat.mSampleRate = 44100.0;
    streamFormat.mFormatID = kAudioFormatLinearPCM;
    streamFormat.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked |
                                kAudioFormatFlagIsNonInterleaved;
    streamFormat.mBytesPerPacket = 4;
    streamFormat.mFramesPerPacket = 1;
    streamFormat.mBytesPerFrame = 4;
    streamFormat.mChannelsPerFrame = 2;
    streamFormat.mBitsPerChannel = 32;
    currentAUPreset.presetNumber = -1;

    CFBundleRef effectBundle = nullptr;
    try {
        currentAUPreset.presetName = CFStringCreateWithCString(kCFAllocatorDefault, "Untitled",
                                                               kCFStringEncodingMacRoman);
        for (VstEvent*& slot : vstMidiEvents.events) {
            VstMidiEvent* event = new VstMidiEvent();
            event->type = kVstMidiType;
            event->byteSize = 24;
            slot = reinterpret_cast<VstEvent*>(event);
        }

        copyComponentName();

        {
            ScopedCFRef<CFURLRef> url(createOwnExecutableURL());
            // executable, its architecture folder, Contents
            for (int i = 0; i < 3; ++i) {
                url.reset(CFURLCreateCopyDeletingLastPathComponent(kCFAllocatorDefault, url.get()));
                if (!url.get())
                    throw TandemException("Could not remove last path component from URL");
            }
            auBundle = CFBundleCreate(kCFAllocatorDefault, url.get());
            if (!auBundle)
                throw TandemException("Could not create bundle from URL");
        }

        loadConfiguration();

        ScopedCFRef<CFURLRef> resourcesURL(CFBundleCopyResourcesDirectoryURL(auBundle));
        if (!resourcesURL.get())
            throw TandemException("Could not locate resources directory within bundle");
        resourcesFolder = pathOfURL(resourcesURL.get());
        if (resourcesFolder.empty())
            throw MacOSException(fnfErr);

        effectBundle = createEffectBundle();

        vst = new VSTPlugIn(*this, effectBundle, float(streamFormat.mSampleRate), maxFramesPerSlice);
        releaseBundle(effectBundle);
        vst->open();

        checkAndProbeEffect();

        tryToIdentifyHostApplication();
        static const char* const hostNames[] = {"undetermined", "Logic 7 or older",
                                                "GarageBand 4.1 or older", "Logic 8.0"};
        tandemLog("Hosting application: %s\n", hostNames[hostApplication]);

        ComponentDescription description;
        OSErr error = GetComponentInfo(reinterpret_cast<Component>(auInstance), &description, nullptr,
                                       nullptr, nullptr);
        if (error != noErr)
            throw MacOSException(error);
        const OSType type = description.componentType;
        tandemLog("Component type: %c%c%c%c\n", char(type >> 24), char(type >> 16), char(type >> 8),
                  char(type));
        const bool sameWidthForAllBuses =
            type != kAudioUnitType_MusicDevice || hostApplication == hostLogic7OrOlder;
        buildBuses(true, sameWidthForAllBuses);
        buildBuses(false, sameWidthForAllBuses);
        buildSupportedChannels();

        parameterCount = std::max(0, vst->getParameterCount());
        parameterValueStrings = new CFArrayRef[size_t(parameterCount)]();
        parameterInfos = new AudioUnitParameterInfo[size_t(parameterCount)]();

        reallocateIOBuffers();

        readOrCreateParameterMapping();
        loadOrCreateFactoryPresets();
        if (autoConvertPresets)
            convertVSTPresets();

        // Known from the start; nobody listens yet.
        updateInitialDelayTime();
        if (vstSupportsTailTime)
            updateTailTime();

        updateCurrentAUPreset();

        installIdleTimer();
    } catch (...) {
        if (effectBundle)
            releaseBundle(effectBundle);
        uninit();
        throw;
    }
}

TandemComponent::~TandemComponent() { uninit(); }

void TandemComponent::copyComponentName()
{
    Handle name = NewHandle(256);
    if (!name)
        throw MacOSException(memFullErr);
    ComponentDescription description;
    OSErr error = GetComponentInfo(reinterpret_cast<Component>(auInstance), &description, name, nullptr,
                                   nullptr);
    if (error != noErr) {
        DisposeHandle(name);
        throw MacOSException(error);
    }
    // A Pascal string: length byte, then the characters.
    const unsigned char* text = reinterpret_cast<const unsigned char*>(*name);
    const size_t available = size_t(GetHandleSize(name));
    const size_t length = available > 0 ? std::min<size_t>(text[0], available - 1) : 0;
    std::memcpy(logName, text + 1, length);
    logName[length] = '\0';
    DisposeHandle(name);
}

CFURLRef TandemComponent::createOwnExecutableURL()
{
    // The image that holds this very function is the bundle's executable.
    OwnImage image;
    image.address = reinterpret_cast<const void*>(&findOwnImage);
    dl_iterate_phdr(&findOwnImage, &image);
    if (image.index < 0 || image.path.empty())
        throw TandemException("Could not find image for current bundle");
    if (image.path.size() > 1023)
        image.path.resize(1023);
    tandemLog("Found my image (%s) at %d of %d\n", image.path.c_str(), image.index, image.count);
    CFURLRef url = createURLFromPath(image.path, false);
    if (!url)
        throw TandemException("Could not create URL from file system representation");
    return url;
}

CFBundleRef TandemComponent::createEffectBundle()
{
    ScopedCFRef<CFArrayRef> effects(CFBundleCopyResourceURLsOfType(auBundle, CFSTR("vst"), nullptr));
    if (!effects.get())
        throw TandemException("Could not locate resources of specific type in bundle");
    const CFIndex count = CFArrayGetCount(effects.get());
    if (count == 0) {
        tandemLog("No VST bundle or alias found in resources, assuming fat AU bundle\n");
        return static_cast<CFBundleRef>(const_cast<void*>(CFRetain(auBundle)));
    }
    if (count > 1)
        throw TandemException("Found more than one VST bundle or alias in resources");

    ScopedCFRef<CFURLRef> url(
        static_cast<CFURLRef>(CFRetain(CFArrayGetValueAtIndex(effects.get(), 0))));
    const std::string path = pathOfURL(url.get());
    tandemLog("Found VST bundle or alias at %s\n", path.c_str());
    // A symbolic link is this platform's alias; chains of them are followed
    // to the final target. When that fails the resource is taken as it is.
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    if (!path.empty() && !error) {
        url.reset(createURLFromPath(target.string(), std::filesystem::is_directory(target, error)));
        if (!url.get())
            throw TandemException("Could not create URL from FSRef");
        tandemLog("Resolved alias to %s\n", pathOfURL(url.get()).c_str());
    }
    CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url.get());
    if (!bundle)
        throw TandemException("Could not locate VST bundle");
    return bundle;
}

void TandemComponent::checkAndProbeEffect()
{
    if (vst->getInputCount() > maxPins)
        throw TandemException("VST has too many inputs");
    if (vst->getOutputCount() > maxPins)
        throw TandemException("VST has too many outputs");
    if (!vst->canProcessReplacing())
        throw TandemException("VST does not support processReplacing()");

    vstSupportsTandemExtensions = vst->dispatch(effVendorSpecific, tandemHello, 0, nullptr, 0.0f) != 0;
    vstSupportsTailTime = vst->getTailSize() != 0;
    vstSupportsBypass = vst->setBypass(false);
    tandemLog("VST %s Tandem extensions\n", supportText(vstSupportsTandemExtensions));
    tandemLog("VST %s tail size\n", supportText(vstSupportsTailTime));
    tandemLog("VST %s bypassing\n", supportText(vstSupportsBypass));
}

void TandemComponent::buildBuses(bool input, bool sameWidthForAllBuses)
{
    const int pins = std::max(0, input ? vst->getInputCount() : vst->getOutputCount());
    int& busCount = input ? inputBusCount : outputBusCount;
    int* firstPin = input ? inputBusFirstPin : outputBusFirstPin;
    int* activeChannels = input ? inputBusActiveChannels : outputBusActiveChannels;
    CFStringRef* names = input ? inputBusNames : outputBusNames;

    int pin = 0;
    int width = 0;
    while (pin < pins && busCount < maxBuses) {
        VstPinProperties properties;
        std::memset(&properties, 0, sizeof properties);
        const bool described = input ? vst->getInputProperties(pin, &properties)
                                     : vst->getOutputProperties(pin, &properties);
        if (pin == 0 || !sameWidthForAllBuses) {
            width = pins % 2 == 0 ? 2 : 1;
            if (described)
                width = (properties.flags & kVstPinIsStereo) ? 2 : 1;
        }
        if (pin + width > pins)
            break;
        firstPin[busCount] = pin;
        if (described) {
            properties.label[sizeof properties.label - 1] = '\0';
            names[busCount] = CFStringCreateWithCString(kCFAllocatorDefault, properties.label,
                                                        kCFStringEncodingMacRoman);
        }
        activeChannels[busCount] = width;
        ++busCount;
        pin += width;
    }
    firstPin[busCount] = pin;
}

void TandemComponent::buildSupportedChannels()
{
    const int in = inputBusCount > 0 ? getMaxInputChannels(0) : 0;
    const int out = outputBusCount > 0 ? getMaxOutputChannels(0) : 0;
    bool sameWidths = true;
    for (int b = 0; b < inputBusCount; ++b)
        sameWidths = sameWidths && getMaxInputChannels(b) == in;
    for (int b = 0; b < outputBusCount; ++b)
        sameWidths = sameWidths && getMaxOutputChannels(b) == out;

    supportedChannelCount = 0;
    auto offer = [this](int inChannels, int outChannels) {
        supportedChannels[supportedChannelCount++] = AUChannelInfo{SInt16(inChannels), SInt16(outChannels)};
    };
    if (sameWidths) {
        if (canDoMonoIO && in == 2 && out == 2) {
            offer(1, 1);
            offer(1, 2);
            offer(2, 1);
            offer(2, 2);
        } else if (canDoMonoIO && in == 2) {
            offer(1, out);
            offer(2, out);
        } else if (canDoMonoIO && out == 2) {
            offer(in, 1);
            offer(in, 2);
        } else {
            offer(in, out);
        }
    }
    tandemLog("VST has %d inputs and %d outputs configured into %d input buses and %d output buses "
              "(SupportedNumChannels %s)\n",
              vst->getInputCount(), vst->getOutputCount(), inputBusCount, outputBusCount,
              supportedChannelCount > 0 ? "supported" : "not supported");
}

void TandemComponent::uninit()
{
    if (idleTimer) {
        // Runs from the destructor too, so a failure cannot be thrown; the
        // platform refuses only timers that are not installed.
        RemoveEventLoopTimer(idleTimer);
        idleTimer = nullptr;
    }

    for (int i = 0; i < maxFactoryPresets; ++i) {
        if (factoryPresets[i].presetName)
            CFRelease(factoryPresets[i].presetName);
        factoryPresets[i].presetName = nullptr;
        if (factoryPresetData[i])
            CFRelease(factoryPresetData[i]);
        factoryPresetData[i] = nullptr;
    }
    if (factoryPresetArray)
        CFRelease(factoryPresetArray);
    factoryPresetArray = nullptr;
    if (currentAUPreset.presetName)
        CFRelease(currentAUPreset.presetName);
    currentAUPreset.presetName = nullptr;

    if (vst && vst->isOpen() && parameterInfos && parameterValueStrings) {
        for (int i = 0; i < parameterCount; ++i) {
            if (parameterInfos[i].unitName)
                CFRelease(parameterInfos[i].unitName);
            if (parameterInfos[i].cfNameString)
                CFRelease(parameterInfos[i].cfNameString);
            if (parameterValueStrings[i])
                CFRelease(parameterValueStrings[i]);
        }
    }
    delete[] parameterInfos;
    parameterInfos = nullptr;
    delete[] parameterValueStrings;
    parameterValueStrings = nullptr;

    detachView();
    delete vst;
    vst = nullptr;

    for (VstEvent*& slot : vstMidiEvents.events) {
        delete reinterpret_cast<VstMidiEvent*>(slot);
        slot = nullptr;
    }
    for (float*& buffer : ioBuffers) {
        delete[] buffer;
        buffer = nullptr;
    }
    delete[] spareBuffer;
    spareBuffer = nullptr;
    for (int b = 0; b < maxBuses; ++b) {
        if (inputBusNames[b])
            CFRelease(inputBusNames[b]);
        inputBusNames[b] = nullptr;
        if (outputBusNames[b])
            CFRelease(outputBusNames[b]);
        outputBusNames[b] = nullptr;
    }

    releaseBundle(auBundle);
}

// ---- VSTHost: what the effect learns of its host ----

void TandemComponent::getVendor(VSTPlugIn*, char* text) { std::strcpy(text, "ZaZire Development"); }

void TandemComponent::getProduct(VSTPlugIn*, char* text) { std::strcpy(text, "Tandem"); }

int TandemComponent::getVersion(VSTPlugIn*) { return 0x10000; }

bool TandemComponent::canDo(VSTPlugIn*, const char* question)
{
    static const char* const abilities[] = {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo",
                                            "reportConnectionChanges", "sizeWindow", "supplyIdle"};
    if (!question)
        return false;
    for (const char* ability : abilities)
        if (std::strcmp(question, ability) == 0)
            return true;
    return false;
}

VstTimeInfo* TandemComponent::getTimeInfo(VSTPlugIn*, int) { return &vstTimeInfo; }

bool TandemComponent::isIOPinConnected(VSTPlugIn*, bool, int) { return true; }

void TandemComponent::idle(VSTPlugIn*) {}
