// AudioUnit properties. getPropertyInfo decides, for every property, whether
// it is offered on a scope and element, whether it can be read and written
// and its size; getProperty and setProperty always ask it first.

#include "wrapper/TandemComponent.h"

#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Properties this component never offers, by the name they are logged with.
const char* unsupportedPropertyName(AudioUnitPropertyID id)
{
    switch (id) {
    case kAudioUnitProperty_FastDispatch: return "kAudioUnitProperty_FastDispatch";
    case kAudioUnitProperty_CPULoad: return "kAudioUnitProperty_CPULoad";
    case kAudioUnitProperty_SRCAlgorithm: return "kAudioUnitProperty_SRCAlgorithm";
    case kAudioUnitProperty_ReverbRoomType: return "kAudioUnitProperty_ReverbRoomType";
    case kAudioUnitProperty_SetExternalBuffer: return "kAudioUnitProperty_SetExternalBuffer";
    case kAudioUnitProperty_MIDIControlMapping: return "kAudioUnitProperty_MIDIControlMapping";
    case kAudioUnitProperty_AudioChannelLayout: return "kAudioUnitProperty_AudioChannelLayout";
    case kAudioUnitProperty_ContextName: return "kAudioUnitProperty_ContextName";
    case kAudioUnitProperty_RenderQuality: return "kAudioUnitProperty_RenderQuality";
    case kAudioUnitProperty_SupportedChannelLayoutTags: return "kAudioUnitProperty_SupportedChannelLayoutTags";
    case kAudioUnitProperty_ParameterIDName: return "kAudioUnitProperty_ParameterIDName";
    case kAudioUnitProperty_ParameterClumpName: return "kAudioUnitProperty_ParameterClumpName";
    case kAudioUnitProperty_OfflineRender: return "kAudioUnitProperty_OfflineRender";
    case kAudioUnitProperty_IconLocation: return "kAudioUnitProperty_IconLocation";
    case kAudioUnitProperty_PresentationLatency: return "kAudioUnitProperty_PresentationLatency";
    case kAudioUnitProperty_AllParameterMIDIMappings: return "kAudioUnitProperty_AllParameterMIDIMappings";
    case kAudioUnitProperty_AddParameterMIDIMapping: return "kAudioUnitProperty_AddParameterMIDIMapping";
    case kAudioUnitProperty_RemoveParameterMIDIMapping: return "kAudioUnitProperty_RemoveParameterMIDIMapping";
    case kAudioUnitProperty_HotMapParameterMIDIMapping: return "kAudioUnitProperty_HotMapParameterMIDIMapping";
    case kAudioUnitProperty_DependentParameters: return "kAudioUnitProperty_DependentParameters";
    case kMusicDeviceProperty_InstrumentName: return "kMusicDeviceProperty_InstrumentName";
    case kMusicDeviceProperty_GroupOutputBus: return "kMusicDeviceProperty_GroupOutputBus";
    case kMusicDeviceProperty_SoundBankFSSpec: return "kMusicDeviceProperty_SoundBankFSSpec";
    case kMusicDeviceProperty_InstrumentNumber: return "kMusicDeviceProperty_InstrumentNumber";
    case kAudioUnitProperty_UsesInternalReverb: return "kAudioUnitProperty_UsesInternalReverb";
    case kMusicDeviceProperty_MIDIXMLNames: return "kMusicDeviceProperty_MIDIXMLNames";
    case kMusicDeviceProperty_BankName: return "kMusicDeviceProperty_BankName";
    case kMusicDeviceProperty_SoundBankData: return "kMusicDeviceProperty_SoundBankData";
    case kMusicDeviceProperty_PartGroup: return "kMusicDeviceProperty_PartGroup";
    case kMusicDeviceProperty_StreamFromDisk: return "kMusicDeviceProperty_StreamFromDisk";
    case kAudioUnitMigrateProperty_FromPlugin: return "kAudioUnitMigrateProperty_FromPlugin";
    case kAudioUnitMigrateProperty_OldAutomation: return "kAudioUnitMigrateProperty_OldAutomation";
    default: return nullptr;
    }
}

