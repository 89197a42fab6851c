#pragma once

// A VST 2.4 effect with several programs of two parameters, for the
// AudioUnit preset tests. Each instance copies the exported template
// "fakeProgramTemplate" when it is created, so two open instances keep their
// own programs; "fakeProgramLatest" points at the newest instance's programs.
// Output = input * (0.5 + parameter 0) + parameter 1 / 100 on every channel,
// so a render tells the current program's values apart.

#include "plugin/VstInterface.h"

constexpr int fakeProgramMaxPrograms = 8;
constexpr int fakeProgramParameterCount = 2;

struct FakePrograms {
    int numPrograms;                // 1..fakeProgramMaxPrograms, read at creation
    VstInt32 uniqueID;              // 0: 'FkPr'
    int current;
    char names[fakeProgramMaxPrograms][25];
    float values[fakeProgramMaxPrograms][fakeProgramParameterCount];
    // The next effIdle renames the current program to this (when not empty)
    // and tells the host through audioMasterUpdateDisplay.
    char renameOnIdle[25];
    int setProgramNameCalls;
};
