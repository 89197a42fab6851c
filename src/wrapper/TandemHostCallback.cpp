#include "wrapper/TandemHostCallback.h"

#include "wrapper/TandemComponent.h"
#include "hosting/TandemLog.h"

#include <cstring>

void TandemHostCallback::getVendor(VSTPlugIn*, char* text) { std::strcpy(text, "ZaZire Development"); }

void TandemHostCallback::getProduct(VSTPlugIn*, char* text) { std::strcpy(text, "Tandem"); }

int TandemHostCallback::getVersion(VSTPlugIn*) { return 0x10000; }

bool TandemHostCallback::canDo(VSTPlugIn*, const char* question)
{
    static const char* const abilities[] = {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo",
                                            "reportConnectionChanges", "sizeWindow", "supplyIdle"};
    if (!question)
        return false;
    for (const char* ability : abilities)
        if (std::strcmp(question, ability) == 0)
            return true;
    return false;
}

VstTimeInfo* TandemHostCallback::getTimeInfo(VSTPlugIn*, int) { return &component.getTimeInfo(); }

bool TandemHostCallback::isIOPinConnected(VSTPlugIn*, bool, int) { return true; }

void TandemHostCallback::idle(VSTPlugIn*) {}

void TandemHostCallback::beginEdit(VSTPlugIn*, int parameter)
{
    tandemLog("Notifying kAudioUnitEvent_BeginParameterChangeGesture on parameter %d\n", parameter);
    component.getNotifier().gesture(kAudioUnitEvent_BeginParameterChangeGesture, parameter);
}

void TandemHostCallback::automate(VSTPlugIn*, int parameter, float)
{
    component.getNotifier().parameterChanged(parameter);
}

void TandemHostCallback::endEdit(VSTPlugIn*, int parameter)
{
    tandemLog("Notifying kAudioUnitEvent_EndParameterChangeGesture on parameter %d\n", parameter);
    component.getNotifier().gesture(kAudioUnitEvent_EndParameterChangeGesture, parameter);
}

void TandemHostCallback::updateDisplay(VSTPlugIn*) { component.effectDisplayChanged(); }

void TandemHostCallback::resizeWindow(VSTPlugIn*, int width, int height)
{
    // Sizes the view that embeds the editor; without a view there is nothing to size.
    component.effectAskedForSize(width, height);
}
