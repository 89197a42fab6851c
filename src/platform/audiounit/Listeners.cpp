// Parameter and event listeners: one registry per process (the platform
// library is loaded once), so a listener the host makes hears every bundle's
// notifications.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "AudioToolbox/AudioToolbox.h"
#include "platform/runloop/RunLoop.h"

namespace {

struct Subscription {
    void* object;          // handed back to the procedure
    AudioUnitEvent event;  // type and parameter or property
};

// A property listener the event listener keeps on a unit, as on macOS: a
// component calls its property listeners and posts property events only while
// it has none, so without one an event listener would miss the changes that
// another listener of the host makes the component call directly.
struct PropertyTap {
    void* key;  // the user data registered with the unit; never reused
    AudioUnit unit;
    AudioUnitPropertyID propertyID;
};

}  // namespace

struct AUListenerBase {
    AUParameterListenerProc parameterProc;  // one of the two is set
    AUEventListenerProc eventProc;
    void* refCon;
    CFRunLoopRef runLoop;  // null: called on the notifying thread
    std::vector<Subscription> subscriptions;  // guarded by the registry's mutex
    std::vector<PropertyTap> taps;            // guarded by the registry's mutex
    bool disposed = false;                    // guarded by the registry's mutex
};

namespace {

using ListenerPointer = std::shared_ptr<AUListenerBase>;

struct ListenerRegistry {
    std::mutex mutex;
    std::vector<ListenerPointer> listeners;
    uintptr_t lastTapKey = 0;
};

ListenerRegistry& registry() {
    static ListenerRegistry* r = new ListenerRegistry;  // outlives every static destructor
    return *r;
}

ListenerPointer findLocked(ListenerRegistry& r, AUParameterListenerRef listener) {
    for (const ListenerPointer& candidate : r.listeners)
        if (candidate.get() == listener) return candidate;
    return nullptr;
}

bool isParameterEvent(AudioUnitEventType type) {
    return type == kAudioUnitEvent_ParameterValueChange || type == kAudioUnitEvent_BeginParameterChangeGesture ||
           type == kAudioUnitEvent_EndParameterChangeGesture;
}

bool sameParameter(const AudioUnitParameter& subscribed, const AudioUnitParameter& changed) {
    return subscribed.mAudioUnit == changed.mAudioUnit &&
           (subscribed.mParameterID == kAUParameterListener_AnyParameter ||
            changed.mParameterID == kAUParameterListener_AnyParameter ||
            subscribed.mParameterID == changed.mParameterID) &&
           subscribed.mScope == changed.mScope && subscribed.mElement == changed.mElement;
}

bool sameProperty(const AudioUnitProperty& subscribed, const AudioUnitProperty& changed) {
    return subscribed.mAudioUnit == changed.mAudioUnit && subscribed.mPropertyID == changed.mPropertyID &&
           subscribed.mScope == changed.mScope && subscribed.mElement == changed.mElement;
}

// A parameter listener hears value changes only; an event listener hears the
// event types it subscribed to.
bool hears(const Subscription& subscription, bool parameterListener, const AudioUnitEvent& event) {
    const AudioUnitEvent& subscribed = subscription.event;
    if (parameterListener) {
        return event.mEventType == kAudioUnitEvent_ParameterValueChange &&
               sameParameter(subscribed.mArgument.mParameter, event.mArgument.mParameter);
    }
    if (subscribed.mEventType != event.mEventType) return false;
    return isParameterEvent(event.mEventType) ? sameParameter(subscribed.mArgument.mParameter, event.mArgument.mParameter)
                                              : sameProperty(subscribed.mArgument.mProperty, event.mArgument.mProperty);
}

struct Delivery {
    ListenerPointer listener;
    void* object;
};

UInt64 hostTime() {
    return static_cast<UInt64>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void call(const Delivery& delivery, const AudioUnitEvent& event, UInt64 time, AudioUnitParameterValue value) {
    const AUListenerBase& listener = *delivery.listener;
    if (listener.parameterProc != nullptr)
        listener.parameterProc(listener.refCon, delivery.object, &event.mArgument.mParameter, value);
    else
        listener.eventProc(listener.refCon, delivery.object, &event, time, value);
}

bool stillListening(const ListenerPointer& listener) {
    ListenerRegistry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return !listener->disposed;
}

// Adds the listener once, with the object of its first subscription that hears the event.
void collect(const ListenerPointer& listener, const AudioUnitEvent& event, std::vector<Delivery>& deliveries) {
    const bool parameterListener = listener->parameterProc != nullptr;
    for (const Subscription& subscription : listener->subscriptions) {
        if (hears(subscription, parameterListener, event)) {
            deliveries.push_back({listener, subscription.object});
            return;
        }
    }
}

void deliver(const std::vector<Delivery>& deliveries, const AudioUnitEvent& event) {
    if (deliveries.empty()) return;
    // The value as the change leaves it, read once for every listener.
    AudioUnitParameterValue value = 0;
    if (event.mEventType == kAudioUnitEvent_ParameterValueChange &&
        event.mArgument.mParameter.mParameterID != kAUParameterListener_AnyParameter) {
        const AudioUnitParameter& p = event.mArgument.mParameter;
        AudioUnitGetParameter(p.mAudioUnit, p.mParameterID, p.mScope, p.mElement, &value);
    }
    const UInt64 time = hostTime();
    for (const Delivery& delivery : deliveries) {
        if (delivery.listener->runLoop == nullptr) {
            call(delivery, event, time, value);
        } else {
            gravel_runloop::perform(delivery.listener->runLoop, [delivery, event, time, value] {
                if (stillListening(delivery.listener)) call(delivery, event, time, value);
            });
        }
    }
}

OSStatus notify(AUParameterListenerRef sender, const AudioUnitEvent& event) {
    if (event.mEventType > kAudioUnitEvent_PropertyChange) return paramErr;
    std::vector<Delivery> deliveries;
    {
        ListenerRegistry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        for (const ListenerPointer& listener : r.listeners)
            if (listener.get() != sender) collect(listener, event, deliveries);
    }
    deliver(deliveries, event);
    return noErr;
}

// The property listener of every tap: the change goes to the event listener
// that owns the tap, as a notified event would. A key whose listener is gone
// finds nothing.
void tapHeard(void* key, AudioUnit unit, AudioUnitPropertyID propertyID, AudioUnitScope scope,
              AudioUnitElement element) {
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_PropertyChange;
    event.mArgument.mProperty = {unit, propertyID, scope, element};
    std::vector<Delivery> deliveries;
    {
        ListenerRegistry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        for (const ListenerPointer& listener : r.listeners) {
            const bool owner = std::any_of(listener->taps.begin(), listener->taps.end(),
                                           [key](const PropertyTap& tap) { return tap.key == key; });
            if (owner) {
                collect(listener, event, deliveries);
                break;
            }
        }
    }
    deliver(deliveries, event);
}

bool tapped(const AUListenerBase& listener, AudioUnit unit, AudioUnitPropertyID propertyID) {
    return std::any_of(listener.taps.begin(), listener.taps.end(), [&](const PropertyTap& tap) {
        return tap.unit == unit && tap.propertyID == propertyID;
    });
}

bool subscribedToProperty(const AUListenerBase& listener, AudioUnit unit, AudioUnitPropertyID propertyID) {
    return std::any_of(listener.subscriptions.begin(), listener.subscriptions.end(), [&](const Subscription& s) {
        return s.event.mEventType == kAudioUnitEvent_PropertyChange && s.event.mArgument.mProperty.mAudioUnit == unit &&
               s.event.mArgument.mProperty.mPropertyID == propertyID;
    });
}

// Registering and removing call into the component, so they run outside the
// registry's lock: the component may announce a change meanwhile.
void registerTap(const PropertyTap& tap) {
    // A unit that keeps no property listeners still reaches the subscription
    // through AUEventListenerNotify.
    AudioUnitAddPropertyListener(tap.unit, tap.propertyID, tapHeard, tap.key);
}

void unregisterTaps(const std::vector<PropertyTap>& taps) {
    for (const PropertyTap& tap : taps)
        AudioUnitRemovePropertyListenerWithUserData(tap.unit, tap.propertyID, tapHeard, tap.key);
}

OSStatus createListener(AUParameterListenerProc parameterProc, AUEventListenerProc eventProc, void* refCon,
                        CFRunLoopRef runLoop, AUParameterListenerRef* outListener) {
    if ((parameterProc == nullptr && eventProc == nullptr) || outListener == nullptr) return paramErr;
    if (runLoop != nullptr && CFGetTypeID(runLoop) != CFRunLoopGetTypeID()) return paramErr;
    auto listener = std::make_shared<AUListenerBase>();
    listener->parameterProc = parameterProc;
    listener->eventProc = eventProc;
    listener->refCon = refCon;
    listener->runLoop = runLoop;
    if (runLoop != nullptr) gravel_runloop::attach(runLoop);
    ListenerRegistry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.listeners.push_back(listener);
    *outListener = listener.get();
    return noErr;
}

OSStatus addSubscription(AUParameterListenerRef listenerRef, void* object, const AudioUnitEvent& event) {
    PropertyTap newTap{};
    {
        ListenerRegistry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        ListenerPointer listener = findLocked(r, listenerRef);
        if (listener == nullptr) return paramErr;
        listener->subscriptions.push_back({object, event});
        const AudioUnitProperty& property = event.mArgument.mProperty;
        if (event.mEventType == kAudioUnitEvent_PropertyChange &&
            !tapped(*listener, property.mAudioUnit, property.mPropertyID)) {
            newTap = {reinterpret_cast<void*>(++r.lastTapKey), property.mAudioUnit, property.mPropertyID};
            listener->taps.push_back(newTap);
        }
    }
    if (newTap.key != nullptr) registerTap(newTap);
    return noErr;
}

bool sameSubscription(const Subscription& a, void* object, const AudioUnitEvent& event) {
    if (a.object != object || a.event.mEventType != event.mEventType) return false;
    const AudioUnitParameter& p = a.event.mArgument.mParameter;
    const AudioUnitParameter& q = event.mArgument.mParameter;
    return p.mAudioUnit == q.mAudioUnit && p.mParameterID == q.mParameterID && p.mScope == q.mScope &&
           p.mElement == q.mElement;
}

OSStatus removeSubscription(AUParameterListenerRef listenerRef, void* object, const AudioUnitEvent& event) {
    std::vector<PropertyTap> unused;
    {
        ListenerRegistry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        ListenerPointer listener = findLocked(r, listenerRef);
        if (listener == nullptr) return paramErr;
        auto& list = listener->subscriptions;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const Subscription& s) { return sameSubscription(s, object, event); }),
                   list.end());
        auto& taps = listener->taps;
        const auto kept = std::stable_partition(taps.begin(), taps.end(), [&](const PropertyTap& tap) {
            return subscribedToProperty(*listener, tap.unit, tap.propertyID);
        });
        unused.assign(kept, taps.end());
        taps.erase(kept, taps.end());
    }
    unregisterTaps(unused);
    return noErr;
}

