#pragma once

// TandemRenderer: what rendering needs and owns. The effect's pins grouped
// into buses, the pin buffers, what feeds each input bus (a render callback
// or another unit), the MIDI queue and time information handed to the
// effect, and the render itself: one AudioUnit render request becomes at most
// one processReplacing call of the effect.
//
// Everything but render() runs on the host's other threads while the unit is
// uninitialized or under the host's own serialization; render() allocates
// nothing, takes no lock and answers failures with a status.

#include "plugin/VstInterface.h"
#include "hosting/VSTPlugIn.h"

#include <AudioUnit/AudioUnit.h>

#include <cstddef>
#include <memory>

class TandemNotifier;

// The MIDI queue handed to the effect: a VstEvents record with room for the
// whole queue.
struct TandemVstEvents {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[1024];
};
static_assert(offsetof(TandemVstEvents, events) == offsetof(VstEvents, events),
              "the queue is handed to the effect as a VstEvents record");

class TandemRenderer {
public:
    static constexpr int maxBuses = 32;
    static constexpr int maxPins = 32;
    static constexpr int maxMidiEvents = 1024;
    // The sample time that stands for "no slice rendered yet".
    static constexpr double noSampleTime = -12345678.0;

    TandemRenderer(VSTPlugIn& vst, TandemNotifier& notifier, bool tandemExtensions);
    ~TandemRenderer();
    TandemRenderer(const TandemRenderer&) = delete;
    TandemRenderer& operator=(const TandemRenderer&) = delete;

    // Groups the effect's pins into buses: same width for all buses, or each
    // as its first pin says.
    void buildBuses(bool sameWidthForAllBuses);
    void setMaxFramesPerSlice(int frames); // reallocates the pin buffers
    int getMaxFramesPerSlice() const { return maxFramesPerSlice; }

    int getInputBusCount() const { return inputBusCount; }
    int getOutputBusCount() const { return outputBusCount; }
    int getMaxInputChannels(int bus) const { return inputBusFirstPin[bus + 1] - inputBusFirstPin[bus]; }
    int getMaxOutputChannels(int bus) const { return outputBusFirstPin[bus + 1] - outputBusFirstPin[bus]; }
    int getActiveChannels(bool input, int bus) const
    {
        return (input ? inputBusActiveChannels : outputBusActiveChannels)[bus];
    }
    void setActiveChannels(bool input, int bus, int channels)
    {
        (input ? inputBusActiveChannels : outputBusActiveChannels)[bus] = channels;
    }
    CFStringRef getBusName(bool input, int bus) const { return (input ? inputBusNames : outputBusNames)[bus]; }

    const AudioUnitConnection& getConnection(int bus) const { return inputConnections[bus]; }
    void setConnection(int bus, const AudioUnitConnection& connection) { inputConnections[bus] = connection; }
    const AURenderCallbackStruct& getRenderCallback(int bus) const { return inputCallbacks[bus]; }
    void setRenderCallback(int bus, const AURenderCallbackStruct& callback) { inputCallbacks[bus] = callback; }
    const HostCallbackInfo& getHostCallbacks() const { return hostCallbacks; }
    void setHostCallbacks(const HostCallbackInfo& callbacks) { hostCallbacks = callbacks; }
    double getSampleRate() const { return sampleRate; }
    void setSampleRate(double rate) { sampleRate = rate; }

    // MIDI for the next slice; false when the queue is full.
    bool queueMidiEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset);
    // The next slice is rendered whatever its time stamp.
    void forgetLastSlice() { lastRenderSampleTime = noSampleTime; }
    VstTimeInfo& timeInfo() { return vstTimeInfo; }

    OSStatus render(AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp, UInt32 bus,
                    UInt32 frames, AudioBufferList* ioData) noexcept;

private:
    void buildBuses(bool input, bool sameWidthForAllBuses);
    OSStatus collectInputAudio(UInt32 frames, float** inputPointers, const AudioTimeStamp* timeStamp,
                               bool& allSilent) noexcept;
    void renderOutput(UInt32 frames, float** inputPointers, float** outputPointers, bool inputIsSilent) noexcept;

    VSTPlugIn& vst;
    TandemNotifier& notifier;
    const bool vstSupportsTandemExtensions;
    double sampleRate = 44100.0;
    int maxFramesPerSlice = 4096;
    double lastRenderSampleTime = noSampleTime;
    bool outputIsSilent = false;

    int inputBusCount = 0, outputBusCount = 0;
    int inputBusFirstPin[maxBuses + 1] = {}, outputBusFirstPin[maxBuses + 1] = {};
    int inputBusActiveChannels[maxBuses + 1] = {}, outputBusActiveChannels[maxBuses + 1] = {};
    CFStringRef inputBusNames[maxBuses] = {}, outputBusNames[maxBuses] = {};
    AudioUnitConnection inputConnections[maxBuses] = {};
    AURenderCallbackStruct inputCallbacks[maxBuses] = {};
    HostCallbackInfo hostCallbacks = {};

    std::unique_ptr<float[]> ioBuffers[maxPins];
    // Where host channels that have no pin of their own go (a stereo format
    // accepted on a mono bus): written by the host, never read by the effect.
    std::unique_ptr<float[]> spareBuffer;
    TandemVstEvents vstMidiEvents = {};
    std::unique_ptr<VstMidiEvent[]> midiEventStorage;
    VstTimeInfo vstTimeInfo = {};
};
