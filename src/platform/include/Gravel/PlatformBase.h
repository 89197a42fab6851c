// Shared by the public platform headers: C linkage, export marking and the
// record size checks.
#pragma once

#include "../../cf/CFBase.h"

#ifdef __cplusplus
#define GRAVEL_CHECK_SIZE(type, bytes) static_assert(sizeof(type) == (bytes), #type " must keep its size")
#else
#define GRAVEL_CHECK_SIZE(type, bytes) _Static_assert(sizeof(type) == (bytes), #type " must keep its size")
#endif

#define GRAVEL_FOUR_CC(a, b, c, d) \
    ((OSType)(((UInt32)(UInt8)(a) << 24) | ((UInt32)(UInt8)(b) << 16) | ((UInt32)(UInt8)(c) << 8) | (UInt32)(UInt8)(d)))
