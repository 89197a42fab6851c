// AudioToolbox as a host or a component includes it.
#pragma once

#include "../AudioUnit/AudioUnit.h"
#include "AudioUnitUtilities.h"
