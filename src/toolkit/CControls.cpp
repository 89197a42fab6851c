#include "toolkit/CControls.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"

#include <cmath>

namespace VSTGUI {

namespace {
constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 2 * kPi;

float clamp01(float v)
{
    return v < 0.f ? 0.f : (v > 1.f ? 1.f : v);
}
}  // namespace

// ---------------------------------------------------------------- CControl

CControl::CControl(const CRect& size, CControlListener* l, int32_t t, CBitmap* background)
    : CView(size), listener(l), tag(t)
{
    if (background) setBackground(background);
}

void CControl::setValue(float val)
{
    if (std::isnan(val)) return;
    if (val < vmin) val = vmin;
    if (val > vmax) val = vmax;
    if (val == value) return;
    value = val;
    setDirty();
}

void CControl::bounceValue()
{
    if (value > vmax) value = vmax;
    if (value < vmin) value = vmin;
}

void CControl::valueChanged()
{
    if (listener) listener->valueChanged(this);
}

void CControl::beginEdit()
{
    // Gestures nest (a wheel step inside a drag); the host hears the outermost.
    if (editing++ > 0) return;
    if (pParentFrame) pParentFrame->beginEdit(tag);
    if (listener) listener->controlBeginEdit(this);
}

void CControl::endEdit()
{
    if (editing == 0 || --editing > 0) return;
    if (listener) listener->controlEndEdit(this);
    if (pParentFrame) pParentFrame->endEdit(tag);
}

bool CControl::stepValue(float delta)
{
    float old = value;
    beginEdit();
    setValue(value + delta * (vmax - vmin));
    if (value != old) valueChanged();
    endEdit();
    return true;
}

// ---------------------------------------------------------------- CAnimKnob

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* l, int32_t t, int32_t subPixmaps_,
                     CCoord heightOfOneImage_, CBitmap* background, const CPoint& offset_)
    : CControl(size, l, t, background),
      subPixmaps(subPixmaps_),
      heightOfOneImage(heightOfOneImage_),
      offset(offset_),
      // 300 degrees from about 7 o'clock clockwise to about 5 o'clock, the
      // sweep the knob pictures are drawn with.
      startAngle(4.f * kPi / 3.f),
      rangeAngle(-5.f * kPi / 3.f)
{
}

int32_t CAnimKnob::getFrameIndex() const
{
    if (subPixmaps <= 1) return 0;
    float norm = vmax > vmin ? (value - vmin) / (vmax - vmin) : 0.f;
    // Truncation with a little slack for float rounding (0.5 * 98 is frame 49).
    int32_t i = int32_t(std::floor(double(norm) * (subPixmaps - 1) + 1e-4));
    return i < 0 ? 0 : (i >= subPixmaps ? subPixmaps - 1 : i);
}

void CAnimKnob::draw(CDrawContext* context)
{
    if (pBackground && heightOfOneImage > 0) {
        CPoint where(offset.h, offset.v + getFrameIndex() * heightOfOneImage);
        pBackground->draw(context, size, where);
    }
    dirty = false;
}

int32_t CAnimKnob::knobMode() const
{
    VSTGUIEditorInterface* editor = pParentFrame ? pParentFrame->getEditor() : nullptr;
    return editor ? editor->getKnobMode() : kCircularMode;
}

float CAnimKnob::angleOf(const CPoint& where) const
{
    CCoord cx = size.left + size.getWidth() / 2, cy = size.top + size.getHeight() / 2;
    return std::atan2(float(cy - where.v), float(where.h - cx));
}

float CAnimKnob::angleValue(const CPoint& where) const
{
    float range = std::fabs(rangeAngle);
    if (range <= 0.f) return value;
    // Distance from the start angle in the direction of the sweep.
    float d = rangeAngle < 0 ? startAngle - angleOf(where) : angleOf(where) - startAngle;
    d = std::fmod(d + 2 * kTwoPi, kTwoPi);
    if (d <= range) return d / range;
    // In the gap below the knob: snap to the nearer end.
    return (d - range) < (kTwoPi - d) ? 1.f : 0.f;
}

