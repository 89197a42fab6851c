#pragma once

// The host side of a hosted VST effect: what the proxy forwards when the
// effect calls back. The AudioUnit component implements it, and so does any
// other program that hosts an effect through VSTPlugIn.

#include "plugin/VstInterface.h"

class VSTPlugIn;

class VSTHost {
public:
    virtual void getVendor(VSTPlugIn* plugIn, char* text) = 0;
    virtual void getProduct(VSTPlugIn* plugIn, char* text) = 0;
    virtual int getVersion(VSTPlugIn* plugIn) = 0;
    virtual bool canDo(VSTPlugIn* plugIn, const char* question) = 0;
    virtual VstTimeInfo* getTimeInfo(VSTPlugIn* plugIn, int flags) = 0;
    virtual void beginEdit(VSTPlugIn* plugIn, int parameter) = 0;
    virtual void automate(VSTPlugIn* plugIn, int parameter, float value) = 0;
    virtual void endEdit(VSTPlugIn* plugIn, int parameter) = 0;
    virtual bool isIOPinConnected(VSTPlugIn* plugIn, bool isOutput, int pin) = 0;
    virtual void idle(VSTPlugIn* plugIn) = 0;
    virtual void updateDisplay(VSTPlugIn* plugIn) = 0;
    virtual void resizeWindow(VSTPlugIn* plugIn, int width, int height) = 0;
    virtual ~VSTHost() = default;
};
