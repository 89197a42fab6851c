// The model's pipeline for any x86-64 processor.
#include "circuit/GRVKernels.h"

namespace {
#include "circuit/GRVPipeline.inl"
} // namespace

const GRVKernels::Table& GRVKernels::baselineTable()
{
    static const Table kernels{Level::Baseline, &processMono, &processPair};
    return kernels;
}
