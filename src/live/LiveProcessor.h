#pragma once

// The audio path of the live standalone, apart from JACK: what the process
// callback does with the buffers and MIDI messages of one block. The audio
// thread only calls controlChange() and process(): they allocate nothing,
// take no lock and make no system call.

#include "live/MidiControlMap.h"

#include <atomic>
#include <cstddef>
#include <vector>

class VSTPlugIn;

class LiveProcessor {
public:
    // The effect is open; the processor resumes it in configure().
    LiveProcessor(VSTPlugIn& plugIn, const MidiControlMap& controls);

    // Outside the audio path (before audio starts, and when the server's
    // rate or block size changes while no block runs): suspends the effect,
    // sets it up and resumes it. Allocates.
    void configure(double sampleRate, int maxFrames);
    // Before the effect is saved or closed.
    void stop();

    int inputCount() const { return int(inputs.size()); }
    int outputCount() const { return outputs; }

    // Audio thread: a MIDI message of the coming block. A mapped control
    // change reaches the effect through its parameter path, so it applies
    // from the start of that block (and the editor follows it).
    void controlChange(const unsigned char* message, size_t size);

    // Audio thread: one block, one buffer per effect pin each way (inputs
    // are copied first; the effect may write into its own). Non-finite
    // output samples are counted and silenced.
    void process(const float* const* in, float* const* out, int frames);

    long long nonFiniteSamples() const { return nonFinite.load(std::memory_order_relaxed); }

private:
    VSTPlugIn& plugIn;
    const MidiControlMap& controls;
    std::vector<std::vector<float>> inputs;
    std::vector<float*> inputPointers;
    int outputs = 0;
    int maxFrames = 0;
    double sampleRate = 0.0;
    std::atomic<long long> nonFinite{0};
};
