#pragma once

// .fxp programs and .fxb banks given on the command line (--preset,
// --save-preset), read and written through the hosted effect.

#include <string>

class VSTPlugIn;

// The effect's own name, or "the effect" when it gives none.
std::string effectName(VSTPlugIn& plugIn);

// Loads the program or bank; one of another effect, or one that fails half
// way, leaves the effect as it was. Throws ToolError.
void loadPreset(VSTPlugIn& plugIn, const std::string& path);

// Saves the effect's program (.fxp) or bank (.fxb), replacing the file only
// once it is complete. Throws ToolError.
void savePreset(VSTPlugIn& plugIn, const std::string& path);
