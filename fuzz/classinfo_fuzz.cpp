// libFuzzer target: arbitrary bytes as an XML property list handed to an
// open Gravel AudioUnit through ClassInfo, as a host restores a document.
// The unit refuses what is not its own preset (-10851, or the status of a
// missing key) and always stays usable: its state reads back as a preset
// dictionary and it renders finite audio.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "TandemFuzzBundle.h"

namespace {

struct Input {
    float samples[2][64];
    static OSStatus render(void* reference, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                           UInt32 frames, AudioBufferList* ioData)
    {
        const Input& input = *static_cast<const Input*>(reference);
        for (UInt32 b = 0; b < ioData->mNumberBuffers && b < 2; ++b)
            std::memcpy(ioData->mBuffers[b].mData, input.samples[b], frames * sizeof(float));
        return noErr;
    }
};

AudioUnit openedUnit()
{
    static Input input;
    static AudioUnit unit = [] {
        for (int i = 0; i < 64; ++i)
            input.samples[0][i] = input.samples[1][i] = 0.5f * std::sin(float(i) * 0.3f);
        AudioUnit opened = tandem_fuzz::openUnit();
        if (!opened)
            __builtin_trap();
        AURenderCallbackStruct callback = {&Input::render, &input};
        AudioUnitSetProperty(opened, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                             sizeof callback);
        if (AudioUnitInitialize(opened) != noErr)
            __builtin_trap();
        return opened;
    }();
    return unit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    AudioUnit unit = openedUnit();
    CFDataRef xml = CFDataCreate(nullptr, data, CFIndex(size));
    CFPropertyListRef preset = CFPropertyListCreateFromXMLData(nullptr, xml, kCFPropertyListImmutable, nullptr);
    CFRelease(xml);
    if (!preset)
        return 0;
    const OSStatus status =
        AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &preset, sizeof preset);
    CFRelease(preset);
    if (status != noErr && status != kAudioUnitErr_InvalidPropertyValue && status != -32767)
        __builtin_trap();

    CFPropertyListRef state = nullptr;
    UInt32 stateSize = sizeof state;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &stateSize) !=
            noErr ||
        !state || CFGetTypeID(state) != CFDictionaryGetTypeID())
        __builtin_trap();
    CFRelease(state);

    static double time = 0;
    AudioTimeStamp stamp = {};
    stamp.mSampleTime = time;
    stamp.mFlags = kAudioTimeStampSampleTimeValid;
    time += 64;
    float left[64], right[64];
    struct {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[2];
    } out = {2, {{1, sizeof left, left}, {1, sizeof right, right}}};
    if (AudioUnitRender(unit, nullptr, &stamp, 0, 64, reinterpret_cast<AudioBufferList*>(&out)) != noErr)
        __builtin_trap();
    for (int i = 0; i < 64; ++i)
        if (!std::isfinite(left[i]) || !std::isfinite(right[i]))
            __builtin_trap();
    return 0;
}
