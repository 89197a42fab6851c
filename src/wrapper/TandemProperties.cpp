// AudioUnit properties. getPropertyInfo decides, for every property, whether
// it is offered on a scope and element, whether it can be read and written
// and its size; getProperty and setProperty always ask it first.

#include "wrapper/TandemComponent.h"

#include "wrapper/TandemException.h"
#include "wrapper/TandemLog.h"

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
        if (element >= AudioUnitElement(inputBusCount))
            throw MacOSException(kAudioUnitErr_InvalidElement);
    };
    auto requireParameterElement = [&] {
        requireGlobal();
        if (element >= AudioUnitElement(parameterCount))
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
        const int buses = scope == kAudioUnitScope_Input ? inputBusCount : outputBusCount;
        if (element >= AudioUnitElement(buses))
            throw MacOSException(kAudioUnitErr_InvalidElement);
        // An input bus fed by another unit takes that unit's format.
        const bool connected =
            scope == kAudioUnitScope_Input && inputConnections[element].sourceAudioUnit != nullptr;
        answer(true, !connected, isFormat ? sizeof(AudioStreamBasicDescription) : sizeof(Float64));
        return;
    }

    case kAudioUnitProperty_ParameterList:
        logOffered("kAudioUnitProperty_ParameterList");
        answer(true, false,
               scope == kAudioUnitScope_Global ? UInt32(sizeof(AudioUnitParameterID)) * mappedParameterCount : 0);
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
        if (!parameterValueStrings[element])
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
        if (!(inputBusCount > 0 && inputBusNames[0]) && !(outputBusCount > 0 && outputBusNames[0])) {
            tandemLog("AU GetPropertyInfo: kAudioUnitProperty_ElementName (unsupported)\n");
            throw MacOSException(kAudioUnitErr_InvalidProperty);
        }
        logOffered("kAudioUnitProperty_ElementName");
        if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output)
            throw MacOSException(kAudioUnitErr_InvalidScope);
        const bool input = scope == kAudioUnitScope_Input;
        if (element >= AudioUnitElement(input ? inputBusCount : outputBusCount) ||
            !(input ? inputBusNames : outputBusNames)[element])
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
        if (!factoryPresetArray || CFArrayGetCount(factoryPresetArray) == 0)
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
        writeValue<Float64>(outData, streamFormat.mSampleRate);
        break;
    case kAudioUnitProperty_StreamFormat: {
        AudioStreamBasicDescription format = streamFormat;
        format.mChannelsPerFrame = UInt32(scope == kAudioUnitScope_Input ? inputBusActiveChannels[element]
                                                                         : outputBusActiveChannels[element]);
        writeValue(outData, format);
        break;
    }
    case kAudioUnitProperty_ParameterList:
        if (scope == kAudioUnitScope_Global)
            std::memcpy(outData, auParameterList, sizeof(AudioUnitParameterID) * size_t(mappedParameterCount));
        break;
    case kAudioUnitProperty_ParameterInfo:
        writeValue(outData, parameterInfos[element]);
        break;
    case kAudioUnitProperty_ElementCount:
        writeValue<UInt32>(outData, scope == kAudioUnitScope_Input    ? UInt32(inputBusCount)
                                    : scope == kAudioUnitScope_Output ? UInt32(outputBusCount)
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
        writeValue<UInt32>(outData, UInt32(maxFramesPerSlice));
        break;
    case kAudioUnitProperty_ParameterValueStrings:
        CFRetain(parameterValueStrings[element]);
        writeValue<CFArrayRef>(outData, parameterValueStrings[element]);
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
        const UInt32 count = std::min<UInt32>(bufferSize, sizeof hostCallbacks);
        std::memcpy(outData, &hostCallbacks, count);
        *ioDataSize = count;
        break;
    }
    case kAudioUnitProperty_ElementName: {
        CFStringRef name = (scope == kAudioUnitScope_Input ? inputBusNames : outputBusNames)[element];
        CFRetain(name);
        writeValue<CFStringRef>(outData, name);
        break;
    }
    case kAudioUnitProperty_CocoaUI:
        writeValue(outData, copyCocoaViewInfo());
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
        writeValue<CFPropertyListRef>(outData, createClassInfo());
        break;
    case kAudioUnitProperty_FactoryPresets:
        CFRetain(factoryPresetArray);
        writeValue<CFArrayRef>(outData, factoryPresetArray);
        break;
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
        *ioDataSize = getCurrentPreset(bufferSize, outData, id == kAudioUnitProperty_PresentPreset);
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

    switch (id) {
    case kAudioUnitProperty_MakeConnection:
        setMakeConnection(element, readValue<AudioUnitConnection>(data));
        break;
    case kAudioUnitProperty_SampleRate: {
        const Float64 rate = readValue<Float64>(data);
        if (!std::isfinite(rate) || rate <= 0.0)
            throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
        updateSampleRate(rate);
        break;
    }
    case kAudioUnitProperty_StreamFormat:
        updateFormat(scope, element, readValue<AudioStreamBasicDescription>(data));
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
        setClassInfo(readValue<CFPropertyListRef>(data));
        break;
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
        setCurrentPreset(dataSize, data);
        break;
    default:
        break;
    }
}

