#pragma once

// Diagnostic lines of the hosting layer and the AudioUnit wrapper:
// "[name](thread) message", one line per call, to the standard error stream
// or to a sink the host installs.
//
// A thread inside a real-time scope (render, scheduled parameters) must not
// write or lock: its lines go into a fixed lock-free queue, and the writer
// thread (or the next line logged elsewhere) writes them out in order.

// Process-wide name printed in every line; each constructed component
// overwrites it with its own name.
extern char logName[256];

// Formats the message (printf style) behind the "[%s](%p) " prefix.
void tandemLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where the lines go. A null sink means the standard error stream; a host
// that wants quiet (the command-line tool) or wants to read the lines (tests)
// installs its own. `line` is complete, including its newline. Queued lines
// are written out before the sink changes.
using TandemLogSink = void (*)(const char* line, void* context);
void setTandemLogSink(TandemLogSink sink, void* context);

// Marks the calling thread as real-time while it lives (nests).
class RealtimeLogScope {
public:
    RealtimeLogScope();
    ~RealtimeLogScope();
    RealtimeLogScope(const RealtimeLogScope&) = delete;
    RealtimeLogScope& operator=(const RealtimeLogScope&) = delete;
};
bool isRealtimeThread();

// Writes out every queued line now.
void flushTandemLog();

// The writer thread runs while at least one component is open, so that
// lines from a render thread appear even when nothing else logs.
void retainTandemLogWriter();
void releaseTandemLogWriter(); // the last release writes out the queue and joins
