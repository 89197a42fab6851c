// Caches of the system libraries that live as long as the process: fontconfig
// keeps its parsed configuration once cairo draws text, and cairo keeps one
// small block from its first paint onto an X11 window (it does not grow with
// windows opened and closed). Not ours to free. Compiled into each program
// that draws (the tests, gravel), not into a library: LeakSanitizer looks the
// hook up in the executable.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:VSTGUI::X11ChildWindow::present\n";
}
