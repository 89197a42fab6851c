// Parameter and event listeners. A component announces changes with
// AUParameterListenerNotify / AUEventListenerNotify; every listener that
// subscribed to that unit and parameter (or property) hears them. A listener
// made with a null run loop is called on the notifying thread, before the
// notify call returns; one made with a run loop is called on that loop's
// thread when the loop runs (the notification waits in the loop until then).
// Value changes carry the parameter's value read with AudioUnitGetParameter
// when the change is announced. Notification intervals and granularity are
// accepted and not used: every notification is delivered.
#pragma once

#include "../AudioUnit/AudioUnit.h"

CF_EXTERN_C_BEGIN

typedef struct AUListenerBase* AUParameterListenerRef;
typedef AUParameterListenerRef AUEventListenerRef;

typedef void (*AUParameterListenerProc)(void* inRefCon, void* inObject, const AudioUnitParameter* inParameter,
                                        AudioUnitParameterValue inValue);

typedef UInt32 AudioUnitEventType;
enum {
    kAudioUnitEvent_ParameterValueChange = 0,
    kAudioUnitEvent_BeginParameterChangeGesture = 1,
    kAudioUnitEvent_EndParameterChangeGesture = 2,
    kAudioUnitEvent_PropertyChange = 3
};

typedef struct AudioUnitEvent {
    AudioUnitEventType mEventType;
    union {
        AudioUnitParameter mParameter;  // events 0 to 2
        AudioUnitProperty mProperty;    // event 3
    } mArgument;
} AudioUnitEvent;
GRAVEL_CHECK_SIZE(AudioUnitEvent, 32);

typedef void (*AUEventListenerProc)(void* inCallbackRefCon, void* inObject, const AudioUnitEvent* inEvent,
                                    UInt64 inEventHostTime, AudioUnitParameterValue inParameterValue);

// A parameter ID that subscribes to (or announces) every parameter of the unit.
#define kAUParameterListener_AnyParameter 0xFFFFFFFFU

CF_EXPORT OSStatus AUListenerCreate(AUParameterListenerProc inProc, void* inUserData, CFRunLoopRef inRunLoop,
                                    CFStringRef inRunLoopMode, Float32 inNotificationInterval,
                                    AUParameterListenerRef* outListener);
CF_EXPORT OSStatus AUListenerDispose(AUParameterListenerRef inListener);
CF_EXPORT OSStatus AUListenerAddParameter(AUParameterListenerRef inListener, void* inObject,
                                          const AudioUnitParameter* inParameter);
CF_EXPORT OSStatus AUListenerRemoveParameter(AUParameterListenerRef inListener, void* inObject,
                                             const AudioUnitParameter* inParameter);
// inSendingListener (may be null) is not told of its own change.
CF_EXPORT OSStatus AUParameterListenerNotify(AUParameterListenerRef inSendingListener, void* inSendingObject,
                                             const AudioUnitParameter* inParameter);
// AudioUnitSetParameter, then AUParameterListenerNotify.
CF_EXPORT OSStatus AUParameterSet(AUParameterListenerRef inSendingListener, void* inSendingObject,
                                  const AudioUnitParameter* inParameter, AudioUnitParameterValue inValue,
                                  UInt32 inBufferOffsetInFrames);

// Event listeners are disposed of with AUListenerDispose.
CF_EXPORT OSStatus AUEventListenerCreate(AUEventListenerProc inProc, void* inCallbackRefCon, CFRunLoopRef inRunLoop,
                                         CFStringRef inRunLoopMode, Float32 inNotificationInterval,
                                         Float32 inValueChangeGranularity, AUEventListenerRef* outListener);
CF_EXPORT OSStatus AUEventListenerAddEventType(AUEventListenerRef inListener, void* inObject,
                                               const AudioUnitEvent* inEvent);
CF_EXPORT OSStatus AUEventListenerRemoveEventType(AUEventListenerRef inListener, void* inObject,
                                                  const AudioUnitEvent* inEvent);
CF_EXPORT OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener, void* inSendingObject,
                                         const AudioUnitEvent* inEvent);

CF_EXTERN_C_END
