#pragma once
// The pedal's parameters in CLAP's terms: ids are the engine's indices,
// values are in the units the pedal shows (Drive 0..10, Input Level 0..2,
// switches 0/1, Plugin Mode and Oversampling as the number of their choice)
// and convert to and from the engine's normalised 0..1.
#include <cstdint>

#include "clap/ClapInterface.h"
#include "engine/GravelParameters.h"

namespace gravel_clap {

// The largest value a parameter takes in CLAP units (its smallest is 0).
double maximumOf(int32_t index);
double clapFromNormalised(int32_t index, float normalised);
// NaN stays NaN, which the engine ignores; values out of range are clamped.
float normalisedFromClap(int32_t index, double value);

void describe(int32_t index, clap_param_info_t& info);
// The pedal's own text for a value ("7.50", "On", "Stereo", "4x").
bool valueToText(int32_t index, double value, char* text, uint32_t capacity);
// The texts valueToText gives (and the numbers, with or without the unit),
// case-insensitive; false for anything else.
bool textToValue(int32_t index, const char* text, double& value);

} // namespace gravel_clap
