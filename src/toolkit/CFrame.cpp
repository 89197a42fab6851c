#include "toolkit/CFrame.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/X11ChildWindow.h"

#include <cairo.h>

#include <algorithm>
#include <cstdint>

namespace VSTGUI {

CFrame::CFrame(const CRect& r, void* systemWindow_, VSTGUIEditorInterface* editor_)
    : CView(r), editor(editor_), systemWindow(systemWindow_)
{
    createImage();
    if (systemWindow) {
        // Linux hosts pass their X11 Window id in the pointer.
        window = X11ChildWindow::create(static_cast<unsigned long>(reinterpret_cast<uintptr_t>(systemWindow)),
                                        int(r.getWidth()), int(r.getHeight()));
    }
    invalid();
}

CFrame::~CFrame()
{
    removeAll(true);
    // The image may hold a copy cached on the window's display: free it
    // while the display is still there.
    if (image) cairo_surface_destroy(image);
    window.reset();
}

void CFrame::createImage()
{
    if (image) cairo_surface_destroy(image);
    int w = size.getWidth() > 0 ? int(size.getWidth()) : 0;
    int h = size.getHeight() > 0 ? int(size.getHeight()) : 0;
    image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
}

unsigned long CFrame::getWindowId() const
{
    return window ? window->windowId() : 0;
}

int CFrame::getConnectionFd() const
{
    return window ? window->connectionFd() : -1;
}

// ---------------------------------------------------------------- views

bool CFrame::addView(CView* view)
{
    if (!view || isChild(view)) return false;
    children.push_back(view);
    view->attached(this);
    view->invalid();
    return true;
}

bool CFrame::removeView(CView* view, bool withForget)
{
    auto it = std::find(children.begin(), children.end(), view);
    if (it == children.end()) return false;
    invalidRect(view->getViewSize());
    children.erase(it);
    if (mouseDownView == view) mouseDownView = nullptr;
    if (focusView == view) focusView = nullptr;
    view->removed();
    if (withForget) view->forget();
    return true;
}

void CFrame::removeAll(bool withForget)
{
    std::vector<CView*> old;
    old.swap(children);
    mouseDownView = focusView = nullptr;
    for (CView* v : old) {
        v->removed();
        if (withForget) v->forget();
    }
    invalid();
}

bool CFrame::isChild(CView* view) const
{
    return std::find(children.begin(), children.end(), view) != children.end();
}

CView* CFrame::getView(int32_t index) const
{
    return index >= 0 && index < getNbViews() ? children[size_t(index)] : nullptr;
}

CView* CFrame::getViewAt(const CPoint& where) const
{
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        if ((*it)->isVisible() && (*it)->getMouseEnabled() && (*it)->hitTest(where)) return *it;
    return nullptr;
}

// ---------------------------------------------------------------- drawing

void CFrame::setBackground(CBitmap* bitmap)
{
    CView::setBackground(bitmap);
    invalid();
}

void CFrame::invalidRect(const CRect& r)
{
    CRect b = r;
    dirtyRect.unite(b.bound(size));
}

void CFrame::draw(CDrawContext* context)
{
    drawRect(context, size);
}

void CFrame::drawRect(CDrawContext* context, const CRect& updateRect)
{
    CRect r = updateRect;
    r.bound(size);
    if (r.isEmpty()) return;
    context->setClipRect(r);
    // Pixels the background does not cover stay black, not stale.
    context->setFillColor(kBlackCColor);
    context->drawRect(r, kDrawFilled);
    if (pBackground) pBackground->draw(context, size);
    for (CView* v : children) {
        if (v->isVisible() && v->getViewSize().rectOverlap(r)) v->drawRect(context, r);
    }
    context->resetClipRect();
    CRect d = dirtyRect;
    if (d.bound(r) == dirtyRect) dirtyRect = CRect();
    cairo_surface_flush(image);
    present(r);
}

void CFrame::updateDirty()
{
    if (dirtyRect.isEmpty()) return;
    CRect r = dirtyRect;
    dirtyRect = CRect();
    CDrawContext* context = createDrawContext();
    drawRect(context, r);
    context->forget();
}

CDrawContext* CFrame::createDrawContext()
{
    return new CDrawContext(image);
}

void CFrame::present(const CRect& r)
{
    if (window) window->present(image, r);
}

CColor CFrame::getPixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(image) || y >= cairo_image_surface_get_height(image))
        return kTransparentCColor;
    cairo_surface_flush(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    uint32_t p = reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(image))[x];
    uint8_t a = uint8_t(p >> 24);
    auto un = [a](uint32_t c) { return a ? uint8_t(std::min<uint32_t>(255, (c & 0xff) * 255 / a)) : uint8_t(0); };
    return CColor(un(p >> 16), un(p >> 8), un(p), a);
}

