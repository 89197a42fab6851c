// The UI binary of Gravel.lv2 as a host loads it, on a private Xvfb server:
// it opens into the host's parent window, a drag on a knob reaches the host
// as touch, port writes and release, a host port event moves the control,
// and cleanup leaves no window. Skipped when Xvfb is not installed.
#include <gtest/gtest.h>
// After gtest: Xlib defines None and Bool as macros.
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <lv2/ui/ui.h>

#include "../support/PrivateX11.h"
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

// cairo is built without frame pointers: full unwinding lets the sanitizer
// see our frames above its allocations.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

namespace {

constexpr uint32_t kDrivePort = 5;
constexpr uint32_t kEnabledPort = 13;



void click(Display* d, Window w, int x, int y)
{
    sendButton(d, w, ButtonPress, x, y, 0);
    sendButton(d, w, ButtonRelease, x, y, Button1Mask);
    XFlush(d);
}

// What the UI told the host, in order.
struct HostLog {
    struct Event {
        enum Kind { Write, Grab, Release } kind;
        uint32_t port;
        float value;
    };
    std::vector<Event> events;
    int width = 0, height = 0;

    static void write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol,
                      const void* buffer)
    {
        ASSERT_EQ(size, sizeof(float));
        ASSERT_EQ(protocol, 0u);
        static_cast<HostLog*>(controller)->events.push_back(
            {Event::Write, port, *static_cast<const float*>(buffer)});
    }
    static LV2UI_Feature_Handle self(LV2UI_Feature_Handle h) { return h; }
    static void touch(LV2UI_Feature_Handle h, uint32_t port, bool grabbed)
    {
        static_cast<HostLog*>(h)->events.push_back({grabbed ? Event::Grab : Event::Release, port, 0.0f});
    }
    static int resize(LV2UI_Feature_Handle h, int width, int height)
    {
        static_cast<HostLog*>(h)->width = width;
        static_cast<HostLog*>(h)->height = height;
        return 0;
    }
    std::vector<Event> writesTo(uint32_t port) const
    {
        std::vector<Event> found;
        for (const Event& e : events)
            if (e.kind == Event::Write && e.port == port)
                found.push_back(e);
        return found;
    }
};

} // namespace

