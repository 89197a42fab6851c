#include "EffectLoader.h"
#include "ParameterMatch.h"
#include "hosting/TandemLog.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::vector<std::string> gravelNames = {
    "Input Level", "Drive", "Tone", "Level", "Asym.", "Fat",
    "In Buffer", "Out Buffer", "Plugin Mode", "Bypass", "Oversampling"};

int find(const std::string& wanted, std::string* error = nullptr)
{
    std::string message;
    const int index = findParameter(gravelNames, wanted, message);
    if (error)
        *error = message;
    return index;
}

struct QuietLog {
    QuietLog() { setTandemLogSink([](const char*, void*) {}, nullptr); }
    ~QuietLog() { setTandemLogSink(nullptr, nullptr); }
};

std::string shown(VSTPlugIn& plugIn, int parameter, float value)
{
    plugIn.setParameter(parameter, value);
    char text[32] = {};
    plugIn.getParameterDisplay(parameter, text);
    return text;
}

} // namespace

TEST(ParameterMatch, NamesMatchWholeThenByWordThenByPrefix)
{
    EXPECT_EQ(normaliseName("  Input-LEVEL  "), "input level");
    EXPECT_EQ(normaliseName("Asym."), "asym");
    EXPECT_EQ(find("drive"), 1);
    EXPECT_EQ(find("input level"), 0);
    EXPECT_EQ(find("INPUT_LEVEL"), 0);
    EXPECT_EQ(find("inputlevel"), 0);
    EXPECT_EQ(find("level"), 3) << "a whole name beats a word of another";
    EXPECT_EQ(find("asym"), 4);
    EXPECT_EQ(find("mode"), 8);
    EXPECT_EQ(find("over"), 10);

    std::string error;
    EXPECT_EQ(find("buffer", &error), -1);
    EXPECT_EQ(error, "parameter 'buffer' is ambiguous: In Buffer, Out Buffer");
    EXPECT_EQ(find("gain", &error), -1);
    EXPECT_EQ(error, "unknown parameter 'gain'; valid names: Input Level, Drive, Tone, Level, "
                     "Asym., Fat, In Buffer, Out Buffer, Plugin Mode, Bypass, Oversampling");
    EXPECT_EQ(find("", &error), -1);
}

TEST(ParameterMatch, ValuesAreNormalisedNumbersOrWhatTheEffectShows)
{
    QuietLog quiet;
    LoadedEffect fake(std::string(GRAVEL_FAKE_EFFECTS_DIR) + "/FakeEffect.vst", 44100.0f, 64);
    VSTPlugIn& plugIn = fake.plugIn();
    // The fake shows 10 × value with two decimals.
    float value = -1.0f;
    std::string error;
    ASSERT_TRUE(resolveValue(plugIn, 0, "0.3", value, error));
    EXPECT_EQ(value, 0.3f);
    ASSERT_TRUE(resolveValue(plugIn, 0, "7.5", value, error));
    EXPECT_EQ(shown(plugIn, 0, value), "7.50");
    ASSERT_TRUE(resolveValue(plugIn, 0, "3.333", value, error)) << error;
    EXPECT_EQ(shown(plugIn, 0, value), "3.33");
    plugIn.setParameter(0, 0.5f);
    EXPECT_FALSE(resolveValue(plugIn, 0, "12", value, error));
    EXPECT_EQ(error, "value '12' is out of range: it shows 0.00 to 10.00 (or give a number from 0 to 1)");
    EXPECT_FALSE(resolveValue(plugIn, 0, "loud", value, error));
    EXPECT_EQ(plugIn.getParameter(0), 0.5f) << "probing leaves the parameter as it was";
}

TEST(ParameterMatch, GravelDisplayTexts)
{
    if (!std::filesystem::exists(GRAVEL_BUNDLE_DIR))
        GTEST_SKIP() << "Gravel.vst is not built";
    QuietLog quiet;
    LoadedEffect gravel(GRAVEL_BUNDLE_DIR, 44100.0f, 64);
    VSTPlugIn& plugIn = gravel.plugIn();
    const struct {
        int parameter;
        const char* given;
        const char* display;
    } cases[] = {
        {10, "8", "8"}, {10, "4", "4"}, {10, "2", "2"}, {8, "stereo", "Stereo"},
        {8, "MONO", "Mono"}, {5, "on", "On"}, {5, "off", "Off"}, {1, "7.5", "7.50"},
        {1, "10", "10.0"}, {0, "1.5", "1.50"}, {2, "2.25", "2.25"},
    };
    for (const auto& c : cases) {
        float value = -1.0f;
        std::string error;
        ASSERT_TRUE(resolveValue(plugIn, c.parameter, c.given, value, error)) << c.given << ": " << error;
        EXPECT_EQ(shown(plugIn, c.parameter, value), c.display) << c.given;
    }
    float value;
    std::string error;
    EXPECT_FALSE(resolveValue(plugIn, 5, "maybe", value, error));
    EXPECT_EQ(error, "value 'maybe' is not one of Off, On (or give a number from 0 to 1)");
    EXPECT_FALSE(resolveValue(plugIn, 10, "16", value, error));
}
