// Music devices: MIDI events into a unit.
#pragma once

#include "AUComponent.h"

CF_EXTERN_C_BEGIN

typedef AudioComponentInstance MusicDeviceComponent;

enum {
    kMusicDeviceRange = 0x0100,
    kMusicDeviceMIDIEventSelect = 0x0101,
    kMusicDeviceSysExSelect = 0x0102
};

CF_EXPORT OSStatus MusicDeviceMIDIEvent(MusicDeviceComponent inUnit, UInt32 inStatus, UInt32 inData1,
                                        UInt32 inData2, UInt32 inOffsetSampleFrame);

// Its parameter block (see AUComponent.h).
typedef struct MusicDeviceMIDIEventParams {
    GRAVEL_PARAMETER_BLOCK_HEADER
    UInt32 inStatus;
    UInt32 inData1;
    UInt32 inData2;
    UInt32 inOffsetSampleFrame;
} MusicDeviceMIDIEventParams;
GRAVEL_CHECK_SIZE(MusicDeviceMIDIEventParams, 24);

CF_EXTERN_C_END
