// Gravel.lv2 as LV2's own tools see it: lv2ls and lv2info read the bundle
// with every port, range, enumeration and designation, and lv2file (a real
// LV2 host) renders files that equal `gravel render` through Gravel.vst
// sample for sample.
#include "LV2Scratch.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

using namespace lv2test;

namespace {

// lv2info's text, one entry per "Port N:" block.
std::map<std::string, std::string> portBlocksBySymbol(const std::string& info)
{
    std::map<std::string, std::string> blocks;
    const std::regex portStart("\n\tPort [0-9]+:\n");
    std::sregex_token_iterator part(info.begin(), info.end(), portStart, -1), end;
    for (++part; part != end; ++part) {
        const std::string block = *part;
        std::smatch symbol;
        if (std::regex_search(block, symbol, std::regex("Symbol: +([a-z_]+)")))
            blocks[symbol[1]] = block;
    }
    return blocks;
}

bool has(const std::string& text, const std::string& piece)
{
    return text.find(piece) != std::string::npos;
}

} // namespace

TEST(LV2Bundle, ToolsListThePluginWithEveryPortPresetAndTheUI)
{
    ScratchFolder scratch;
    const CommandResult list = run(scratch, "lv2ls");
    ASSERT_EQ(list.status, 0);
    EXPECT_EQ(list.out, std::string(kPluginURI) + "\n");

    const CommandResult info = run(scratch, std::string("lv2info ") + kPluginURI);
    ASSERT_EQ(info.status, 0);
    EXPECT_TRUE(has(info.out, "Name:              Gravel\n"));
    EXPECT_TRUE(has(info.out, "http://lv2plug.in/ns/lv2core#hardRTCapable"));
    EXPECT_TRUE(has(info.out, std::string(kPluginURI) + "#ui\n\t\t\tClass:  http://lv2plug.in/ns/extensions/ui#X11UI"));
    for (const char* preset : {"Init", "Clean Boost", "Edge of Breakup", "Crunch", "Lead", "Fat Lead"})
        EXPECT_TRUE(std::regex_search(info.out, std::regex(std::string("\n\t +") + preset + "\n"))) << preset;

    const std::map<std::string, std::string> ports = portBlocksBySymbol(info.out);
    ASSERT_EQ(ports.size(), 15u) << info.out;
    for (const char* audio : {"in_l", "in_r", "out_l", "out_r"})
        EXPECT_TRUE(has(ports.at(audio), "lv2core#AudioPort")) << audio;

    struct Control {
        const char* symbol;
        const char* name;
        const char* range; // minimum, maximum and default as lv2info prints them
        std::vector<std::string> extras;
    };
    const std::string toggled = "Properties:  http://lv2plug.in/ns/lv2core#toggled";
    const Control controls[] = {
        {"input_level", "Input Level", "0.000000 2.000000 1.000000", {}},
        {"drive", "Drive", "0.000000 10.000000 0.000000", {}},
        {"tone", "Tone", "0.000000 10.000000 5.000000", {}},
        {"level", "Level", "0.000000 10.000000 5.000000", {}},
        {"asym", "Asym.", "0.000000 1.000000 0.000000", {toggled}},
        {"fat", "Fat", "0.000000 1.000000 0.000000", {toggled}},
        {"in_buffer", "In Buffer", "0.000000 1.000000 1.000000", {toggled}},
        {"out_buffer", "Out Buffer", "0.000000 1.000000 1.000000", {toggled}},
        {"mode", "Plugin Mode", "0.000000 1.000000 0.000000",
         {"0 = \"Mono\"", "1 = \"Stereo\"", "lv2core#enumeration", "lv2core#integer"}},
        {"enabled", "Enabled", "0.000000 1.000000 1.000000",
         {"Designation: http://lv2plug.in/ns/lv2core#enabled", "lv2core#toggled"}},
        {"oversampling", "Oversampling", "2.000000 8.000000 2.000000",
         {"2 = \"2x\"", "4 = \"4x\"", "8 = \"8x\"", "lv2core#enumeration", "lv2core#integer"}},
    };
    for (const Control& c : controls) {
        const std::string& block = ports.at(c.symbol);
        EXPECT_TRUE(has(block, "lv2core#ControlPort")) << c.symbol;
        EXPECT_TRUE(has(block, std::string("Name:        ") + c.name + "\n")) << block;
        std::smatch range;
        ASSERT_TRUE(std::regex_search(block, range,
                                      std::regex("Minimum: +(\\S+)\n\t+Maximum: +(\\S+)\n\t+Default: +(\\S+)")))
            << block;
        EXPECT_EQ(range[1].str() + " " + range[2].str() + " " + range[3].str(), c.range) << c.symbol;
        for (const std::string& extra : c.extras)
            EXPECT_TRUE(has(block, extra)) << c.symbol << " lacks " << extra << "\n" << block;
    }
}

// The Turtle files against LV2's own vocabulary (types, domains, ranges,
// labels), as LV2's validator checks them.
TEST(LV2Bundle, TurtleFilesPassLV2sValidator)
{
    ScratchFolder scratch;
    const std::string bundle = GRAVEL_LV2_BUNDLE_DIR;
    const CommandResult validation =
        run(scratch, "lv2_validate '" + bundle + "/manifest.ttl' '" + bundle + "/gravel.ttl' '" + bundle +
                         "/presets.ttl' 2>&1 | grep -v '^Skipping'");
    EXPECT_TRUE(has(validation.out, "Found 0 errors")) << validation.out;
}

