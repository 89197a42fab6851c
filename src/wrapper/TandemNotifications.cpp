#include "wrapper/TandemNotifications.h"

#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <cstring>
#include <thread>

void TandemNotifier::addPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                         void* reference)
{
    if (!proc)
        throw MacOSException(paramErr);
    {
        std::lock_guard<std::mutex> lock(listenerMutex);
        if (propertyListenerCount == maxPropertyListeners)
            throw MacOSException(memFullErr);
        propertyListeners[propertyListenerCount++] = PropertyListener{id, proc, reference};
    }
    tandemLog("AU Added listener %p (refcon: %p) on property: %d\n", reinterpret_cast<void*>(proc), reference,
              int(id));
}

void TandemNotifier::removePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                            void* reference)
{
    removePropertyListeners(id, proc, [reference](void* registered) { return registered == reference; });
}

void TandemNotifier::removePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc)
{
    removePropertyListeners(id, proc, [](void*) { return true; });
}

template <typename ReferenceMatches>
void TandemNotifier::removePropertyListeners(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                             ReferenceMatches referenceMatches)
{
    std::lock_guard<std::mutex> lock(listenerMutex);
    int kept = 0;
    for (int i = 0; i < propertyListenerCount; ++i) {
        const PropertyListener& listener = propertyListeners[i];
        if (listener.id == id && listener.proc == proc && referenceMatches(listener.reference))
            tandemLog("AU Removed listener on %d\n", int(id));
        else
            propertyListeners[kept++] = listener;
    }
    propertyListenerCount = kept;
}

void TandemNotifier::raise(const QueuedChange& change)
{
    if (isRealtimeThread())
        queuedChanges.push([&](QueuedChange& slot) { slot = change; });
    else
        deliver(change);
}

void TandemNotifier::propertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element)
{
    raise(QueuedChange{QueuedChange::property, id, scope, element, nullptr, nullptr});
}

void TandemNotifier::parameterChanged(int parameter)
{
    raise(QueuedChange{QueuedChange::parameter, AudioUnitPropertyID(parameter), 0, 0, nullptr, nullptr});
}

void TandemNotifier::gesture(AudioUnitEventType type, int parameter)
{
    const bool begin = type == kAudioUnitEvent_BeginParameterChangeGesture;
    raise(QueuedChange{begin ? QueuedChange::beginGesture : QueuedChange::endGesture, AudioUnitPropertyID(parameter),
                       0, 0, nullptr, nullptr});
}

void TandemNotifier::displayChanged(void (*presetMayHaveChanged)(void*), void* context)
{
    raise(QueuedChange{QueuedChange::display, 0, 0, 0, presetMayHaveChanged, context});
}

void TandemNotifier::deliverQueued()
{
    std::lock_guard<std::mutex> lock(deliveryMutex);
    queuedChanges.popAll([this](const QueuedChange& change) { deliver(change); });
    if (const unsigned lost = queuedChanges.takeDroppedCount())
        tandemLog("%u notifications from the audio thread were dropped\n", lost);
}

void TandemNotifier::deliver(const QueuedChange& change)
{
    switch (change.kind) {
    case QueuedChange::property:
        deliverProperty(change.id, change.scope, change.element);
        break;
    case QueuedChange::parameter:
        deliverParameter(int(change.id));
        break;
    case QueuedChange::beginGesture:
        postParameterEvent(kAudioUnitEvent_BeginParameterChangeGesture, int(change.id));
        break;
    case QueuedChange::endGesture:
        postParameterEvent(kAudioUnitEvent_EndParameterChangeGesture, int(change.id));
        break;
    case QueuedChange::display:
        change.handler(change.context);
        break;
    }
}

