// Run loops: one per thread, each a queue of deliveries and a set of timers
// that only the owning thread runs. The Carbon event loops are the same
// objects under their Carbon names.
#include "platform/runloop/RunLoop.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "Carbon/Carbon.h"
#include "platform/cf/CFRuntime.h"

using namespace gravel_cf;

struct __CFRunLoopTimer;

struct __CFRunLoop : Object {
    static constexpr CFTypeID kTypeID = kRunLoopTypeID;
    __CFRunLoop() : Object(kTypeID, true) {}

    std::mutex mutex;
    std::condition_variable wakeUp;
    std::condition_variable timerReturned;  // a timer's callout has returned
    std::vector<__CFRunLoopTimer*> timers;  // each retained while on the loop
    std::deque<std::function<void()>> deliveries;
    int attachedListeners = 0;
    bool stopRequested = false;
    bool wakeRequested = false;
    bool waiting = false;
};

struct __CFRunLoopTimer : Object {
    static constexpr CFTypeID kTypeID = kRunLoopTimerTypeID;
    __CFRunLoopTimer(CFAbsoluteTime fireDate, CFTimeInterval repeatInterval, CFRunLoopTimerCallBack procedure,
                     const CFRunLoopTimerContext* context)
        : Object(kTypeID, false), nextFireDate(fireDate), interval(repeatInterval), callout(procedure) {
        if (context != nullptr) this->context = *context;
        if (this->context.retain != nullptr) this->context.info = const_cast<void*>(this->context.retain(this->context.info));
    }
    ~__CFRunLoopTimer() override {
        if (context.release != nullptr) context.release(context.info);
    }

    // Guarded by the loop's mutex once the timer is on a loop.
    CFAbsoluteTime nextFireDate;
    const CFTimeInterval interval;
    const CFRunLoopTimerCallBack callout;
    CFRunLoopTimerContext context{};
    std::atomic<bool> valid{true};
    std::atomic<__CFRunLoop*> loop{nullptr};
    // The thread inside the callout, if any (guarded by the loop's mutex).
    std::thread::id firingThread{};
};

