#pragma once
// The factory presets: the one table that Gravel.lv2's presets, the VST's
// .fxp files, the AudioUnit's factory presets and `gravel --preset NAME` are
// all made from. Values are in the pedal's units (Drive 0..10, Input Level
// as its gain, Oversampling as its factor). No preset carries Bypass, so
// choosing a sound never switches a bypassed pedal back on; only Init sets
// Plugin Mode, so choosing a sound leaves the track's routing alone.
#include "engine/GravelParameters.h"

namespace gravel {

struct FactoryPreset {
    const char* name;
    const char* comment;
    float inputLevel; // gain, 0..2
    float drive, tone, level; // 0..10
    bool asym, fat, inBuffer, outBuffer;
    int mode;         // 0 mono, 1 stereo, -1: left as it is
    int oversampling; // 2, 4 or 8
};

constexpr FactoryPreset kFactoryPresets[] = {
    {"Init", "The effect's program: the pedal as it starts.", 1.0f, 0.0f, 5.0f, 5.0f, false, false, true, true, 0, 2},
    {"Clean Boost", "No drive, level up: a louder, brighter clean sound into the amp.", 1.0f, 0.0f, 6.0f, 8.0f,
     false, false, true, true, -1, 2},
    {"Edge of Breakup", "Clean when played softly, breaking up when dug in.", 1.0f, 3.0f, 5.5f, 6.0f, false, false,
     true, true, -1, 2},
    {"Crunch", "Rhythm crunch with the asymmetric diodes.", 1.0f, 5.5f, 6.0f, 5.5f, true, false, true, true, -1, 4},
    {"Lead", "Singing lead: high drive, a little tone, clean highs at 4x.", 1.2f, 8.0f, 6.5f, 6.0f, false, false,
     true, true, -1, 4},
    {"Fat Lead", "The lead with the fat switch for more low end.", 1.2f, 8.5f, 5.0f, 6.0f, true, true, true, true,
     -1, 4},
};

constexpr int kFactoryPresetCount = int(sizeof kFactoryPresets / sizeof kFactoryPresets[0]);

// The value a preset gives parameter `index`, in the pedal's units; false
// for a parameter it leaves alone.
constexpr bool presetValue(const FactoryPreset& preset, int32_t index, float& units)
{
    switch (index) {
    case kInputLevel: units = preset.inputLevel; return true;
    case kDrive: units = preset.drive; return true;
    case kTone: units = preset.tone; return true;
    case kLevel: units = preset.level; return true;
    case kAsym: units = preset.asym ? 1.0f : 0.0f; return true;
    case kFat: units = preset.fat ? 1.0f : 0.0f; return true;
    case kInBuffer: units = preset.inBuffer ? 1.0f : 0.0f; return true;
    case kOutBuffer: units = preset.outBuffer ? 1.0f : 0.0f; return true;
    case kPluginMode: units = float(preset.mode); return preset.mode >= 0;
    case kOversampling: units = float(preset.oversampling); return true;
    default: return false; // Bypass
    }
}

} // namespace gravel
