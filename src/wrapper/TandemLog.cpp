#include "wrapper/TandemLog.h"

#include <pthread.h>

#include <cstdarg>
#include <cstdio>

char logName[256] = "Tandem";

namespace {
TandemLogSink currentSink = nullptr;
void* currentContext = nullptr;
}

void setTandemLogSink(TandemLogSink sink, void* context)
{
    currentSink = sink;
    currentContext = context;
}

void tandemLog(const char* format, ...)
{
    // Paths of up to 1023 characters appear in some lines; longer lines are cut.
    char line[4096];
    int prefix = std::snprintf(line, sizeof line, "[%s](%p) ", logName,
                               reinterpret_cast<void*>(pthread_self()));
    if (prefix < 0)
        return;
    if (static_cast<size_t>(prefix) >= sizeof line)
        prefix = sizeof line - 1;
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + prefix, sizeof line - prefix, format, args);
    va_end(args);
    if (currentSink)
        currentSink(line, currentContext);
    else
        std::fputs(line, stderr);
}
