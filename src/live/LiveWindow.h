#pragma once

// The effect's editor in a top-level X11 window of its own, titled with the
// effect's name and sized to the editor. Closing it asks the program to end.

#include <string>

class VSTPlugIn;

class LiveWindow {
public:
    // False from isOpen() when there is no display to open it on.
    LiveWindow(VSTPlugIn& plugIn, const std::string& title);
    ~LiveWindow();
    LiveWindow(const LiveWindow&) = delete;
    LiveWindow& operator=(const LiveWindow&) = delete;

    bool isOpen() const { return display != nullptr; }

    // Pumps the editor and the window's own events; false once the window
    // was closed.
    bool idle();

private:
    VSTPlugIn& plugIn;
    struct _XDisplay* display = nullptr;
    unsigned long window = 0;
    unsigned long deleteAtom = 0;
    bool closed = false;
};
