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

} // namespace

TEST(ParameterMatch, NamesMatchExactlyThenByPrefixAndRefuseAmbiguity)
{
    EXPECT_EQ(normaliseName("  Input-LEVEL  "), "input level");
    EXPECT_EQ(find("drive"), 1);
    EXPECT_EQ(find("INPUT_LEVEL"), 0);
    EXPECT_EQ(find("inputlevel"), 0);
    EXPECT_EQ(find("level"), 3) << "an exact name beats a prefix of another";
    EXPECT_EQ(find("asym"), 4);
    EXPECT_EQ(find("over"), 10);
    EXPECT_EQ(find("mode"), 8) << "a word of the name";

    std::string error;
    EXPECT_EQ(find("in", &error), -1);
    EXPECT_EQ(error, "parameter 'in' is ambiguous: it could be Input Level, In Buffer; give more of the name");
    EXPECT_EQ(find("buffer", &error), -1);
    EXPECT_EQ(find("gain", &error), -1);
    EXPECT_NE(error.find("valid names: Input Level, Drive"), std::string::npos) << error;
    EXPECT_EQ(find("", &error), -1);
}

TEST(ParameterMatch, ValuesAreWhatThePedalShowsOrAPosition)
{
    if (!std::filesystem::exists(GRAVEL_BUNDLE_DIR))
        GTEST_SKIP() << "Gravel.vst is not built";
    QuietLog quiet;
    LoadedEffect gravel(GRAVEL_BUNDLE_DIR, 44100.0f, 64);
    VSTPlugIn& plugIn = gravel.plugIn();
    VSTParameterAccess parameters(plugIn);
    const struct {
        int parameter;
        const char* given;
        const char* shows;
    } cases[] = {
        {1, "1", "1.00"}, {1, "7.5", "7.50"}, {1, "10", "10.0"}, {1, "75%", "7.50"}, {1, "0%", "0.00"},
        {0, "1", "1.00x"}, {0, "1.5x", "1.50x"}, {2, "2.25", "2.25"},
        {10, "8", "8x"}, {10, "4x", "4x"}, {10, "2 X", "2x"},
        {8, "stereo", "Stereo"}, {8, "MONO", "Mono"},
        {5, "on", "On"}, {5, "OFF", "Off"}, {5, "yes", "On"}, {5, "no", "Off"}, {5, "true", "On"},
        {5, "false", "Off"}, {5, "1", "On"}, {5, "0", "Off"},
    };
    for (const auto& c : cases) {
        float position = -1.0f;
        std::string error;
        ASSERT_TRUE(resolveValue(parameters, c.parameter, c.given, position, error)) << c.given << ": " << error;
        EXPECT_EQ(parameters.display(c.parameter, position), c.shows) << c.given;
    }

    plugIn.setParameter(1, 0.25f);
    const struct {
        int parameter;
        const char* given;
        const char* refusal;
    } refused[] = {
        {1, "11", "'11' is out of range for Drive: give a value from 0.00 to 10.0, or a position such as 75%"},
        {1, "-1", "out of range"},
        {1, "loud", "'loud' is no value of Drive"},
        {1, "120%", "give one from 0% to 100%"},
        {1, "7.5dB", "no value of Drive"},
        {10, "3", "'3' is no value of Oversampling: give one of 2x, 4x, 8x"},
        {5, "maybe", "give on or off (or yes/no, true/false, 1/0)"},
        {8, "1", "give one of Mono, Stereo"},
    };
    for (const auto& r : refused) {
        float position = -1.0f;
        std::string error;
        EXPECT_FALSE(resolveValue(parameters, r.parameter, r.given, position, error)) << r.given;
        EXPECT_NE(error.find(r.refusal), std::string::npos) << r.given << ": " << error;
    }
    EXPECT_EQ(plugIn.getParameter(1), 0.25f) << "probing leaves the parameter as it was";
}

TEST(ParameterMatch, AnotherMakersEffectTakesItsOwnTexts)
{
    QuietLog quiet;
    LoadedEffect fake(std::string(GRAVEL_FAKE_EFFECTS_DIR) + "/FakeEffect.vst", 44100.0f, 64);
    VSTParameterAccess parameters(fake.plugIn());
    // The fake shows 10 × value with two decimals.
    float position = -1.0f;
    std::string error;
    ASSERT_TRUE(resolveValue(parameters, 0, "3.333", position, error)) << error;
    EXPECT_EQ(parameters.display(0, position), "3.33 dB");
    ASSERT_TRUE(resolveValue(parameters, 0, "30%", position, error));
    EXPECT_FLOAT_EQ(position, 0.3f);
    EXPECT_FALSE(resolveValue(parameters, 0, "12", position, error));
}

TEST(ParameterMatch, SwitchesAndTheSettingsThatDifferAreToldApart)
{
    if (!std::filesystem::exists(GRAVEL_BUNDLE_DIR))
        GTEST_SKIP() << "Gravel.vst is not built";
    QuietLog quiet;
    LoadedEffect gravel(GRAVEL_BUNDLE_DIR, 44100.0f, 64);
    VSTParameterAccess parameters(gravel.plugIn());
    EXPECT_TRUE(isSwitch(parameters, 5)) << "Fat shows On and Off";
    EXPECT_TRUE(isSwitch(parameters, 9)) << "Bypass";
    EXPECT_FALSE(isSwitch(parameters, 8)) << "Plugin Mode shows two values, but no on and off";
    EXPECT_FALSE(isSwitch(parameters, 1)) << "Drive";

    const std::vector<std::string> defaults = shownValues(parameters);
    EXPECT_EQ(describeChanges(parameters, defaults), "");
    applySettings(parameters, {{"drive", "7.5"}, {"over", "8"}, {"tone", "50%"}});
    EXPECT_EQ(describeChanges(parameters, defaults), "Drive 7.50, Oversampling 8x")
        << "Tone at 50% is where it was, so it is not named";
    EXPECT_THROW(applySettings(parameters, {{"level", "6"}, {"drive", "11"}}), ToolError);
}
