#pragma once

// Who hears of the component's changes: the host's property listeners and
// render notifications, and the platform's parameter and event listeners.
// Listener code locks, allocates and runs the host's procedures, so changes
// raised on a real-time thread (an effect automating from its process call)
// are queued here and delivered by deliverQueued() from the main loop.

#include "hosting/RealtimeQueue.h"

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>

#include <atomic>
#include <mutex>

class TandemNotifier {
public:
    static constexpr int maxPropertyListeners = 128;
    static constexpr int maxRenderNotifies = 128;

    explicit TandemNotifier(ComponentInstance instance) : instance(instance) {}
    TandemNotifier(const TandemNotifier&) = delete;
    TandemNotifier& operator=(const TandemNotifier&) = delete;

    // Property listeners (the host's threads; never the render thread).
    void addPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* reference);
    void removePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* reference);
    // The older call without user data: every registration of the procedure.
    void removePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc);

    // Changes; from a real-time thread they are queued.
    void propertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element);
    void parameterChanged(int parameter);
    void gesture(AudioUnitEventType type, int parameter);
    // The effect's display changed; `presetMayHaveChanged` runs at once off
    // the render thread, else from deliverQueued.
    void displayChanged(void (*presetMayHaveChanged)(void*), void* context);

    // Delivers what real-time threads queued, in order (the main loop).
    void deliverQueued();

    // Render notifications. add and remove never run concurrently with each
    // other (the host's main thread); callRenderNotifies may run on the
    // render thread meanwhile and takes no lock. A procedure removed is never
    // called after remove returns.
    void addRenderNotify(AURenderCallback proc, void* reference);
    void removeRenderNotify(AURenderCallback proc, void* reference);
    void callRenderNotifies(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, UInt32 bus,
                            UInt32 frames, AudioBufferList* ioData);

private:
    struct PropertyListener {
        AudioUnitPropertyID id;
        AudioUnitPropertyListenerProc proc;
        void* reference;
    };
    struct QueuedChange {
        enum Kind { property, parameter, beginGesture, endGesture, display } kind;
        AudioUnitPropertyID id; // the property, or the parameter
        AudioUnitScope scope;
        AudioUnitElement element;
        void (*handler)(void*);
        void* context;
    };
    struct RenderNotifyTable {
        int count = 0;
        AURenderCallbackStruct entries[maxRenderNotifies] = {};
    };

    template <typename ReferenceMatches>
    void removePropertyListeners(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                 ReferenceMatches referenceMatches);
    // Delivers the change now, or queues it on a real-time thread.
    void raise(const QueuedChange& change);
    void deliver(const QueuedChange& change);
    void deliverProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element);
    void deliverParameter(int parameter);
    void postParameterEvent(AudioUnitEventType type, int parameter);
    // Publishes `next` and waits until the render thread has left the other table.
    void publishRenderNotifies(RenderNotifyTable* next);

    ComponentInstance instance;

    std::mutex listenerMutex; // the host's non-real-time threads
    int propertyListenerCount = 0;
    PropertyListener propertyListeners[maxPropertyListeners] = {};

    RealtimeQueue<QueuedChange, 1024> queuedChanges;
    std::mutex deliveryMutex; // one consumer of queuedChanges at a time

    RenderNotifyTable renderNotifyTables[2];
    std::atomic<RenderNotifyTable*> activeRenderNotifies{&renderNotifyTables[0]};
    // The table the render thread is walking (a hazard pointer), or null.
    std::atomic<RenderNotifyTable*> walkedRenderNotifies{nullptr};
};
