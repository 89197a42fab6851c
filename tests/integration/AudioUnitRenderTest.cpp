// gravel render --au against gravel render: the built tool renders the same
// files through Gravel's AudioUnit and through its VST entry, and the two
// outputs agree sample for sample.

#include <sndfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Scratch {
public:
    Scratch()
    {
        char pattern[] = "/tmp/gravel-au-render-XXXXXX";
        if (mkdtemp(pattern))
            folder = pattern;
    }
    ~Scratch()
    {
        std::error_code ec;
        if (!folder.empty())
            fs::remove_all(folder, ec);
    }
    std::string path(const std::string& name) const { return folder + "/" + name; }
    std::string folder;
};

// A plucked-string-like test part: a few notes with their decays.
bool writeInput(const std::string& path, int rate, int channels, int format)
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

std::vector<float> readSamples(const std::string& path, SF_INFO& info)
{
    info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return {};
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
    std::vector<float> samples(size_t(info.frames) * size_t(info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

int gravel(const std::string& arguments, std::string* output = nullptr)
{
    const std::string command = std::string("'") + GRAVEL_TOOL + "' " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char line[1024];
    std::string text;
    while (std::fgets(line, sizeof line, pipe))
        text += line;
    if (output)
        *output = text;
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void expectSameRender(const Scratch& scratch, const std::string& input, const std::string& settings)
{
    const std::string viaVST = scratch.path("vst.wav"), viaAU = scratch.path("au.wav");
    std::string log;
    ASSERT_EQ(gravel("render '" + input + "' -o '" + viaVST + "' --plugin '" GRAVEL_BUNDLE_DIR "' " + settings, &log),
              0)
        << log;
    ASSERT_EQ(gravel("render --au '" + input + "' -o '" + viaAU + "' --plugin '" GRAVEL_BUNDLE_DIR "' " + settings,
                     &log),
              0)
        << log;
    EXPECT_NE(log.find("through the AudioUnit"), std::string::npos) << log;
    SF_INFO vstInfo, auInfo, inInfo;
    const std::vector<float> vst = readSamples(viaVST, vstInfo);
    const std::vector<float> au = readSamples(viaAU, auInfo);
    const std::vector<float> in = readSamples(input, inInfo);
    ASSERT_FALSE(vst.empty());
    EXPECT_EQ(auInfo.channels, vstInfo.channels);
    EXPECT_EQ(auInfo.samplerate, vstInfo.samplerate);
    EXPECT_EQ(auInfo.format, vstInfo.format);
    ASSERT_EQ(au.size(), vst.size());
    size_t differing = 0;
    for (size_t i = 0; i < vst.size(); ++i)
        differing += au[i] != vst[i];
    EXPECT_EQ(differing, 0u) << "of " << vst.size() << " samples";
    EXPECT_NE(vst, in) << "the pedal changed the sound";
}

} // namespace

TEST(GravelRenderAudioUnit, MonoFileEqualsTheVSTRender)
{
    Scratch scratch;
    const std::string input = scratch.path("mono.wav");
    ASSERT_TRUE(writeInput(input, 44100, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    expectSameRender(scratch, input, "--set drive=7 --set tone=3 --set fat=on --set oversampling=4 --block 300");
}

TEST(GravelRenderAudioUnit, StereoFileEqualsTheVSTRender)
{
    Scratch scratch;
    const std::string input = scratch.path("stereo.wav");
    ASSERT_TRUE(writeInput(input, 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
    // Both renders switch the pedal to stereo for a stereo file.
    expectSameRender(scratch, input, "--set drive=5.5 --set tone=7 --set level=6 --set oversampling=8");
}

TEST(GravelRenderAudioUnit, WhatOnlyTheVSTEntryDoesIsRefusedInOneLine)
{
    Scratch scratch;
    const std::string input = scratch.path("mono.wav");
    ASSERT_TRUE(writeInput(input, 44100, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    std::string log;
    EXPECT_EQ(gravel("render --au '" + input + "' --preset x.fxp -o '" + scratch.path("o.wav") + "'", &log), 1);
    EXPECT_EQ(log, "gravel: --preset and --save-preset work through the VST entry only; leave out --au\n");
    EXPECT_EQ(gravel("render --au '" + input + "' --set drive=loud -o '" + scratch.path("o.wav") + "'", &log), 1);
    EXPECT_NE(log.find("with --au, give Drive one of its values or a number"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(scratch.path("o.wav"))) << "a refused render leaves no file";
    EXPECT_EQ(gravel("render --au '" + input + "' --plugin '" + scratch.folder + "' -o '" + scratch.path("o.wav") + "'",
                     &log),
              1);
    EXPECT_NE(log.find("declares no AudioUnit component"), std::string::npos) << log;
}
