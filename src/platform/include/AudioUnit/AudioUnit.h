// AudioUnit as a host or a component includes it.
#pragma once

#include "../CoreFoundation/CoreFoundation.h"
#include "../CoreAudio/CoreAudioTypes.h"
#include "AudioComponent.h"
#include "AUComponent.h"
#include "AudioUnitProperties.h"
#include "MusicDevice.h"