AudioUnitEvent valueChangeOf(const AudioUnitParameter& parameter) {
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter = parameter;
    return event;
}

}  // namespace

OSStatus AUListenerCreate(AUParameterListenerProc inProc, void* inUserData, CFRunLoopRef inRunLoop, CFStringRef,
                          Float32, AUParameterListenerRef* outListener) {
    if (inProc == nullptr) return paramErr;
    return createListener(inProc, nullptr, inUserData, inRunLoop, outListener);
}

OSStatus AUEventListenerCreate(AUEventListenerProc inProc, void* inCallbackRefCon, CFRunLoopRef inRunLoop, CFStringRef,
                               Float32, Float32, AUEventListenerRef* outListener) {
    if (inProc == nullptr) return paramErr;
    return createListener(nullptr, inProc, inCallbackRefCon, inRunLoop, outListener);
}

OSStatus AUListenerDispose(AUParameterListenerRef inListener) {
    ListenerPointer listener;
    {
        ListenerRegistry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto found = std::find_if(r.listeners.begin(), r.listeners.end(),
                                  [inListener](const ListenerPointer& l) { return l.get() == inListener; });
        if (found == r.listeners.end()) return paramErr;
        listener = *found;
        listener->disposed = true;  // deliveries still queued on its loop are dropped
        r.listeners.erase(found);
    }
    // Only this thread reaches the listener now.
    unregisterTaps(listener->taps);
    if (listener->runLoop != nullptr) gravel_runloop::detach(listener->runLoop);
    return noErr;
}

