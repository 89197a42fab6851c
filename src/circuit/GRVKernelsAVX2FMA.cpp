// The model's pipeline for processors with AVX2 and FMA, chosen at run
// time. This unit is compiled with multiply-adds contracted; only the code
// below the target switch may use the instructions, and what it defines
// stays in this unit. The stages' inline functions are inlined into it and
// contracted there (one left out of line would run the baseline arithmetic
// in one build of the pipeline and not the other, which the tests see as a
// pair differing from its channels alone).
#include "circuit/GRVKernels.h"

#pragma GCC push_options
#pragma GCC target("avx2,fma")

namespace {
#include "circuit/GRVPipeline.inl"
} // namespace

const GRVKernels::Table& GRVKernels::avx2fmaTable()
{
    static const Table kernels{Level::AVX2FMA, &processMono, &processPair};
    return kernels;
}

#pragma GCC pop_options