[[noreturn]] void refuseUnsupported(const char* name)
{
    tandemLog("AU GetPropertyInfo: %s (not supported)\n", name);
    throw MacOSException(kAudioUnitErr_InvalidProperty);
}

template <typename Value>
Value readValue(const void* data)
{
    Value value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

template <typename Value>
void writeValue(void* data, const Value& value)
{
    std::memcpy(data, &value, sizeof value);
}

// The effect takes its rate as a float: a rate of a hertz or less (or one
// that is no number) would reach it as nothing it can run at.
bool isUsableSampleRate(Float64 rate) { return std::isfinite(rate) && rate >= 1.0 && rate <= 1.0e7; }

AudioStreamBasicDescription streamFormatOf(Float64 sampleRate, int channels)
{
    AudioStreamBasicDescription format;
    std::memset(&format, 0, sizeof format);
    format.mSampleRate = sampleRate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = 4;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 4;
    format.mChannelsPerFrame = UInt32(channels);
    format.mBitsPerChannel = 32;
    return format;
}

} // namespace

void TandemComponent::getPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                      AudioUnitElement element, bool& readable, bool& writable,
                                      UInt32& minimumSize, UInt32& size)
{
    auto logOffered = [&](const char* name) {
        tandemLog("AU GetPropertyInfo: %s (scope: %d, element: %d)\n", name, int(scope), int(element));
    };
    auto requireGlobal = [&] {
        if (scope != kAudioUnitScope_Global)
            throw MacOSException(kAudioUnitErr_InvalidScope);
    };
    auto requireInputBus = [&] {
        if (scope != kAudioUnitScope_Input)
            throw MacOSException(kAudioUnitErr_InvalidScope);
        if (element >= AudioUnitElement(renderer->getInputBusCount()))
            throw MacOSException(kAudioUnitErr_InvalidElement);
    };
    auto requireParameterElement = [&] {
        requireGlobal();
        if (element >= AudioUnitElement(parameters->getParameterCount()))
            throw MacOSException(kAudioUnitErr_InvalidElement);
    };
    auto answer = [&](bool canRead, bool canWrite, UInt32 bytes) {
        readable = canRead;
        writable = canWrite;
        minimumSize = size = bytes;
    };

    switch (id) {
    case kAudioUnitProperty_MakeConnection:
        logOffered("kAudioUnitProperty_MakeConnection");
        requireInputBus();
        answer(false, true, sizeof(AudioUnitConnection));
        return;

    case kAudioUnitProperty_SampleRate:
    case kAudioUnitProperty_StreamFormat: {
        const bool isFormat = id == kAudioUnitProperty_StreamFormat;
        logOffered(isFormat ? "kAudioUnitProperty_StreamFormat" : "kAudioUnitProperty_SampleRate");
        if (scope > kAudioUnitScope_Output)
            throw MacOSException(kAudioUnitErr_InvalidScope);
        const int buses = scope == kAudioUnitScope_Input ? renderer->getInputBusCount() : renderer->getOutputBusCount();
        if (element >= AudioUnitElement(buses))
            throw MacOSException(kAudioUnitErr_InvalidElement);
        // An input bus fed by another unit takes that unit's format.
        const bool connected =
            scope == kAudioUnitScope_Input && renderer->getConnection(int(element)).sourceAudioUnit != nullptr;
        answer(true, !connected, isFormat ? sizeof(AudioStreamBasicDescription) : sizeof(Float64));
        return;
    }

    case kAudioUnitProperty_ParameterList:
        logOffered("kAudioUnitProperty_ParameterList");
        answer(true, false,
               scope == kAudioUnitScope_Global ? UInt32(sizeof(AudioUnitParameterID)) * parameters->getMappedCount() : 0);
        return;

    case kAudioUnitProperty_ParameterInfo:
        logOffered("kAudioUnitProperty_ParameterInfo");
        requireParameterElement();
        answer(true, false, sizeof(AudioUnitParameterInfo));
        return;

    case kAudioUnitProperty_ElementCount:
        logOffered("kAudioUnitProperty_ElementCount");
        answer(true, false, sizeof(UInt32));
        return;

    case kAudioUnitProperty_Latency:
        logOffered("kAudioUnitProperty_Latency");
        requireGlobal();
        answer(true, false, sizeof(Float64));
        return;

    case kAudioUnitProperty_SupportedNumChannels:
        if (supportedChannelCount == 0)
            refuseUnsupported("kAudioUnitProperty_SupportedNumChannels");
        logOffered("kAudioUnitProperty_SupportedNumChannels");
        requireGlobal();
        answer(true, false, UInt32(sizeof(AUChannelInfo)) * supportedChannelCount);
        return;

    case kAudioUnitProperty_MaximumFramesPerSlice:
        logOffered("kAudioUnitProperty_MaximumFramesPerSlice");
        requireGlobal();
        answer(true, true, sizeof(UInt32));
        return;

    case kAudioUnitProperty_ParameterValueStrings:
        logOffered("kAudioUnitProperty_ParameterValueStrings");
        requireParameterElement();
        if (!parameters->valueStrings(element))
            throw MacOSException(kAudioUnitErr_InvalidParameter);
        answer(true, false, sizeof(CFArrayRef));
        return;

    case kAudioUnitProperty_TailTime:
        if (!vstSupportsTailTime)
            refuseUnsupported("kAudioUnitProperty_TailTime");
        logOffered("kAudioUnitProperty_TailTime");
        requireGlobal();
        answer(true, false, sizeof(Float64));
        return;

    case kAudioUnitProperty_BypassEffect:
        if (!vstSupportsBypass)
            refuseUnsupported("kAudioUnitProperty_BypassEffect");
        logOffered("kAudioUnitProperty_BypassEffect");
        requireGlobal();
        answer(true, true, sizeof(UInt32));
        return;

    case kAudioUnitProperty_LastRenderError:
        logOffered("kAudioUnitProperty_LastRenderError");
        requireGlobal();
        answer(true, false, sizeof(OSStatus));
        return;

    case kAudioUnitProperty_SetRenderCallback:
        logOffered("kAudioUnitProperty_SetRenderCallback");
        requireInputBus();
        answer(false, true, sizeof(AURenderCallbackStruct));
        return;

    case kAudioUnitProperty_HostCallbacks:
        logOffered("kAudioUnitProperty_HostCallbacks");
        requireGlobal();
        answer(true, true, sizeof(HostCallbackInfo));
        minimumSize = 0;
        return;

    case kAudioUnitProperty_ElementName: {
        if (!(renderer->getInputBusCount() > 0 && renderer->getBusName(true, 0)) &&
            !(renderer->getOutputBusCount() > 0 && renderer->getBusName(false, 0))) {
            tandemLog("AU GetPropertyInfo: kAudioUnitProperty_ElementName (unsupported)\n");
            throw MacOSException(kAudioUnitErr_InvalidProperty);
        }
        logOffered("kAudioUnitProperty_ElementName");
        if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output)
            throw MacOSException(kAudioUnitErr_InvalidScope);
        const bool input = scope == kAudioUnitScope_Input;
        if (element >= AudioUnitElement(input ? renderer->getInputBusCount() : renderer->getOutputBusCount()) ||
            !renderer->getBusName(input, int(element)))
            throw MacOSException(kAudioUnitErr_InvalidElement);
        answer(true, false, sizeof(CFStringRef));
        return;
    }

    case kAudioUnitProperty_CocoaUI:
        if (!vst->hasEditor()) {
            tandemLog("VST has no editor\n");
            throw MacOSException(kAudioUnitErr_InvalidProperty);
        }
        logOffered("kAudioUnitProperty_CocoaUI");
        requireGlobal();
        answer(true, false, sizeof(AudioUnitCocoaViewInfo));
        return;

    case kAudioUnitProperty_ParameterStringFromValue:
    case kAudioUnitProperty_ParameterValueFromString: {
        const bool toString = id == kAudioUnitProperty_ParameterStringFromValue;
        const char* name =
            toString ? "kAudioUnitProperty_ParameterStringFromValue" : "kAudioUnitProperty_ParameterValueFromString";
        if (!vstSupportsTandemExtensions)
            refuseUnsupported(name);
        logOffered(name);
        requireParameterElement();
        answer(true, false,
               toString ? sizeof(AudioUnitParameterStringFromValue) : sizeof(AudioUnitParameterValueFromString));
        return;
    }

    case kMusicDeviceProperty_InstrumentCount:
        logOffered("kMusicDeviceProperty_InstrumentCount");
        requireGlobal();
        answer(true, false, sizeof(UInt32));
        return;

    case kAudioUnitProperty_ClassInfo:
        logOffered("kAudioUnitProperty_ClassInfo");
        requireGlobal();
        answer(true, true, sizeof(CFPropertyListRef));
        return;

    case kAudioUnitProperty_FactoryPresets:
        if (!presets->hasFactoryPresets())
            refuseUnsupported("kAudioUnitProperty_FactoryPresets");
        logOffered("kAudioUnitProperty_FactoryPresets");
        requireGlobal();
        answer(true, false, sizeof(CFArrayRef));
        return;

    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
        logOffered(id == kAudioUnitProperty_CurrentPreset ? "kAudioUnitProperty_CurrentPreset"
                                                          : "kAudioUnitProperty_PresentPreset");
        requireGlobal();
        answer(true, true, sizeof(AUPreset));
        minimumSize = sizeof(SInt32);
        return;

    default:
        if (const char* name = unsupportedPropertyName(id))
            refuseUnsupported(name);
        tandemLog("AU GetPropertyInfo: unknown property id: %d\n", int(id));
        throw MacOSException(kAudioUnitErr_InvalidProperty);
    }
}