OSStatus AUListenerAddParameter(AUParameterListenerRef inListener, void* inObject,
                                const AudioUnitParameter* inParameter) {
    if (inParameter == nullptr) return paramErr;
    return addSubscription(inListener, inObject, valueChangeOf(*inParameter));
}

OSStatus AUListenerRemoveParameter(AUParameterListenerRef inListener, void* inObject,
                                   const AudioUnitParameter* inParameter) {
    if (inParameter == nullptr) return paramErr;
    return removeSubscription(inListener, inObject, valueChangeOf(*inParameter));
}

OSStatus AUEventListenerAddEventType(AUEventListenerRef inListener, void* inObject, const AudioUnitEvent* inEvent) {
    if (inEvent == nullptr || inEvent->mEventType > kAudioUnitEvent_PropertyChange) return paramErr;
    return addSubscription(inListener, inObject, *inEvent);
}

OSStatus AUEventListenerRemoveEventType(AUEventListenerRef inListener, void* inObject, const AudioUnitEvent* inEvent) {
    if (inEvent == nullptr) return paramErr;
    return removeSubscription(inListener, inObject, *inEvent);
}

OSStatus AUParameterListenerNotify(AUParameterListenerRef inSendingListener, void*,
                                   const AudioUnitParameter* inParameter) {
    if (inParameter == nullptr) return paramErr;
    return notify(inSendingListener, valueChangeOf(*inParameter));
}

OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener, void*, const AudioUnitEvent* inEvent) {
    if (inEvent == nullptr) return paramErr;
    return notify(inSendingListener, *inEvent);
}

OSStatus AUParameterSet(AUParameterListenerRef inSendingListener, void* inSendingObject,
                        const AudioUnitParameter* inParameter, AudioUnitParameterValue inValue,
                        UInt32 inBufferOffsetInFrames) {
    if (inParameter == nullptr) return paramErr;
    const OSStatus status = AudioUnitSetParameter(inParameter->mAudioUnit, inParameter->mParameterID,
                                                  inParameter->mScope, inParameter->mElement, inValue,
                                                  inBufferOffsetInFrames);
    if (status != noErr) return status;
    return AUParameterListenerNotify(inSendingListener, inSendingObject, inParameter);
}
