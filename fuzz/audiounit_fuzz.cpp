// libFuzzer target: the input bytes are a script of AudioUnit calls a host
// could make on wrapped fake effects: instances opened and closed, property
// info, gets and sets of every id on every scope and element with odd sizes,
// odd bytes or no data, parameters set to NaN, infinities and huge values,
// renders of odd sizes into short or missing buffer lists, listeners and
// render notifications added and removed. Whatever the script, nothing may
// crash and every successful render must give finite samples.
//
// A host's pointers are its own promise: where a property carries a pointer
// (CF objects, procedures, other units) the script picks a valid one or null,
// never random bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "TandemFuzzBundle.h"

namespace {

constexpr int kSlots = 2;
constexpr UInt32 kMaxFrames = 5000;

// Finite input for every render callback.
OSStatus renderInput(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                     AudioBufferList* ioData)
{
    for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
        AudioBuffer& buffer = ioData->mBuffers[b];
        if (!buffer.mData)
            continue;
        const UInt32 count = std::min<UInt32>(frames, buffer.mDataByteSize / sizeof(float));
        auto* samples = static_cast<float*>(buffer.mData);
        for (UInt32 i = 0; i < count; ++i)
            samples[i] = 0.5f * std::sin(0.05f * float(i + b));
    }
    return noErr;
}

OSStatus failingInput(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32, AudioBufferList*)
{
    return kAudioUnitErr_NoConnection;
}

OSStatus renderNotify(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32, AudioBufferList*)
{
    return noErr;
}

void propertyHeard(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}

void eventHeard(void*, void*, const AudioUnitEvent*, UInt64, AudioUnitParameterValue) {}

OSStatus beatAndTempo(void*, Float64* beat, Float64* tempo)
{
    if (beat)
        *beat = 3.5;
    if (tempo)
        *tempo = 120.0;
    return noErr;
}

OSStatus musicalTime(void*, UInt32* offset, Float32* numerator, UInt32* denominator, Float64* downBeat)
{
    if (offset)
        *offset = 10;
    if (numerator)
        *numerator = 0.0f;
    if (denominator)
        *denominator = 0;
    if (downBeat)
        *downBeat = -1.0;
    return noErr;
}

OSStatus transportState(void*, Boolean* playing, Boolean* changed, Float64* sample, Boolean* cycling,
                        Float64* cycleStart, Float64* cycleEnd)
{
    if (playing)
        *playing = true;
    if (changed)
        *changed = false;
    if (sample)
        *sample = 1e12;
    if (cycling)
        *cycling = true;
    if (cycleStart)
        *cycleStart = 8.0;
    if (cycleEnd)
        *cycleEnd = 4.0;
    return noErr;
}

class Script {
public:
    Script(const uint8_t* data, size_t size) : in(data, size) {}

    ~Script()
    {
        for (CFTypeRef object : objects)
            CFRelease(object);
    }

    void run()
    {
        // Hosts dispose of listeners before or after they close the units.
        const bool closeUnitsFirst = in.ConsumeBool();
        AUEventListenerCreate(eventHeard, nullptr, nullptr, nullptr, 0.0f, 0.0f, &eventListener);
        while (in.remaining_bytes() > 0)
            step();
        if (closeUnitsFirst)
            for (AudioUnit& unit : units)
                close(unit);
        if (eventListener)
            AUListenerDispose(eventListener);
        for (AudioUnit& unit : units)
            close(unit);
    }

private:
    FuzzedDataProvider in;
    std::array<AudioUnit, kSlots> units = {};
    AUEventListenerRef eventListener = nullptr;
    std::vector<CFTypeRef> objects;  // made for the script, released at its end
    double sampleTime = 0;

    void close(AudioUnit& unit)
    {
        if (unit)
            AudioComponentInstanceDispose(unit);
        unit = nullptr;
    }

