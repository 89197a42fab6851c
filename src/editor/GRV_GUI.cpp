#include "editor/GRV_GUI.h"

using namespace VSTGUI;

namespace {
constexpr int kKnobFrames = 99;
}

GRV_GUI::GRV_GUI(EditorParameters* parameters) : AEffGUIEditor(parameters)
{
    rect.top = 0;
    rect.left = 0;
    rect.bottom = 350;
    rect.right = 263;
}

GRV_GUI::~GRV_GUI()
{
    // A host may drop the effect with the window still open.
    if (frame) close();
    if (bitmapsLoaded) {
        frontPanel->forget();
        backPanel->forget();
    }
}

CControl* GRV_GUI::getControl(int32_t index) const
{
    return index >= 0 && index < kNumParams ? controls[index] : nullptr;
}

bool GRV_GUI::open(void* parent)
{
    // A second open without a close would leak the first frame.
    if (frame) close();
    AEffGUIEditor::open(parent);

    if (!bitmapsLoaded) {
        backPanel = new CBitmap("BackPanelSym.bmp");
        frontPanel = new CBitmap("FrontPanel.bmp");
        bitmapsLoaded = true;
    }
    CFrame* newFrame = new CFrame(CRect(0, 0, frontPanel->getWidth(), frontPanel->getHeight()), parent, this);
    // The host asked for the editor in its window and none could be made (no
    // display, or a window id that does not exist): say so, so the host does
    // not wait on a window that never shows. Without a parent the editor
    // draws offscreen, as snapshots do.
    if (parent && !newFrame->isWindowed()) {
        newFrame->forget();
        AEffGUIEditor::close();
        return false;
    }

    CBitmap* knobBitmap = new CBitmap("PlasticKnob.png");
    CBitmap* metalSwitchBitmap = new CBitmap("MetalSwitch.png");
    CBitmap* footSwitchBitmap = new CBitmap("FootSwitch.png");
    CBitmap* plasticSwitchBitmap = new CBitmap("PlasticSwitch.png");
    CBitmap* panelSwitchBitmap = new CBitmap("PanelSwitch.png");
    CBitmap* switch3Bitmap = new CBitmap("PlasticSwitch3Pos.png");
    CBitmap* faderHeadBitmap = new CBitmap("FaderHead.png");
    CBitmap* faderBodyBitmap = new CBitmap("FaderBody.png");

    frontOverlay = new CAnimKnob(CRect(0, 0, 263, 350), this, -1, 1, 350, nullptr);
    frontOverlay->setMouseableArea(CRect(0, 0, 1, 1));
    newFrame->addView(frontOverlay);
    backOverlay = new CAnimKnob(CRect(0, 0, 263, 350), this, -1, 1, 350, nullptr);
    backOverlay->setMouseableArea(CRect(0, 0, 1, 1));
    newFrame->addView(backOverlay);

    versionLabel = new CTextLabel(CRect(0, 107, 263, 122), nullptr, nullptr, 0);
    versionLabel->setText("VERSION 1.5.2");
    versionLabel->setFont(kNormalFontSmaller);
    versionLabel->setBackColor(kTransparentCColor);
    versionLabel->setFrameColor(kTransparentCColor);
    newFrame->addView(versionLabel);

    auto param = [this](int32_t tag) { return parameters ? parameters->getParameter(tag) : 0.f; };
    auto onOff = [&](int32_t tag, CBitmap* bitmap, CCoord left, CCoord top) {
        CCoord w = bitmap->getWidth(), h = bitmap->getHeight() / 2;
        COnOffButton* b = new COnOffButton(CRect(left, top, left + w, top + h), this, tag, bitmap, 0);
        b->setValue(param(tag));
        return b;
    };

    fatSwitch = onOff(5, metalSwitchBitmap, 78, 97);
    newFrame->addView(fatSwitch);
    asymSwitch = onOff(4, metalSwitchBitmap, 159, 97);
    newFrame->addView(asymSwitch);
    bypassSwitch = onOff(9, footSwitchBitmap, 0, 0);
    bypassSwitch->setMouseableArea(CRect(119, 275, 145, 302));
    newFrame->addView(bypassSwitch);
    modeSwitch = onOff(8, plasticSwitchBitmap, 218, 317);
    newFrame->addView(modeSwitch);

    {
        CCoord w = panelSwitchBitmap->getWidth(), h = panelSwitchBitmap->getHeight() / 2;
        panelSwitch = new COnOffButton(CRect(123, 317, 123 + w, 317 + h), this, kPanelSwitchTag, panelSwitchBitmap, 0);
        panelSwitch->setValue(frontShown ? 0.f : 1.f);
        newFrame->addView(panelSwitch);
    }
    {
        CCoord w = switch3Bitmap->getWidth(), h = switch3Bitmap->getHeight() / 3;
        oversamplingSwitch = new CHorizontalSwitch(CRect(111, 212, 111 + w, 212 + h), this, 10, 3, h, 3,
                                                   switch3Bitmap, CPoint(0, 0));
        oversamplingSwitch->setValue(param(10));
        newFrame->addView(oversamplingSwitch);
    }
    inBufferSwitch = onOff(6, plasticSwitchBitmap, 68, 251);
    newFrame->addView(inBufferSwitch);
    outBufferSwitch = onOff(7, plasticSwitchBitmap, 171, 251);
    newFrame->addView(outBufferSwitch);

    // Each knob's body is the 50 x 50 square 25 pixels in from its
    // picture's top left corner; only that square takes the mouse.
    auto knob = [&](int32_t tag, CCoord left) {
        CCoord w = knobBitmap->getWidth(), h = knobBitmap->getHeight() / kKnobFrames;
        CAnimKnob* k = new CAnimKnob(CRect(left, 0, left + w, h), this, tag, kKnobFrames, h, knobBitmap, CPoint(0, 0));
        k->setValue(param(tag));
        k->setMouseableArea(CRect(left + 25, 25, left + 75, 75));
        newFrame->addView(k);
        return k;
    };
    driveKnob = knob(1, 3);
    toneKnob = knob(2, 81);
    levelKnob = knob(3, 159);

    {
        CCoord wt = faderBodyBitmap->getWidth(), ht = faderBodyBitmap->getHeight();
        CCoord wh = faderHeadBitmap->getWidth();
        inputFader = new CHorizontalSlider(CRect(65, 283, 65 + wt, 283 + ht), this, 0, 65, int32_t(65 + wt - wh - 1),
                                           faderHeadBitmap, faderBodyBitmap, CPoint(0, 0), kRight);
        inputFader->setValue(param(0));
        inputFader->setOffsetHandle(CPoint(0, 1));
        inputFader->setFreeClick(false);
        newFrame->addView(inputFader);
    }

    setKnobMode(2);

    // The controls hold their own references.
    for (CBitmap* b : {knobBitmap, metalSwitchBitmap, footSwitchBitmap, plasticSwitchBitmap, panelSwitchBitmap,
                       switch3Bitmap, faderHeadBitmap, faderBodyBitmap})
        b->forget();

    controls[0] = inputFader;
    controls[1] = driveKnob;
    controls[2] = toneKnob;
    controls[3] = levelKnob;
    controls[4] = asymSwitch;
    controls[5] = fatSwitch;
    controls[6] = inBufferSwitch;
    controls[7] = outBufferSwitch;
    controls[8] = modeSwitch;
    controls[9] = bypassSwitch;
    controls[10] = oversamplingSwitch;
    frame = newFrame;

    // Published before the window counts as open: automation on other
    // threads reads it once it sees windowOpen.
    windowThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    pendingMask.store(0);
    windowOpen.store(true, std::memory_order_release);
    for (int32_t i = 0; i < kNumParams; ++i) setParameter(i, param(i));
    switchPanel(frontShown);
    return true;
}

