#pragma once
#include "toolkit/CBaseObject.h"
#include "toolkit/CColor.h"
#include "toolkit/CGeometry.h"
#include <cstdint>
#include <string>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace VSTGUI {

enum CTxtFace { kNormalFace = 0, kBoldFace = 1, kItalicFace = 2 };
enum CHoriTxtAlign { kLeftText = 0, kCenterText, kRightText };
enum CDrawStyle { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };

class CFontDesc : public CBaseObject {
public:
    CFontDesc(const char* name, CCoord size, int32_t style = kNormalFace) : name(name), size(size), style(style) {}
    const std::string& getName() const { return name; }
    CCoord getSize() const { return size; }
    int32_t getStyle() const { return style; }

private:
    std::string name;
    CCoord size;
    int32_t style;
};
typedef CFontDesc* CFontRef;

// The toolkit's stock fonts, process-wide and never freed.
extern const CFontRef kSystemFont;
extern const CFontRef kNormalFont;
extern const CFontRef kNormalFontSmall;
extern const CFontRef kNormalFontSmaller;
extern const CFontRef kNormalFontVerySmall;

// Drawing onto a cairo surface in frame coordinates.
class CDrawContext : public CBaseObject {
public:
    explicit CDrawContext(cairo_surface_t* target);

    cairo_t* getCairo() const { return cr; }

    void setClipRect(const CRect& clip);
    const CRect& getClipRect() const { return clipRect; }
    void resetClipRect();

    void setFillColor(const CColor& c) { fillColor = c; }
    void setFrameColor(const CColor& c) { frameColor = c; }
    void setFontColor(const CColor& c) { fontColor = c; }
    void setFont(CFontRef f) { font = f; }
    void setLineWidth(CCoord w) { lineWidth = w; }

    void drawRect(const CRect& r, CDrawStyle style = kDrawStroked);
    void drawString(const char* text, const CRect& r, CHoriTxtAlign align = kCenterText);
    void drawSurface(cairo_surface_t* src, const CRect& dest, const CPoint& offset, float alpha);

protected:
    ~CDrawContext() override;

private:
    void applyClip();

    cairo_t* cr;
    CRect surfaceRect;
    CRect clipRect;
    CColor fillColor = kWhiteCColor, frameColor = kBlackCColor, fontColor = kWhiteCColor;
    CFontRef font;
    CCoord lineWidth = 1;
};

}  // namespace VSTGUI