void TandemComponent::getProperty(UInt32* ioDataSize, void* outData, AudioUnitElement element,
                                  AudioUnitScope scope, AudioUnitPropertyID id)
{
    bool readable = false, writable = false;
    UInt32 minimumSize = 0, size = 0;
    getPropertyInfo(id, scope, element, readable, writable, minimumSize, size);
    if (!readable) {
        tandemLog("Cannot read property: %d\n", int(id));
        throw MacOSException(kAudioUnitErr_InvalidProperty);
    }
    const UInt32 bufferSize = *ioDataSize;
    *ioDataSize = minimumSize;
    if (!outData)
        return;
    if (bufferSize < minimumSize) {
        tandemLog("Trying to get a property with min size: %d with a buffer of size: %d\n", int(minimumSize),
                  int(bufferSize));
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    }

    switch (id) {
    case kAudioUnitProperty_SampleRate:
        writeValue<Float64>(outData, renderer->getSampleRate());
        break;
    case kAudioUnitProperty_StreamFormat: {
        writeValue(outData, streamFormatOf(renderer->getSampleRate(), renderer->getActiveChannels(scope == kAudioUnitScope_Input,
                                                                                   int(element))));
        break;
    }
    case kAudioUnitProperty_ParameterList:
        if (scope == kAudioUnitScope_Global)
            std::memcpy(outData, parameters->getMappedList(),
                        sizeof(AudioUnitParameterID) * size_t(parameters->getMappedCount()));
        break;
    case kAudioUnitProperty_ParameterInfo:
        writeValue(outData, parameters->info(element));
        break;
    case kAudioUnitProperty_ElementCount:
        writeValue<UInt32>(outData, scope == kAudioUnitScope_Input    ? UInt32(renderer->getInputBusCount())
                                    : scope == kAudioUnitScope_Output ? UInt32(renderer->getOutputBusCount())
                                                                      : 0);
        break;
    case kAudioUnitProperty_Latency:
        updateInitialDelayTime();
        writeValue<Float64>(outData, initialDelayTime);
        break;
    case kAudioUnitProperty_SupportedNumChannels:
        std::memcpy(outData, supportedChannels, sizeof(AUChannelInfo) * size_t(supportedChannelCount));
        break;
    case kAudioUnitProperty_MaximumFramesPerSlice:
        writeValue<UInt32>(outData, UInt32(renderer->getMaxFramesPerSlice()));
        break;
    case kAudioUnitProperty_ParameterValueStrings:
        CFRetain(parameters->valueStrings(element));
        writeValue<CFArrayRef>(outData, parameters->valueStrings(element));
        break;
    case kAudioUnitProperty_TailTime:
        updateTailTime();
        writeValue<Float64>(outData, tailTime);
        break;
    case kAudioUnitProperty_BypassEffect:
        writeValue<UInt32>(outData, isBypassing ? 1 : 0);
        break;
    case kAudioUnitProperty_LastRenderError:
        writeValue<OSStatus>(outData, noErr);
        break;
    case kAudioUnitProperty_HostCallbacks: {
        const UInt32 count = std::min<UInt32>(bufferSize, sizeof(HostCallbackInfo));
        std::memcpy(outData, &renderer->getHostCallbacks(), count);
        *ioDataSize = count;
        break;
    }
    case kAudioUnitProperty_ElementName: {
        CFStringRef name = renderer->getBusName(scope == kAudioUnitScope_Input, int(element));
        CFRetain(name);
        writeValue<CFStringRef>(outData, name);
        break;
    }
    case kAudioUnitProperty_CocoaUI:
        writeValue(outData, view->copyCocoaViewInfo());
        break;
    case kAudioUnitProperty_ParameterStringFromValue: {
        auto request = readValue<AudioUnitParameterStringFromValue>(outData);
        getParameterStringFromValue(request);
        writeValue(outData, request);
        break;
    }
    case kAudioUnitProperty_ParameterValueFromString: {
        auto request = readValue<AudioUnitParameterValueFromString>(outData);
        getParameterValueFromString(request);
        writeValue(outData, request);
        break;
    }
    case kMusicDeviceProperty_InstrumentCount:
        writeValue<UInt32>(outData, 0);
        break;
    case kAudioUnitProperty_ClassInfo:
        writeValue<CFPropertyListRef>(outData, presets->createClassInfo());
        break;
    case kAudioUnitProperty_FactoryPresets:
        CFRetain(presets->getFactoryPresets());
        writeValue<CFArrayRef>(outData, presets->getFactoryPresets());
        break;
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
        *ioDataSize = presets->getCurrentPreset(bufferSize, outData, id == kAudioUnitProperty_PresentPreset);
        break;
    default:
        break;
    }
}

