#pragma once
// The pedal's eleven parameters: the one table every plug-in format, editor
// and resource file is made from. Values are normalised to 0..1 everywhere;
// the table says how each reads to a person. Header only, so that a binary
// that shows the parameters (the LV2 UI) needs none of the engine's code.
#include <cmath>
#include <cstdint>

constexpr int32_t kGRVNumParams = 11;

// Parameter indices, the same in every plug-in format.
enum GRVParameter : int32_t {
    kInputLevel = 0,
    kDrive,
    kTone,
    kLevel,
    kAsym,
    kFat,
    kInBuffer,
    kOutBuffer,
    kPluginMode,
    kBypass,
    kOversampling,
};

namespace gravel {

// How a normalised value is shown.
enum class Display {
    Number, // value × maximum, from 0
    OnOff,  // a switch: on from 0.5
    Choice, // one of the choices, in order over 0..1
};

struct ParameterInfo {
    const char* name;   // as hosts list it
    const char* unit;   // shown after the value; "" for none
    Display display;
    float maximum;       // Number: what 1 shows
    const char* choices; // Choice: the names, "|" between them
    float defaultValue;  // normalised
};

constexpr ParameterInfo kParameters[kGRVNumParams] = {
    {"Input Level", "x", Display::Number, 2.0f, "", 0.5f}, // gain 1
    {"Drive", "", Display::Number, 10.0f, "", 0.0f},
    {"Tone", "", Display::Number, 10.0f, "", 0.5f},
    {"Level", "", Display::Number, 10.0f, "", 0.5f},
    {"Asym.", "", Display::OnOff, 1.0f, "", 0.0f},
    {"Fat", "", Display::OnOff, 1.0f, "", 0.0f},
    {"In Buffer", "", Display::OnOff, 1.0f, "", 1.0f},
    {"Out Buffer", "", Display::OnOff, 1.0f, "", 1.0f},
    {"Plugin Mode", "", Display::Choice, 1.0f, "Mono|Stereo", 0.0f},
    {"Bypass", "", Display::OnOff, 1.0f, "", 0.0f},
    {"Oversampling", "x", Display::Choice, 1.0f, "2|4|8", 0.0f},
};

// Oversampling: 2 below kLowFactorBelow, 8 from kHighFactorFrom, 4 between.
constexpr double kLowFactorBelow = 0.3333;
constexpr double kHighFactorFrom = 0.6666;

constexpr unsigned oversamplingFactorFor(float value)
{
    return value < kLowFactorBelow ? 2 : (value < kHighFactorFrom ? 4 : 8);
}

// Which of a Choice parameter's choices a value shows.
constexpr int choiceIndex(int32_t index, float value)
{
    if (index == kOversampling) {
        const unsigned factor = oversamplingFactorFor(value);
        return factor == 2 ? 0 : (factor == 4 ? 1 : 2);
    }
    return value >= 0.5f ? 1 : 0;
}

// The normalised value of a value in the pedal's units, as the editor shows
// it (Drive 0..10, Input Level as its gain, switches 0 or 1, Oversampling as
// its factor, to the nearest of 2, 4 and 8). NaN stays NaN.
inline float normalisedFromUnits(int32_t index, float units)
{
    if (index == kOversampling && !std::isnan(units))
        return units < 3.0f ? 0.0f : (units < 6.0f ? 0.5f : 1.0f);
    const ParameterInfo& parameter = kParameters[index];
    const float value = parameter.display == Display::Number ? units / parameter.maximum : units;
    return value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
}

constexpr float defaultValue(int32_t index)
{
    return (index >= 0 && index < kGRVNumParams) ? kParameters[index].defaultValue : 0.0f;
}

} // namespace gravel
