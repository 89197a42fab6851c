// The component's view: the effect's editor inside a view of ours, made by
// the exported factory the CocoaUI property names.

#include "wrapper/TandemView.h"

#include "wrapper/TandemComponent.h"
#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <X11/Xlib.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>

namespace {

// Xlib's default error handler ends the process, and errors arrive late: the
// host may destroy its window (and the view's with it) before it releases
// the view, or hand over an id that is not a window. Our calls run under a
// handler that only records the error; XSync collects what they caused and
// the previous handler is put back.
std::mutex xErrorMutex;
int lastXError = 0;

int recordXError(Display*, XErrorEvent* error)
{
    lastXError = error->error_code;
    return 0;
}

class XErrorTrap {
public:
    explicit XErrorTrap(Display* display) : display(display), lock(xErrorMutex)
    {
        XSync(display, False);
        lastXError = 0;
        previous = XSetErrorHandler(recordXError);
    }
    ~XErrorTrap() { failed(); }
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // True when the calls since the trap was set caused an error.
    bool failed()
    {
        if (!done) {
            XSync(display, False);
            XSetErrorHandler(previous);
            error = lastXError != 0;
            done = true;
        }
        return error;
    }

private:
    Display* display;
    std::lock_guard<std::mutex> lock;
    int (*previous)(Display*, XErrorEvent*) = nullptr;
    bool done = false;
    bool error = false;
};

} // namespace

struct Tandem20010220_CocoaView {
    TandemViewHost* host = nullptr;
    TandemViewSize frame = {0.0, 0.0};
    // The view's window, a child of the host's; none for an offscreen view.
    Display* display = nullptr;
    Window window = 0;

    void setFrameSize(int width, int height)
    {
        frame = TandemViewSize{double(width), double(height)};
        if (display && window && width > 0 && height > 0) {
            XErrorTrap trap(display);
            XResizeWindow(display, window, unsigned(width), unsigned(height));
        }
    }

    ~Tandem20010220_CocoaView()
    {
        if (display) {
            if (window) {
                XErrorTrap trap(display);
                XDestroyWindow(display, window);
            }
            XCloseDisplay(display);
        }
    }
};

namespace {

const char* const factoryClassName = kTandemCocoaViewFactoryName;

// A window of our own inside the host's, so the editor's window can be
// moved and sized with the view. Null display when there is no display or
// the parent is not a window.
void openViewWindow(Tandem20010220_CocoaView& view, unsigned long parentWindow, int width, int height)
{
    view.display = XOpenDisplay(nullptr);
    if (!view.display)
        throw TandemException("No X display for the view: set DISPLAY, or open the view without a window");
    XErrorTrap trap(view.display);
    view.window = XCreateSimpleWindow(view.display, Window(parentWindow), 0, 0, unsigned(width > 0 ? width : 1),
                                      unsigned(height > 0 ? height : 1), 0, 0, 0);
    XMapWindow(view.display, view.window);
    if (trap.failed()) {
        view.window = 0;
        throw TandemException("The host's window for the view is not a window");
    }
}

Tandem20010220_CocoaView* uiViewForAudioUnit(AudioUnit unit, TandemViewSize, unsigned long parentWindow)
{
    // The size asked for is the host's wish; the view takes the editor's size.
    TandemComponent* tandem =
        reinterpret_cast<TandemComponent*>(GetComponentInstanceStorage(reinterpret_cast<ComponentInstance>(unit)));
    if (!tandem)
        return nullptr;
    try {
        return tandem->createView(parentWindow);
    } catch (const std::exception& e) {
        tandemLog("Could not create the view: %s\n", e.what());
        return nullptr;
    }
}

TandemViewSize frameSize(const Tandem20010220_CocoaView* view)
{
    return view ? view->frame : TandemViewSize{0.0, 0.0};
}

unsigned long viewWindow(const Tandem20010220_CocoaView* view) { return view ? view->window : 0; }

void releaseView(Tandem20010220_CocoaView* view)
{
    if (!view)
        return;
    if (view->host)
        view->host->drop();
    delete view;
}

} // namespace

extern "C" __attribute__((visibility("default"))) const Tandem20010220_CocoaViewFactoryRecord
    Tandem20010220_CocoaViewFactory = {0, "Tandem Cocoa View", uiViewForAudioUnit, frameSize, viewWindow,
                                       releaseView};

AudioUnitCocoaViewInfo TandemViewHost::copyCocoaViewInfo() const
{
    AudioUnitCocoaViewInfo info;
    // The factory lives in this component's own executable.
    info.mCocoaAUViewBundleLocation = CFBundleCopyBundleURL(componentBundle);
    info.mCocoaAUViewClass[0] =
        CFStringCreateWithCString(kCFAllocatorDefault, factoryClassName, kCFStringEncodingUTF8);
    return info;
}

Tandem20010220_CocoaView* TandemViewHost::create(unsigned long parentWindow)
{
    if (openView)
        throw TandemException("The unit's view is open already: release it before making another");
    int width = 0, height = 0;
    vst.getEditorDimensions(width, height);
    std::unique_ptr<Tandem20010220_CocoaView> view(new Tandem20010220_CocoaView());
    view->frame = TandemViewSize{double(width), double(height)};
    if (parentWindow)
        openViewWindow(*view, parentWindow, width, height);
    vst.openEditor(view->window ? reinterpret_cast<void*>(std::uintptr_t(view->window)) : nullptr);
    view->host = this;
    openView = view.get();
    // The host owns the view from here; the component keeps a plain pointer.
    return view.release();
}

void TandemViewHost::drop()
{
    if (vst.isEditorOpen())
        vst.closeEditor();
    openView = nullptr;
}

void TandemViewHost::resize(int width, int height)
{
    if (openView)
        openView->setFrameSize(width, height);
}

void TandemViewHost::detach()
{
    if (!openView)
        return;
    if (vst.isEditorOpen())
        vst.closeEditor();
    openView->host = nullptr;
    openView = nullptr;
}
