#pragma once

// One effect rendered two ways, for comparing them sample for sample: through
// an AudioUnit (fed by a render callback) and directly through VSTPlugIn,
// with the same signal cut into the same irregular slices.

#include "TandemTestSupport.h"

#include "hosting/SilentVSTHost.h"
#include "hosting/VSTPlugIn.h"

#include <cmath>
#include <vector>

// A guitar-like test signal at 48 kHz: a 110 Hz tone with a harmonic, struck
// every half second.
inline float riff(UInt32 channel, double sample)
{
    const double t = sample / 48000.0;
    return float((0.4 + 0.1 * channel) * std::exp(-2.0 * std::fmod(t, 0.5)) *
                 (std::sin(2 * M_PI * 110 * t) + 0.3 * std::sin(2 * M_PI * 330 * t)));
}

inline OSStatus riffSource(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp* stamp, UInt32, UInt32 frames,
                           AudioBufferList* ioData)
{
    for (UInt32 c = 0; c < ioData->mNumberBuffers; ++c)
        for (UInt32 i = 0; i < frames; ++i)
            static_cast<float*>(ioData->mBuffers[c].mData)[i] = riff(c, stamp->mSampleTime + i);
    return noErr;
}

constexpr int riffSlices[] = {512, 512, 77, 1024, 3, 512, 1000, 1024};

// Both channels of every slice, one after the other; empty when a render failed.
inline std::vector<float> renderRiffThroughAudioUnit(AudioUnit unit)
{
    std::vector<float> result;
    BufferList out(2, 1024);
    double time = 0;
    for (int frames : riffSlices) {
        AudioTimeStamp stamp = sampleTime(time);
        if (AudioUnitRender(unit, nullptr, &stamp, 0, UInt32(frames), out.get()) != noErr)
            return {};
        for (int c = 0; c < 2; ++c)
            result.insert(result.end(), out.channel(c), out.channel(c) + frames);
        time += frames;
    }
    return result;
}

// The effect resumed, fed in place as the component feeds it, suspended.
inline std::vector<float> renderRiffThroughVST(VSTPlugIn& effect)
{
    effect.resume();
    std::vector<float> result;
    std::vector<float> left(1024), right(1024);
    double time = 0;
    for (int frames : riffSlices) {
        for (int i = 0; i < frames; ++i) {
            left[i] = riff(0, time + i);
            right[i] = riff(1, time + i);
        }
        float* io[2] = {left.data(), right.data()};
        effect.processReplacing(io, io, frames);
        result.insert(result.end(), left.begin(), left.begin() + frames);
        result.insert(result.end(), right.begin(), right.begin() + frames);
        time += frames;
    }
    effect.suspend();
    return result;
}

inline CFBundleRef createBundleForFolder(const char* folder)
{
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(folder),
                                                           CFIndex(std::strlen(folder)), true);
    CFBundleRef bundle = url ? CFBundleCreate(nullptr, url) : nullptr;
    if (url)
        CFRelease(url);
    return bundle;
}
