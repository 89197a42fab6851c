// The model's kernels for any x86-64 processor (SSE2).

// Four-lane vectors are two SSE2 registers here; none crosses a call.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "circuit/GRVKernels.h"

namespace {
// Two-lane vectors save less than the lanes' bookkeeping costs here.
constexpr bool useLanesForPairs = false;
#include "circuit/GRVKernelBody.inl"
} // namespace

const GRVKernels::Table& GRVKernels::baselineTable()
{
    static const Table kernels{Level::Baseline, &processMono, &processPair, &exponentialOfArray};
    return kernels;
}