void TandemComponent::setProperty(UInt32 dataSize, const void* data, AudioUnitElement element,
                                  AudioUnitScope scope, AudioUnitPropertyID id)
{
    bool readable = false, writable = false;
    UInt32 minimumSize = 0, size = 0;
    getPropertyInfo(id, scope, element, readable, writable, minimumSize, size);
    if (!writable) {
        tandemLog("Cannot write property: %d\n", int(id));
        throw MacOSException(kAudioUnitErr_InvalidProperty);
    }
    if (dataSize < minimumSize) {
        tandemLog("Trying to set a property with min size: %d with a value of size: %d\n", int(minimumSize),
                  int(dataSize));
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    }

    // Every property but HostCallbacks (where null data clears them) needs
    // the bytes its size promises.
    if (!data && id != kAudioUnitProperty_HostCallbacks)
        throw MacOSException(paramErr);

    switch (id) {
    case kAudioUnitProperty_MakeConnection:
        setMakeConnection(element, readValue<AudioUnitConnection>(data));
        break;
    case kAudioUnitProperty_SampleRate: {
        const Float64 rate = readValue<Float64>(data);
        if (!isUsableSampleRate(rate))
            throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
        setSampleRate(rate);
        break;
    }
    case kAudioUnitProperty_StreamFormat:
        setFormat(scope, element, readValue<AudioStreamBasicDescription>(data));
        break;
    case kAudioUnitProperty_MaximumFramesPerSlice:
        setMaximumFramesPerSlice(readValue<UInt32>(data));
        break;
    case kAudioUnitProperty_BypassEffect:
        isBypassing = readValue<UInt32>(data) != 0;
        tandemLog("AU Bypassing %s\n", isBypassing ? "on" : "off");
        vst->setBypass(isBypassing);
        break;
    case kAudioUnitProperty_SetRenderCallback:
        setRenderCallback(element, readValue<AURenderCallbackStruct>(data));
        break;
    case kAudioUnitProperty_HostCallbacks:
        setHostCallbacks(dataSize, data);
        break;
    case kAudioUnitProperty_ClassInfo:
        presets->setClassInfo(readValue<CFPropertyListRef>(data));
        presetChanged();
        break;
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
        if (presets->setCurrentPreset(dataSize, data))
            presetChanged();
        break;
    default:
        break;
    }
}