namespace {

bool isProcessMainThread() { return syscall(SYS_gettid) == getpid(); }

__CFRunLoop* mainLoop() {
    static __CFRunLoop* loop = new __CFRunLoop;
    return loop;
}

// Loops of other threads live as long as the process: a timer or listener
// may still name the loop of a thread that has ended.
struct LoopList {
    std::mutex mutex;
    std::vector<__CFRunLoop*> loops;
};

LoopList& allLoops() {
    static LoopList* list = new LoopList;
    return *list;
}

__CFRunLoop* currentLoop() {
    if (isProcessMainThread()) return mainLoop();
    thread_local __CFRunLoop* loop = nullptr;
    if (loop == nullptr) {
        loop = new __CFRunLoop;
        LoopList& list = allLoops();
        std::lock_guard<std::mutex> lock(list.mutex);
        list.loops.push_back(loop);
    }
    return loop;
}

void removeTimerLocked(__CFRunLoop* loop, __CFRunLoopTimer* timer) {
    auto found = std::find(loop->timers.begin(), loop->timers.end(), timer);
    if (found == loop->timers.end()) return;
    loop->timers.erase(found);
    timer->loop.store(nullptr);
    CFRelease(timer);
}

// Fires the earliest due timer, if any; called and returns with the lock held.
bool fireOneDueTimer(__CFRunLoop* loop, std::unique_lock<std::mutex>& lock) {
    const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
    __CFRunLoopTimer* due = nullptr;
    for (__CFRunLoopTimer* timer : loop->timers)
        if (timer->valid && timer->nextFireDate <= now && (due == nullptr || timer->nextFireDate < due->nextFireDate))
            due = timer;
    if (due == nullptr) return false;
    if (due->interval > 0) {
        // Missed firings are dropped rather than run in a burst.
        while (due->nextFireDate <= now) due->nextFireDate += due->interval;
    } else {
        due->valid = false;
    }
    CFRetain(due);
    due->firingThread = std::this_thread::get_id();
    lock.unlock();
    due->callout(due, due->context.info);
    lock.lock();
    due->firingThread = std::thread::id();
    loop->timerReturned.notify_all();
    if (!due->valid) removeTimerLocked(loop, due);
    CFRelease(due);
    return true;
}

CFAbsoluteTime earliestFireDate(const __CFRunLoop* loop) {
    CFAbsoluteTime earliest = std::numeric_limits<CFAbsoluteTime>::infinity();
    for (const __CFRunLoopTimer* timer : loop->timers)
        if (timer->valid) earliest = std::min(earliest, timer->nextFireDate);
    return earliest;
}

// The loop of the calling thread, run until the time has passed. With
// finishWhenEmpty, a loop with nothing attached returns at once, as
// CFRunLoopRunInMode does; RunCurrentEventLoop waits out its time instead.
SInt32 runLoop(__CFRunLoop* loop, CFTimeInterval seconds, bool returnAfterSourceHandled, bool finishWhenEmpty) {
    const CFAbsoluteTime deadline = CFAbsoluteTimeGetCurrent() + std::max(seconds, 0.0);
    std::unique_lock<std::mutex> lock(loop->mutex);
    loop->stopRequested = false;
    for (;;) {
        if (loop->stopRequested) {
            loop->stopRequested = false;
            return kCFRunLoopRunStopped;
        }
        if (finishWhenEmpty && loop->timers.empty() && loop->deliveries.empty() && loop->attachedListeners == 0)
            return kCFRunLoopRunFinished;
        bool handledSource = false;
        while (!loop->deliveries.empty()) {
            std::function<void()> work = std::move(loop->deliveries.front());
            loop->deliveries.pop_front();
            lock.unlock();
            work();
            lock.lock();
            handledSource = true;
        }
        while (fireOneDueTimer(loop, lock)) {
        }
        if (handledSource && returnAfterSourceHandled) return kCFRunLoopRunHandledSource;
        const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
        if (now >= deadline) return kCFRunLoopRunTimedOut;
        if (loop->stopRequested || !loop->deliveries.empty()) continue;
        const CFAbsoluteTime wakeAt = std::min(deadline, earliestFireDate(loop));
        if (wakeAt > now && !loop->wakeRequested) {
            loop->waiting = true;
            loop->wakeUp.wait_for(lock, std::chrono::duration<double>(wakeAt - now), [loop] {
                return loop->wakeRequested || loop->stopRequested || !loop->deliveries.empty();
            });
            loop->waiting = false;
        }
        loop->wakeRequested = false;
    }
}

__CFRunLoop* asLoop(CFRunLoopRef rl) { return as<__CFRunLoop>(rl); }

const auto processStart = std::chrono::steady_clock::now();

}  // namespace

namespace gravel_runloop {

void perform(CFRunLoopRef rl, std::function<void()> work) {
    __CFRunLoop* loop = asLoop(rl);
    if (loop == nullptr) return;
    std::lock_guard<std::mutex> lock(loop->mutex);
    loop->deliveries.push_back(std::move(work));
    loop->wakeUp.notify_all();
}

void attach(CFRunLoopRef rl) {
    if (__CFRunLoop* loop = asLoop(rl)) {
        std::lock_guard<std::mutex> lock(loop->mutex);
        ++loop->attachedListeners;
    }
}

void detach(CFRunLoopRef rl) {
    if (__CFRunLoop* loop = asLoop(rl)) {
        std::lock_guard<std::mutex> lock(loop->mutex);
        --loop->attachedListeners;
    }
}

}  // namespace gravel_runloop

const CFStringRef kCFRunLoopDefaultMode = __CFStringMakeConstantString("kCFRunLoopDefaultMode");
const CFStringRef kCFRunLoopCommonModes = __CFStringMakeConstantString("kCFRunLoopCommonModes");

CFTypeID CFRunLoopGetTypeID(void) { return kRunLoopTypeID; }
CFRunLoopRef CFRunLoopGetCurrent(void) { return currentLoop(); }
CFRunLoopRef CFRunLoopGetMain(void) { return mainLoop(); }

SInt32 CFRunLoopRunInMode(CFStringRef, CFTimeInterval seconds, Boolean returnAfterSourceHandled) {
    return runLoop(currentLoop(), seconds, returnAfterSourceHandled, true);
}

void CFRunLoopRun(void) {
    SInt32 result;
    do {
        result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0e10, false);
    } while (result != kCFRunLoopRunStopped && result != kCFRunLoopRunFinished);
}