void TandemComponent::setMaximumFramesPerSlice(UInt32 frames)
{
    if (int(frames) == maxFramesPerSlice)
        return;
    // The pin buffers are what the audio thread renders into: replacing them
    // while the unit is initialized could pull them from under a render in
    // progress. Hosts change the slice size while uninitialized.
    if (vst->isResumed()) {
        tandemLog("Cannot change the maximum frames per slice while initialized\n");
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    }
    if (frames == 0 || frames > 1u << 20)
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    updateMaxFramesPerSlice(int(frames));
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
        updateFormat(kAudioUnitScope_Input, element, format);
    }
    AudioUnitConnection& current = inputConnections[element];
    const bool connectionChanged = connection.sourceAudioUnit != current.sourceAudioUnit ||
                                   connection.sourceOutputNumber != current.sourceOutputNumber;
    if (connectionChanged)
        current = connection.sourceAudioUnit ? connection : AudioUnitConnection{};
    const bool callbackCleared = inputCallbacks[element].inputProc != nullptr;
    if (callbackCleared)
        inputCallbacks[element] = AURenderCallbackStruct{};
    if (connectionChanged)
        propertyChanged(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, element);
    if (callbackCleared)
        propertyChanged(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, element);
}

void TandemComponent::setRenderCallback(AudioUnitElement element, const AURenderCallbackStruct& callback)
{
    AURenderCallbackStruct& current = inputCallbacks[element];
    const bool callbackChanged =
        callback.inputProc != current.inputProc || callback.inputProcRefCon != current.inputProcRefCon;
    if (callbackChanged)
        current = callback;
    if (inputConnections[element].sourceAudioUnit) {
        inputConnections[element] = AudioUnitConnection{};
        propertyChanged(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, element);
    }
    if (callbackChanged)
        propertyChanged(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, element);
}

void TandemComponent::setHostCallbacks(UInt32 dataSize, const void* data)
{
    HostCallbackInfo callbacks;
    std::memset(&callbacks, 0, sizeof callbacks);
    std::memcpy(&callbacks, data, std::min<size_t>(dataSize, sizeof callbacks));
    if (std::memcmp(&callbacks, &hostCallbacks, sizeof callbacks) != 0) {
        hostCallbacks = callbacks;
        propertyChanged(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0);
    }
}

void TandemComponent::propertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element)
{
    if (propertyListenerCount == 0) {
        AudioUnitEvent event;
        std::memset(&event, 0, sizeof event);
        event.mEventType = kAudioUnitEvent_PropertyChange;
        event.mArgument.mProperty.mAudioUnit = auInstance;
        event.mArgument.mProperty.mPropertyID = id;
        event.mArgument.mProperty.mScope = scope;
        event.mArgument.mProperty.mElement = element;
        AUEventListenerNotify(nullptr, nullptr, &event);
        return;
    }
    for (int i = 0; i < propertyListenerCount; ++i)
        if (propertyListeners[i].id == id)
            propertyListeners[i].proc(propertyListeners[i].reference, auInstance, id, scope, element);
}
