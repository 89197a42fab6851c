#pragma once

// The wrapper's diagnostic lines: "[name](thread) message" on the standard
// error stream, one line per call.

// Process-wide name printed in every line; each constructed component
// overwrites it with its own name.
extern char logName[256];

// Formats the message (printf style) behind the "[%s](%p) " prefix.
void tandemLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where the lines go. A null sink means the standard error stream; a host
// that wants quiet (the command-line tool) or wants to read the lines (tests)
// installs its own. `line` is complete, including its newline.
using TandemLogSink = void (*)(const char* line, void* context);
void setTandemLogSink(TandemLogSink sink, void* context);
