#pragma once

#include "CoreAudioTypes.h"
