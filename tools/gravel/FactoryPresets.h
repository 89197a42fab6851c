#pragma once

// Gravel's factory presets on the command line: found by name for
// `render --preset`, applied to the effect, and described for `presets`.

#include "engine/GravelFactoryPresets.h"

#include <string>

class VSTPlugIn;

// The factory preset `value` names (any case; a unique beginning is
// enough), or nullptr when `value` is a preset file: an existing path, or
// a name ending in .fxp or .fxb. Throws ToolError, listing the names, for
// an unknown or ambiguous name.
const gravel::FactoryPreset* findFactoryPreset(const std::string& value);

// Sets what the preset carries on Gravel's effect, as loading its .fxp
// would but leaving Plugin Mode alone unless the preset sets it. Throws
// ToolError for another effect.
void applyFactoryPreset(VSTPlugIn& plugIn, const gravel::FactoryPreset& preset);

// True when loading `value` with --preset sets Plugin Mode: a preset file
// always does, a factory preset only when it carries the mode.
bool presetChoosesMode(const std::string& value);

// "Crunch: Input Level 1.0x, Drive 5.5, ..., Oversampling 4x"
std::string describeFactoryPreset(const gravel::FactoryPreset& preset);
