#pragma once

// The time information handed to a hosted effect, filled for each new time
// stamp from the AudioUnit host's callback procedures (any may be absent).

#include "platform/MacTypes.h"
#include "plugin/VstInterface.h"

typedef OSStatus (*HostCallback_GetBeatAndTempo)(void* inHostUserData, Float64* outCurrentBeat,
                                                 Float64* outCurrentTempo);
typedef OSStatus (*HostCallback_GetMusicalTimeLocation)(void* inHostUserData,
                                                        UInt32* outDeltaSampleOffsetToNextBeat,
                                                        Float32* outTimeSig_Numerator,
                                                        UInt32* outTimeSig_Denominator,
                                                        Float64* outCurrentMeasureDownBeat);
typedef OSStatus (*HostCallback_GetTransportState)(void* inHostUserData, Boolean* outIsPlaying,
                                                   Boolean* outTransportStateChanged,
                                                   Float64* outCurrentSampleInTimeLine,
                                                   Boolean* outIsCycling,
                                                   Float64* outCycleStartBeat,
                                                   Float64* outCycleEndBeat);

struct VSTTimeInfoProcs {
    void* hostUserData = nullptr;
    HostCallback_GetBeatAndTempo beatAndTempoProc = nullptr;
    HostCallback_GetMusicalTimeLocation musicalTimeLocationProc = nullptr;
    HostCallback_GetTransportState transportStateProc = nullptr;
};

// Fields the procedures do not report keep their previous values.
void updateVSTTimeInfo(VstTimeInfo& timeInfo, Float64 sampleTime, Float64 sampleRate,
                       const VSTTimeInfoProcs& procs);
