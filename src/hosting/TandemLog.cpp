#include "hosting/TandemLog.h"

#include "hosting/RealtimeQueue.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

char logName[256] = "Tandem";

namespace {

struct LogLine {
    char text[512];
};

// Made on first use, so that a sink set from another file's static
// initializer finds it built.
RealtimeQueue<LogLine, 256>& realtimeLines()
{
    static RealtimeQueue<LogLine, 256> queue;
    return queue;
}
std::mutex writeMutex; // the sink, the standard error stream and the queue's consumer side
TandemLogSink currentSink = nullptr;
void* currentContext = nullptr;
// The threads inside a real-time scope. Not thread_local: the first touch of
// a dlopen'd library's thread-local data on a new thread allocates.
constexpr int maxRealtimeThreads = 16;
std::atomic<pthread_t> realtimeThreads[maxRealtimeThreads];
std::atomic<int> realtimeDepths[maxRealtimeThreads];

int realtimeSlotOfThisThread()
{
    const pthread_t self = pthread_self();
    for (int i = 0; i < maxRealtimeThreads; ++i)
        if (realtimeDepths[i].load(std::memory_order_acquire) > 0 &&
            pthread_equal(realtimeThreads[i].load(std::memory_order_relaxed), self))
            return i;
    return -1;
}

void writeLine(const char* line)
{
    if (currentSink)
        currentSink(line, currentContext);
    else
        std::fputs(line, stderr);
}

void drainLocked()
{
    realtimeLines().popAll([](const LogLine& line) { writeLine(line.text); });
    if (const unsigned lost = realtimeLines().takeDroppedCount()) {
        char line[384];
        std::snprintf(line, sizeof line, "[%s] %u log lines from the audio thread were dropped\n", logName, lost);
        writeLine(line);
    }
}

// The writer thread wakes a few times a second; the audio side never signals
// it. Made once and never destroyed: a host may quit with units open, and
// exit must not destroy a running thread's object or what it waits on.
struct LogWriter {
    std::mutex mutex;
    std::condition_variable wake;
    std::thread thread;
    int users = 0;
    bool stopping = false;
};

LogWriter& logWriter()
{
    static LogWriter* writer = new LogWriter;
    return *writer;
}

void runWriter()
{
    LogWriter& writer = logWriter();
    std::unique_lock<std::mutex> lock(writer.mutex);
    while (!writer.stopping) {
        writer.wake.wait_for(lock, std::chrono::milliseconds(20));
        std::lock_guard<std::mutex> write(writeMutex);
        drainLocked();
    }
}

} // namespace

RealtimeLogScope::RealtimeLogScope()
{
    const int slot = realtimeSlotOfThisThread();
    if (slot >= 0) {
        realtimeDepths[slot].fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // A slot of this thread's own: claimed from 0 to 1 (only its owner touches it then).
    for (int i = 0; i < maxRealtimeThreads; ++i) {
        int free = 0;
        if (realtimeDepths[i].compare_exchange_strong(free, -1, std::memory_order_acq_rel)) {
            realtimeThreads[i].store(pthread_self(), std::memory_order_relaxed);
            realtimeDepths[i].store(1, std::memory_order_release);
            return;
        }
    }
    // More audio threads than slots: their lines are written directly.
}

RealtimeLogScope::~RealtimeLogScope()
{
    const int slot = realtimeSlotOfThisThread();
    if (slot >= 0)
        realtimeDepths[slot].fetch_sub(1, std::memory_order_release);
}

bool isRealtimeThread() { return realtimeSlotOfThisThread() >= 0; }

void setTandemLogSink(TandemLogSink sink, void* context)
{
    std::lock_guard<std::mutex> lock(writeMutex);
    drainLocked();
    currentSink = sink;
    currentContext = context;
}

void flushTandemLog()
{
    std::lock_guard<std::mutex> lock(writeMutex);
    drainLocked();
}

void tandemLog(const char* format, ...)
{
    // Paths of up to 1023 characters appear in some lines; longer lines are cut.
    char line[4096];
    int prefix = std::snprintf(line, sizeof line, "[%s](%p) ", logName, reinterpret_cast<void*>(pthread_self()));
    if (prefix < 0)
        return;
    if (static_cast<size_t>(prefix) >= sizeof line)
        prefix = sizeof line - 1;
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + prefix, sizeof line - prefix, format, args);
    va_end(args);
    if (isRealtimeThread()) {
        // Longer lines are cut to the slot: render-thread lines are short.
        const size_t length = std::min(std::strlen(line), sizeof(LogLine::text) - 1);
        realtimeLines().push([&](LogLine& queued) {
            std::memcpy(queued.text, line, length);
            queued.text[length] = '\0';
        });
        return;
    }
    std::lock_guard<std::mutex> lock(writeMutex);
    drainLocked(); // what the audio thread said before comes first
    writeLine(line);
}

void retainTandemLogWriter()
{
    LogWriter& writer = logWriter();
    std::lock_guard<std::mutex> lock(writer.mutex);
    if (writer.users++ == 0) {
        writer.stopping = false;
        writer.thread = std::thread(runWriter);
    }
}

void releaseTandemLogWriter()
{
    LogWriter& writer = logWriter();
    std::thread stopped;
    {
        std::lock_guard<std::mutex> lock(writer.mutex);
        if (writer.users == 0 || --writer.users > 0)
            return;
        writer.stopping = true;
        stopped = std::move(writer.thread);
    }
    writer.wake.notify_all();
    stopped.join();
    flushTandemLog();
}
