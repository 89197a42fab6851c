// gravel snapshot --au: the pedal drawn through the AudioUnit's view, as an
// AudioUnit host shows it. The view factory is looked up by the name the
// CocoaUI property gives, the view is put into a window of ours, and the
// picture is read back from the editor's window on the X display.

#include "AudioUnitBundle.h"
#include "Commands.h"
#include "EffectLoader.h"
#include "ReplacingFile.h"
#include "wrapper/TandemView.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CFRunLoop.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Where the editor draws its panel switch, the control that turns the pedal.
constexpr int panelSwitchX = 132;
constexpr int panelSwitchY = 326;

// Runs the host's main loop: the component idles its effect and editor there.
void idleFor(double seconds)
{
    const int rounds = int(seconds / 0.03) + 1;
    for (int i = 0; i < rounds; ++i)
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.03, false);
}

void click(Display* display, Window window, int x, int y)
{
    for (int type : {ButtonPress, ButtonRelease}) {
        XEvent event{};
        event.xbutton.type = type;
        event.xbutton.display = display;
        event.xbutton.window = window;
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.button = Button1;
        event.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
        event.xbutton.same_screen = True;
        XSendEvent(display, window, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
    }
    XFlush(display);
}

Window onlyChild(Display* display, Window window)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window child = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) && children) {
        if (count == 1)
            child = children[0];
        XFree(children);
    }
    return child;
}

// The window's pixels as opaque ARGB; empty when they cannot be read.
std::vector<uint32_t> windowPixels(Display* display, Window window, int width, int height)
{
    XSync(display, False);
    XImage* image = XGetImage(display, window, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image)
        return {};
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[size_t(y) * size_t(width) + size_t(x)] =
                0xff000000u | (uint32_t(XGetPixel(image, x, y)) & 0x00ffffffu);
    XDestroyImage(image);
    return pixels;
}

// The editor draws from its idle calls, which come from the main loop: the
// picture is taken once it is drawn (not one flat colour) and two looks a
// few idle calls apart agree and differ from `unlike` (the window as it was
// before, or nothing).
std::vector<uint32_t> settledPixels(Display* display, Window window, int width, int height,
                                    const std::vector<uint32_t>& unlike)
{
    std::vector<uint32_t> last = windowPixels(display, window, width, height);
    for (int i = 0; i < 60; ++i) {
        idleFor(0.05);
        std::vector<uint32_t> now = windowPixels(display, window, width, height);
        const bool drawn = !now.empty() && std::any_of(now.begin(), now.end(), [&](uint32_t p) { return p != now[0]; });
        if (drawn && now == last && now != unlike)
            return now;
        last = std::move(now);
    }
    return last;
}

bool writePNG(const std::vector<uint32_t>& pixels, int width, int height, const std::string& path)
{
    if (pixels.size() != size_t(width) * size_t(height) || pixels.empty())
        return false;
    cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    unsigned char* data = cairo_image_surface_get_data(picture);
    const int stride = cairo_image_surface_get_stride(picture);
    for (int y = 0; y < height; ++y)
        std::memcpy(data + y * stride, pixels.data() + size_t(y) * size_t(width), size_t(width) * 4);
    cairo_surface_mark_dirty(picture);
    const bool written = cairo_surface_write_to_png(picture, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(picture);
    return written;
}

const Tandem20010220_CocoaViewFactoryRecord* viewFactoryOf(AudioUnit unit)
{
    AudioUnitCocoaViewInfo info = {nullptr, {nullptr}};
    UInt32 size = sizeof info;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info, &size) != noErr)
        throw AUInfoError{"the AudioUnit offers no view (its effect has no editor)"};
    CFBundleRef bundle = CFBundleCreate(nullptr, info.mCocoaAUViewBundleLocation);
    const void* factory = bundle ? CFBundleGetDataPointerForName(bundle, info.mCocoaAUViewClass[0]) : nullptr;
    const std::string name = textOf(info.mCocoaAUViewClass[0]);
    CFRelease(info.mCocoaAUViewBundleLocation);
    CFRelease(info.mCocoaAUViewClass[0]);
    if (bundle)
        CFRelease(bundle);
    if (!factory)
        throw AUInfoError{"the view factory " + name + " is not in the bundle the AudioUnit names"};
    return static_cast<const Tandem20010220_CocoaViewFactoryRecord*>(factory);
}

struct OpenedView {
    const Tandem20010220_CocoaViewFactoryRecord* factory;
    Tandem20010220_CocoaView* view;
    ~OpenedView()
    {
        if (view)
            factory->release(view);
    }
};

} // namespace

int runAudioUnitSnapshot(const SnapshotOptions& options, bool verbose)
{
    try {
        if (!options.settings.empty())
            throw AUInfoError{"--set cannot be used with --au: the AudioUnit's parameters are set by a host; "
                              "draw without --set, or without --au"};
        const std::string bundle = fs::absolute(fs::path(chosenPlugin(options.plugin))).lexically_normal().string();
        const BundleDeclarations declared = readDeclarations(bundle);
        AudioComponent component = findBundleComponent(bundle, declared, verbose);

        Display* display = XOpenDisplay(nullptr);
        if (!display)
            throw AUInfoError{"snapshot --au shows the view on an X display and none could be opened; "
                              "set DISPLAY, or run it under xvfb-run"};
        const Window host = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 600, 600, 0, 0, 0);
        XMapWindow(display, host);
        XSync(display, False);

        const std::string output =
            options.output.empty() ? (options.back ? "gravel-back.png" : "gravel-front.png") : options.output;
        bool written = false;
        {
            HiddenStderr hidden(!verbose);
            AudioUnit unit = nullptr;
            const OSStatus opened = AudioComponentInstanceNew(component, &unit);
            if (opened != noErr) {
                XCloseDisplay(display);
                throw AUInfoError{"the AudioUnit did not open (error " + std::to_string(opened) +
                                  "); run 'gravel au-info -v' to see why"};
            }
            try {
                OpenedView shown{viewFactoryOf(unit), nullptr};
                shown.view = shown.factory->uiViewForAudioUnit(unit, TandemViewSize{0, 0}, host);
                if (!shown.view)
                    throw AUInfoError{"the AudioUnit's view did not open; run with -v to see why"};
                const TandemViewSize size = shown.factory->frameSize(shown.view);
                const Window editor = onlyChild(display, shown.factory->window(shown.view));
                if (!editor)
                    throw AUInfoError{"the editor did not open in the AudioUnit's view"};
                const int width = int(size.width), height = int(size.height);
                std::vector<uint32_t> pixels = settledPixels(display, editor, width, height, {});
                if (options.back) {
                    click(display, editor, panelSwitchX, panelSwitchY);
                    pixels = settledPixels(display, editor, width, height, pixels);
                }
                ReplacingFile picture(output);
                written = writePNG(pixels, width, height, picture.temporaryPath());
                if (written)
                    picture.commit();
            } catch (...) {
                AudioComponentInstanceDispose(unit);
                XCloseDisplay(display);
                throw;
            }
            AudioComponentInstanceDispose(unit);
        }
        XDestroyWindow(display, host);
        XCloseDisplay(display);
        if (!written)
            throw AUInfoError{"cannot write the picture into " + output +
                              "; check there is room on the disk and the folder is writable"};
        std::printf("gravel: wrote %s (%s panel of the pedal, through the AudioUnit's view)\n",
                    fs::absolute(output).c_str(), options.back ? "back" : "front");
        return exitOK;
    } catch (const AUInfoError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.message.c_str());
        return exitFailed;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
        return exitFailed;
    }
}
