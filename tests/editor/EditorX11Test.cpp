// The editor inside a host's X11 window, on a private Xvfb server: the child
// window appears under the parent, draws, takes clicks pumped from idle, and
// is gone after close. Skipped when Xvfb is not installed.
#include "EditorHost.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines None and Bool as macros.
#include <X11/Xutil.h>

#include "../support/PrivateX11.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

using namespace VSTGUI;

// cairo is built without frame pointers: full unwinding lets the sanitizer
// see our frames above its allocations (and the leak suppressions match them).
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

namespace {



// Idles the editor the way a host does until the condition holds (2 s at most).
template <class F>
bool idleUntil(AEffect* effect, F condition)
{
    for (int i = 0; i < 200; ++i) {
        EditorHost::dispatch(effect, effEditIdle);
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

TEST(EditorX11, OpensIntoTheHostWindowTakesClicksAndClosesWithoutLeaks)
{
    Xvfb server;
    if (!server.failure.empty()) GTEST_SKIP() << server.failure << "; the X11 window test did not run";
    setenv("DISPLAY", server.display.c_str(), 1);
    AEffGUIEditor::setBundleLocationOverride(GRAVEL_TEST_BUNDLE_DIR);

    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    Window parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 400, 400, 0, 0, 0);
    XMapWindow(d, parent);
    XSync(d, False);

    EditorHost host;
    AEffect* effect = EditorHost::load();
    // Hosts pass their window in the pointer and sometimes their Display in
    // the value; the editor must not use the host's connection.
    ASSERT_EQ(EditorHost::dispatch(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(d),
                                   reinterpret_cast<void*>(uintptr_t(parent))),
              1);
    GRV_GUI* editor = EditorHost::editorOf(effect);
    CFrame* frame = editor->getFrame();
    ASSERT_TRUE(frame->isWindowed());
    Window child = frame->getWindowId();
    XSync(d, False);
    ASSERT_EQ(childCount(d, parent), 1);

    // Drawn into the window: the lit LED shows on screen.
    ASSERT_TRUE(idleUntil(effect, [&] {
        XImage* img = XGetImage(d, child, 132, 238, 1, 1, AllPlanes, ZPixmap);
        if (!img) return false;
        unsigned long p = XGetPixel(img, 0, 0);
        XDestroyImage(img);
        return ((p >> 16) & 0xff) > 200 && ((p >> 8) & 0xff) < 120;
    }));

    // A click on the panel switch turns the pedal over.
    sendButton(d, child, ButtonPress, 132, 326, 0);
    sendButton(d, child, ButtonRelease, 132, 326, Button1Mask);
    XFlush(d);
    EXPECT_TRUE(idleUntil(effect, [&] { return !editor->isFrontShown(); }));
    sendButton(d, child, ButtonPress, 132, 326, 0);
    sendButton(d, child, ButtonRelease, 132, 326, Button1Mask);
    XFlush(d);
    EXPECT_TRUE(idleUntil(effect, [&] { return editor->isFrontShown(); }));

    // A drag on Drive arrives as one gesture.
    sendButton(d, child, ButtonPress, 53, 50, 0);
    sendMotion(d, child, 53, 30);
    sendButton(d, child, ButtonRelease, 53, 30, Button1Mask);
    XFlush(d);
    EXPECT_TRUE(idleUntil(effect, [&] { return !host.callsOf(audioMasterEndEdit).empty(); }));
    EXPECT_NEAR(effect->getParameter(effect, 1), 0.1f, 1e-5);
    ASSERT_EQ(host.callsOf(audioMasterBeginEdit).size(), 1u);
    EXPECT_EQ(host.callsOf(audioMasterBeginEdit)[0].index, 1);

    EditorHost::dispatch(effect, effEditClose);
    XSync(d, False);
    EXPECT_EQ(childCount(d, parent), 0);

    // Hosts open and close the window many times.
    for (int i = 0; i < 3; ++i) {
        EditorHost::dispatch(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(parent)));
        for (int j = 0; j < 3; ++j) EditorHost::dispatch(effect, effEditIdle);
        EditorHost::dispatch(effect, effEditClose);
    }
    XSync(d, False);
    EXPECT_EQ(childCount(d, parent), 0);

    // A parent that is not a window: no window can be made, the host is told
    // so instead of being taken down, and the editor stays closed.
    ASSERT_EQ(EditorHost::dispatch(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(0x7ffff0))), 0);
    EXPECT_EQ(editor->getFrame(), nullptr);
    effect->setParameter(effect, 1, 0.4f);
    EditorHost::dispatch(effect, effEditIdle);
    EditorHost::dispatch(effect, effEditClose);

    // A host that destroys its window before closing the editor: Xlib's
    // default error handler would end the process.
    Window doomed = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 300, 400, 0, 0, 0);
    XMapWindow(d, doomed);
    XSync(d, False);
    ASSERT_EQ(EditorHost::dispatch(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(doomed))), 1);
    EditorHost::dispatch(effect, effEditIdle);
    XDestroyWindow(d, doomed);
    XSync(d, False);
    effect->setParameter(effect, 1, 0.9f);
    editor->draw(nullptr);
    EditorHost::dispatch(effect, effEditIdle);
    CPoint where;
    editor->getFrame()->getCurrentMouseLocation(where);
    editor->getFrame()->setSize(200, 200);
    EditorHost::dispatch(effect, effEditClose);

    EditorHost::unload(effect);
    XDestroyWindow(d, parent);
    XCloseDisplay(d);
}
