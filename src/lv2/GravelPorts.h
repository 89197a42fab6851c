#pragma once
// The LV2 plug-in's ports and their units: what the DSP and the UI binary
// agree on. Control ports carry what the editor shows (Drive 0..10, Input
// Level as its gain 0..2, Oversampling as its factor); the engine takes the
// normalised values of the VST interface.
#include <cmath>
#include <cstdint>

#include "engine/GravelParameters.h"

namespace gravel_lv2 {

// The one identity hosts store in their sessions: never change it.
constexpr const char* kPluginURI = "https://brackenfold.example/plugins/gravel";
constexpr const char* kUIURI = "https://brackenfold.example/plugins/gravel#ui";

constexpr uint32_t kInputLeft = 0;
constexpr uint32_t kInputRight = 1;
constexpr uint32_t kOutputLeft = 2;
constexpr uint32_t kOutputRight = 3;
// Control port of parameter index i is kFirstControl + i.
constexpr uint32_t kFirstControl = 4;
constexpr uint32_t kPortCount = kFirstControl + kGRVNumParams;

// Control port symbols by parameter index, as gravel.ttl names them. Hosts
// and presets find the ports by these: never change them.
constexpr const char* kControlSymbols[kGRVNumParams] = {
    "input_level", "drive", "tone", "level", "asym", "fat",
    "in_buffer", "out_buffer", "mode", "enabled", "oversampling",
};

constexpr bool isControlPort(uint32_t port)
{
    return port >= kFirstControl && port < kPortCount;
}

inline float clampUnit(float v)
{
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

// The engine's value for a port value, clamped to 0..1 so that an
// out-of-range port compares equal to what the engine keeps; NaN stays NaN,
// which the engine ignores. The Bypass port is the host's "enabled" switch:
// 1 plays the pedal. Oversampling ports carry the factor.
inline float normalisedFromPort(int32_t index, float port)
{
    if (std::isnan(port))
        return port;
    if (index == kBypass)
        return port >= 0.5f ? 0.0f : 1.0f;
    // Switches and choices: the engine takes 0.5 and above as on.
    return gravel::normalisedFromUnits(index, port);
}

inline float portFromNormalised(int32_t index, float value)
{
    if (index == kBypass)
        return value >= 0.5f ? 0.0f : 1.0f;
    if (index == kOversampling)
        return static_cast<float>(gravel::oversamplingFactorFor(value));
    const gravel::ParameterInfo& parameter = gravel::kParameters[index];
    if (parameter.display == gravel::Display::Number)
        return parameter.maximum * value;
    return value >= 0.5f ? 1.0f : 0.0f;
}

} // namespace gravel_lv2
