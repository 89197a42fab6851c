#pragma once

#include "circuit/GRV.h"

// The model's block processing, built once for baseline x86-64 and once for
// processors with AVX2, and chosen when a model is made. Both solve every
// stage exactly as the stages do alone (to the same step test); they run the
// buffers' and the clipping stage's Newton iterations together in vector
// lanes with a vector exponential.
//
// Both builds do the same arithmetic in the same order, without fused
// multiply-adds, so they give the same output bit for bit: tests and stored
// renders do not depend on the machine.
namespace GRVKernels {

enum class Level { Baseline, AVX2 };

struct Table {
    Level level;
    void (*mono)(GRV& model, const double* in, double* out, int n);
    void (*pair)(GRV& left, GRV& right, const double* inLeft, const double* inRight,
                 double* outLeft, double* outRight, int n);
    // The vector exponential the solves use, over an array (for its tests).
    void (*exponential)(const double* in, double* out, int n);
};

const Table& baselineTable();
const Table& avx2Table();

// True when this processor runs the level's instructions.
bool supported(Level level);

// The fastest supported level, unless the environment variable "GRAVEL_SIMD"
// says "baseline" (the test suite runs both ways).
Level preferred();

// The table for a level; the baseline one for a level this processor lacks.
const Table& table(Level level);

// What the kernels reach inside a model.
struct Access {
    static GRVInputBuffer& inputBuffer(GRV& m) { return m.inputBuffer; }
    static AnalogHPF& couplingHighPass(GRV& m) { return m.couplingHighPass; }
    static DiodeClippingOpAmpStage& clippingStage(GRV& m) { return m.clippingStage; }
    static GRVToneLevelCircuit& toneLevel(GRV& m) { return m.toneLevel; }
    static GRVOutputBuffer& outputBuffer(GRV& m) { return m.outputBuffer; }
};

} // namespace GRVKernels