void TandemComponent::presetChanged()
{
    propertyChanged(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0);
    propertyChanged(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0);
}

void TandemComponent::effectDisplayChanged()
{
    notifier->displayChanged(
        [](void* context) {
            TandemComponent* component = static_cast<TandemComponent*>(context);
            if (component->presets && component->presets->updateCurrentAUPreset())
                component->presetChanged();
        },
        this);
}

// Formats, rates and slice sizes reach the effect only while it is suspended
// (the VST interface asks for that, and the render thread may be inside it
// otherwise): while initialized, the same value is accepted and a different
// one refused.
void TandemComponent::setFormat(AudioUnitScope scope, AudioUnitElement bus, const AudioStreamBasicDescription& format)
{
    const bool input = scope == kAudioUnitScope_Input;
    tandemLog("Trying to set %s format on bus %d to %u channels\n", input ? "input" : "output", int(bus),
              static_cast<unsigned>(format.mChannelsPerFrame));
    const int width = input ? renderer->getMaxInputChannels(int(bus)) : renderer->getMaxOutputChannels(int(bus));

    const UInt32 requiredFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsNonInterleaved;
    if (format.mFormatID != kAudioFormatLinearPCM || format.mFramesPerPacket != 1 ||
        format.mBytesPerPacket != format.mBytesPerFrame ||
        (format.mFormatFlags & requiredFlags) != requiredFlags || format.mBitsPerChannel != 32 ||
        format.mBytesPerPacket != 4 || format.mChannelsPerFrame == 0 || !isUsableSampleRate(format.mSampleRate))
        throw MacOSException(kAudioUnitErr_FormatNotSupported);

    const int channels = int(format.mChannelsPerFrame);
    if (channels != width) {
        if (channels == 1 && width == 2 && configuration.canDoMonoIO) {
            // a mono stream on a stereo bus
        } else if (channels == 2 && width == 1 &&
                   (hostApplication == hostGarageBand41OrOlder || hostApplication == hostLogic80)) {
            tandemLog("%s is incorrectly trying to set the format on a mono bus to stereo (accepting this for now).\n",
                      hostApplication == hostLogic80 ? "Logic 8" : "GarageBand");
        } else {
            tandemLog("Expecting 1 to %d channels\n", width);
            throw MacOSException(kAudioUnitErr_FormatNotSupported);
        }
    }
    if (vst->isResumed() &&
        (channels != renderer->getActiveChannels(input, int(bus)) || format.mSampleRate != renderer->getSampleRate())) {
        tandemLog("Cannot change the stream format while initialized\n");
        throw MacOSException(kAudioUnitErr_Initialized);
    }
    renderer->setActiveChannels(input, int(bus), channels);
    setSampleRate(format.mSampleRate);
}

