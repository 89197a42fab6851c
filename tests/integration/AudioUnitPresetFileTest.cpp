// .aupreset files through the built gravel tool: a preset saved with
// --save-aupreset and loaded with --aupreset renders the same file, damaged
// presets are refused in one line without writing anything, and au-info
// lists the factory presets Gravel ships.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "GravelTool.h"

namespace fs = std::filesystem;

namespace {

// gravel on the built bundle.
int gravelOnBundle(const std::string& arguments, std::string* output = nullptr)
{
    return gravel(arguments + " --plugin '" GRAVEL_BUNDLE_DIR "'", output);
}

void writeStereoInput(const std::string& path)
{
    ASSERT_TRUE(writeInput(path, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
}

} // namespace

TEST(AudioUnitPresetFiles, ASavedPresetRendersIdenticallyWhenLoaded)
{
    ScratchFolder scratch("aupreset");
    const std::string input = scratch.path("in.wav"), preset = scratch.path("Song Sound.aupreset");
    writeStereoInput(input);
    std::string log;
    ASSERT_EQ(gravelOnBundle("render '" + input + "' -o '" + scratch.path("saved.wav") + "' --set drive=8 --set tone=3 "
                     "--set fat=on --set oversampling=2x --save-aupreset '" + preset + "'",
                     &log),
              0)
        << log;
    // The property list a host writes: the wrapper's seven keys.
    const std::string xml = fileBytes(preset);
    for (const char* key : {"version", "type", "subtype", "manufacturer", "name", "vstdata", "ProgramNumber"})
        EXPECT_NE(xml.find(std::string("<key>") + key + "</key>"), std::string::npos) << key;
    EXPECT_NE(xml.find("<key>name</key>\n\t<string>Song Sound</string>"), std::string::npos) << xml;

    ASSERT_EQ(gravelOnBundle("render '" + input + "' -o '" + scratch.path("loaded.wav") + "' --aupreset '" + preset + "'",
                     &log),
              0)
        << log;
    ASSERT_EQ(gravelOnBundle("render --au '" + input + "' -o '" + scratch.path("plain.wav") + "'", &log), 0) << log;
    const std::vector<float> saved = readSamples(scratch.path("saved.wav"));
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(readSamples(scratch.path("loaded.wav")), saved);
    EXPECT_NE(readSamples(scratch.path("plain.wav")), saved);
}

TEST(AudioUnitPresetFiles, DamagedPresetsAreRefusedInOneLineAndWriteNothing)
{
    ScratchFolder scratch("aupreset");
    const std::string input = scratch.path("in.wav"), good = scratch.path("good.aupreset");
    writeStereoInput(input);
    ASSERT_EQ(gravelOnBundle("render '" + input + "' -o '" + scratch.path("first.wav") + "' --save-aupreset '" + good + "'"), 0);
    std::string xml = fileBytes(good);

    // Another component's preset: the subtype integer changed.
    std::string other = xml;
    const size_t subtype = other.find("<key>subtype</key>");
    ASSERT_NE(subtype, std::string::npos);
    const size_t number = other.find("<integer>", subtype) + 9;
    other.replace(number, other.find("</integer>", number) - number, "1");
    std::ofstream(scratch.path("other.aupreset"), std::ios::binary) << other;
    std::ofstream(scratch.path("truncated.aupreset"), std::ios::binary) << xml.substr(0, xml.size() / 2);
    std::ofstream(scratch.path("garbage.aupreset"), std::ios::binary) << "\x01\x02not xml at all";
    std::ofstream(scratch.path("array.aupreset"), std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><array/></plist>";
    std::string noData = xml;
    noData.replace(noData.find("<key>vstdata</key>"), 18, "<key>other</key>");
    std::ofstream(scratch.path("nodata.aupreset"), std::ios::binary) << noData;
    fs::create_directory(scratch.path("folder.aupreset"));

    for (const char* name : {"other", "truncated", "garbage", "array", "nodata", "folder", "missing"}) {
        const std::string out = scratch.path(std::string(name) + ".wav");
        std::string log;
        EXPECT_EQ(gravelOnBundle("render '" + input + "' -o '" + out + "' --aupreset '" + scratch.path(std::string(name) +
                                                                                                ".aupreset") + "'",
                         &log),
                  1)
            << name;
        EXPECT_EQ(log.rfind("gravel: cannot load AudioUnit preset ", 0), 0u) << log;
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        EXPECT_FALSE(fs::exists(out)) << name;
    }
}

TEST(AudioUnitPresetFiles, AuInfoListsTheShippedFactoryPresets)
{
    std::string log;
    ASSERT_EQ(gravelOnBundle("au-info", &log), 0) << log;
    EXPECT_NE(log.find("factory presets: 6\n    0  Init 1\n    1  Clean Boost\n    2  Edge of Breakup\n"
                       "    3  Crunch\n    4  Lead\n    5  Fat Lead\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("current preset: Init 1 (user preset)"), std::string::npos) << log;
}
