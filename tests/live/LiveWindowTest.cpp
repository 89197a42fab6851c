// gravel live's window on a private Xvfb, with a JACK server of the test's
// own: the pedal shows in a top-level window exactly as gravel snapshot draws
// it, and closing the window the way a window manager does ends the program
// with the settings saved. Without a display it plays headless. The saved
// settings outlive a version change.

#include "EffectLoader.h"
#include "EffectPresets.h"
#include "ParameterMatch.h"
#include "hosting/TandemLog.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines None and Bool as macros.
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include "../support/PrivateX11.h"
#include "../support/ToolRuns.h"
#include "LiveProcesses.h"

#include <cairo.h>
#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

using live_test::exitOf;
using live_test::waitFor;

// A JACK server of the test's own and gravel live on it; "NAME=" in env sets
// a variable, a bare "NAME" removes it.
struct LiveOnJack {
    ScratchFolder scratch{"live-window"};
    std::string server = "gravel-" + std::to_string(std::hash<std::string>()(GRAVEL_EXECUTABLE) % 10000) + "-" +
                         std::string(testing::UnitTest::GetInstance()->current_test_info()->name()).substr(0, 24);
    pid_t jackd = -1, gravel = -1;

    LiveOnJack()
    {
        setTandemLogSink([](const char*, void*) {}, nullptr);
        jack_set_error_function([](const char*) {});
        jackd = spawn({"jackd", "-n", server, "-S", "-r", "-t", "5000", "-d", "dummy", "-r", "48000", "-p", "256"},
                      {}, "jackd.log");
    }
    ~LiveOnJack()
    {
        if (gravel > 0)
            kill(gravel, SIGKILL), exitOf(gravel);
        if (jackd > 0)
            kill(jackd, SIGTERM), exitOf(jackd);
    }
    bool serverUp()
    {
        return waitFor([&] {
            jack_client_t* probe = jack_client_open("probe", jack_options_t(JackNoStartServer | JackServerName),
                                                    nullptr, server.c_str());
            return probe && jack_client_close(probe) == 0;
        });
    }
    pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& log)
    {
        return live_test::spawn(args, scratch.path(log), env);
    }
    void start(std::vector<std::string> args, std::vector<std::string> env)
    {
        args.insert(args.begin(), {GRAVEL_EXECUTABLE, "live", "--server", server, "--no-connect"});
        env.push_back("XDG_CONFIG_HOME=" + scratch.path("config"));
        gravel = spawn(args, env, "gravel.log");
    }
    int end(int signal = 0)
    {
        if (signal)
            kill(gravel, signal);
        const int code = exitOf(gravel);
        gravel = -1;
        return code;
    }
    std::string log() { return fileBytes(scratch.path("gravel.log")); }
};

Window topLevelNamed(Display* d, const std::string& title)
{
    Window root, parent, *children = nullptr, found = 0;
    unsigned count = 0;
    XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(d, children[i], &name) && name) {
            found = title == name ? children[i] : 0;
            XFree(name);
        }
    }
    if (children)
        XFree(children);
    return found;
}

// Pixels of the window whose colour differs from the picture's (opaque
// pixels only: the pedal fills its whole editor).
long differingPixels(Display* d, Window w, cairo_surface_t* picture)
{
    const int width = cairo_image_surface_get_width(picture), height = cairo_image_surface_get_height(picture);
    XImage* image = XGetImage(d, w, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image)
        return -1;
    const unsigned char* data = cairo_image_surface_get_data(picture);
    const int stride = cairo_image_surface_get_stride(picture);
    long differing = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t argb = reinterpret_cast<const uint32_t*>(data + y * stride)[x];
            differing += (XGetPixel(image, x, y) & 0xffffff) != (argb & 0xffffff);
        }
    XDestroyImage(image);
    return differing;
}

} // namespace