TEST(LV2UI, OpensInTheParentSendsGesturesFollowsPortEventsAndClosesClean)
{
    Xvfb server;
    if (!server.failure.empty())
        GTEST_SKIP() << server.failure << "; the LV2 UI test did not run";
    setenv("DISPLAY", server.display.c_str(), 1);

    void* binary = dlopen(GRAVEL_LV2_UI_BINARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(binary, nullptr) << dlerror();
    auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(binary, "lv2ui_descriptor"));
    ASSERT_NE(entry, nullptr);
    const LV2UI_Descriptor* descriptor = entry(0);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_STREQ(descriptor->URI, "https://brackenfold.example/plugins/gravel#ui");
    EXPECT_EQ(entry(1), nullptr);
    auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);

    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    Window parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 400, 400, 0, 0, 0);
    XMapWindow(d, parent);
    XSync(d, False);

    HostLog host;
    LV2UI_Touch touch = {&host, HostLog::touch};
    LV2UI_Resize resize = {&host, HostLog::resize};
    const LV2_Feature parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(uintptr_t(parent))};
    const LV2_Feature touchFeature = {LV2_UI__touch, &touch};
    const LV2_Feature resizeFeature = {LV2_UI__resize, &resize};
    const LV2_Feature idleFeature = {LV2_UI__idleInterface, nullptr};
    const LV2_Feature* features[] = {&parentFeature, &touchFeature, &resizeFeature, &idleFeature, nullptr};

    // Without a parent window there is nothing to embed into: refused.
    const LV2_Feature* noParent[] = {&idleFeature, nullptr};
    LV2UI_Widget widget = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(descriptor->instantiate(descriptor, "https://brackenfold.example/plugins/gravel", "", HostLog::write,
                                      &host, &widget, noParent),
              nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("parent window"), std::string::npos);

    LV2UI_Handle ui = descriptor->instantiate(descriptor, "https://brackenfold.example/plugins/gravel", "",
                                              HostLog::write, &host, &widget, features);
    ASSERT_NE(ui, nullptr);
    const Window child = Window(reinterpret_cast<uintptr_t>(widget));
    XSync(d, False);
    EXPECT_EQ(childCount(d, parent), 1);
    EXPECT_EQ(host.width, 263);
    EXPECT_EQ(host.height, 350);
    auto idleFor = [&](int times) {
        for (int i = 0; i < times; ++i) {
            EXPECT_EQ(idle->idle(ui), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    // Drawn from the bundle's own pictures: the pedal's lit LED shows.
    bool drawn = false;
    for (int i = 0; i < 200 && !drawn; ++i) {
        idleFor(1);
        if (XImage* img = XGetImage(d, child, 132, 238, 1, 1, AllPlanes, ZPixmap)) {
            const unsigned long p = XGetPixel(img, 0, 0);
            XDestroyImage(img);
            drawn = ((p >> 16) & 0xff) > 200 && ((p >> 8) & 0xff) < 120;
        }
    }
    EXPECT_TRUE(drawn);

    // The host automates Drive to 7.5; a 20-pixel drag up then adds 1.0.
    const float drive = 7.5f;
    descriptor->port_event(ui, kDrivePort, sizeof drive, 0, &drive);
    idleFor(3);
    sendButton(d, child, ButtonPress, 53, 50, 0);
    sendMotion(d, child, 53, 30);
    sendButton(d, child, ButtonRelease, 53, 30, Button1Mask);
    XFlush(d);
    for (int i = 0; i < 200 && (host.events.empty() || host.events.back().kind != HostLog::Event::Release); ++i)
        idleFor(1);
    ASSERT_GE(host.events.size(), 3u);
    EXPECT_EQ(host.events.front().kind, HostLog::Event::Grab);
    EXPECT_EQ(host.events.front().port, kDrivePort);
    EXPECT_EQ(host.events.back().kind, HostLog::Event::Release);
    EXPECT_EQ(host.events.back().port, kDrivePort);
    const std::vector<HostLog::Event> driveWrites = host.writesTo(kDrivePort);
    ASSERT_EQ(driveWrites.size(), host.events.size() - 2) << "only Drive moved, between grab and release";
    EXPECT_NEAR(driveWrites.back().value, 8.5f, 1e-4);

    // The foot switch: on is bypass, i.e. the host's enabled port at 0. The
    // host switching the pedal back on moves it, so the next click bypasses again.
    click(d, child, 132, 288);
    idleFor(5);
    ASSERT_EQ(host.writesTo(kEnabledPort).size(), 1u);
    EXPECT_EQ(host.writesTo(kEnabledPort).back().value, 0.0f);
    const float enabled = 1.0f;
    descriptor->port_event(ui, kEnabledPort, sizeof enabled, 0, &enabled);
    idleFor(3);
    click(d, child, 132, 288);
    idleFor(5);
    ASSERT_EQ(host.writesTo(kEnabledPort).size(), 2u);
    EXPECT_EQ(host.writesTo(kEnabledPort).back().value, 0.0f);

    // Events the UI does not understand change nothing and do not fail.
    const double wide = 3.0;
    descriptor->port_event(ui, kDrivePort, sizeof wide, 0, &wide);
    descriptor->port_event(ui, 99, sizeof drive, 0, &drive);
    descriptor->port_event(ui, 0, sizeof drive, 0, &drive);
    idleFor(2);

    descriptor->cleanup(ui);
    XSync(d, False);
    EXPECT_EQ(childCount(d, parent), 0);

    XDestroyWindow(d, parent);
    XCloseDisplay(d);
    // The binary stays loaded, as the libraries it keeps resident do: the
    // leak checker then still names the frames of cairo's one-time block.
}
