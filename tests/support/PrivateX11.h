#pragma once

// A private X server for the tests that put a window on screen, and the
// synthetic pointer events they send it. Include after gtest: Xlib defines
// None and Bool as macros.

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

// An Xvfb of the test's own; it tells us its display number through a pipe.
// failure says why there is none (the test then skips).
struct Xvfb {
    pid_t pid = -1;
    std::string display;
    std::string failure;

    Xvfb()
    {
        int fds[2];
        if (pipe(fds) != 0) {
            failure = "no pipe";
            return;
        }
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            const int devnull = ::open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty()) {
            int status = 0;
            waitpid(pid, &status, 0);
            pid = -1;
            failure = WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "Xvfb is not installed" : "Xvfb did not start";
            return;
        }
        display = ":" + number;
    }
    ~Xvfb()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
};

inline int childCount(Display* display, Window window)
{
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(display, window, &root, &parent, &children, &count);
    if (children)
        XFree(children);
    return int(count);
}

// Button 1 pressed or released at (x, y) of the window.
inline void sendButton(Display* display, Window window, int type, int x, int y, unsigned int state)
{
    XEvent event{};
    event.xbutton.type = type;
    event.xbutton.display = display;
    event.xbutton.window = window;
    event.xbutton.x = x;
    event.xbutton.y = y;
    event.xbutton.button = Button1;
    event.xbutton.state = state;
    event.xbutton.same_screen = True;
    XSendEvent(display, window, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
}

// The pointer dragged to (x, y) with button 1 held.
inline void sendMotion(Display* display, Window window, int x, int y)
{
    XEvent event{};
    event.xmotion.type = MotionNotify;
    event.xmotion.display = display;
    event.xmotion.window = window;
    event.xmotion.x = x;
    event.xmotion.y = y;
    event.xmotion.state = Button1Mask;
    event.xmotion.same_screen = True;
    XSendEvent(display, window, False, PointerMotionMask, &event);
}