TEST(GravelLiveWindow, ShowsThePedalAsSnapshotDrawsItAndEndsWhenClosed)
{
    Xvfb display;
    if (!display.failure.empty())
        GTEST_SKIP() << display.failure << "; the live window test did not run";
    LiveOnJack live;
    ASSERT_TRUE(live.serverUp()) << fileBytes(live.scratch.path("jackd.log"));

    std::string title;
    int width = 0, height = 0;
    {
        LoadedEffect effect(GRAVEL_BUNDLE_DIR, 48000.0f, 256);
        title = effectName(effect.plugIn());
        ASSERT_TRUE(effect.plugIn().getEditorDimensions(width, height));
    }
    const std::string png = live.scratch.path("snapshot.png");
    ASSERT_EQ(runCommand(std::string(GRAVEL_EXECUTABLE) + " snapshot --set drive=7.5 -o " + png).status, 0);
    cairo_surface_t* picture = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(picture), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(picture), width);
    EXPECT_EQ(cairo_image_surface_get_height(picture), height);

    live.start({"--set", "drive=7.5"}, {"DISPLAY=" + display.display});
    Display* d = XOpenDisplay(display.display.c_str());
    ASSERT_NE(d, nullptr);
    Window window = 0;
    ASSERT_TRUE(waitFor([&] { return (window = topLevelNamed(d, title)) != 0; })) << live.log();
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(d, window, &attributes));
    EXPECT_EQ(attributes.width, width);
    EXPECT_EQ(attributes.height, height);

    // Drawn a little after the window maps: wait for the picture to settle.
    long differing = -1;
    waitFor([&] { return (differing = differingPixels(d, window, picture)) == 0; });
    EXPECT_EQ(differing, 0) << "of " << width * height << " pixels";
    cairo_surface_destroy(picture);

    Atom* protocols = nullptr;
    int count = 0;
    const Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    ASSERT_TRUE(XGetWMProtocols(d, window, &protocols, &count));
    EXPECT_NE(std::find(protocols, protocols + count, deleteWindow), protocols + count);
    XFree(protocols);
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = long(deleteWindow);
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &close);
    XFlush(d);
    EXPECT_EQ(live.end(), 0) << live.log();
    EXPECT_EQ(topLevelNamed(d, title), 0u);
    XCloseDisplay(d);
    EXPECT_TRUE(std::filesystem::is_directory(live.scratch.path("config/gravel/live")));
    EXPECT_FALSE(std::filesystem::is_empty(live.scratch.path("config/gravel/live")));
}

TEST(GravelLiveWindow, WithoutADisplaySaysSoInOneLineAndPlaysHeadless)
{
    LiveOnJack live;
    ASSERT_TRUE(live.serverUp()) << fileBytes(live.scratch.path("jackd.log"));
    // No DISPLAY at all, and one that names no server.
    for (const char* env : {"DISPLAY", "DISPLAY=:9999"}) {
        SCOPED_TRACE(env);
        live.start({}, {env});
        ASSERT_TRUE(waitFor([&] { return live.log().find("Ctrl-C") != std::string::npos; })) << live.log();
        EXPECT_EQ(live.end(SIGTERM), 0) << live.log();
        const std::string log = live.log();
        size_t lines = 0;
        for (size_t at = 0; (at = log.find("display", at)) != std::string::npos; at = log.find('\n', at))
            ++lines;
        EXPECT_EQ(lines, 1u) << log;
    }
}

namespace {

// The effect's state as an .fxp, with fat set as given.
std::string programWithFat(const std::string& fat)
{
    LoadedEffect effect(GRAVEL_BUNDLE_DIR, 48000.0f, 256);
    VSTParameterAccess access(effect.plugIn());
    applySettings(access, {{"fat", fat}});
    size_t size = 0;
    const std::unique_ptr<unsigned char[]> bytes = effect.plugIn().createFXP(size);
    return std::string(reinterpret_cast<const char*>(bytes.get()), size);
}

} // namespace

TEST(GravelLiveWindow, KeepsTheSettingsUnderANameWithoutTheVersion)
{
    LiveOnJack live;
    ASSERT_TRUE(live.serverUp()) << fileBytes(live.scratch.path("jackd.log"));
    std::string name;
    {
        LoadedEffect effect(GRAVEL_BUNDLE_DIR, 48000.0f, 256);
        name = effectName(effect.plugIn());
    }
    const std::string version = name.substr(name.rfind(" v") + 2);
    ASSERT_NE(version.find('.'), std::string::npos) << name;
    // Saved by a build that named the file after the effect, version and all.
    const std::filesystem::path folder = live.scratch.path("config/gravel/live");
    std::filesystem::create_directories(folder);
    const std::string older = programWithFat("on");
    std::ofstream(folder / (name + ".fxp"), std::ios::binary) << older;

    live.start({"--no-gui"}, {});
    ASSERT_TRUE(waitFor([&] { return live.log().find("Ctrl-C") != std::string::npos; })) << live.log();
    ASSERT_EQ(live.end(SIGTERM), 0) << live.log();
    EXPECT_EQ(fileBytes(folder / (name + ".fxp")), older) << "left as it was";
    std::vector<std::filesystem::path> saved;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename() != name + ".fxp")
            saved.push_back(entry.path());
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].filename().string().find(version), std::string::npos) << saved[0];
    EXPECT_EQ(fileBytes(saved[0]), older) << "the older file's settings carried over";

    // Once the new file is there, it is the one read.
    const std::string newer = programWithFat("off");
    std::ofstream(saved[0], std::ios::binary) << newer;
    live.start({"--no-gui"}, {});
    ASSERT_TRUE(waitFor([&] { return live.log().find("Ctrl-C") != std::string::npos; })) << live.log();
    ASSERT_EQ(live.end(SIGTERM), 0) << live.log();
    EXPECT_EQ(fileBytes(saved[0]), newer);
}
