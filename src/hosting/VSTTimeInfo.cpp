#include "hosting/VSTTimeInfo.h"

void updateVSTTimeInfo(VstTimeInfo& timeInfo, Float64 sampleTime, Float64 sampleRate,
                       const VSTTimeInfoProcs& procs)
{
    timeInfo.samplePos = sampleTime;
    timeInfo.sampleRate = sampleRate;
    timeInfo.flags = 0;

    if (procs.beatAndTempoProc) {
        Float64 beat = 0.0;
        Float64 tempo = 120.0;
        if (procs.beatAndTempoProc(procs.hostUserData, &beat, &tempo) == noErr) {
            timeInfo.ppqPos = beat;
            timeInfo.tempo = tempo;
            timeInfo.flags |= kVstPpqPosValid | kVstTempoValid;
        }
    }
    if (procs.musicalTimeLocationProc) {
        UInt32 offsetToNextBeat = 0;
        Float32 numerator = 4.0f;
        UInt32 denominator = 4;
        Float64 downBeat = 0.0;
        if (procs.musicalTimeLocationProc(procs.hostUserData, &offsetToNextBeat, &numerator,
                                          &denominator, &downBeat) == noErr) {
            timeInfo.timeSigNumerator = static_cast<VstInt32>(numerator);
            timeInfo.timeSigDenominator = static_cast<VstInt32>(denominator);
            timeInfo.barStartPos = downBeat;
            timeInfo.flags |= kVstBarsValid | kVstTimeSigValid;
        }
    }
    if (procs.transportStateProc) {
        Boolean playing = 0, changed = 0, cycling = 0;
        Float64 currentSample = sampleTime, cycleStart = 0.0, cycleEnd = 0.0;
        if (procs.transportStateProc(procs.hostUserData, &playing, &changed, &currentSample,
                                     &cycling, &cycleStart, &cycleEnd) == noErr) {
            if (playing)
                timeInfo.flags |= kVstTransportPlaying;
            if (changed)
                timeInfo.flags |= kVstTransportChanged;
            timeInfo.samplePos = currentSample;
            if (cycling)
                timeInfo.flags |= kVstTransportCycleActive;
            timeInfo.cycleStartPos = cycleStart;
            timeInfo.cycleEndPos = cycleEnd;
            timeInfo.flags |= kVstCyclePosValid;
        }
    }
}
