#include "circuit/GRVKernels.h"

#include <cstdlib>
#include <cstring>

namespace GRVKernels {

bool supported(Level level)
{
    if (level == Level::Baseline)
        return true;
    // Asked once per process: the answer cannot change.
    static const bool hasAVX2AndFMA =
        __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return hasAVX2AndFMA;
}

Level preferred()
{
    const char* forced = std::getenv("GRAVEL_SIMD");
    if (forced != nullptr && std::strcmp(forced, "baseline") == 0)
        return Level::Baseline;
    return supported(Level::AVX2FMA) ? Level::AVX2FMA : Level::Baseline;
}

const Table& table(Level level)
{
    return level == Level::AVX2FMA && supported(level) ? avx2fmaTable() : baselineTable();
}

} // namespace GRVKernels
