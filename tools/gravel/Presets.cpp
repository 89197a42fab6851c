// gravel presets: the factory presets with their settings, as the pedal
// shows them.

#include "Commands.h"

#include "FactoryPresets.h"

#include <cstdio>

int runPresets()
{
    for (const gravel::FactoryPreset& preset : gravel::kFactoryPresets)
        std::printf("%s\n", describeFactoryPreset(preset).c_str());
    return exitOK;
}
