// Gravel.clap's editor in a host's X11 window on a private Xvfb server:
// embedded in the parent, idled by the host's timer, a drag on a knob
// reaches the host as gesture begin, values and end (with a flush asked
// for, the host not processing), the host's automation moves it, and the
// host may show, hide and destroy in any order; a host without timers
// watches the editor's X connection instead. Skipped without Xvfb.
#include <gtest/gtest.h>
// After gtest: Xlib defines None and Bool as macros.
#include <X11/Xutil.h>

#include "../support/PrivateX11.h"
#include "ClapHost.h"

#include <chrono>
#include <thread>

extern "C" __attribute__((visibility("default"))) const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

TEST(ClapGui, EmbedsInTheParentAndSendsGesturesToTheHost)
{
    Xvfb server;
    if (!server.failure.empty())
        GTEST_SKIP() << server.failure << "; the CLAP editor test did not run";
    setenv("DISPLAY", server.display.c_str(), 1);
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    const Window parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 400, 400, 0, 0, 0);
    XMapWindow(d, parent);
    XSync(d, False);

    ClapHost host(GRAVEL_CLAP);
    const clap_plugin_t* p = host.instance();
    const auto* gui = host.extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    const auto* timer = host.extension<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
    ASSERT_TRUE(gui && timer);
    EXPECT_TRUE(gui->is_api_supported(p, "x11", false));
    EXPECT_FALSE(gui->is_api_supported(p, "x11", true)) << "embedded only";
    EXPECT_FALSE(gui->is_api_supported(p, "wayland", false));

    // Created and destroyed without a window, and hidden before shown.
    ASSERT_TRUE(gui->create(p, "x11", false));
    EXPECT_FALSE(gui->hide(p));
    gui->destroy(p);
    EXPECT_TRUE(host.timers.empty());

    ASSERT_TRUE(gui->create(p, "x11", false));
    ASSERT_EQ(host.timers.size(), 1u);
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui->get_size(p, &width, &height));
    EXPECT_EQ(width, 263u);
    EXPECT_EQ(height, 350u);
    EXPECT_FALSE(gui->can_resize(p));
    clap_window_t window = {};
    window.api = "x11";
    window.x11 = parent;
    ASSERT_TRUE(gui->set_parent(p, &window));
    EXPECT_TRUE(gui->show(p));
    XSync(d, False);
    EXPECT_EQ(childCount(d, parent), 1);
    Window root, up, *children = nullptr;
    unsigned count = 0;
    XQueryTree(d, parent, &root, &up, &children, &count);
    ASSERT_EQ(count, 1u);
    const Window child = children[0];
    XFree(children);

    auto idle = [&](int times) {
        for (int i = 0; i < times; ++i) {
            timer->on_timer(p, host.timers.front());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    // Drawn from the pictures inside the binary: the pedal's lit LED shows.
    bool drawn = false;
    for (int i = 0; i < 200 && !drawn; ++i) {
        idle(1);
        if (XImage* img = XGetImage(d, child, 132, 238, 1, 1, AllPlanes, ZPixmap)) {
            const unsigned long pixel = XGetPixel(img, 0, 0);
            XDestroyImage(img);
            drawn = ((pixel >> 16) & 0xff) > 200 && ((pixel >> 8) & 0xff) < 120;
        }
    }
    EXPECT_TRUE(drawn);

    // The host automates Drive to 7.5; a 20-pixel drag up then adds 1.0.
    host.setValue(1, 7.5);
    idle(3);
    const int flushesBefore = host.flushRequests;
    sendButton(d, child, ButtonPress, 53, 50, 0);
    sendMotion(d, child, 53, 30);
    sendButton(d, child, ButtonRelease, 53, 30, Button1Mask);
    XFlush(d);
    const auto* params = host.extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    auto flush = [&] {
        const clap_output_events_t out = {&host, [](const clap_output_events_t* list, const clap_event_header_t* e) {
                                              auto& h = *static_cast<ClapHost*>(list->ctx);
                                              const auto* v = reinterpret_cast<const clap_event_param_value_t*>(e);
                                              h.outputEvents.push_back({e->type, v->param_id,
                                                                        e->type == CLAP_EVENT_PARAM_VALUE ? v->value : 0.0});
                                              return true;
                                          }};
        params->flush(p, nullptr, &out);
    };
    for (int i = 0; i < 200 && (host.outputEvents.empty() ||
                                host.outputEvents.back().type != CLAP_EVENT_PARAM_GESTURE_END);
         ++i) {
        idle(1);
        flush();
    }
    EXPECT_GT(host.flushRequests, flushesBefore) << "the host is not processing: it must be asked to flush";
    ASSERT_GE(host.outputEvents.size(), 3u);
    EXPECT_EQ(host.outputEvents.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(host.outputEvents.back().type, CLAP_EVENT_PARAM_GESTURE_END);
    for (const auto& e : host.outputEvents)
        EXPECT_EQ(e.param, 1u) << "only Drive moved";
    EXPECT_NEAR(host.outputEvents[host.outputEvents.size() - 2].value, 8.5, 1e-4);
    EXPECT_NEAR(host.value(1), 8.5, 1e-4);
    EXPECT_GE(host.dirtyMarks, 1);

    EXPECT_TRUE(gui->hide(p));
    EXPECT_TRUE(gui->show(p));
    gui->destroy(p);
    XSync(d, False);
    EXPECT_EQ(childCount(d, parent), 0);
    EXPECT_TRUE(host.timers.empty());

    // A host without timers watches the editor's X connection instead, and
    // the editor's events are handled when it becomes readable.
    ClapHost fdHost(GRAVEL_CLAP, false);
    const clap_plugin_t* q = fdHost.instance();
    const auto* onFd = fdHost.extension<clap_plugin_posix_fd_support_t>(CLAP_EXT_POSIX_FD_SUPPORT);
    ASSERT_TRUE(onFd && gui->create(q, "x11", false));
    ASSERT_TRUE(gui->set_parent(q, &window));
    ASSERT_EQ(fdHost.fds.size(), 1u);
    XQueryTree(d, parent, &root, &up, &children, &count);
    ASSERT_EQ(count, 1u);
    const Window fdChild = children[0];
    XFree(children);
    sendButton(d, fdChild, ButtonPress, 53, 50, 0);
    sendButton(d, fdChild, ButtonRelease, 53, 50, Button1Mask);
    XFlush(d);
    const auto* fdParams = fdHost.extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    for (int i = 0; i < 200 && fdHost.flushRequests < 2; ++i) {
        onFd->on_fd(q, fdHost.fds.front(), CLAP_POSIX_FD_READ);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(fdHost.flushRequests, 2) << "a click is a gesture begin and end";
    fdParams->flush(q, nullptr, nullptr);
    gui->destroy(q);
    EXPECT_TRUE(fdHost.fds.empty());
    XDestroyWindow(d, parent);
    XCloseDisplay(d);
}
