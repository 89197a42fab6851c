#include "toolkit/X11ChildWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <mutex>

namespace VSTGUI {

namespace {

// Xlib reports errors through one process-wide handler whose default ends
// the process, and errors arrive late. The host may destroy its window (and
// ours with it) before closing the editor, or hand us a parent id that is not
// a window. So every call we make runs under a trap: our handler records the
// error, XSync collects what the calls caused, and the host's handler is put
// back.
std::mutex gErrorMutex;
int gLastError = 0;

int recordError(Display*, XErrorEvent* e)
{
    gLastError = e->error_code;
    return 0;
}

class ErrorTrap {
public:
    explicit ErrorTrap(Display* d) : display(d), lock(gErrorMutex)
    {
        XSync(display, False);
        gLastError = 0;
        previous = XSetErrorHandler(recordError);
    }
    ~ErrorTrap() { finish(); }
    // True when the calls since the trap was set caused an error.
    bool finish()
    {
        if (!done) {
            XSync(display, False);
            XSetErrorHandler(previous);
            failed = gLastError != 0;
            done = true;
        }
        return failed;
    }

private:
    Display* display;
    std::lock_guard<std::mutex> lock;
    int (*previous)(Display*, XErrorEvent*) = nullptr;
    bool done = false, failed = false;
};

CButtonState buttonState(unsigned int state)
{
    int32_t s = 0;
    if (state & Button1Mask) s |= kLButton;
    if (state & Button2Mask) s |= kMButton;
    if (state & Button3Mask) s |= kRButton;
    if (state & ShiftMask) s |= kShift;
    if (state & ControlMask) s |= kControl;
    if (state & Mod1Mask) s |= kAlt;
    return CButtonState(s);
}

int32_t buttonBit(unsigned int button)
{
    switch (button) {
    case Button1: return kLButton;
    case Button2: return kMButton;
    case Button3: return kRButton;
    default: return 0;
    }
}

}  // namespace

struct X11ChildWindow::Impl {
    Display* display = nullptr;
    Window window = 0;
    cairo_surface_t* surface = nullptr;
    bool gone = false;  // the window was destroyed under us

    ~Impl()
    {
        if (!display) return;
        ErrorTrap trap(display);
        if (surface) {
            // cairo keeps per-display state until its device is finished.
            cairo_device_t* device = cairo_device_reference(cairo_surface_get_device(surface));
            cairo_surface_destroy(surface);
            if (device) {
                cairo_device_finish(device);
                cairo_device_destroy(device);
            }
        }
        if (window && !gone) XDestroyWindow(display, window);
        trap.finish();
        XCloseDisplay(display);
    }
};

X11ChildWindow::X11ChildWindow(std::unique_ptr<Impl> i) : impl(std::move(i)) {}

X11ChildWindow::~X11ChildWindow() = default;

std::unique_ptr<X11ChildWindow> X11ChildWindow::create(unsigned long parent, int width, int height)
{
    auto impl = std::make_unique<Impl>();
    impl->display = XOpenDisplay(nullptr);
    if (!impl->display) return nullptr;
    Display* d = impl->display;
    // X refuses zero-sized windows; a frame without pictures is still shown.
    unsigned w = width > 0 ? unsigned(width) : 1, h = height > 0 ? unsigned(height) : 1;

    XWindowAttributes parentAttributes;
    {
        ErrorTrap trap(d);
        Status ok = XGetWindowAttributes(d, Window(parent), &parentAttributes);
        if (trap.finish() || !ok) return nullptr;
    }
    {
        ErrorTrap trap(d);
        impl->window = XCreateSimpleWindow(d, Window(parent), 0, 0, w, h, 0, 0, 0);
        XSelectInput(d, impl->window,
                     ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | StructureNotifyMask);
        XMapWindow(d, impl->window);
        if (trap.finish()) {
            impl->window = 0;
            return nullptr;
        }
    }
    impl->surface = cairo_xlib_surface_create(d, impl->window, parentAttributes.visual, int(w), int(h));
    return std::unique_ptr<X11ChildWindow>(new X11ChildWindow(std::move(impl)));
}

unsigned long X11ChildWindow::windowId() const
{
    return impl->window;
}

int X11ChildWindow::connectionFd() const
{
    return ConnectionNumber(impl->display);
}

bool X11ChildWindow::nextEvent(WindowEvent& e)
{
    Display* d = impl->display;
    XEvent x;
    while (XPending(d) > 0) {
        XNextEvent(d, &x);
        if (x.xany.window != impl->window) continue;
        e = WindowEvent();
        switch (x.type) {
        case DestroyNotify:
            impl->gone = true;
            continue;
        case ButtonPress:
            if (x.xbutton.button == Button4 || x.xbutton.button == Button5) {
                e.type = WindowEvent::kWheel;
                e.distance = x.xbutton.button == Button4 ? 1.f : -1.f;
                e.buttons = buttonState(x.xbutton.state);
            } else {
                e.type = WindowEvent::kMouseDown;
                // The state field holds the buttons before this press.
                e.buttons = CButtonState(buttonState(x.xbutton.state).state | buttonBit(x.xbutton.button));
            }
            e.where = CPoint(x.xbutton.x, x.xbutton.y);
            return true;
        case ButtonRelease:
            if (x.xbutton.button == Button4 || x.xbutton.button == Button5) continue;
            e.type = WindowEvent::kMouseUp;
            e.where = CPoint(x.xbutton.x, x.xbutton.y);
            e.buttons = CButtonState(buttonState(x.xbutton.state).state | buttonBit(x.xbutton.button));
            return true;
        case MotionNotify:
            e.type = WindowEvent::kMouseMoved;
            e.where = CPoint(x.xmotion.x, x.xmotion.y);
            e.buttons = buttonState(x.xmotion.state);
            return true;
        case Expose:
            e.type = WindowEvent::kExpose;
            e.area = CRect(x.xexpose.x, x.xexpose.y, x.xexpose.x + x.xexpose.width, x.xexpose.y + x.xexpose.height);
            return true;
        default:
            continue;
        }
    }
    return false;
}

void X11ChildWindow::present(cairo_surface_t* image, const CRect& r)
{
    if (!impl->surface || impl->gone || r.isEmpty()) return;
    ErrorTrap trap(impl->display);
    cairo_t* cr = cairo_create(impl->surface);
    cairo_rectangle(cr, r.left, r.top, r.getWidth(), r.getHeight());
    cairo_clip(cr);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(impl->surface);
    if (trap.finish()) impl->gone = true;
}

void X11ChildWindow::resize(int width, int height)
{
    if (impl->gone) return;
    unsigned w = width > 0 ? unsigned(width) : 1, h = height > 0 ? unsigned(height) : 1;
    ErrorTrap trap(impl->display);
    XResizeWindow(impl->display, impl->window, w, h);
    cairo_xlib_surface_set_size(impl->surface, int(w), int(h));
    if (trap.finish()) impl->gone = true;
}

bool X11ChildWindow::queryPointer(CPoint& where, CButtonState& buttons) const
{
    Window root, child;
    int rx, ry, x, y;
    unsigned int mask;
    if (impl->gone) return false;
    ErrorTrap trap(impl->display);
    Bool same = XQueryPointer(impl->display, impl->window, &root, &child, &rx, &ry, &x, &y, &mask);
    if (trap.finish()) {
        impl->gone = true;
        return false;
    }
    if (!same) return false;
    where = CPoint(x, y);
    buttons = buttonState(mask);
    return true;
}

}  // namespace VSTGUI