void TandemComponent::setSampleRate(Float64 rate)
{
    if (rate == renderer->getSampleRate())
        return;
    if (vst->isResumed()) {
        tandemLog("Cannot change the sample rate while initialized\n");
        throw MacOSException(kAudioUnitErr_Initialized);
    }
    renderer->setSampleRate(rate);
    vst->setSampleRate(float(rate));
    for (int b = 0; b < renderer->getInputBusCount(); ++b) {
        propertyChanged(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, AudioUnitElement(b));
        propertyChanged(kAudioUnitProperty_SampleRate, kAudioUnitScope_Input, AudioUnitElement(b));
    }
    for (int b = 0; b < renderer->getOutputBusCount(); ++b) {
        propertyChanged(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, AudioUnitElement(b));
        propertyChanged(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, AudioUnitElement(b));
    }
    updateInitialDelayAndTailTimes();
}

void TandemComponent::setMaximumFramesPerSlice(UInt32 frames)
{
    if (int(frames) == renderer->getMaxFramesPerSlice())
        return;
    // The pin buffers are what the audio thread renders into.
    if (vst->isResumed()) {
        tandemLog("Cannot change the maximum frames per slice while initialized\n");
        throw MacOSException(kAudioUnitErr_Initialized);
    }
    if (frames == 0 || frames > 1u << 20)
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    renderer->setMaxFramesPerSlice(int(frames));
    propertyChanged(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0);
    vst->setBlockSize(int(frames));
}

