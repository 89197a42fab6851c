// Run loops and run-loop timers. Every thread has its own loop, made when first
// asked for; the main loop belongs to the process's first thread. A loop does
// its work (timers, listener deliveries queued for it) only while its thread
// runs it with CFRunLoopRunInMode or CFRunLoopRun. Modes are accepted and not
// told apart: whatever is added in any mode runs in every mode.
#pragma once

#include "../Gravel/PlatformBase.h"
#include "../../cf/CFDate.h"  // CFAbsoluteTime, CFTimeInterval, CFAbsoluteTimeGetCurrent

CF_EXTERN_C_BEGIN

typedef struct __CFRunLoop* CFRunLoopRef;
typedef struct __CFRunLoopTimer* CFRunLoopTimerRef;

CF_EXPORT const CFStringRef kCFRunLoopDefaultMode;
CF_EXPORT const CFStringRef kCFRunLoopCommonModes;

// What CFRunLoopRunInMode returns.
enum {
    kCFRunLoopRunFinished = 1,       // nothing is attached to the loop: no timer, no listener
    kCFRunLoopRunStopped = 2,        // CFRunLoopStop
    kCFRunLoopRunTimedOut = 3,       // the time given has passed
    kCFRunLoopRunHandledSource = 4   // returnAfterSourceHandled and something ran
};

// Loops live as long as the process (retain/release do nothing to them).
CF_EXPORT CFTypeID CFRunLoopGetTypeID(void);
CF_EXPORT CFRunLoopRef CFRunLoopGetCurrent(void);
CF_EXPORT CFRunLoopRef CFRunLoopGetMain(void);
// Runs the calling thread's loop: due timers fire and queued deliveries run on
// this thread until the time has passed, CFRunLoopStop is called, or (with
// returnAfterSourceHandled) something ran.
CF_EXPORT SInt32 CFRunLoopRunInMode(CFStringRef mode, CFTimeInterval seconds, Boolean returnAfterSourceHandled);
// Runs the calling thread's loop until CFRunLoopStop or until nothing is attached.
CF_EXPORT void CFRunLoopRun(void);
CF_EXPORT void CFRunLoopStop(CFRunLoopRef rl);
CF_EXPORT void CFRunLoopWakeUp(CFRunLoopRef rl);
CF_EXPORT Boolean CFRunLoopIsWaiting(CFRunLoopRef rl);

typedef struct {
    CFIndex version;
    void* info;
    const void* (*retain)(const void* info);
    void (*release)(const void* info);
    CFStringRef (*copyDescription)(const void* info);
} CFRunLoopTimerContext;

typedef void (*CFRunLoopTimerCallBack)(CFRunLoopTimerRef timer, void* info);

// A timer fires first at fireDate, then every interval seconds (0: once).
CF_EXPORT CFTypeID CFRunLoopTimerGetTypeID(void);
CF_EXPORT CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef allocator, CFAbsoluteTime fireDate,
                                                 CFTimeInterval interval, CFOptionFlags flags, CFIndex order,
                                                 CFRunLoopTimerCallBack callout, CFRunLoopTimerContext* context);
CF_EXPORT void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef mode);
CF_EXPORT void CFRunLoopRemoveTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef mode);
// Stops the timer for good and takes it off its loop; safe from its own callout.
CF_EXPORT void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer);
CF_EXPORT Boolean CFRunLoopTimerIsValid(CFRunLoopTimerRef timer);
CF_EXPORT CFAbsoluteTime CFRunLoopTimerGetNextFireDate(CFRunLoopTimerRef timer);
CF_EXPORT void CFRunLoopTimerSetNextFireDate(CFRunLoopTimerRef timer, CFAbsoluteTime fireDate);
CF_EXPORT CFTimeInterval CFRunLoopTimerGetInterval(CFRunLoopTimerRef timer);

CF_EXTERN_C_END
