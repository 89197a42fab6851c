#pragma once
// The frame's window inside the host's X11 window. Owns its own display
// connection: the host's may be used on another thread, and hosts never
// hand their events to the plug-in.
#include "toolkit/CGeometry.h"
#include "toolkit/CView.h"
#include <memory>

typedef struct _cairo_surface cairo_surface_t;

namespace VSTGUI {

struct WindowEvent {
    enum Type { kNone, kMouseDown, kMouseUp, kMouseMoved, kWheel, kExpose } type = kNone;
    CPoint where;
    CButtonState buttons;
    float distance = 0;
    CRect area;  // kExpose
};

class X11ChildWindow {
public:
    // Null when there is no display or the parent is not a window.
    static std::unique_ptr<X11ChildWindow> create(unsigned long parent, int width, int height);
    ~X11ChildWindow();

    // Next pending event of this window, without blocking; false when none.
    bool nextEvent(WindowEvent& event);
    void present(cairo_surface_t* image, const CRect& r);
    void resize(int width, int height);
    bool queryPointer(CPoint& where, CButtonState& buttons) const;
    unsigned long windowId() const;
    // The file descriptor of the window's display connection: readable when
    // events wait.
    int connectionFd() const;

private:
    struct Impl;
    explicit X11ChildWindow(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl;
};

}  // namespace VSTGUI