void GRV_GUI::clearControls()
{
    driveKnob = toneKnob = levelKnob = nullptr;
    inputFader = nullptr;
    fatSwitch = asymSwitch = inBufferSwitch = outBufferSwitch = modeSwitch = bypassSwitch = panelSwitch = nullptr;
    oversamplingSwitch = nullptr;
    versionLabel = nullptr;
    for (CControl*& c : controls) c = nullptr;
}

void GRV_GUI::close()
{
    windowOpen.store(false);
    clearControls();
    CFrame* oldFrame = frame;
    frame = nullptr;
    if (oldFrame) {
        // The hidden face's overlay is out of the frame, so the frame would
        // not release it.
        for (CView* overlay : {frontOverlay, backOverlay})
            if (overlay && !oldFrame->isChild(overlay)) overlay->forget();
        oldFrame->forget();
    }
    frontOverlay = backOverlay = nullptr;
    AEffGUIEditor::close();
}

void GRV_GUI::setParameter(VstInt32 index, float value)
{
    if (index < 0 || index >= kNumParams || !windowOpen.load(std::memory_order_acquire)) return;
    if (std::this_thread::get_id() == windowThread.load(std::memory_order_relaxed)) {
        if (frame && controls[index]) controls[index]->setValue(value);
        return;
    }
    pendingValues[index].store(value, std::memory_order_relaxed);
    pendingMask.fetch_or(1u << index, std::memory_order_release);
}

void GRV_GUI::applyPendingValues()
{
    uint32_t mask = pendingMask.exchange(0, std::memory_order_acquire);
    for (int32_t i = 0; mask && i < kNumParams; ++i)
        if ((mask & (1u << i)) && controls[i]) controls[i]->setValue(pendingValues[i].load(std::memory_order_relaxed));
}

void GRV_GUI::idle()
{
    if (frame) applyPendingValues();
    AEffGUIEditor::idle();
}

void GRV_GUI::valueChanged(CControl* control)
{
    int32_t tag = control->getTag();
    if (tag == kPanelSwitchTag) {
        switchPanel(!frontShown);
        frontShown = !frontShown;
        return;
    }
    // The overlays (tag -1) are not parameters.
    if (tag < 0 || tag >= kNumParams || !parameters) return;
    parameters->setParameterFromEditor(tag, control->getValue());
}

void GRV_GUI::switchPanel(bool front)
{
    if (!frame) return;
    frame->setBackground(front ? frontPanel : backPanel);
    for (CView* v : std::initializer_list<CView*>{driveKnob, toneKnob, levelKnob, fatSwitch, asymSwitch, bypassSwitch,
                                                  modeSwitch})
        if (v) v->setVisible(front);
    for (CView* v :
         std::initializer_list<CView*>{inBufferSwitch, outBufferSwitch, inputFader, oversamplingSwitch, versionLabel})
        if (v) v->setVisible(!front);
    CView* show = front ? frontOverlay : backOverlay;
    CView* hide = front ? backOverlay : frontOverlay;
    frame->removeView(hide, false);
    if (!frame->isChild(show)) frame->addView(show);
}
