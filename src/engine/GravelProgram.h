#pragma once
// The pedal's one program as the FXP bytes the VST effect saves ("FxCk":
// every parameter's normalised value in index order, big-endian). Formats
// that keep their own state (CLAP) store these bytes too, so one preset file
// serves every format. Knows no plug-in format.
#include <cstddef>
#include <cstdint>

#include "engine/GravelParameters.h"

namespace gravel {

// The effect's identity in every FXP record: its VST unique ID and version.
constexpr int32_t kProgramEffectID = ('G' << 24) | ('R' << 16) | ('V' << 8) | '7';
constexpr int32_t kProgramEffectVersion = 1;

constexpr size_t kProgramNameSize = 24;    // characters, without the NUL
constexpr size_t kProgramBytes = 56 + 4 * kGRVNumParams;

struct Program {
    float values[kGRVNumParams];
    char name[kProgramNameSize + 1]; // the VST effect shows its only program as "Init 1"
};

void encodeProgram(const Program& program, unsigned char (&bytes)[kProgramBytes]);

// True only for a whole FxCk record of this effect: its magic words, ID,
// parameter count and length, and every value a number in 0..1. Anything
// else leaves program as it was.
bool decodeProgram(const unsigned char* bytes, size_t size, Program& program);

} // namespace gravel
