#pragma once
#include "toolkit/CColor.h"
#include "toolkit/CView.h"
#include <memory>
#include <vector>

typedef struct _cairo_surface cairo_surface_t;

namespace VSTGUI {

class CFrame;
class X11ChildWindow;

// What a frame needs from the editor that owns it.
class VSTGUIEditorInterface {
public:
    virtual ~VSTGUIEditorInterface() = default;
    virtual void doIdleStuff() {}
    virtual int32_t getKnobMode() const { return 0; }
    virtual bool beginEdit(int32_t /*index*/) { return false; }
    virtual bool endEdit(int32_t /*index*/) { return false; }
    // Asked before the frame changes size; false keeps the old size.
    virtual bool beforeSizeChange(const CRect& /*newSize*/, const CRect& /*oldSize*/) { return true; }
    CFrame* getFrame() const { return frame; }

protected:
    CFrame* frame = nullptr;
};

// The top view: holds the other views in drawing order, draws them over its
// background picture into an image, and hands them the mouse and keys.
// With a host parent window (an X11 Window id) it also shows that image in a
// child window of the parent, whose events it polls from idle(); without
// one, or when no display can be opened, it draws offscreen only.
class CFrame : public CView {
public:
    CFrame(const CRect& size, void* systemWindow, VSTGUIEditorInterface* editor);

    bool addView(CView* view);
    // withForget false hands the caller back the view's reference.
    bool removeView(CView* view, bool withForget = true);
    void removeAll(bool withForget = true);
    bool isChild(CView* view) const;
    int32_t getNbViews() const { return int32_t(children.size()); }
    CView* getView(int32_t index) const;
    // Topmost visible view whose mouse-sensitive area holds the point.
    CView* getViewAt(const CPoint& where) const;

    void setBackground(CBitmap* bitmap) override;
    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    // Redraws whatever was invalidated, then shows it.
    void updateDirty();
    void invalidRect(const CRect& r);
    void invalid() { invalidRect(size); }

    // Processes pending window events and redraws what changed.
    void idle();

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    int32_t onKeyDown(VstKeyCode& key) override;
    int32_t onKeyUp(VstKeyCode& key) override;

    bool getCurrentMouseLocation(CPoint& where) const;
    CButtonState getCurrentMouseButtons() const;

    // A context drawing onto the frame's image; release it with forget().
    CDrawContext* createDrawContext();
    // Shows the given part of the image in the window (nothing offscreen).
    void present(const CRect& r);

    // Resizes after asking the editor; false when it refused.
    bool setSize(CCoord width, CCoord height);

    VSTGUIEditorInterface* getEditor() const { return editor; }
    void beginEdit(int32_t tag);
    void endEdit(int32_t tag);

    // The frame's image: ARGB, frame-sized.
    cairo_surface_t* getImage() const { return image; }
    CColor getPixel(int x, int y) const;
    bool writePNG(const char* path) const;

    bool isWindowed() const { return window != nullptr; }
    // X11 Window id of the child window, 0 offscreen.
    unsigned long getWindowId() const;
    // The window's display connection, for hosts that watch it; -1 offscreen.
    int getConnectionFd() const;
    void* getSystemWindow() const { return systemWindow; }

protected:
    ~CFrame() override;

private:
    void dispatchWindowEvents();
    void createImage();

    std::vector<CView*> children;
    VSTGUIEditorInterface* editor;
    void* systemWindow;
    std::unique_ptr<X11ChildWindow> window;
    cairo_surface_t* image = nullptr;
    CRect dirtyRect;
    CView* mouseDownView = nullptr;
    CView* focusView = nullptr;
    CPoint lastMouse;
    CButtonState lastButtons;
    bool inIdle = false;
};

}  // namespace VSTGUI
