// The scalar types of the macOS headers (64-bit sizes).
#pragma once

#include "../MacTypes.h"
