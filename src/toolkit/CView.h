#pragma once
#include "toolkit/CBaseObject.h"
#include "toolkit/CGeometry.h"
#include <cstdint>

namespace VSTGUI {

class CBitmap;
class CDrawContext;
class CFrame;

enum CButton {
    kLButton = 1 << 1,
    kMButton = 1 << 2,
    kRButton = 1 << 3,
    kShift = 1 << 4,
    kControl = 1 << 5,
    kAlt = 1 << 6,
    kDoubleClick = 1 << 10,
};

// Modifier held for fine adjustment during a drag.
constexpr int32_t kZoomModifier = kShift;

struct CButtonState {
    int32_t state = 0;
    CButtonState(int32_t s = 0) : state(s) {}
    int32_t operator&(int32_t mask) const { return state & mask; }
    bool isLeftButton() const { return (state & kLButton) != 0; }
    bool operator==(int32_t s) const { return state == s; }
    int32_t getModifierState() const { return state & (kShift | kControl | kAlt); }
};

enum CMouseEventResult {
    kMouseEventNotImplemented = 0,
    kMouseEventHandled,
    kMouseEventNotHandled,
    kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

// Key as the host hands it over (same layout as the plug-in interface's).
struct VstKeyCode {
    int32_t character = 0;
    unsigned char virt = 0;
    unsigned char modifier = 0;
};

// Virtual key codes the controls react to.
enum VstVirtualKey { VKEY_LEFT = 11, VKEY_UP = 12, VKEY_RIGHT = 13, VKEY_DOWN = 14 };

// A rectangle of the frame that draws itself and may take the mouse. Its
// mouse-sensitive area starts as its whole rectangle and can be narrowed.
class CView : public CBaseObject {
public:
    explicit CView(const CRect& size);

    virtual void draw(CDrawContext* context);
    virtual void drawRect(CDrawContext* context, const CRect& updateRect);

    virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons);
    virtual bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons);
    // > 0 when the key was used, -1 when not.
    virtual int32_t onKeyDown(VstKeyCode& key);
    virtual int32_t onKeyUp(VstKeyCode& key);

    virtual bool hitTest(const CPoint& where) const { return mouseableArea.pointInside(where); }

    virtual void setVisible(bool state);
    bool isVisible() const { return visible; }
    void setMouseEnabled(bool state) { mouseEnabled = state; }
    bool getMouseEnabled() const { return mouseEnabled; }

    void setMouseableArea(const CRect& r) { mouseableArea = r; }
    const CRect& getMouseableArea() const { return mouseableArea; }

    const CRect& getViewSize() const { return size; }
    // Moves or resizes the view; the mouse-sensitive area follows.
    virtual void setViewSize(const CRect& r);

    virtual void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return pBackground; }

    // Asks the frame to redraw this view's rectangle.
    void invalid();
    void setDirty(bool state = true);
    bool isDirty() const { return dirty; }

    CFrame* getFrame() const { return pParentFrame; }
    virtual void attached(CFrame* frame) { pParentFrame = frame; }
    virtual void removed() { pParentFrame = nullptr; }

protected:
    ~CView() override;

    CRect size;
    CRect mouseableArea;
    CFrame* pParentFrame = nullptr;
    CBitmap* pBackground = nullptr;
    bool visible = true;
    bool mouseEnabled = true;
    bool dirty = false;
};

}  // namespace VSTGUI
