#pragma once
#include "toolkit/CColor.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CView.h"
#include <string>

namespace VSTGUI {

class CControl;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    virtual void controlBeginEdit(CControl*) {}
    virtual void controlEndEdit(CControl*) {}
};

// A view with a value between min and max (0 and 1 unless set), a tag and a
// listener. A mouse gesture is bracketed by beginEdit/endEdit, which reach
// the frame's editor with the tag.
class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, int32_t tag = 0,
             CBitmap* background = nullptr);

    // Out-of-range values are clamped; NaN is ignored.
    virtual void setValue(float val);
    float getValue() const { return value; }
    void setMin(float v) { vmin = v; }
    float getMin() const { return vmin; }
    void setMax(float v) { vmax = v; }
    float getMax() const { return vmax; }
    void setWheelInc(float v) { wheelInc = v; }
    float getWheelInc() const { return wheelInc; }

    void setTag(int32_t t) { tag = t; }
    int32_t getTag() const { return tag; }
    void setListener(CControlListener* l) { listener = l; }
    CControlListener* getListener() const { return listener; }

    // Tells the listener the value changed.
    virtual void valueChanged();
    virtual void beginEdit();
    virtual void endEdit();
    bool isEditing() const { return editing > 0; }

    // Keeps value between min and max.
    void bounceValue();

protected:
    // One step in the value's direction: wheel and arrow keys.
    bool stepValue(float delta);

    CControlListener* listener;
    int32_t tag;
    float value = 0.f, vmin = 0.f, vmax = 1.f;
    float wheelInc = 0.1f;
    int editing = 0;
};

// Knob turned by dragging, drawn as one of several sub-pictures stacked
// vertically in one bitmap. How a drag turns it follows the editor's knob
// mode: 0 circular (value follows the pointer's angle), 1 relative circular
// (angle changes add up), 2 linear (vertical and horizontal movement).
class CAnimKnob : public CControl {
public:
    enum { kCircularMode = 0, kRelativCircularMode = 1, kLinearMode = 2 };

    CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
              CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    int32_t onKeyDown(VstKeyCode& key) override;

    int32_t getNumSubPixmaps() const { return subPixmaps; }
    CCoord getHeightOfOneImage() const { return heightOfOneImage; }
    // Which sub-picture the current value shows.
    int32_t getFrameIndex() const;

    // Angles in radians, counter-clockwise from 3 o'clock; the range runs
    // clockwise when negative.
    void setStartAngle(float a) { startAngle = a; }
    void setRangeAngle(float a) { rangeAngle = a; }
    // Pixels of linear drag that sweep the whole range.
    void setLinearRange(CCoord r) { linearRange = r; }

private:
    int32_t knobMode() const;
    float angleValue(const CPoint& where) const;  // circular position 0..1
    float angleOf(const CPoint& where) const;

    int32_t subPixmaps;
    CCoord heightOfOneImage;
    CPoint offset;
    float startAngle, rangeAngle;
    CCoord linearRange = 200;
    CCoord zoomFactor = 10;

    // drag state
    bool dragging = false;
    int32_t dragMode = kLinearMode;
    CPoint firstPoint, lastPoint;
    float startValue = 0;
    bool fineMode = false;
};

// Two-state switch: each click flips between min and max. Sub-picture 0
// shows the off state, 1 the on state (from the middle of the range up).
class COnOffButton : public CControl {
public:
    COnOffButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
                 int32_t style = 0);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    bool isOn() const { return value >= (vmin + vmax) / 2; }

private:
    // The toolkit's style argument; the pedal's buttons use none of its kinds.
    [[maybe_unused]] int32_t style;
};

// Switch with n positions side by side; clicking or dragging across picks one.
class CHorizontalSwitch : public CControl {
public:
    CHorizontalSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                      CCoord heightOfOneImage, int32_t maxPositions, CBitmap* background,
                      const CPoint& offset = CPoint(0, 0));

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    // Position 0 .. maxPositions-1 of the current value.
    int32_t getPosition() const;

private:
    bool setFromPoint(const CPoint& where);

    int32_t subPixmaps;
    CCoord heightOfOneImage;
    int32_t maxPositions;
    CPoint offset;
    bool dragging = false;
};

enum CSliderStyle { kHorizontal = 1 << 0, kVertical = 1 << 1, kLeft = 1 << 2, kRight = 1 << 3, kTop = 1 << 4, kBottom = 1 << 5 };

// Handle picture moving along a track picture between two positions (frame
// x coordinates of the handle's left edge). With kRight the minimum is at the
// right end. With free click off only the handle can be grabbed; it then
// follows the pointer relative to where it was grabbed.
class CHorizontalSlider : public CControl {
public:
    CHorizontalSlider(const CRect& size, CControlListener* listener, int32_t tag, int32_t minPos, int32_t maxPos,
                      CBitmap* handle, CBitmap* background, const CPoint& offset = CPoint(0, 0),
                      int32_t style = kLeft);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    int32_t onKeyDown(VstKeyCode& key) override;

    void setOffsetHandle(const CPoint& p) { offsetHandle = p; invalid(); }
    const CPoint& getOffsetHandle() const { return offsetHandle; }
    void setFreeClick(bool v) { freeClick = v; }
    bool getFreeClick() const { return freeClick; }
    int32_t getStyle() const { return style; }
    // Where the handle is drawn for the current value.
    CRect getHandleRect() const;

protected:
    ~CHorizontalSlider() override;

private:
    float valueFromHandleLeft(CCoord left) const;

    CBitmap* pHandle;
    CPoint offset;
    CPoint offsetHandle;
    CCoord minPos;       // handle travel start, relative to size.left
    CCoord rangeHandle;  // handle travel in pixels
    CCoord widthOfSlider = 0, heightOfSlider = 0;
    int32_t style;
    bool freeClick = true;
    CCoord zoomFactor = 10;

    bool dragging = false;
    CCoord grabDelta = 0;
    CPoint firstPoint;
    float startValue = 0;
    bool fineMode = false;
};

// Static text on an optional background.
class CTextLabel : public CControl {
public:
    enum { kNoFrame = 1 << 2 };
    CTextLabel(const CRect& size, const char* text = nullptr, CBitmap* background = nullptr, int32_t style = 0);

    void draw(CDrawContext* context) override;
    void setText(const char* t);
    const char* getText() const { return text.c_str(); }
    void setFont(CFontRef f) { font = f; invalid(); }
    CFontRef getFont() const { return font; }
    void setFontColor(const CColor& c) { fontColor = c; invalid(); }
    const CColor& getFontColor() const { return fontColor; }
    void setBackColor(const CColor& c) { backColor = c; invalid(); }
    const CColor& getBackColor() const { return backColor; }
    void setFrameColor(const CColor& c) { frameColor = c; invalid(); }
    const CColor& getFrameColor() const { return frameColor; }
    void setHoriAlign(CHoriTxtAlign a) { horiAlign = a; invalid(); }

private:
    std::string text;
    int32_t style;
    CFontRef font = kSystemFont;
    CColor fontColor = kWhiteCColor, backColor = kBlackCColor, frameColor = kBlackCColor;
    CHoriTxtAlign horiAlign = kCenterText;
};

}  // namespace VSTGUI
