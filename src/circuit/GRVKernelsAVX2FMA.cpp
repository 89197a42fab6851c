// The model's pipeline for processors with AVX2 and FMA, chosen at run
// time. This unit is compiled with multiply-adds contracted; only the code
// below the target switch may use the instructions, and what it defines
// stays in this unit. The stages' inline functions it calls are always
// inlined (defined above the switch, they could not contract otherwise).
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
