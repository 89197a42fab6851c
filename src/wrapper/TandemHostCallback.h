#pragma once

// What the hosted effect hears of its host when it calls back: the host's
// name and abilities, the time information, and where its automation,
// gestures, display updates and size requests go (the component's listeners
// and view). Calls from the render thread only queue (TandemNotifier).

#include "hosting/VSTHost.h"

class TandemComponent;

class TandemHostCallback : public VSTHost {
public:
    explicit TandemHostCallback(TandemComponent& component) : component(component) {}

    void getVendor(VSTPlugIn* plugIn, char* text) override;
    void getProduct(VSTPlugIn* plugIn, char* text) override;
    int getVersion(VSTPlugIn* plugIn) override;
    bool canDo(VSTPlugIn* plugIn, const char* question) override;
    VstTimeInfo* getTimeInfo(VSTPlugIn* plugIn, int flags) override;
    void beginEdit(VSTPlugIn* plugIn, int parameter) override;
    void automate(VSTPlugIn* plugIn, int parameter, float value) override;
    void endEdit(VSTPlugIn* plugIn, int parameter) override;
    bool isIOPinConnected(VSTPlugIn* plugIn, bool isOutput, int pin) override;
    void idle(VSTPlugIn* plugIn) override;
    void updateDisplay(VSTPlugIn* plugIn) override;
    void resizeWindow(VSTPlugIn* plugIn, int width, int height) override;

private:
    TandemComponent& component;
};
