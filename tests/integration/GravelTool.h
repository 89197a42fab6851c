#pragma once
// The built gravel tool and the sound files the integration suites render.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "../support/ToolRuns.h"

// gravel with the arguments; its exit status, and its output in *output.
inline int gravel(const std::string& arguments, std::string* output = nullptr)
{
    const CommandOutput run = runCommand(std::string("'") + GRAVEL_TOOL + "' " + arguments);
    if (output)
        *output = run.text;
    return run.status;
}

// A plucked-string-like test part: a few notes with their decays.
inline bool writeInput(const std::string& path, int rate, int channels, int format)
{
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const int frames = rate * 3 / 2;
    std::vector<float> samples(size_t(frames) * size_t(channels));
    const double notes[] = {82.4, 110.0, 146.8};
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const int note = std::min(2, int(t / 0.5));
        const double local = t - 0.5 * note;
        const double x = 0.5 * std::exp(-4.0 * local) *
                         (std::sin(2 * M_PI * notes[note] * t) + 0.4 * std::sin(4 * M_PI * notes[note] * t));
        for (int c = 0; c < channels; ++c)
            samples[size_t(i) * channels + c] = float(x * (c == 0 ? 1.0 : 0.7));
    }
    const bool written = sf_writef_float(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

// The samples as written (PCM not rescaled), and the file's format in *info.
inline std::vector<float> readSamples(const std::string& path, SF_INFO* info = nullptr)
{
    SF_INFO read = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &read);
    if (info)
        *info = read;
    if (!file)
        return {};
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
    std::vector<float> samples(size_t(read.frames) * size_t(read.channels));
    sf_readf_float(file, samples.data(), read.frames);
    sf_close(file);
    return samples;
}
