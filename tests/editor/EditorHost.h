#pragma once
// A host for the editor tests: makes the effect with the pedal editor,
// drives it through the AEffect record and records the effect's callbacks.
#include "editor/GRV_GUI.h"
#include "plugin/VST_GRV.h"

#include <cstring>
#include <vector>

struct EditorHost {
    struct Call {
        VstInt32 opcode, index;
        VstIntPtr value;
        float opt;
    };
    std::vector<Call> calls;
    bool answersSizeWindow = false;

    static EditorHost*& current()
    {
        static EditorHost* host = nullptr;
        return host;
    }

    static VstIntPtr callback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
    {
        EditorHost* self = current();
        if (opcode == audioMasterVersion) return 2400;
        if (!self) return 0;
        self->calls.push_back({opcode, index, value, opt});
        if (opcode == audioMasterCanDo && ptr)
            return self->answersSizeWindow && std::strcmp(static_cast<char*>(ptr), "sizeWindow") == 0;
        if (opcode == audioMasterSizeWindow) return self->answersSizeWindow;
        return 0;
    }

    static AEffEditor* makeEditor(EditorParameters* parameters) { return new GRV_GUI(parameters); }

    EditorHost() { current() = this; }
    ~EditorHost() { current() = nullptr; }

    // A new effect with its editor, as the bundle's entry makes it.
    static AEffect* load() { return (new VST_GRV(&EditorHost::callback, &EditorHost::makeEditor))->getAEffect(); }
    static void unload(AEffect* a) { a->dispatcher(a, effClose, 0, 0, nullptr, 0.f); }
    static VstIntPtr dispatch(AEffect* a, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                              void* ptr = nullptr, float opt = 0.f)
    {
        return a->dispatcher(a, opcode, index, value, ptr, opt);
    }
    static GRV_GUI* editorOf(AEffect* a)
    {
        return dynamic_cast<GRV_GUI*>(static_cast<AudioEffect*>(a->object)->getEditor());
    }

    // Calls of one opcode, in order.
    std::vector<Call> callsOf(VstInt32 opcode) const
    {
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.opcode == opcode) out.push_back(c);
        return out;
    }
};
