#pragma once

// A VST 2.4 effect with parameter texts, for the parameter-mapping and
// value-string tests of the AudioUnit component. Its four parameters display
// as: 0 "Gain" -10..10 "dB" (a plain number), 1 "Drive" "x.x dB" (number and
// unit: not a plain number), 2 "Flat" always "3", 3 "Falling" 1..0. With the
// Tandem extensions it converts values and texts ('sV2S', 'sS2V') for
// parameter 1. The executable exports its record, "fakeTextState"; a test
// resets it with FakeTextState{} and then sets what it needs.

#include "plugin/VstInterface.h"

constexpr int fakeTextParameterCount = 4;

struct FakeTextState {
    bool tandemExtensions;
    bool conversionsFail;         // 'sV2S' and 'sS2V' answer 0
    int gestureOnIdleParameter;   // >= 0: the next effIdle drags it (begin, automate, end)
    float gestureValue;
    float parameters[fakeTextParameterCount];
    int longestTextSeen;          // longest 'sS2V' text, by its terminator
    bool textWasTerminated;       // every 'sS2V' text ended within 2048 bytes
    // The editor (when hasEditor is set at creation): 200 x 100 pixels.
    bool hasEditor;
    int editOpenCalls;
    void* lastEditParent;
    int editCloseCalls;
    int editIdleCalls;
    int resizeOnIdleWidth;        // > 0: the next effIdle asks the host for this size
    int resizeOnIdleHeight;
    VstIntPtr sizeWindowAnswer;
    bool endGestureOnEditClose;   // closing the editor ends a drag of parameter 0
};
