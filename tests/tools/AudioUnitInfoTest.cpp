// gravel au-info, run as a user runs it: what it shows of Gravel's AudioUnit
// and the one-line errors for bundles that are not one.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

struct Output {
    int status = -1;
    std::string text; // standard output and error together
};

Output runGravel(const std::string& arguments)
{
    Output output;
    const std::string command = std::string(GRAVEL_EXECUTABLE) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.text.append(buffer, n);
    const int status = pclose(pipe);
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

bool hasLine(const std::string& text, const std::string& line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

} // namespace

TEST(GravelAudioUnitInfo, ShowsWhatAHostSeesOfGravel)
{
    const Output out = runGravel("au-info --plugin " GRAVEL_BUNDLE_DIR);
    ASSERT_EQ(out.status, 0) << out.text;
    EXPECT_TRUE(hasLine(out.text, "AudioUnit: Brackenfold: Gravel")) << out.text;
    EXPECT_TRUE(hasLine(out.text, "component: aufx Grvl Bkfd, version 1.5.2 (0x10502)")) << out.text;
    EXPECT_TRUE(hasLine(out.text, "TNConfig: AutoConvertPresets no, PresetIsFXB no, UpdateNameOnLoad no, CanDoMonoIO yes"))
        << out.text;
    EXPECT_TRUE(hasLine(out.text, "input buses: 1 (bus 0: 2 channels at 44100 Hz)")) << out.text;
    EXPECT_TRUE(hasLine(out.text, "channel configurations: 1 in/1 out 1 in/2 out 2 in/1 out 2 in/2 out")) << out.text;
    EXPECT_TRUE(hasLine(out.text, "latency: 0 s, tail: not reported")) << out.text;
    EXPECT_TRUE(hasLine(out.text, "parameters: 11 published")) << out.text;
    EXPECT_TRUE(hasLine(out.text, "    2  Tone           unit -        range 0..10  default 5  value 5")) << out.text;
    EXPECT_TRUE(hasLine(out.text, "   10  Oversampling   unit indexed  range 0..2  default 0  value 0  values 2x|4x|8x"))
        << out.text;
    EXPECT_EQ(out.text.find("[Brackenfold: Gravel]"), std::string::npos) << "the component's log lines stay hidden";

    const Output verbose = runGravel("au-info -v --plugin " GRAVEL_BUNDLE_DIR);
    EXPECT_NE(verbose.text.find("Successfully parsed 11 parameter-mapping lines"), std::string::npos);
}

TEST(GravelAudioUnitInfo, BundlesThatAreNoAudioUnitAreOneLineErrors)
{
    const Output plain = runGravel("au-info --plugin " GRAVEL_FAKE_EFFECTS_DIR "/FakeEffect.vst");
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.text, "gravel: " GRAVEL_FAKE_EFFECTS_DIR
                          "/FakeEffect.vst declares no AudioUnit component in its Info.plist (AudioComponents)\n");
    const Output missing = runGravel("au-info --plugin /nonexistent/Nothing.vst");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(std::count(missing.text.begin(), missing.text.end(), '\n'), 1) << missing.text;
    const Output wrong = runGravel("au-info --frobnicate");
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(wrong.text, "gravel: unknown option '--frobnicate'; see 'gravel au-info --help'\n");
}
