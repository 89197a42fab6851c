// gravel au-info and snapshot --au, run as a user runs them: what au-info
// shows of Gravel's AudioUnit, the one-line errors for bundles that are not
// one, and the pedal drawn through the AudioUnit's view.

#include <gtest/gtest.h>

#include "../support/PrivateX11.h"
#include "../support/ToolRuns.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using Output = CommandOutput;

Output runGravel(const std::string& arguments, const std::string& environment = "")
{
    return runCommand((environment.empty() ? "" : "env " + environment + " ") + GRAVEL_EXECUTABLE +
                      " " + arguments);
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

TEST(GravelAudioUnitSnapshot, ThePedalThroughTheAudioUnitsViewIsTheEditorsOwnPicture)
{
    Xvfb server;
    if (server.display.empty())
        GTEST_SKIP() << "no Xvfb; snapshot --au was not tried";
    std::string folder = temporaryPattern("gravel-au-snapshot");
    const std::string dir = mkdtemp(folder.data());
    for (const char* panel : {"", " --back"}) {
        const Output direct = runGravel(std::string("snapshot") + panel + " -o " + dir + "/vst.png");
        ASSERT_EQ(direct.status, 0) << direct.text;
        const Output viaView =
            runGravel(std::string("snapshot --au") + panel + " -o " + dir + "/au.png", "DISPLAY=" + server.display);
        ASSERT_EQ(viaView.status, 0) << viaView.text;
        EXPECT_NE(viaView.text.find("through the AudioUnit's view"), std::string::npos) << viaView.text;
        const std::string picture = fileBytes(dir + "/au.png");
        EXPECT_GT(picture.size(), 1000u);
        EXPECT_TRUE(picture == fileBytes(dir + "/vst.png")) << "panel:" << panel;
    }
    const Output noDisplay = runGravel("snapshot --au -o " + dir + "/none.png", "DISPLAY=");
    EXPECT_EQ(noDisplay.status, 1);
    EXPECT_EQ(noDisplay.text, "gravel: snapshot --au shows the view on an X display and none could be opened; set "
                              "DISPLAY, or run it under xvfb-run\n");
    const Output withSet = runGravel("snapshot --au --set drive=5 -o " + dir + "/set.png");
    EXPECT_EQ(withSet.status, 1);
    std::remove((dir + "/vst.png").c_str());
    std::remove((dir + "/au.png").c_str());
    rmdir(dir.c_str());
}
