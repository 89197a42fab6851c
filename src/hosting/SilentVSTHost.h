#pragma once

#include "hosting/VSTHost.h"

// A host that tells an effect nothing and ignores what it reports: all a
// program needs that only renders through the effect (benchmarks, fuzzers,
// tests comparing a render against the AudioUnit's).
struct SilentVSTHost : VSTHost {
    void getVendor(VSTPlugIn*, char* text) override { text[0] = '\0'; }
    void getProduct(VSTPlugIn*, char* text) override { text[0] = '\0'; }
    int getVersion(VSTPlugIn*) override { return 1; }
    bool canDo(VSTPlugIn*, const char*) override { return false; }
    VstTimeInfo* getTimeInfo(VSTPlugIn*, int) override { return &timeInfo; }
    void beginEdit(VSTPlugIn*, int) override {}
    void automate(VSTPlugIn*, int, float) override {}
    void endEdit(VSTPlugIn*, int) override {}
    bool isIOPinConnected(VSTPlugIn*, bool, int) override { return true; }
    void idle(VSTPlugIn*) override {}
    void updateDisplay(VSTPlugIn*) override {}
    void resizeWindow(VSTPlugIn*, int, int) override {}

    VstTimeInfo timeInfo{};
};
