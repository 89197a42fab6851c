// gravel render --au against gravel render: the built tool renders the same
// files through Gravel's AudioUnit and through its VST entry, and the two
// outputs agree sample for sample.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "GravelTool.h"

namespace fs = std::filesystem;

namespace {

using Scratch = ScratchFolder;

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
    SF_INFO vstInfo, auInfo;
    const std::vector<float> vst = readSamples(viaVST, &vstInfo);
    const std::vector<float> au = readSamples(viaAU, &auInfo);
    const std::vector<float> in = readSamples(input);
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
    Scratch scratch("au-render");
    const std::string input = scratch.path("mono.wav");
    ASSERT_TRUE(writeInput(input, 44100, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    expectSameRender(scratch, input, "--set drive=7 --set tone=3 --set fat=on --set oversampling=4 --block 300");
}

TEST(GravelRenderAudioUnit, StereoFileEqualsTheVSTRender)
{
    Scratch scratch("au-render");
    const std::string input = scratch.path("stereo.wav");
    ASSERT_TRUE(writeInput(input, 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
    // Both renders switch the pedal to stereo for a stereo file.
    expectSameRender(scratch, input, "--set drive=5.5 --set tone=7 --set level=6 --set oversampling=8");
}

TEST(GravelRenderAudioUnit, WhatOnlyTheVSTEntryDoesIsRefusedInOneLine)
{
    Scratch scratch("au-render");
    const std::string input = scratch.path("mono.wav");
    ASSERT_TRUE(writeInput(input, 44100, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    std::string log;
    EXPECT_EQ(gravel("render --au '" + input + "' --preset x.fxp -o '" + scratch.path("o.wav") + "'", &log), 1);
    EXPECT_EQ(log, "gravel: --preset and --save-preset work through the VST entry only; leave out --au\n");
    EXPECT_EQ(gravel("render --au '" + input + "' --set drive=loud -o '" + scratch.path("o.wav") + "'", &log), 1);
    EXPECT_NE(log.find("gravel: 'loud' is no value of Drive"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(scratch.path("o.wav"))) << "a refused render leaves no file";
    EXPECT_EQ(gravel("render --au '" + input + "' --plugin '" + scratch.folder + "' -o '" + scratch.path("o.wav") + "'",
                     &log),
              1);
    EXPECT_NE(log.find("declares no AudioUnit component"), std::string::npos) << log;
}
