#pragma once
#include "editor/AEffGUIEditor.h"

#include <atomic>
#include <thread>

// The pedal: a front face with the knobs, mode switches and foot switch, a
// back face with the input fader, buffer switches, oversampling selector and
// version label, and a panel switch on both that turns the pedal over.
// Control tags are the effect's parameter indices.
class GRV_GUI : public AEffGUIEditor, public VSTGUI::CControlListener {
public:
    enum { kNumParams = 11, kPanelSwitchTag = 1000 };

    explicit GRV_GUI(EditorParameters* parameters);
    ~GRV_GUI() override;

    bool open(void* parent) override;
    void close() override;
    void idle() override;
    // Moves the control of the parameter. Called from another thread than
    // the one that opened the window (a host automating from its audio or
    // sequencer thread), the value waits for the next idle: the controls are
    // only ever touched on the window's thread. Takes no lock, allocates
    // nothing.
    void setParameter(VstInt32 index, float value) override;
    void valueChanged(VSTGUI::CControl* control) override;
    void switchPanel(bool front);

    bool isFrontShown() const { return frontShown; }
    // The control of a parameter index while open, else null.
    VSTGUI::CControl* getControl(int32_t index) const;
    VSTGUI::COnOffButton* getPanelSwitch() const { return panelSwitch; }
    VSTGUI::CTextLabel* getVersionLabel() const { return versionLabel; }
    VSTGUI::CBitmap* getFrontPanel() const { return frontPanel; }
    VSTGUI::CBitmap* getBackPanel() const { return backPanel; }

private:
    void clearControls();
    void applyPendingValues();

    VSTGUI::CAnimKnob* driveKnob = nullptr;
    VSTGUI::CAnimKnob* toneKnob = nullptr;
    VSTGUI::CAnimKnob* levelKnob = nullptr;
    VSTGUI::CHorizontalSlider* inputFader = nullptr;
    VSTGUI::COnOffButton* fatSwitch = nullptr;
    VSTGUI::COnOffButton* asymSwitch = nullptr;
    VSTGUI::COnOffButton* inBufferSwitch = nullptr;
    VSTGUI::COnOffButton* outBufferSwitch = nullptr;
    VSTGUI::COnOffButton* modeSwitch = nullptr;
    VSTGUI::CHorizontalSwitch* oversamplingSwitch = nullptr;
    VSTGUI::COnOffButton* bypassSwitch = nullptr;
    VSTGUI::COnOffButton* panelSwitch = nullptr;
    VSTGUI::CTextLabel* versionLabel = nullptr;

    // Panel pictures: loaded at the first open, kept until destruction.
    VSTGUI::CBitmap* frontPanel = nullptr;
    VSTGUI::CBitmap* backPanel = nullptr;
    // One empty full-size view per face, in the frame only while its face shows.
    VSTGUI::CView* frontOverlay = nullptr;
    VSTGUI::CView* backOverlay = nullptr;

    bool bitmapsLoaded = false;
    bool frontShown = true;
    VSTGUI::CControl* controls[kNumParams] = {};

    // Values automated from other threads, applied by idle.
    std::atomic<bool> windowOpen{false};
    // Written by open on the host's UI thread while automation may read it.
    std::atomic<std::thread::id> windowThread{};
    std::atomic<uint32_t> pendingMask{0};
    std::atomic<float> pendingValues[kNumParams] = {};
};