bool TandemComponent::updateInitialDelayTime()
{
    const double latency = double(vst->getInitialDelay()) / renderer->getSampleRate();
    if (latency == initialDelayTime)
        return false;
    initialDelayTime = latency;
    return true;
}

bool TandemComponent::updateTailTime()
{
    const double tail = double(vst->getTailSize()) / renderer->getSampleRate();
    if (tail == tailTime)
        return false;
    tailTime = tail;
    return true;
}

void TandemComponent::updateInitialDelayAndTailTimes()
{
    if (updateInitialDelayTime())
        propertyChanged(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0);
    if (vstSupportsTailTime && updateTailTime())
        propertyChanged(kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0);
}

void TandemComponent::setMakeConnection(AudioUnitElement element, const AudioUnitConnection& connection)
{
    if (connection.destInputNumber != element)
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    if (connection.sourceAudioUnit) {
        AudioStreamBasicDescription format;
        UInt32 formatSize = sizeof format;
        OSStatus status = AudioUnitGetProperty(connection.sourceAudioUnit, kAudioUnitProperty_StreamFormat,
                                               kAudioUnitScope_Output, connection.sourceOutputNumber, &format,
                                               &formatSize);
        if (status != noErr)
            throw MacOSException(status);
        setFormat(kAudioUnitScope_Input, element, format);
    }
    const int bus = int(element);
    const AudioUnitConnection& current = renderer->getConnection(bus);
    const bool connectionChanged = connection.sourceAudioUnit != current.sourceAudioUnit ||
                                   connection.sourceOutputNumber != current.sourceOutputNumber;
    if (connectionChanged)
        renderer->setConnection(bus, connection.sourceAudioUnit ? connection : AudioUnitConnection{});
    const bool callbackCleared = renderer->getRenderCallback(bus).inputProc != nullptr;
    if (callbackCleared)
        renderer->setRenderCallback(bus, AURenderCallbackStruct{});
    if (connectionChanged)
        propertyChanged(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, element);
    if (callbackCleared)
        propertyChanged(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, element);
}

void TandemComponent::setRenderCallback(AudioUnitElement element, const AURenderCallbackStruct& callback)
{
    const int bus = int(element);
    const AURenderCallbackStruct& current = renderer->getRenderCallback(bus);
    const bool callbackChanged =
        callback.inputProc != current.inputProc || callback.inputProcRefCon != current.inputProcRefCon;
    if (callbackChanged)
        renderer->setRenderCallback(bus, callback);
    if (renderer->getConnection(bus).sourceAudioUnit) {
        renderer->setConnection(bus, AudioUnitConnection{});
        propertyChanged(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, element);
    }
    if (callbackChanged)
        propertyChanged(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, element);
}

void TandemComponent::setHostCallbacks(UInt32 dataSize, const void* data)
{
    // Null data (of size 0) clears the callbacks: a host unregistering.
    HostCallbackInfo callbacks;
    std::memset(&callbacks, 0, sizeof callbacks);
    if (data)
        std::memcpy(&callbacks, data, std::min<size_t>(dataSize, sizeof callbacks));
    if (std::memcmp(&callbacks, &renderer->getHostCallbacks(), sizeof callbacks) != 0) {
        renderer->setHostCallbacks(callbacks);
        propertyChanged(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0);
    }
}
