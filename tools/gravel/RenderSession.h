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
    virtual bool summaryGivesLevels() const { return true; }
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

// The "Plugin Mode" parameter a stereo file switches to stereo (so that its
// right channel is not lost to a mono effect), or -1 to leave the mode as
// it is: a file that is not stereo, a preset (it chooses the mode itself), a
// setting naming the mode, or no such parameter.
int modeParameterToMatch(const std::vector<std::string>& parameterNames, const RenderOptions& options,
                         int channels);
