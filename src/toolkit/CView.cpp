#include "toolkit/CView.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"

namespace VSTGUI {

CView::CView(const CRect& r) : size(r), mouseableArea(r) {}

CView::~CView()
{
    if (pBackground) pBackground->forget();
}

void CView::draw(CDrawContext* context)
{
    if (pBackground) pBackground->draw(context, size);
    dirty = false;
}

void CView::drawRect(CDrawContext* context, const CRect&)
{
    draw(context);
}

CMouseEventResult CView::onMouseDown(CPoint&, const CButtonState&) { return kMouseEventNotImplemented; }
CMouseEventResult CView::onMouseUp(CPoint&, const CButtonState&) { return kMouseEventNotImplemented; }
CMouseEventResult CView::onMouseMoved(CPoint&, const CButtonState&) { return kMouseEventNotImplemented; }
bool CView::onWheel(const CPoint&, const float&, const CButtonState&) { return false; }
int32_t CView::onKeyDown(VstKeyCode&) { return -1; }
int32_t CView::onKeyUp(VstKeyCode&) { return -1; }

void CView::setVisible(bool state)
{
    if (visible == state) return;
    visible = state;
    invalid();
}

void CView::setViewSize(const CRect& r)
{
    invalid();
    mouseableArea.offset(r.left - size.left, r.top - size.top);
    size = r;
    invalid();
}

void CView::setBackground(CBitmap* bitmap)
{
    if (bitmap) bitmap->remember();
    if (pBackground) pBackground->forget();
    pBackground = bitmap;
    invalid();
}

void CView::invalid()
{
    if (pParentFrame) pParentFrame->invalidRect(size);
}

void CView::setDirty(bool state)
{
    dirty = state;
    if (state) invalid();
}

}  // namespace VSTGUI
