#pragma once

// The input `gravel render` uses when it is given none: a few seconds of a
// clean guitar DI part (power chords, palm mutes and a single-note run),
// plucked-string synthesis, the same samples on every run.

#include <vector>

std::vector<float> synthesizeDemoRiff(double sampleRate);
