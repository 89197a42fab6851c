#pragma once

// One render of a sound file through an effect, whichever entry (VST or
// AudioUnit) drives it: the session reads the input in blocks, hands each
// block to a RenderTarget and writes what comes back, then reports. Only the
// target knows how the effect is called.

#include "Commands.h"
#include "RenderFiles.h"

#include <string>
#include <vector>

class RenderTarget {
public:
    virtual ~RenderTarget() = default;

    // Before the first block: the file's rate and channel count and the
    // largest block to come. Throws ToolError.
    virtual void prepare(double rate, int channels, int maxBlock) = 0;

    // One block, one buffer per file channel both ways, samples in -1..1;
    // position counts the frames rendered before it. Throws ToolError.
    virtual void process(const float* const* in, float* const* out, int frames, long long position) = 0;

    // After the last block, before the session writes its last lines.
    virtual void finish() {}

    // Said once the output is written (empty: nothing to say).
    virtual std::string note() const { return {}; }

    // What the summary line names the render as going through (empty: the
    // VST entry, the default), and whether it gives the signal levels.
    virtual std::string through() const { return {}; }

    // The settings that differ from the effect's defaults, in display form.
    virtual std::string settings() const { return {}; }
};

class RenderSession {
public:
    // Opens the input (or makes the demo riff) and chooses the output path.
    // Throws ToolError.
    explicit RenderSession(const RenderOptions& options);

    const std::string& outputPath() const { return output; }
    bool rendersDemo() const { return options.input.empty(); }

    // Checks the block size and the output format, opens the output,
    // prepares the target, renders every block through it and replaces the
    // output file only when every sample came out finite. Returns the exit
    // code; throws ToolError.
    int run(RenderTarget& target);

private:
    const RenderOptions& options;
    SoundFile in;
    std::vector<float> demoSamples;
    std::string output;
};

class ParameterAccess;

// The render's settings through the effect's parameters, whichever entry:
// a stereo file switches a "Plugin Mode" to stereo (so that its right
// channel is not lost to a mono effect) unless a preset or a setting chooses
// the mode, then each --set in order. Throws ToolError.
void applyRenderSettings(ParameterAccess& parameters, const RenderOptions& options, int channels);

// One line when the effect's mode and the file's channels do not match:
// the right channel left out, or one channel played on both sides. Empty
// otherwise.
std::string channelModeNote(ParameterAccess& parameters, int channels);
