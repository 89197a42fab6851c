// The model's kernels for processors with AVX2, chosen at run time: only
// the code below the target switch uses its instructions, and everything it
// defines stays in this unit.

// Vector helpers declared before the switch are always inlined into the code
// below it; no vector crosses a call.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "circuit/GRVKernels.h"

#pragma GCC push_options
#pragma GCC target("avx2")
#define GRAVEL_KERNEL_AVX2

namespace {
// Four-lane vectors take both channels' buffers in one solve.
constexpr bool useLanesForPairs = true;
#include "circuit/GRVKernelBody.inl"
} // namespace

const GRVKernels::Table& GRVKernels::avx2Table()
{
    static const Table kernels{Level::AVX2, &processMono, &processPair, &exponentialOfArray};
    return kernels;
}

#pragma GCC pop_options
