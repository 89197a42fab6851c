// .aupreset files through the built gravel tool: a preset saved with
// --save-aupreset and loaded with --aupreset renders the same file, damaged
// presets are refused in one line without writing anything, and au-info
// lists the factory presets Gravel ships.

#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Scratch {
public:
    Scratch()
    {
        char pattern[] = "/tmp/gravel-aupreset-XXXXXX";
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

// Half a second of a decaying stereo chord.
void writeInput(const std::string& path)
{
    SF_INFO info = {};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    const int frames = 22050;
    std::vector<float> samples(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        const double x = 0.4 * std::exp(-3.0 * t) * (std::sin(2 * M_PI * 110.0 * t) + 0.5 * std::sin(2 * M_PI * 164.8 * t));
        samples[size_t(i) * 2] = float(x);
        samples[size_t(i) * 2 + 1] = float(-0.8 * x);
    }
    EXPECT_EQ(sf_writef_float(file, samples.data(), frames), frames);
    sf_close(file);
}

std::vector<float> readSamples(const std::string& path)
{
    SF_INFO info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<float> samples(size_t(info.frames) * size_t(info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int gravel(const std::string& arguments, std::string* output = nullptr)
{
    const std::string command =
        std::string("'") + GRAVEL_TOOL + "' " + arguments + " --plugin '" GRAVEL_BUNDLE_DIR "' 2>&1";
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

} // namespace

TEST(AudioUnitPresetFiles, ASavedPresetRendersIdenticallyWhenLoaded)
{
    Scratch scratch;
    const std::string input = scratch.path("in.wav"), preset = scratch.path("Song Sound.aupreset");
    writeInput(input);
    std::string log;
    ASSERT_EQ(gravel("render '" + input + "' -o '" + scratch.path("saved.wav") + "' --set drive=8 --set tone=3 "
                     "--set fat=on --set oversampling=2x --save-aupreset '" + preset + "'",
                     &log),
              0)
        << log;
    // The property list a host writes: the wrapper's seven keys.
    const std::string xml = readFile(preset);
    for (const char* key : {"version", "type", "subtype", "manufacturer", "name", "vstdata", "ProgramNumber"})
        EXPECT_NE(xml.find(std::string("<key>") + key + "</key>"), std::string::npos) << key;

    ASSERT_EQ(gravel("render '" + input + "' -o '" + scratch.path("loaded.wav") + "' --aupreset '" + preset + "'",
                     &log),
              0)
        << log;
    ASSERT_EQ(gravel("render --au '" + input + "' -o '" + scratch.path("plain.wav") + "'", &log), 0) << log;
    const std::vector<float> saved = readSamples(scratch.path("saved.wav"));
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(readSamples(scratch.path("loaded.wav")), saved);
    EXPECT_NE(readSamples(scratch.path("plain.wav")), saved);
}

TEST(AudioUnitPresetFiles, DamagedPresetsAreRefusedInOneLineAndWriteNothing)
{
    Scratch scratch;
    const std::string input = scratch.path("in.wav"), good = scratch.path("good.aupreset");
    writeInput(input);
    ASSERT_EQ(gravel("render '" + input + "' -o '" + scratch.path("first.wav") + "' --save-aupreset '" + good + "'"), 0);
    std::string xml = readFile(good);

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
        EXPECT_EQ(gravel("render '" + input + "' -o '" + out + "' --aupreset '" + scratch.path(std::string(name) +
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
    ASSERT_EQ(gravel("au-info", &log), 0) << log;
    EXPECT_NE(log.find("factory presets: 1\n    0  Init 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("current preset: Init 1 (user preset)"), std::string::npos) << log;
}
