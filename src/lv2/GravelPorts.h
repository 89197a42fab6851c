#pragma once
// The LV2 plug-in's ports and their units: what the DSP and the UI binary
// agree on. Control ports carry what the editor shows (Drive 0..10, Input
// Level as its gain 0..2, Oversampling as its factor); the engine takes the
// normalised values of the VST interface.
#include <cmath>
#include <cstdint>

#include "engine/GravelEngine.h"

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
// 1 plays the pedal.
inline float normalisedFromPort(int32_t index, float port)
{
    if (std::isnan(port))
        return port;
    switch (index) {
    case kInputLevel:
        return clampUnit(port / 2.0f);
    case kDrive:
    case kTone:
    case kLevel:
        return clampUnit(port / 10.0f);
    case kBypass:
        return port >= 0.5f ? 0.0f : 1.0f;
    case kOversampling:
        // The factor's nearest step: 2, 4 or 8 as the VST values 0, 0.5, 1.
        return port < 3.0f ? 0.0f : (port < 6.0f ? 0.5f : 1.0f);
    default: // switches: the engine takes 0.5 and above as on
        return clampUnit(port);
    }
}

inline float portFromNormalised(int32_t index, float value)
{
    switch (index) {
    case kInputLevel:
        return 2.0f * value;
    case kDrive:
    case kTone:
    case kLevel:
        return 10.0f * value;
    case kBypass:
        return value >= 0.5f ? 0.0f : 1.0f;
    case kOversampling:
        return static_cast<float>(GravelEngine::factorFor(value));
    default:
        return value >= 0.5f ? 1.0f : 0.0f;
    }
}

} // namespace gravel_lv2