void TandemNotifier::deliverProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element)
{
    // A copy: a listener may add or remove listeners while it is called.
    PropertyListener listeners[maxPropertyListeners];
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(listenerMutex);
        count = propertyListenerCount;
        std::memcpy(listeners, propertyListeners, sizeof(PropertyListener) * size_t(count));
    }
    if (count == 0) {
        AudioUnitEvent event;
        std::memset(&event, 0, sizeof event);
        event.mEventType = kAudioUnitEvent_PropertyChange;
        event.mArgument.mProperty.mAudioUnit = instance;
        event.mArgument.mProperty.mPropertyID = id;
        event.mArgument.mProperty.mScope = scope;
        event.mArgument.mProperty.mElement = element;
        AUEventListenerNotify(nullptr, nullptr, &event);
        return;
    }
    for (int i = 0; i < count; ++i)
        if (listeners[i].id == id)
            listeners[i].proc(listeners[i].reference, instance, id, scope, element);
}

void TandemNotifier::deliverParameter(int parameter)
{
    AudioUnitParameter changed = {instance, AudioUnitParameterID(parameter), kAudioUnitScope_Global, 0};
    // Parameter and event listeners alike hear it from this one notification.
    const OSStatus status = AUParameterListenerNotify(nullptr, nullptr, &changed);
    if (status != noErr)
        throw MacOSException(status);
}

void TandemNotifier::postParameterEvent(AudioUnitEventType type, int parameter)
{
    AudioUnitEvent event;
    std::memset(&event, 0, sizeof event);
    event.mEventType = type;
    event.mArgument.mParameter.mAudioUnit = instance;
    event.mArgument.mParameter.mParameterID = AudioUnitParameterID(parameter);
    event.mArgument.mParameter.mScope = kAudioUnitScope_Global;
    event.mArgument.mParameter.mElement = 0;
    AUEventListenerNotify(nullptr, nullptr, &event);
}

// ---- render notifications: two tables, one published at a time ----

void TandemNotifier::addRenderNotify(AURenderCallback proc, void* reference)
{
    if (!proc)
        throw MacOSException(paramErr);
    const RenderNotifyTable* current = activeRenderNotifies.load();
    if (current->count == maxRenderNotifies)
        throw MacOSException(memFullErr);
    RenderNotifyTable* next = current == &renderNotifyTables[0] ? &renderNotifyTables[1] : &renderNotifyTables[0];
    *next = *current;
    next->entries[next->count++] = AURenderCallbackStruct{proc, reference};
    publishRenderNotifies(next);
}

void TandemNotifier::removeRenderNotify(AURenderCallback proc, void* reference)
{
    const RenderNotifyTable* current = activeRenderNotifies.load();
    RenderNotifyTable* next = current == &renderNotifyTables[0] ? &renderNotifyTables[1] : &renderNotifyTables[0];
    next->count = 0;
    for (int i = 0; i < current->count; ++i)
        if (current->entries[i].inputProc != proc || current->entries[i].inputProcRefCon != reference)
            next->entries[next->count++] = current->entries[i];
    publishRenderNotifies(next);
}

void TandemNotifier::publishRenderNotifies(RenderNotifyTable* next)
{
    RenderNotifyTable* previous = activeRenderNotifies.exchange(next);
    // A procedure called from inside the render (this very thread) cannot
    // wait for itself; the table it walks stays as it is until the next change.
    if (isRealtimeThread())
        return;
    while (walkedRenderNotifies.load() == previous)
        std::this_thread::yield();
}

void TandemNotifier::callRenderNotifies(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                        UInt32 bus, UInt32 frames, AudioBufferList* ioData)
{
    RenderNotifyTable* table = activeRenderNotifies.load();
    for (;;) {
        walkedRenderNotifies.store(table);
        RenderNotifyTable* again = activeRenderNotifies.load();
        if (again == table)
            break;
        table = again;
    }
    for (int i = table->count - 1; i >= 0; --i)
        table->entries[i].inputProc(table->entries[i].inputProcRefCon, flags, timeStamp, bus, frames, ioData);
    walkedRenderNotifies.store(nullptr);
}
