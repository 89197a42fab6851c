#pragma once

// A test host: records every callback the effect makes and answers with a
// value the test chooses.

#include <functional>
#include <vector>

#include "plugin/VstInterface.h"

struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

struct HostRecorder {
    std::vector<HostCall> calls;
    // Answer for every call; the default host speaks VST 2.4.
    std::function<VstIntPtr(const HostCall&)> answer = [](const HostCall& call) -> VstIntPtr {
        return call.opcode == audioMasterVersion ? 2400 : 0;
    };

    static HostRecorder*& current()
    {
        static HostRecorder* recorder = nullptr;
        return recorder;
    }

    static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                              void* ptr, float opt)
    {
        HostRecorder* self = current();
        if (!self)
            return 0;
        HostCall call{effect, opcode, index, value, ptr, opt};
        self->calls.push_back(call);
        return self->answer(call);
    }

    HostRecorder() { current() = this; }
    ~HostRecorder() { current() = nullptr; }
};