void CFRunLoopStop(CFRunLoopRef rl) {
    if (__CFRunLoop* loop = asLoop(rl)) {
        std::lock_guard<std::mutex> lock(loop->mutex);
        loop->stopRequested = true;
        loop->wakeUp.notify_all();
    }
}

void CFRunLoopWakeUp(CFRunLoopRef rl) {
    if (__CFRunLoop* loop = asLoop(rl)) {
        std::lock_guard<std::mutex> lock(loop->mutex);
        loop->wakeRequested = true;
        loop->wakeUp.notify_all();
    }
}

Boolean CFRunLoopIsWaiting(CFRunLoopRef rl) {
    __CFRunLoop* loop = asLoop(rl);
    if (loop == nullptr) return false;
    std::lock_guard<std::mutex> lock(loop->mutex);
    return loop->waiting;
}

CFTypeID CFRunLoopTimerGetTypeID(void) { return kRunLoopTimerTypeID; }

CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef, CFAbsoluteTime fireDate, CFTimeInterval interval,
                                       CFOptionFlags, CFIndex, CFRunLoopTimerCallBack callout,
                                       CFRunLoopTimerContext* context) {
    if (callout == nullptr) return nullptr;
    return new __CFRunLoopTimer(fireDate, interval, callout, context);
}

void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timerRef, CFStringRef) {
    __CFRunLoop* loop = asLoop(rl);
    __CFRunLoopTimer* timer = as<__CFRunLoopTimer>(timerRef);
    if (loop == nullptr || timer == nullptr || !timer->valid) return;
    __CFRunLoop* expected = nullptr;
    if (!timer->loop.compare_exchange_strong(expected, loop)) return;  // a timer runs on one loop only
    std::lock_guard<std::mutex> lock(loop->mutex);
    loop->timers.push_back(static_cast<__CFRunLoopTimer*>(const_cast<void*>(CFRetain(timer))));
    loop->wakeUp.notify_all();
}

void CFRunLoopRemoveTimer(CFRunLoopRef rl, CFRunLoopTimerRef timerRef, CFStringRef) {
    __CFRunLoop* loop = asLoop(rl);
    __CFRunLoopTimer* timer = as<__CFRunLoopTimer>(timerRef);
    if (loop == nullptr || timer == nullptr) return;
    std::lock_guard<std::mutex> lock(loop->mutex);
    removeTimerLocked(loop, timer);
}

void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timerRef) {
    __CFRunLoopTimer* timer = as<__CFRunLoopTimer>(timerRef);
    if (timer == nullptr) return;
    timer->valid = false;
    if (__CFRunLoop* loop = timer->loop.load()) {
        std::lock_guard<std::mutex> lock(loop->mutex);
        removeTimerLocked(loop, timer);
    }
}

Boolean CFRunLoopTimerIsValid(CFRunLoopTimerRef timerRef) {
    __CFRunLoopTimer* timer = as<__CFRunLoopTimer>(timerRef);
    return timer != nullptr && timer->valid;
}

CFAbsoluteTime CFRunLoopTimerGetNextFireDate(CFRunLoopTimerRef timerRef) {
    __CFRunLoopTimer* timer = as<__CFRunLoopTimer>(timerRef);
    if (timer == nullptr) return 0;
    __CFRunLoop* loop = timer->loop.load();
    if (loop == nullptr) return timer->nextFireDate;
    std::lock_guard<std::mutex> lock(loop->mutex);
    return timer->nextFireDate;
}

void CFRunLoopTimerSetNextFireDate(CFRunLoopTimerRef timerRef, CFAbsoluteTime fireDate) {
    __CFRunLoopTimer* timer = as<__CFRunLoopTimer>(timerRef);
    if (timer == nullptr) return;
    __CFRunLoop* loop = timer->loop.load();
    if (loop == nullptr) {
        timer->nextFireDate = fireDate;
        return;
    }
    std::lock_guard<std::mutex> lock(loop->mutex);
    timer->nextFireDate = fireDate;
    loop->wakeUp.notify_all();
}

CFTimeInterval CFRunLoopTimerGetInterval(CFRunLoopTimerRef timerRef) {
    __CFRunLoopTimer* timer = as<__CFRunLoopTimer>(timerRef);
    return timer != nullptr ? timer->interval : 0;
}

// Carbon event loops and their timers.

