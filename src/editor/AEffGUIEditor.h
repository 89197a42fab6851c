#pragma once
#include "editor/EditorParameters.h"
#include "plugin/AEffEditor.h"
#include "toolkit/vstgui.h"

#include <cstdint>
#include <string>

// Binds a toolkit frame to the host window and to the plug-in's parameters:
// the editor calls of the host arrive here, the frame's gestures and size
// requests go to the host through the parameters. The concrete editor builds
// the frame in open(). It knows no plug-in format: whoever owns it (the VST
// effect, the LV2 UI) passes its calls on and implements EditorParameters.
class AEffGUIEditor : public AEffEditor, public VSTGUI::VSTGUIEditorInterface {
public:
    // parameters may be null (nothing to show, nobody to tell) and must
    // outlive the editor.
    explicit AEffGUIEditor(EditorParameters* parameters);
    ~AEffGUIEditor() override;

    bool getRect(ERect** r) override;
    bool open(void* parent) override;
    void idle() override;
    bool onKeyDown(VstKeyCode& key) override;
    bool onKeyUp(VstKeyCode& key) override;
    bool onWheel(float distance) override;
    bool setKnobMode(VstInt32 mode) override;

    virtual void draw(ERect* r);
    // Idle work at most every 100 ms, with the host's idle call after it.
    void doIdleStuff() override;
    int32_t getKnobMode() const override;
    bool beforeSizeChange(const VSTGUI::CRect& newSize, const VSTGUI::CRect& oldSize) override;
    bool beginEdit(int32_t index) override;
    bool endEdit(int32_t index) override;

    // Milliseconds of a monotonic clock.
    static uint32_t getTicks();
    static void wait(uint32_t ms);

    // The bundle folder pictures come from, for programs that link the
    // editor directly instead of loading the bundle: the default is found
    // from the loaded image's path. Empty restores the default.
    static void setBundleLocationOverride(const std::string& bundleDir);
    // The bundle folder the running image belongs to ("" when unknown).
    static std::string locateBundle();

protected:
    EditorParameters* parameters;
    ERect rect;
    uint32_t lastTicks;
    bool inIdleStuff = false;
    static int32_t knobMode;
};