    AudioUnit& slot() { return units[in.ConsumeIntegralInRange<size_t>(0, kSlots - 1)]; }

    AudioUnitPropertyID propertyID()
    {
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0:
            return in.ConsumeIntegral<UInt32>();
        case 1:
            return in.ConsumeIntegralInRange<UInt32>(1000, 1011);
        case 2:
            return in.ConsumeIntegralInRange<UInt32>(4000, 4001);
        default:
            return in.ConsumeIntegralInRange<UInt32>(0, 64);
        }
    }

    // Mostly the scopes and elements a unit has, so that calls get past the checks.
    AudioUnitScope scope()
    {
        switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0:
            return in.ConsumeIntegral<UInt32>();
        case 1:
        case 2:
            return in.ConsumeIntegralInRange<UInt32>(0, 4);
        default:
            return in.ConsumeIntegralInRange<UInt32>(0, 2);
        }
    }

    AudioUnitElement element()
    {
        switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0:
            return in.ConsumeIntegral<UInt32>();
        case 1:
            return in.ConsumeIntegralInRange<UInt32>(0, 40);
        case 2:
        case 3:
            return in.ConsumeIntegralInRange<UInt32>(0, 3);
        default:
            return 0;
        }
    }

    float value()
    {
        static const float special[] = {std::numeric_limits<float>::quiet_NaN(),
                                        -std::numeric_limits<float>::quiet_NaN(),
                                        std::numeric_limits<float>::infinity(),
                                        -std::numeric_limits<float>::infinity(),
                                        std::numeric_limits<float>::max(),
                                        std::numeric_limits<float>::lowest(),
                                        std::numeric_limits<float>::denorm_min(),
                                        1e30f, -1e30f, 0.0f, -0.0f, 0.5f, 1.0f, -1.0f, 1.0001f};
        if (in.ConsumeBool())
            return special[in.ConsumeIntegralInRange<size_t>(0, std::size(special) - 1)];
        return in.ConsumeFloatingPoint<float>();
    }

    // A CF object a host could hand over where a property takes one: null,
    // a string, a number, an empty or a preset-like dictionary.
    CFTypeRef object()
    {
        CFTypeRef made = nullptr;
        switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0:
            return nullptr;
        case 1: {
            const std::string text = in.ConsumeRandomLengthString(64);
            made = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.data()), CFIndex(text.size()),
                                           kCFStringEncodingMacRoman, false);
            break;
        }
        case 2: {
            const SInt32 number = in.ConsumeIntegral<SInt32>();
            made = CFNumberCreate(nullptr, kCFNumberSInt32Type, &number);
            break;
        }
        case 3:
            made = CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                      &kCFTypeDictionaryValueCallBacks);
            break;
        default: {
            const std::vector<uint8_t> xml = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 512));
            CFDataRef data = CFDataCreate(nullptr, xml.data(), CFIndex(xml.size()));
            made = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, nullptr);
            CFRelease(data);
            break;
        }
        }
        if (made)
            objects.push_back(made);
        return made;
    }

    void step()
    {
        switch (in.ConsumeIntegralInRange(0, 17)) {
        case 0: {
            AudioUnit& unit = slot();
            if (unit)
                break;
            unit = tandem_fuzz::openUnit();
            // Fed as hosts feed a unit, until the script says otherwise.
            const AURenderCallbackStruct callback = {renderInput, this};
            if (unit && in.ConsumeIntegralInRange(0, 3))
                AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                                     sizeof callback);
            break;
        }
        case 1:
            close(slot());
            break;
        case 2:
            AudioUnitInitialize(slot());
            break;
        case 3:
            AudioUnitUninitialize(slot());
            break;
        case 4: {
            UInt32 size = 0;
            Boolean writable = false;
            AudioUnitGetPropertyInfo(slot(), propertyID(), scope(), element(), in.ConsumeBool() ? &size : nullptr,
                                     in.ConsumeBool() ? &writable : nullptr);
            break;
        }
        case 5:
        case 6:
            getProperty(slot());
            break;
        case 7:
        case 8:
            setProperty(slot());
            break;
        case 9:
            AudioUnitSetParameter(slot(), in.ConsumeIntegralInRange<UInt32>(0, 20), scope(), element(), value(),
                                  in.ConsumeIntegralInRange<UInt32>(0, kMaxFrames));
            break;
        case 10: {
            AudioUnitParameterValue read = 0;
            AudioUnitGetParameter(slot(), in.ConsumeIntegralInRange<UInt32>(0, 20), scope(), element(),
                                  in.ConsumeBool() ? &read : nullptr);
            break;
        }
        case 11:
            scheduleParameters(slot());
            break;
        case 12:
        case 13:
            render(slot());
            break;
        case 14:
            if (in.ConsumeBool())
                AudioUnitAddPropertyListener(slot(), propertyID(), propertyHeard, this);
            else if (in.ConsumeBool())
                AudioUnitRemovePropertyListener(slot(), propertyID(), propertyHeard);
            else
                AudioUnitRemovePropertyListenerWithUserData(slot(), propertyID(), propertyHeard, this);
            break;
        case 15: {
            AudioUnitEvent event = {};
            event.mEventType = kAudioUnitEvent_PropertyChange;
            event.mArgument.mProperty = {slot(), propertyID(), scope(), element()};
            if (!eventListener)
                break;
            if (in.ConsumeBool())
                AUEventListenerAddEventType(eventListener, nullptr, &event);
            else
                AUEventListenerRemoveEventType(eventListener, nullptr, &event);
            break;
        }
        case 16: {
            AudioUnit unit = slot();
            if (in.ConsumeBool())
                AudioUnitAddRenderNotify(unit, renderNotify, this);
            else
                AudioUnitRemoveRenderNotify(unit, renderNotify, this);
            break;
        }
        default:
            if (in.ConsumeBool())
                AudioUnitReset(slot(), scope(), element());
            else
                MusicDeviceMIDIEvent(slot(), in.ConsumeIntegral<UInt8>(), in.ConsumeIntegral<UInt8>(),
                                     in.ConsumeIntegral<UInt8>(), in.ConsumeIntegralInRange<UInt32>(0, kMaxFrames));
            break;
        }
    }

    void getProperty(AudioUnit unit)
    {
        const AudioUnitPropertyID id = propertyID();
        const AudioUnitScope inScope = scope();
        const AudioUnitElement inElement = element();
        alignas(16) unsigned char buffer[512] = {};
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 64));
        std::copy(bytes.begin(), bytes.end(), buffer);
        // The two requests read their input out of the buffer.
        AudioUnitParameterValue requested = value();
        if (id == kAudioUnitProperty_ParameterStringFromValue) {
            auto* request = reinterpret_cast<AudioUnitParameterStringFromValue*>(buffer);
            request->inValue = in.ConsumeBool() ? &requested : nullptr;
            request->outString = nullptr;
        } else if (id == kAudioUnitProperty_ParameterValueFromString) {
            reinterpret_cast<AudioUnitParameterValueFromString*>(buffer)->inString =
                static_cast<CFStringRef>(object());
        }
        UInt32 size = in.ConsumeIntegralInRange<UInt32>(0, sizeof buffer);
        const bool noData = in.ConsumeBool() && in.ConsumeBool();
        const OSStatus status =
            AudioUnitGetProperty(unit, id, inScope, inElement, noData ? nullptr : buffer, in.ConsumeBool() ? &size : nullptr);
        if (status == noErr && !noData)
            releaseReturned(id, buffer, size);
    }

    // The objects a get hands over retained.
    void releaseReturned(AudioUnitPropertyID id, const unsigned char* buffer, UInt32 size)
    {
        auto release = [](const void* object) {
            CFTypeRef ref = nullptr;
            std::memcpy(&ref, object, sizeof ref);
            if (ref)
                CFRelease(ref);
        };
        switch (id) {
        case kAudioUnitProperty_ClassInfo:
        case kAudioUnitProperty_ParameterValueStrings:
        case kAudioUnitProperty_FactoryPresets:
        case kAudioUnitProperty_ElementName:
            if (size >= sizeof(CFTypeRef))
                release(buffer);
            break;
        case kAudioUnitProperty_CocoaUI:
            if (size >= sizeof(AudioUnitCocoaViewInfo)) {
                release(buffer + offsetof(AudioUnitCocoaViewInfo, mCocoaAUViewBundleLocation));
                release(buffer + offsetof(AudioUnitCocoaViewInfo, mCocoaAUViewClass));
            }
            break;
        case kAudioUnitProperty_ParameterStringFromValue:
            if (size >= sizeof(AudioUnitParameterStringFromValue))
                release(buffer + offsetof(AudioUnitParameterStringFromValue, outString));
            break;
        case kAudioUnitProperty_PresentPreset:
            if (size >= sizeof(AUPreset))
                release(buffer + offsetof(AUPreset, presetName));
            break;
        default:
            break;
        }
    }

    void setProperty(AudioUnit unit)
    {
        const AudioUnitPropertyID id = propertyID();
        const AudioUnitScope inScope = scope();
        const AudioUnitElement inElement = element();
        alignas(16) unsigned char buffer[512] = {};
        UInt32 size = 0;
        switch (id) {
        case kAudioUnitProperty_ClassInfo:
        case kAudioUnitProperty_ContextName: {
            const CFTypeRef given = object();
            std::memcpy(buffer, &given, sizeof given);
            size = sizeof given;
            break;
        }
        case kAudioUnitProperty_MakeConnection: {
            // Only the second unit feeds the first: no cycles.
            AudioUnitConnection connection = {in.ConsumeBool() ? units[1] : nullptr, in.ConsumeIntegral<UInt32>() % 4,
                                              in.ConsumeIntegral<UInt32>() % 4};
            if (unit != units[0])
                connection.sourceAudioUnit = nullptr;
            std::memcpy(buffer, &connection, sizeof connection);
            size = sizeof connection;
            break;
        }
        case kAudioUnitProperty_SetRenderCallback: {
            static const AURenderCallback procedures[] = {renderInput, failingInput, nullptr};
            const AURenderCallbackStruct callback = {
                procedures[in.ConsumeIntegralInRange<size_t>(0, std::size(procedures) - 1)], this};
            std::memcpy(buffer, &callback, sizeof callback);
            size = sizeof callback;
            break;
        }
        case kAudioUnitProperty_HostCallbacks: {
            HostCallbackInfo callbacks = {this, beatAndTempo, musicalTime, transportState};
            if (in.ConsumeBool())
                callbacks = {nullptr, nullptr, nullptr, nullptr};
            std::memcpy(buffer, &callbacks, sizeof callbacks);
            size = sizeof callbacks;
            break;
        }
        case kAudioUnitProperty_CurrentPreset:
        case kAudioUnitProperty_PresentPreset: {
            AUPreset preset = {in.ConsumeIntegral<SInt32>(), static_cast<CFStringRef>(object())};
            std::memcpy(buffer, &preset, sizeof preset);
            size = sizeof preset;
            break;
        }
        case kAudioUnitProperty_StreamFormat:
        case kAudioUnitProperty_SampleRate:
        case kAudioUnitProperty_MaximumFramesPerSlice:
            if (in.ConsumeBool()) {
                size = plausibleValue(id, buffer);
                break;
            }
            size = randomBytes(buffer);
            break;
        case kAudioUnitProperty_ParameterValueFromString:
        case kAudioUnitProperty_ParameterStringFromValue:
        case kAudioUnitProperty_ElementName:
        case kAudioUnitProperty_CocoaUI:
            size = in.ConsumeIntegralInRange<UInt32>(0, sizeof buffer);  // pointers: null only
            break;
        default:
            size = randomBytes(buffer);
            break;
        }
        // Sizes as odd as a host's: none, shorter or longer (zeroes past the value).
        switch (in.ConsumeIntegralInRange(0, 6)) {
        case 0:
            size = 0;
            break;
        case 1:
            size = in.ConsumeIntegralInRange<UInt32>(0, size);
            break;
        case 2:
            size = in.ConsumeIntegralInRange<UInt32>(0, sizeof buffer);
            break;
        default:
            break;
        }
        // Older hosts hand over fewer callbacks, never half a pointer.
        if (id == kAudioUnitProperty_HostCallbacks)
            size -= size % sizeof(void*);
        const bool noData = in.ConsumeIntegralInRange(0, 7) == 0;
        AudioUnitSetProperty(unit, id, inScope, inElement, noData ? nullptr : buffer, size);
    }

    UInt32 randomBytes(unsigned char* buffer)
    {
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 128));
        std::copy(bytes.begin(), bytes.end(), buffer);
        return UInt32(bytes.size());
    }

    // A value near what hosts send, with one odd field, so that the checks
    // behind the size check are reached.
    UInt32 plausibleValue(AudioUnitPropertyID id, unsigned char* buffer)
    {
        static const Float64 rates[] = {44100.0, 48000.0, 96000.0, 8000.0, 1.0, 1e-300, 1e12,
                                        std::numeric_limits<Float64>::quiet_NaN(),
                                        std::numeric_limits<Float64>::infinity(), -44100.0, 0.0};
        const Float64 rate = rates[in.ConsumeIntegralInRange<size_t>(0, std::size(rates) - 1)];
        if (id == kAudioUnitProperty_SampleRate) {
            std::memcpy(buffer, &rate, sizeof rate);
            return sizeof rate;
        }
        if (id == kAudioUnitProperty_MaximumFramesPerSlice) {
            static const UInt32 frames[] = {0, 1, 64, 511, 512, 1156, 4096, 4097, kMaxFrames, 1u << 20, 0xFFFFFFFF};
            const UInt32 value = frames[in.ConsumeIntegralInRange<size_t>(0, std::size(frames) - 1)];
            std::memcpy(buffer, &value, sizeof value);
            return sizeof value;
        }
        static const UInt32 channels[] = {1, 2, 0, 3, 8, 64, 0xFFFFFFFF};
        AudioStreamBasicDescription format = {};
        format.mSampleRate = in.ConsumeBool() ? 44100.0 : rate;
        format.mFormatID = in.ConsumeIntegralInRange(0, 7) ? kAudioFormatLinearPCM : in.ConsumeIntegral<UInt32>();
        format.mFormatFlags = in.ConsumeIntegralInRange(0, 7) ? kAudioFormatFlagsNativeFloatPacked |
                                                                    kAudioFormatFlagIsNonInterleaved
                                                              : in.ConsumeIntegral<UInt32>();
        format.mBytesPerPacket = format.mBytesPerFrame = in.ConsumeIntegralInRange(0, 7) ? 4 : in.ConsumeIntegral<UInt32>();
        format.mFramesPerPacket = in.ConsumeIntegralInRange(0, 7) ? 1 : in.ConsumeIntegral<UInt32>();
        format.mChannelsPerFrame = channels[in.ConsumeIntegralInRange<size_t>(0, std::size(channels) - 1)];
        format.mBitsPerChannel = in.ConsumeIntegralInRange(0, 7) ? 32 : in.ConsumeIntegral<UInt32>();
        std::memcpy(buffer, &format, sizeof format);
        return sizeof format;
    }

    void scheduleParameters(AudioUnit unit)
    {
        AudioUnitParameterEvent events[4] = {};
        const UInt32 count = in.ConsumeIntegralInRange<UInt32>(0, 4);
        for (UInt32 i = 0; i < count; ++i) {
            AudioUnitParameterEvent& event = events[i];
            event.scope = scope();
            event.element = element();
            event.parameter = in.ConsumeIntegralInRange<UInt32>(0, 20);
            event.eventType = in.ConsumeIntegralInRange<UInt32>(0, 3);
            if (event.eventType == kParameterEvent_Ramped)
                event.eventValues.ramp = {in.ConsumeIntegral<SInt32>(), in.ConsumeIntegral<UInt32>(), value(),
                                          value()};
            else
                event.eventValues.immediate = {in.ConsumeIntegral<UInt32>(), value()};
        }
        AudioUnitScheduleParameters(unit, count ? events : nullptr, count);
    }

    void render(AudioUnit unit)
    {
        constexpr UInt32 kMaxBuffers = 4;
        const UInt32 frames = in.ConsumeBool() ? in.ConsumeIntegralInRange<UInt32>(0, kMaxFrames)
                                               : in.ConsumeIntegralInRange<UInt32>(0, 1200);
        const UInt32 bufferCount = in.ConsumeIntegralInRange<UInt32>(0, kMaxBuffers);
        std::vector<unsigned char> listBytes(offsetof(AudioBufferList, mBuffers) + kMaxBuffers * sizeof(AudioBuffer));
        auto* list = reinterpret_cast<AudioBufferList*>(listBytes.data());
        list->mNumberBuffers = bufferCount;
        std::vector<std::vector<float>> storage(bufferCount);
        for (UInt32 b = 0; b < bufferCount; ++b) {
            AudioBuffer& buffer = list->mBuffers[b];
            buffer.mNumberChannels = in.ConsumeBool() ? 1 : in.ConsumeIntegralInRange<UInt32>(0, 3);
            UInt32 samples = frames;
            switch (in.ConsumeIntegralInRange(0, 4)) {
            case 0:
                samples = in.ConsumeIntegralInRange<UInt32>(0, frames);  // short
                break;
            case 1:
                samples = 0;  // the unit's own buffer
                break;
            default:
                break;
            }
            storage[b].assign(samples, std::numeric_limits<float>::quiet_NaN());
            buffer.mData = samples ? storage[b].data() : nullptr;
            buffer.mDataByteSize = samples ? UInt32(samples * sizeof(float)) : in.ConsumeIntegralInRange<UInt32>(0, 1);
        }
        AudioTimeStamp stamp = {};
        stamp.mSampleTime = in.ConsumeBool() ? sampleTime : in.ConsumeFloatingPoint<double>();
        stamp.mFlags = kAudioTimeStampSampleTimeValid;
        sampleTime += frames;
        AudioUnitRenderActionFlags flags = in.ConsumeBool() ? 0 : in.ConsumeIntegral<UInt32>();
        const bool noList = in.ConsumeIntegralInRange(0, 7) == 0;
        const OSStatus status = AudioUnitRender(unit, in.ConsumeBool() ? &flags : nullptr, &stamp,
                                                in.ConsumeIntegralInRange<UInt32>(0, 2), frames,
                                                noList ? nullptr : list);
        if (status != noErr || noList)
            return;
        for (UInt32 b = 0; b < list->mNumberBuffers && b < kMaxBuffers; ++b) {
            const AudioBuffer& buffer = list->mBuffers[b];
            if (!buffer.mData)
                continue;
            const UInt32 count = std::min<UInt32>(frames, buffer.mDataByteSize / sizeof(float));
            const auto* samples = static_cast<const float*>(buffer.mData);
            for (UInt32 i = 0; i < count; ++i)
                if (!std::isfinite(samples[i]))
                    __builtin_trap();
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tandem_fuzz::wrappedEffect() = FAKE_EFFECT_BUNDLE;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Script(data, size).run();
    return 0;
}