EventLoopRef GetMainEventLoop(void) { return reinterpret_cast<EventLoopRef>(mainLoop()); }
EventLoopRef GetCurrentEventLoop(void) { return reinterpret_cast<EventLoopRef>(currentLoop()); }
CFTypeRef GetCFRunLoopFromEventLoop(EventLoopRef inEventLoop) { return inEventLoop; }

EventLoopTimerUPP NewEventLoopTimerUPP(EventLoopTimerProcPtr userRoutine) { return userRoutine; }
void DisposeEventLoopTimerUPP(EventLoopTimerUPP) {}

namespace {

struct CarbonTimerCall {
    EventLoopTimerUPP procedure;
    void* userData;
};

void callCarbonTimer(CFRunLoopTimerRef timer, void* info) {
    const auto* call = static_cast<const CarbonTimerCall*>(info);
    call->procedure(reinterpret_cast<EventLoopTimerRef>(timer), call->userData);
}

void releaseCarbonTimerCall(const void* info) { delete static_cast<const CarbonTimerCall*>(info); }

}  // namespace

OSStatus InstallEventLoopTimer(EventLoopRef inEventLoop, EventTimerInterval inFireDelay,
                               EventTimerInterval inInterval, EventLoopTimerUPP inTimerProc, void* inTimerData,
                               EventLoopTimerRef* outTimer) {
    CFRunLoopRef loop = reinterpret_cast<CFRunLoopRef>(inEventLoop);
    if (asLoop(loop) == nullptr || inTimerProc == nullptr || outTimer == nullptr) return paramErr;
    CFRunLoopTimerContext context{};
    context.info = new CarbonTimerCall{inTimerProc, inTimerData};
    context.release = releaseCarbonTimerCall;
    CFRunLoopTimerRef timer = CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + std::max(inFireDelay, 0.0),
                                                   std::max(inInterval, 0.0), 0, 0, callCarbonTimer, &context);
    CFRunLoopAddTimer(loop, timer, kCFRunLoopCommonModes);
    *outTimer = reinterpret_cast<EventLoopTimerRef>(timer);  // the install's reference, released on removal
    return noErr;
}

OSStatus RemoveEventLoopTimer(EventLoopTimerRef inTimer) {
    CFRunLoopTimerRef timer = reinterpret_cast<CFRunLoopTimerRef>(inTimer);
    __CFRunLoopTimer* object = as<__CFRunLoopTimer>(timer);
    if (object == nullptr) return paramErr;
    // The caller frees what the procedure uses once this returns: a callout
    // running on the loop's thread is waited for (one on this thread is the
    // caller itself, removing its own timer).
    __CFRunLoop* loop = object->loop.load();
    CFRunLoopTimerInvalidate(timer);
    if (loop != nullptr) {
        std::unique_lock<std::mutex> lock(loop->mutex);
        loop->timerReturned.wait(lock, [&] {
            return object->firingThread == std::thread::id() || object->firingThread == std::this_thread::get_id();
        });
    }
    CFRelease(timer);
    return noErr;
}

OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef inTimer, EventTimerInterval inNextFire) {
    CFRunLoopTimerRef timer = reinterpret_cast<CFRunLoopTimerRef>(inTimer);
    if (as<__CFRunLoopTimer>(timer) == nullptr) return paramErr;
    CFRunLoopTimerSetNextFireDate(timer, CFAbsoluteTimeGetCurrent() + std::max(inNextFire, 0.0));
    return noErr;
}

OSStatus RunCurrentEventLoop(EventTimeout inTimeout) {
    const CFTimeInterval seconds = inTimeout < 0 ? 1.0e10 : inTimeout;
    return runLoop(currentLoop(), seconds, false, false) == kCFRunLoopRunStopped ? eventLoopQuitErr
                                                                                 : eventLoopTimedOutErr;
}

OSStatus QuitEventLoop(EventLoopRef inEventLoop) {
    CFRunLoopRef loop = reinterpret_cast<CFRunLoopRef>(inEventLoop);
    if (asLoop(loop) == nullptr) return paramErr;
    CFRunLoopStop(loop);
    return noErr;
}

UInt32 TickCount(void) {
    const auto elapsed = std::chrono::steady_clock::now() - processStart;
    return static_cast<UInt32>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() * 60 / 1000);
}
