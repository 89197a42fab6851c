// The pedal as an LV2 plug-in: the DSP binary. It links the engine only, no
// GUI library, so hosts without a display (MOD, Zynthian) can load it.
#include <lv2/core/lv2.h>

#include "engine/GravelEngine.h"
#include "lv2/GravelPorts.h"

namespace {

using namespace gravel_lv2;

struct GravelPlugin {
    GravelEngine engine;
    const float* audioIn[2] = {nullptr, nullptr};
    float* audioOut[2] = {nullptr, nullptr};
    const float* controls[kGRVNumParams] = {};
};

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*)
{
    // Nothing may leave through the C interface: no memory is no instance.
    GravelPlugin* plugin = nullptr;
    try {
        plugin = new GravelPlugin;
    } catch (...) {
        return nullptr;
    }
    // A rate the models cannot run at: refuse instead of playing at the wrong rate.
    if (!plugin->engine.setSampleRate(rate)) {
        delete plugin;
        return nullptr;
    }
    plugin->engine.applyPendingChanges();
    return plugin;
}

void connectPort(LV2_Handle instance, uint32_t port, void* data)
{
    GravelPlugin* plugin = static_cast<GravelPlugin*>(instance);
    switch (port) {
    case kInputLeft:
    case kInputRight:
        plugin->audioIn[port - kInputLeft] = static_cast<const float*>(data);
        break;
    case kOutputLeft:
    case kOutputRight:
        plugin->audioOut[port - kOutputLeft] = static_cast<float*>(data);
        break;
    default:
        if (isControlPort(port))
            plugin->controls[port - kFirstControl] = static_cast<const float*>(data);
        break;
    }
}

// LV2 asks for a clean start at every activate: nothing the pedal rang with
// before a deactivate may sound after it.
void activate(LV2_Handle instance)
{
    static_cast<GravelPlugin*>(instance)->engine.reset();
}

void run(LV2_Handle instance, uint32_t sampleCount)
{
    GravelPlugin* plugin = static_cast<GravelPlugin*>(instance);
    GravelEngine& engine = plugin->engine;
    // Only what moved is handed on: setting a parameter restarts work in the
    // models (the tone glide), so an unchanged port must not touch them.
    for (int32_t index = 0; index < kGRVNumParams; ++index) {
        const float* port = plugin->controls[index];
        if (!port)
            continue;
        const float value = normalisedFromPort(index, *port);
        if (value != engine.getParameter(index))
            engine.setParameter(index, value);
    }
    engine.process(plugin->audioIn[0], plugin->audioIn[1], plugin->audioOut[0],
                   plugin->audioOut[1], static_cast<int32_t>(sampleCount));
}

void cleanup(LV2_Handle instance)
{
    delete static_cast<GravelPlugin*>(instance);
}

const LV2_Descriptor descriptor = {
    kPluginURI, instantiate, connectPort, activate, run, nullptr, cleanup, nullptr,
};

} // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &descriptor : nullptr;
}
