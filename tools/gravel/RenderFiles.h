#pragma once

// The audio files a render reads and writes, opened and checked the same way
// whichever entry (VST or AudioUnit) the effect is driven through.

#include "Commands.h"

#include <sndfile.h>

#include <string>
#include <vector>

constexpr double demoSampleRate = 44100.0;

class SoundFile {
public:
    SoundFile() = default;
    ~SoundFile()
    {
        if (file)
            sf_close(file);
    }
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;
    SNDFILE* file = nullptr;
    SF_INFO info{};
};

// Integer PCM is read and written at its own scale (no normalisation by
// libsndfile), divided by this power of two: exact both ways, so a bypassed
// effect gives back the input's bits. 0 for formats that are not integer PCM.
double pcmScale(int format);

// libsndfile's reason without its closing full stop, to go inside our line.
std::string soundFileError(SNDFILE* file);

// The same file, whether or not either exists yet (through links among
// folders too).
bool sameFile(const std::string& a, const std::string& b);

// Refuses to write where the render reads or writes another file: an option
// given the wrong name must not destroy that file.
void refuseSameFile(const std::string& path, const std::string& other, const char* otherIs,
                    const char* option);

// The input file, or the built-in demo riff (its samples in demoSamples) when
// options.input is empty. Throws ToolError for a missing, unreadable or
// neither mono nor stereo file.
void openRenderInput(const RenderOptions& options, SoundFile& in, std::vector<float>& demoSamples);

// The next block of the render's input into interleaved (at most block
// frames, done of them read before): from the demo riff when demoSamples
// holds it, else from the file. 0 or less at the end.
sf_count_t readRenderInput(SoundFile& in, const std::vector<float>& demoSamples, sf_count_t done,
                           float* interleaved, sf_count_t block);

// OUT: -o, else IN with "-gravel" added (with the extension of the format
// written), else gravel-demo.wav; refused when it is the input or a folder.
std::string renderOutputPath(const RenderOptions& options);

// The format OUT is written in: --format, else the one OUT's extension
// names, else IN's; --bits, else IN's sample format where the format holds
// it. Throws ToolError for a name whose extension says another format, and
// for bits the format cannot hold.
int renderOutputFormat(const RenderOptions& options, const SF_INFO& input);
