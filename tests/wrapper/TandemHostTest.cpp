// Host identification: the component reads the hosting program's bundle.
// The table is checked directly, and then end to end with a small host
// copied into fake application bundles.

#include "TandemTestSupport.h"

#include "wrapper/TandemComponent.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

int identify(const char* identifier, const char* version)
{
    CFStringRef id = identifier ? CFStringCreateWithCString(nullptr, identifier, kCFStringEncodingUTF8) : nullptr;
    CFStringRef v = version ? CFStringCreateWithCString(nullptr, version, kCFStringEncodingUTF8) : nullptr;
    const int host = identifyHostApplication(id, v);
    if (id)
        CFRelease(id);
    if (v)
        CFRelease(v);
    return host;
}

struct ProbeResult {
    std::string thread;
    std::string output; // standard output and error together
    int status = -1;
};

ProbeResult runProbe(const std::string& app, const char* mode)
{
    const std::string command = std::string("'") + GRAVEL_HOST_APPS_DIR + "/" + app +
                                ".app/Contents/x86_64-linux/tandem_host_probe' '" + componentPath("Stereo") +
                                "' FBst '" + GRAVEL_FAKE_BUS_EXECUTABLE + "' " + mode + " 2>&1";
    ProbeResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (result.thread.empty() && text.rfind("thread ", 0) == 0)
            result.thread = text.substr(7, text.size() - 8);
        result.output += text;
    }
    result.status = pclose(pipe);
    return result;
}

bool hasLine(const ProbeResult& probe, const std::string& message)
{
    const std::string line = "[Test: Stereo](" + probe.thread + ") " + message + "\n";
    return probe.output.find(line) != std::string::npos;
}

} // namespace

TEST(TandemHostIdentification, KnownHostsByIdentifierAndVersion)
{
    EXPECT_EQ(identify("com.apple.logic.pro", "7.2.3"), TandemComponent::hostLogic7OrOlder);
    EXPECT_EQ(identify("com.apple.logic.pro", "8.0.0"), TandemComponent::hostLogic80);
    EXPECT_EQ(identify("com.apple.logic.pro", "8.0.1"), TandemComponent::hostUndetermined);
    EXPECT_EQ(identify("com.apple.logic.express", "7.2.3"), TandemComponent::hostLogic7OrOlder);
    EXPECT_EQ(identify("com.apple.logic.express", "8.0.0"), TandemComponent::hostLogic80);
    EXPECT_EQ(identify("com.apple.garageband", "4.1.1"), TandemComponent::hostGarageBand41OrOlder);
    EXPECT_EQ(identify("com.apple.garageband", "4.2"), TandemComponent::hostUndetermined);
    EXPECT_EQ(identify("com.apple.garageband", "4.10"), TandemComponent::hostUndetermined)
        << "versions compare numerically";
    EXPECT_EQ(identify("com.apple.garageband", "5.0"), TandemComponent::hostUndetermined);
    EXPECT_EQ(identify("com.apple.logic.pro", nullptr), TandemComponent::hostUndetermined);
    EXPECT_EQ(identify("com.apple.Logic.pro", "7.0"), TandemComponent::hostUndetermined) << "exact identifiers";
    EXPECT_EQ(identify(nullptr, "7.0"), TandemComponent::hostUndetermined);
}

TEST(TandemHostIdentification, TheHostingProgramsBundleDecides)
{
    const struct {
        const char* app;
        const char* version;
        const char* host;
    } cases[] = {
        {"Logic723", "7.2.3", "Logic 7 or older"},
        {"Logic800", "8.0.0", "Logic 8.0"},
        {"Logic801", "8.0.1", "undetermined"},
        {"LogicExpress", "8.0.0", "Logic 8.0"},
        {"GarageBand411", "4.1.1", "GarageBand 4.1 or older"},
        {"GarageBand42", "4.2", "undetermined"},
        {"GarageBand50", "5.0", "undetermined"},
        {"GarageBand410", "4.10", "undetermined"},
        {"LogicNoVersion", "?", "undetermined"},
    };
    for (const auto& c : cases) {
        const ProbeResult probe = runProbe(c.app, "identify");
        ASSERT_EQ(probe.status, 0) << c.app << ":\n" << probe.output;
        EXPECT_TRUE(hasLine(probe, std::string("Hosting application: ") + c.host)) << c.app << ":\n"
                                                                                    << probe.output;
        EXPECT_NE(probe.output.find(std::string(" = ") + c.version + "\n"), std::string::npos)
            << c.app << ": the version is logged";
    }
}

TEST(TandemHostIdentification, AHostMayQuitWithItsUnitsOpen)
{
    const ProbeResult probe = runProbe("Logic801", "exit-open");
    EXPECT_EQ(probe.status, 0) << probe.output;
}

TEST(TandemHostIdentification, StereoOnAMonoBusOnlyForTheHostsThatNeedIt)
{
    ProbeResult garageBand = runProbe("GarageBand411", "mono-as-stereo");
    EXPECT_NE(garageBand.output.find("mono-as-stereo: mono duplicated"), std::string::npos) << garageBand.output;
    EXPECT_TRUE(hasLine(garageBand,
                        "GarageBand is incorrectly trying to set the format on a mono bus to stereo (accepting this "
                        "for now)."));
    ProbeResult logic8 = runProbe("Logic800", "mono-as-stereo");
    EXPECT_NE(logic8.output.find("mono-as-stereo: mono duplicated"), std::string::npos) << logic8.output;
    EXPECT_TRUE(hasLine(logic8, "Logic 8 is incorrectly trying to set the format on a mono bus to stereo (accepting "
                                "this for now)."));
    ProbeResult other = runProbe("Logic801", "mono-as-stereo");
    EXPECT_NE(other.output.find("mono-as-stereo: refused"), std::string::npos) << other.output;
    EXPECT_TRUE(hasLine(other, "Expecting 1 to 1 channels"));
}
