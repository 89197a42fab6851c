#include "live/LiveWindow.h"

#include "hosting/TandemException.h"
#include "hosting/VSTPlugIn.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

LiveWindow::LiveWindow(VSTPlugIn& plugIn, const std::string& title) : plugIn(plugIn)
{
    display = XOpenDisplay(nullptr);
    if (!display)
        return;
    int width = 0, height = 0;
    if (!plugIn.getEditorDimensions(width, height) || width <= 0 || height <= 0)
        width = 400, height = 300;
    const int screen = DefaultScreen(display);
    window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, unsigned(width), unsigned(height), 0,
                                 BlackPixel(display, screen), BlackPixel(display, screen));
    XStoreName(display, window, title.c_str());
    XClassHint classHint = {const_cast<char*>("gravel"), const_cast<char*>("Gravel")};
    XSetClassHint(display, window, &classHint);
    // The editor has one size: the window manager is asked to keep it.
    XSizeHints* size = XAllocSizeHints();
    size->flags = PMinSize | PMaxSize;
    size->min_width = size->max_width = width;
    size->min_height = size->max_height = height;
    XSetWMNormalHints(display, window, size);
    XFree(size);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    deleteAtom = deleteWindow;
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    XSync(display, False);
    try {
        plugIn.openEditor(reinterpret_cast<void*>(window));
    } catch (const TandemException&) {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
        display = nullptr;
    }
}

LiveWindow::~LiveWindow()
{
    if (!display)
        return;
    if (plugIn.isEditorOpen())
        plugIn.closeEditor();
    XDestroyWindow(display, window);
    XCloseDisplay(display);
}

bool LiveWindow::idle()
{
    if (!display)
        return true;
    plugIn.idle();
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ClientMessage && Atom(event.xclient.data.l[0]) == Atom(deleteAtom))
            closed = true;
        if (event.type == DestroyNotify)
            closed = true;
    }
    return !closed;
}
