#pragma once

// A VST 2.4 effect with a configurable pin layout, for the AudioUnit
// component tests. Its executable exports one record, "fakeBusState": the
// test sets the layout before the component opens the effect and reads what
// the effect was sent. The test reaches the record by opening the same
// executable itself (the loader hands back the copy the component loaded).

#include "plugin/VstInterface.h"

struct FakeBusState {
    // Layout, read when the effect is created.
    int numInputs;
    int numOutputs;
    unsigned stereoInputPins;  // bit k: input pin k is flagged stereo
    unsigned stereoOutputPins;
    bool describePins;         // answer effGetInput/OutputProperties at all
    bool tandemExtensions;     // answer 'sHi!' and the silence codes
    bool wantsMidi;            // ask for MIDI while being created
    VstIntPtr tailSize;
    VstInt32 initialDelay;
    bool outputSilentAnswer;   // what 'sO00' answers

    // What the effect was sent.
    int processCalls;
    int lastFrames;
    int sampleRateCalls;
    float lastSampleRate;
    int blockSizeCalls;
    VstIntPtr lastBlockSize;
    int idleCalls;
    int editIdleCalls;
    int inputSilenceCalls;
    VstIntPtr lastInputSilence;  // value of the last 'sI00'
    int midiEventsReceived;
    unsigned char lastMidi[3];
    VstInt32 lastMidiDelta;
    int setParameterCalls;
    float parameters[4];
    bool open;                   // between effOpen and effClose
    VstTimeInfo lastTimeInfo;    // what audioMasterGetTime answered in the last slice

    // Set by the test: what processReplacing tells its host each slice.
    bool automateFromProcess;    // a gesture on parameter 1 around its automation
    bool updateDisplayFromProcess;
};

// Output pin c = input pin c (or input 0 when there are fewer inputs) times
// (c + 1), so that every output channel tells which input reached it.
constexpr int fakeBusParameterCount = 4;