// Hosts such as MOD load the DSP without any display library present; the
// UI binary finds the platform library inside the bundle, wherever that is.
TEST(LV2Bundle, DSPBinaryLinksNoGUILibraryAndTheUIBringsItsOwn)
{
    ScratchFolder scratch;
    const CommandResult needed =
        run(scratch, std::string("objdump -p '") + GRAVEL_LV2_BUNDLE_DIR + "/Gravel.so' | grep NEEDED");
    ASSERT_EQ(needed.status, 0);
    EXPECT_TRUE(has(needed.out, "libc.so"));
    for (const char* gui : {"X11", "xcb", "cairo", "gravel-platform", "png"})
        EXPECT_FALSE(has(needed.out, gui)) << needed.out;

    const std::string ui = std::string(GRAVEL_LV2_BUNDLE_DIR) + "/Contents/x86_64-linux/GravelUI.so";
    const CommandResult uiPath = run(scratch, "objdump -p '" + ui + "' | grep -E 'RUNPATH|RPATH'");
    EXPECT_TRUE(std::regex_search(uiPath.out, std::regex("PATH +\\$ORIGIN\n"))) << uiPath.out;
    const CommandResult resolved = run(scratch, "ldd '" + ui + "'");
    EXPECT_TRUE(has(resolved.out, "libgravel-platform.so.1 => " + std::string(GRAVEL_LV2_BUNDLE_DIR)))
        << resolved.out;
    EXPECT_FALSE(has(resolved.out, "not found")) << resolved.out;
}

namespace {

Audio guitarFile(int channels)
{
    Audio audio;
    audio.channels = channels;
    audio.rate = 48000;
    const std::vector<double> signal = testsignals::guitar(audio.rate, 1.5, 0.8);
    for (size_t i = 0; i < signal.size(); ++i) {
        audio.samples.push_back(float(signal[i]));
        if (channels == 2) // a different part on the right, so a swap would show
            audio.samples.push_back(float(0.6 * signal[(i * 3 / 2) % signal.size()]));
    }
    return audio;
}

struct Setting {
    const char* gravel; // --set NAME=VALUE, as the pedal shows it
    const char* port;   // -p SYMBOL:VALUE, in the port's units
};

// The same settings through both formats; the LV2 output has two channels,
// the VST render as many as the input.
void expectSameRender(int channels, const std::vector<Setting>& settings)
{
    ScratchFolder scratch;
    const Audio input = guitarFile(channels);
    ASSERT_TRUE(writeFloatWav(scratch.file("in.wav"), input));

    std::string gravel = std::string("'") + GRAVEL_EXECUTABLE + "' render '" + scratch.file("in.wav") +
                         "' -o '" + scratch.file("vst.wav") + "' --plugin '" + GRAVEL_BUNDLE_DIR + "'";
    // The host's own leaks are not ours to count.
    const std::string preload = GRAVEL_LV2_HOST_PRELOAD;
    std::string lv2file = (preload.empty() ? std::string()
                                           : "LD_PRELOAD='" + preload + "' ASAN_OPTIONS=detect_leaks=0 ") +
                          "lv2file --ignore-clipping -i '" + scratch.file("in.wav") + "' -o '" +
                          scratch.file("lv2.wav") + "'";
    if (channels == 1)
        lv2file += " -c 1:in_l -c 1:in_r"; // as gravel feeds a mono file to both inputs
    for (const Setting& s : settings) {
        gravel += std::string(" --set ") + s.gravel;
        lv2file += std::string(" -p ") + s.port;
    }
    ASSERT_EQ(run(scratch, gravel).status, 0) << gravel;
    ASSERT_EQ(run(scratch, lv2file + " " + kPluginURI).status, 0) << lv2file;

    const Audio vst = readWav(scratch.file("vst.wav"));
    const Audio lv2 = readWav(scratch.file("lv2.wav"));
    ASSERT_EQ(vst.frames(), input.frames());
    ASSERT_EQ(lv2.frames(), input.frames());
    ASSERT_EQ(lv2.channels, 2);
    size_t differing = 0, firstDifference = 0;
    double energy = 0.0;
    for (size_t i = 0; i < vst.frames(); ++i)
        for (int c = 0; c < vst.channels; ++c) {
            energy += double(vst.at(i, c)) * vst.at(i, c);
            if (vst.at(i, c) != lv2.at(i, c) && differing++ == 0)
                firstDifference = i;
        }
    EXPECT_EQ(differing, 0u) << "first at frame " << firstDifference;
    EXPECT_GT(energy, 1.0); // the pedal played
}

} // namespace

TEST(LV2File, RendersMonoAsGravelRenderDoesThroughTheVST)
{
    expectSameRender(1, {{"drive=7.5", "drive:7.5"},
                         {"tone=2.5", "tone:2.5"},
                         {"oversampling=4", "oversampling:4"},
                         {"asym=on", "asym:1"}});
}

TEST(LV2File, RendersStereoAsGravelRenderDoesThroughTheVST)
{
    // gravel switches a stereo file to stereo mode; the LV2 port says so.
    expectSameRender(2, {{"drive=6.25", "drive:6.25"},
                         {"tone=8.75", "tone:8.75"},
                         {"level=25%", "level:2.5"},
                         {"\"input level\"=1.5", "input_level:1.5"},
                         {"oversampling=8", "oversampling:8"},
                         {"mode=stereo", "mode:1"},
                         {"fat=on", "fat:1"}});
}
