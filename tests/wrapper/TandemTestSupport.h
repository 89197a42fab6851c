#pragma once

// What the AudioUnit component tests share: opening a component bundle
// through the AudioUnit API, the fake effect's record, the component's log
// lines (read back from the standard error stream, where the bundle writes
// them) and a render source.

#include "FakeBusEffect.h"
#include "../support/TemporaryFolder.h"

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>

#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

inline std::string componentPath(const std::string& name)
{
    return std::string(GRAVEL_TEST_COMPONENTS_DIR) + "/" + name + ".component";
}

inline OSType fourCC(const char* text)
{
    return (OSType(UInt8(text[0])) << 24) | (OSType(UInt8(text[1])) << 16) | (OSType(UInt8(text[2])) << 8) |
           OSType(UInt8(text[3]));
}

// The fake effect's record, in the copy of FakeBus.so that the components
// load; reset to its defaults.
inline FakeBusState& fakeBus()
{
    static void* handle = dlopen(GRAVEL_FAKE_BUS_EXECUTABLE, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw std::runtime_error(std::string("cannot load the fake effect: ") + dlerror());
    return *static_cast<FakeBusState*>(dlsym(handle, "fakeBusState"));
}

inline FakeBusState& resetFakeBus()
{
    FakeBusState& state = fakeBus();
    std::memset(&state, 0, sizeof state);
    state.numInputs = 2;
    state.numOutputs = 2;
    state.stereoInputPins = 1;
    state.stereoOutputPins = 1;
    state.describePins = true;
    state.tandemExtensions = true;
    return state;
}

// The standard error stream goes to a file for as long as this lives.
class StderrCapture {
public:
    StderrCapture()
    {
        std::fflush(stderr);
        std::string name = temporaryPattern("tandem-stderr");
        const int fd = mkstemp(name.data());
        path = name;
        saved = dup(2);
        dup2(fd, 2);
        close(fd);
    }
    ~StderrCapture()
    {
        restore();
        std::remove(path.c_str());
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Every line written so far, without its newline.
    std::vector<std::string> lines()
    {
        std::fflush(stderr);
        std::ifstream in(path);
        std::vector<std::string> result;
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }
    bool contains(const std::string& line)
    {
        for (const std::string& l : lines())
            if (l == line)
                return true;
        return false;
    }
    // Lines logged on the audio thread are written out by the component's
    // writer thread a little later: waits for the line up to 3 s.
    bool containsSoon(const std::string& line)
    {
        for (int i = 0; i < 300 && !contains(line); ++i)
            usleep(10000);
        return contains(line);
    }
    std::string text()
    {
        std::string all;
        for (const std::string& l : lines())
            all += l + "\n";
        return all;
    }

private:
    void restore()
    {
        if (saved >= 0) {
            std::fflush(stderr);
            dup2(saved, 2);
            close(saved);
            saved = -1;
        }
    }
    std::string path;
    int saved = -1;
};

// A log line of the component named `name`, written on this thread.
inline std::string logLine(const std::string& name, const std::string& message)
{
    char prefix[512];
    std::snprintf(prefix, sizeof prefix, "[%s](%p) ", name.c_str(), reinterpret_cast<void*>(pthread_self()));
    return prefix + message;
}

inline AudioComponent findComponent(const char* subtype, const char* manufacturer)
{
    AudioComponentDescription description = {kAudioUnitType_Effect, fourCC(subtype), fourCC(manufacturer), 0, 0};
    return AudioComponentFindNext(nullptr, &description);
}

// One AudioUnit instance of a registered bundle, disposed of at the end.
class OpenedUnit {
public:
    OpenedUnit(const std::string& bundlePath, const char* subtype, const char* manufacturer = "Test")
    {
        GravelRegisterComponentBundle(bundlePath.c_str());
        AudioComponent component = findComponent(subtype, manufacturer);
        status = component ? AudioComponentInstanceNew(component, &unit) : OSStatus(-1);
        if (status != noErr)
            unit = nullptr;
    }
    ~OpenedUnit()
    {
        if (unit)
            AudioComponentInstanceDispose(unit);
    }
    OpenedUnit(const OpenedUnit&) = delete;
    OpenedUnit& operator=(const OpenedUnit&) = delete;

    void dispose()
    {
        if (unit)
            AudioComponentInstanceDispose(unit);
        unit = nullptr;
    }

    AudioUnit unit = nullptr;
    OSStatus status = noErr;
};

// Test components wrapping FakeBus.vst, by their bundle name.
inline OpenedUnit* openTestComponent(const std::string& name, const char* subtype)
{
    return new OpenedUnit(componentPath(name), subtype);
}

inline AudioStreamBasicDescription floatFormat(double sampleRate, UInt32 channels)
{
    AudioStreamBasicDescription format;
    std::memset(&format, 0, sizeof format);
    format.mSampleRate = sampleRate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = 4;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 4;
    format.mChannelsPerFrame = channels;
    format.mBitsPerChannel = 32;
    return format;
}

// Input for a unit's render callback: channel c, frame i of the slice at
// sample time t holds value(c, t + i).
struct RampSource {
    static float value(UInt32 channel, double sample) { return float((channel + 1) * 0.001 + sample * 1e-6); }

    static OSStatus render(void* reference, AudioUnitRenderActionFlags*, const AudioTimeStamp* timeStamp, UInt32,
                           UInt32 frames, AudioBufferList* ioData)
    {
        RampSource* self = static_cast<RampSource*>(reference);
        ++self->calls;
        for (UInt32 c = 0; c < ioData->mNumberBuffers; ++c) {
            float* data = static_cast<float*>(ioData->mBuffers[c].mData);
            for (UInt32 i = 0; i < frames; ++i)
                data[i] = value(c, timeStamp->mSampleTime + i);
        }
        return self->status;
    }

    AURenderCallbackStruct callback() { return AURenderCallbackStruct{&RampSource::render, this}; }

    int calls = 0;
    OSStatus status = noErr;
};

// The unit's input bus 0 fed by the source's render callback.
inline OSStatus feedFrom(AudioUnit unit, RampSource& source)
{
    AURenderCallbackStruct callback = source.callback();
    return AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                                sizeof callback);
}

// An AudioBufferList with room for a few channels.
struct BufferList {
    explicit BufferList(UInt32 channels, UInt32 frames, bool withData = true)
        : storage(channels, std::vector<float>(frames, -99.0f))
    {
        list.mNumberBuffers = channels;
        for (UInt32 c = 0; c < channels; ++c) {
            list.mBuffers[c].mNumberChannels = 1;
            list.mBuffers[c].mDataByteSize = frames * 4;
            list.mBuffers[c].mData = withData ? storage[c].data() : nullptr;
        }
    }
    AudioBufferList* get() { return reinterpret_cast<AudioBufferList*>(&list); }
    float* channel(UInt32 c) { return static_cast<float*>(list.mBuffers[c].mData); }

    struct {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[8];
    } list;
    std::vector<std::vector<float>> storage;
};

inline AudioTimeStamp sampleTime(double time)
{
    AudioTimeStamp stamp;
    std::memset(&stamp, 0, sizeof stamp);
    stamp.mSampleTime = time;
    stamp.mFlags = kAudioTimeStampSampleTimeValid;
    return stamp;
}
