#pragma once

#include "circuit/GRV.h"

// The model's block pipeline is built twice: for any x86-64 processor, and
// for processors with AVX2 and FMA, whose fused multiply-adds shorten the
// Newton solves' chains of dependent arithmetic. A model takes the fastest
// the processor runs when it is made.
//
// A fused multiply-add rounds once where a multiply and an add round twice,
// so the two builds differ in the last bits (well inside the model's own
// tolerances); each gives the same output for a channel whatever the blocks
// and whether it runs alone or in a pair.
namespace GRVKernels {

enum class Level { Baseline, AVX2FMA };

struct Table {
    Level level;
    void (*mono)(GRV& model, const double* in, double* out, int n);
    void (*pair)(GRV& left, GRV& right, const double* inLeft, const double* inRight,
                 double* outLeft, double* outRight, int n);
};

const Table& baselineTable();
const Table& avx2fmaTable();

// True when this processor runs the level's instructions.
bool supported(Level level);

// The fastest supported level, unless the environment variable "GRAVEL_SIMD"
// says "baseline" (the test suite runs both ways).
Level preferred();

// The table for a level; the baseline one for a level this processor lacks.
const Table& table(Level level);

// What the pipeline reaches inside a model.
struct Access {
    static GRVInputBuffer& inputBuffer(GRV& m) { return m.inputBuffer; }
    static AnalogHPF& couplingHighPass(GRV& m) { return m.couplingHighPass; }
    static DiodeClippingOpAmpStage& clippingStage(GRV& m) { return m.clippingStage; }
    static GRVToneLevelCircuit& toneLevel(GRV& m) { return m.toneLevel; }
    static GRVOutputBuffer& outputBuffer(GRV& m) { return m.outputBuffer; }
};

} // namespace GRVKernels
