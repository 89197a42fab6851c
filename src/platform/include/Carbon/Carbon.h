// The Carbon event-loop calls a component uses: event loops are the run loops
// of CoreFoundation/CFRunLoop.h, and their timers fire on the thread that
// runs that loop (the main loop: the thread that pumps CFRunLoopRunInMode or
// RunCurrentEventLoop on the process's first thread).
#pragma once

#include "../CoreServices/CoreServices.h"
#include "../CoreFoundation/CoreFoundation.h"

CF_EXTERN_C_BEGIN

typedef double EventTime;  // seconds
typedef EventTime EventTimeout;
typedef EventTime EventTimerInterval;

#define kEventDurationSecond ((EventTime)1.0)
#define kEventDurationMillisecond ((EventTime)(kEventDurationSecond / 1000))
#define kEventDurationMicrosecond ((EventTime)(kEventDurationSecond / 1000000))
#define kEventDurationNoWait ((EventTime)0.0)
#define kEventDurationForever ((EventTime)(-1.0))

typedef struct OpaqueEventLoopRef* EventLoopRef;
typedef struct __EventLoopTimer* EventLoopTimerRef;

typedef void (*EventLoopTimerProcPtr)(EventLoopTimerRef inTimer, void* inUserData);
typedef EventLoopTimerProcPtr EventLoopTimerUPP;

CF_EXPORT EventLoopRef GetMainEventLoop(void);
CF_EXPORT EventLoopRef GetCurrentEventLoop(void);
CF_EXPORT CFTypeRef GetCFRunLoopFromEventLoop(EventLoopRef inEventLoop);

CF_EXPORT EventLoopTimerUPP NewEventLoopTimerUPP(EventLoopTimerProcPtr userRoutine);
CF_EXPORT void DisposeEventLoopTimerUPP(EventLoopTimerUPP userUPP);

// First call after inFireDelay seconds, then every inInterval seconds (0: once).
// paramErr for a null loop, procedure or outTimer.
CF_EXPORT OSStatus InstallEventLoopTimer(EventLoopRef inEventLoop, EventTimerInterval inFireDelay,
                                         EventTimerInterval inInterval, EventLoopTimerUPP inTimerProc,
                                         void* inTimerData, EventLoopTimerRef* outTimer);
// The timer never fires again once this returns on the loop's thread; safe
// from the timer's own procedure.
CF_EXPORT OSStatus RemoveEventLoopTimer(EventLoopTimerRef inTimer);
CF_EXPORT OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef inTimer, EventTimerInterval inNextFire);

// Runs the calling thread's loop for that long (kEventDurationForever: until
// QuitEventLoop); eventLoopTimedOutErr when the time passed, eventLoopQuitErr
// when QuitEventLoop ended it.
enum {
    eventLoopTimedOutErr = -9875,
    eventLoopQuitErr = -9876
};
CF_EXPORT OSStatus RunCurrentEventLoop(EventTimeout inTimeout);
CF_EXPORT OSStatus QuitEventLoop(EventLoopRef inEventLoop);

CF_EXTERN_C_END