bool CFrame::writePNG(const char* path) const
{
    cairo_surface_flush(image);
    return cairo_surface_write_to_png(image, path) == CAIRO_STATUS_SUCCESS;
}

bool CFrame::setSize(CCoord width, CCoord height)
{
    CRect newSize(size.left, size.top, size.left + width, size.top + height);
    if (newSize == size) return true;
    if (editor && !editor->beforeSizeChange(newSize, size)) return false;
    size = newSize;
    mouseableArea = newSize;
    createImage();
    if (window) window->resize(int(width), int(height));
    invalid();
    return true;
}

// ---------------------------------------------------------------- events

void CFrame::idle()
{
    if (inIdle) return;
    inIdle = true;
    if (window) dispatchWindowEvents();
    updateDirty();
    inIdle = false;
}

void CFrame::dispatchWindowEvents()
{
    WindowEvent e;
    while (window && window->nextEvent(e)) {
        switch (e.type) {
        case WindowEvent::kMouseDown: onMouseDown(e.where, e.buttons); break;
        case WindowEvent::kMouseUp: onMouseUp(e.where, e.buttons); break;
        case WindowEvent::kMouseMoved: onMouseMoved(e.where, e.buttons); break;
        case WindowEvent::kWheel: onWheel(e.where, e.distance, e.buttons); break;
        case WindowEvent::kExpose: present(e.area); break;
        case WindowEvent::kNone: break;
        }
    }
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, const CButtonState& buttons)
{
    lastMouse = where;
    lastButtons = buttons;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* v = *it;
        if (!v->isVisible() || !v->getMouseEnabled() || !v->hitTest(where)) continue;
        CMouseEventResult result = v->onMouseDown(where, buttons);
        if (result == kMouseEventNotHandled || result == kMouseEventNotImplemented) continue;
        focusView = v;
        if (result == kMouseEventHandled) mouseDownView = v;
        return result;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const CButtonState& buttons)
{
    lastMouse = where;
    lastButtons = buttons;
    return mouseDownView ? mouseDownView->onMouseMoved(where, buttons) : kMouseEventNotHandled;
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const CButtonState& buttons)
{
    lastMouse = where;
    lastButtons = CButtonState(buttons.getModifierState());
    CView* v = mouseDownView;
    mouseDownView = nullptr;
    return v ? v->onMouseUp(where, buttons) : kMouseEventNotHandled;
}

bool CFrame::onWheel(const CPoint& where, const float& distance, const CButtonState& buttons)
{
    CView* v = mouseDownView ? mouseDownView : getViewAt(where);
    return v ? v->onWheel(where, distance, buttons) : false;
}

int32_t CFrame::onKeyDown(VstKeyCode& key)
{
    CView* v = focusView && focusView->isVisible() ? focusView : getViewAt(lastMouse);
    return v ? v->onKeyDown(key) : -1;
}

int32_t CFrame::onKeyUp(VstKeyCode& key)
{
    CView* v = focusView && focusView->isVisible() ? focusView : getViewAt(lastMouse);
    return v ? v->onKeyUp(key) : -1;
}

bool CFrame::getCurrentMouseLocation(CPoint& where) const
{
    CButtonState b;
    if (window && window->queryPointer(where, b)) return true;
    where = lastMouse;
    return true;
}

CButtonState CFrame::getCurrentMouseButtons() const
{
    CPoint p;
    CButtonState b;
    if (window && window->queryPointer(p, b)) return b;
    return lastButtons;
}

void CFrame::beginEdit(int32_t tag)
{
    if (editor) editor->beginEdit(tag);
}

void CFrame::endEdit(int32_t tag)
{
    if (editor) editor->endEdit(tag);
}

}  // namespace VSTGUI