CMouseEventResult CAnimKnob::onMouseDown(CPoint& where, const CButtonState& buttons)
{
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    dragging = true;
    dragMode = knobMode();
    firstPoint = lastPoint = where;
    startValue = value;
    fineMode = (buttons & kZoomModifier) != 0;
    beginEdit();
    if (dragMode == kCircularMode) onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CAnimKnob::onMouseMoved(CPoint& where, const CButtonState& buttons)
{
    if (!dragging) return kMouseEventNotHandled;
    float norm = vmax > vmin ? (value - vmin) / (vmax - vmin) : 0.f;
    bool fine = (buttons & kZoomModifier) != 0;
    if (dragMode == kLinearMode) {
        if (fine != fineMode) {
            // Restart from here so switching fine mode does not jump.
            firstPoint = where;
            startValue = value;
            fineMode = fine;
        }
        CCoord diff = (firstPoint.v - where.v) + (where.h - firstPoint.h);
        CCoord range = linearRange * (fineMode ? zoomFactor : 1);
        float startNorm = vmax > vmin ? (startValue - vmin) / (vmax - vmin) : 0.f;
        norm = clamp01(float(startNorm + diff / range));
    } else if (dragMode == kRelativCircularMode) {
        float delta = angleOf(where) - angleOf(lastPoint);
        if (delta > kPi) delta -= kTwoPi;
        if (delta < -kPi) delta += kTwoPi;
        float range = std::fabs(rangeAngle);
        if (rangeAngle < 0) delta = -delta;
        if (range > 0.f) norm = clamp01(norm + delta / range / (fine ? float(zoomFactor) : 1.f));
    } else {
        norm = angleValue(where);
    }
    lastPoint = where;
    float newValue = vmin + norm * (vmax - vmin);
    if (newValue != value) {
        setValue(newValue);
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CAnimKnob::onMouseUp(CPoint&, const CButtonState&)
{
    if (!dragging) return kMouseEventNotHandled;
    dragging = false;
    endEdit();
    return kMouseEventHandled;
}

bool CAnimKnob::onWheel(const CPoint&, const float& distance, const CButtonState& buttons)
{
    float inc = (buttons & kZoomModifier) ? wheelInc / float(zoomFactor) : wheelInc;
    return stepValue(distance * inc);
}

int32_t CAnimKnob::onKeyDown(VstKeyCode& key)
{
    switch (key.virt) {
    case VKEY_UP:
    case VKEY_RIGHT:
        stepValue(wheelInc);
        return 1;
    case VKEY_DOWN:
    case VKEY_LEFT:
        stepValue(-wheelInc);
        return 1;
    default:
        return -1;
    }
}

// ---------------------------------------------------------------- COnOffButton

COnOffButton::COnOffButton(const CRect& size, CControlListener* l, int32_t t, CBitmap* background, int32_t style_)
    : CControl(size, l, t, background), style(style_)
{
}

void COnOffButton::draw(CDrawContext* context)
{
    if (pBackground) pBackground->draw(context, size, CPoint(0, isOn() ? size.getHeight() : 0));
    dirty = false;
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, const CButtonState& buttons)
{
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    beginEdit();
    setValue(isOn() ? vmin : vmax);
    valueChanged();
    endEdit();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// ---------------------------------------------------------------- CHorizontalSwitch

CHorizontalSwitch::CHorizontalSwitch(const CRect& size, CControlListener* l, int32_t t, int32_t subPixmaps_,
                                     CCoord heightOfOneImage_, int32_t maxPositions_, CBitmap* background,
                                     const CPoint& offset_)
    : CControl(size, l, t, background),
      subPixmaps(subPixmaps_),
      heightOfOneImage(heightOfOneImage_),
      maxPositions(maxPositions_ > 1 ? maxPositions_ : 2),
      offset(offset_)
{
}

int32_t CHorizontalSwitch::getPosition() const
{
    // Equal shares of the range, the way the effect reads an n-way value.
    float norm = vmax > vmin ? (value - vmin) / (vmax - vmin) : 0.f;
    int32_t p = int32_t(std::floor(norm * maxPositions));
    return p < 0 ? 0 : (p >= maxPositions ? maxPositions - 1 : p);
}

void CHorizontalSwitch::draw(CDrawContext* context)
{
    if (pBackground && heightOfOneImage > 0) {
        int32_t frameIndex = getPosition();
        if (frameIndex >= subPixmaps) frameIndex = subPixmaps - 1;
        pBackground->draw(context, size, CPoint(offset.h, offset.v + frameIndex * heightOfOneImage));
    }
    dirty = false;
}

bool CHorizontalSwitch::setFromPoint(const CPoint& where)
{
    CCoord w = size.getWidth();
    if (w <= 0) return false;
    int32_t p = int32_t(std::floor((where.h - size.left) * maxPositions / w));
    p = p < 0 ? 0 : (p >= maxPositions ? maxPositions - 1 : p);
    float newValue = vmin + (vmax - vmin) * float(p) / float(maxPositions - 1);
    if (newValue == value) return false;
    setValue(newValue);
    valueChanged();
    return true;
}

CMouseEventResult CHorizontalSwitch::onMouseDown(CPoint& where, const CButtonState& buttons)
{
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    dragging = true;
    beginEdit();
    setFromPoint(where);
    return kMouseEventHandled;
}

CMouseEventResult CHorizontalSwitch::onMouseMoved(CPoint& where, const CButtonState&)
{
    if (!dragging) return kMouseEventNotHandled;
    setFromPoint(where);
    return kMouseEventHandled;
}

CMouseEventResult CHorizontalSwitch::onMouseUp(CPoint&, const CButtonState&)
{
    if (!dragging) return kMouseEventNotHandled;
    dragging = false;
    endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------- CHorizontalSlider

CHorizontalSlider::CHorizontalSlider(const CRect& size, CControlListener* l, int32_t t, int32_t minPos_,
                                     int32_t maxPos_, CBitmap* handle, CBitmap* background, const CPoint& offset_,
                                     int32_t style_)
    : CControl(size, l, t, background),
      pHandle(handle),
      offset(offset_),
      minPos(minPos_ - size.left),
      rangeHandle(CCoord(maxPos_) - minPos_),
      style(style_)
{
    if (pHandle) {
        pHandle->remember();
        widthOfSlider = pHandle->getWidth();
        heightOfSlider = pHandle->getHeight();
    }
}

CHorizontalSlider::~CHorizontalSlider()
{
    if (pHandle) pHandle->forget();
}

CRect CHorizontalSlider::getHandleRect() const
{
    float norm = vmax > vmin ? (value - vmin) / (vmax - vmin) : 0.f;
    if (style & kRight) norm = 1.f - norm;
    CCoord left = size.left + minPos + offsetHandle.h + std::floor(norm * rangeHandle + 0.5);
    CCoord top = size.top + offsetHandle.v;
    return CRect(left, top, left + widthOfSlider, top + heightOfSlider);
}

float CHorizontalSlider::valueFromHandleLeft(CCoord left) const
{
    if (rangeHandle <= 0) return value;
    float norm = clamp01(float((left - (size.left + minPos + offsetHandle.h)) / rangeHandle));
    if (style & kRight) norm = 1.f - norm;
    return vmin + norm * (vmax - vmin);
}

void CHorizontalSlider::draw(CDrawContext* context)
{
    if (pBackground) pBackground->draw(context, size, offset);
    if (pHandle) pHandle->draw(context, getHandleRect());
    dirty = false;
}

CMouseEventResult CHorizontalSlider::onMouseDown(CPoint& where, const CButtonState& buttons)
{
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    CRect handle = getHandleRect();
    if (!handle.pointInside(where)) {
        if (!freeClick) return kMouseEventNotHandled;
        // Free click: the handle jumps so that its middle is under the pointer.
        grabDelta = widthOfSlider / 2;
    } else {
        grabDelta = where.h - handle.left;
    }
    dragging = true;
    firstPoint = where;
    startValue = value;
    fineMode = (buttons & kZoomModifier) != 0;
    beginEdit();
    if (!handle.pointInside(where)) onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CHorizontalSlider::onMouseMoved(CPoint& where, const CButtonState& buttons)
{
    if (!dragging) return kMouseEventNotHandled;
    bool fine = (buttons & kZoomModifier) != 0;
    if (fine != fineMode) {
        firstPoint = where;
        startValue = value;
        fineMode = fine;
    }
    float newValue;
    if (fineMode && rangeHandle > 0) {
        float d = float((where.h - firstPoint.h) / rangeHandle / zoomFactor) * (vmax - vmin);
        newValue = startValue + ((style & kRight) ? -d : d);
    } else {
        newValue = valueFromHandleLeft(where.h - grabDelta);
    }
    if (newValue < vmin) newValue = vmin;
    if (newValue > vmax) newValue = vmax;
    if (newValue != value) {
        setValue(newValue);
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CHorizontalSlider::onMouseUp(CPoint&, const CButtonState&)
{
    if (!dragging) return kMouseEventNotHandled;
    dragging = false;
    endEdit();
    return kMouseEventHandled;
}

bool CHorizontalSlider::onWheel(const CPoint&, const float& distance, const CButtonState& buttons)
{
    float inc = (buttons & kZoomModifier) ? wheelInc / float(zoomFactor) : wheelInc;
    return stepValue(distance * inc);
}

int32_t CHorizontalSlider::onKeyDown(VstKeyCode& key)
{
    // Arrow keys move the handle the way they point.
    float toRight = (style & kRight) ? -wheelInc : wheelInc;
    switch (key.virt) {
    case VKEY_UP: stepValue(wheelInc); return 1;
    case VKEY_DOWN: stepValue(-wheelInc); return 1;
    case VKEY_RIGHT: stepValue(toRight); return 1;
    case VKEY_LEFT: stepValue(-toRight); return 1;
    default: return -1;
    }
}

// ---------------------------------------------------------------- CTextLabel

CTextLabel::CTextLabel(const CRect& size, const char* t, CBitmap* background, int32_t style_)
    : CControl(size, nullptr, -1, background), text(t ? t : ""), style(style_)
{
    setMouseEnabled(false);
}

void CTextLabel::setText(const char* t)
{
    text = t ? t : "";
    invalid();
}

void CTextLabel::draw(CDrawContext* context)
{
    if (pBackground) {
        pBackground->draw(context, size);
    } else if (backColor.alpha) {
        context->setFillColor(backColor);
        context->drawRect(size, kDrawFilled);
    }
    if (!(style & kNoFrame) && frameColor.alpha) {
        context->setFrameColor(frameColor);
        context->drawRect(size, kDrawStroked);
    }
    context->setFont(font);
    context->setFontColor(fontColor);
    context->drawString(text.c_str(), size, horiAlign);
    dirty = false;
}

}  // namespace VSTGUI
