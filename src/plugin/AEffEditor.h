#pragma once

#include "plugin/VstInterface.h"

class AudioEffect;

// The editor object the dispatcher's editor opcodes reach. It lives with the
// effect because the effect owns and calls it; the toolkit-bound editor base
// and the pedal editor derive from it.
class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
    virtual ~AEffEditor() {}

    virtual AudioEffect* getEffect() { return effect; }
    virtual bool getRect(ERect** rect)
    {
        if (rect)
            *rect = nullptr;
        return false;
    }
    virtual bool open(void* parent)
    {
        systemWindow = parent;
        return false;
    }
    virtual void close() { systemWindow = nullptr; }
    virtual bool isOpen() { return systemWindow != nullptr; }
    virtual void idle() {}

    // Platform hooks of older hosts; nothing calls them here.
    virtual void __drawDeprecated(ERect*) {}
    virtual VstInt32 __mouseDeprecated(VstInt32, VstInt32) { return 0; }
    virtual VstInt32 __keyDeprecated(VstInt32) { return 0; }
    virtual void __topDeprecated() {}
    virtual void __sleepDeprecated() {}

    virtual bool onKeyDown(VstKeyCode&) { return false; }
    virtual bool onKeyUp(VstKeyCode&) { return false; }
    virtual bool onWheel(float) { return false; }
    virtual bool setKnobMode(VstInt32) { return false; }

    // The effect calls this after every parameter change so that a control
    // follows host automation. Declared here rather than in the toolkit-bound
    // editor base because the effect only knows this class.
    virtual void setParameter(VstInt32, float) {}

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
};
