#include "toolkit/CDrawContext.h"

#include <cairo.h>

namespace VSTGUI {

namespace {
CFontDesc gSystemFont("DejaVu Sans", 12);
CFontDesc gNormalFont("DejaVu Sans", 12);
CFontDesc gNormalFontSmall("DejaVu Sans", 11);
CFontDesc gNormalFontSmaller("DejaVu Sans", 10);
CFontDesc gNormalFontVerySmall("DejaVu Sans", 9);

void setSource(cairo_t* cr, const CColor& c)
{
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}
}  // namespace

const CFontRef kSystemFont = &gSystemFont;
const CFontRef kNormalFont = &gNormalFont;
const CFontRef kNormalFontSmall = &gNormalFontSmall;
const CFontRef kNormalFontSmaller = &gNormalFontSmaller;
const CFontRef kNormalFontVerySmall = &gNormalFontVerySmall;

CDrawContext::CDrawContext(cairo_surface_t* target) : cr(cairo_create(target)), font(kSystemFont)
{
    double w = 0, h = 0;
    if (cairo_surface_get_type(target) == CAIRO_SURFACE_TYPE_IMAGE) {
        w = cairo_image_surface_get_width(target);
        h = cairo_image_surface_get_height(target);
    }
    surfaceRect = CRect(0, 0, w, h);
    clipRect = surfaceRect;
}

CDrawContext::~CDrawContext()
{
    cairo_destroy(cr);
}

void CDrawContext::applyClip()
{
    cairo_reset_clip(cr);
    cairo_rectangle(cr, clipRect.left, clipRect.top, clipRect.getWidth(), clipRect.getHeight());
    cairo_clip(cr);
}

void CDrawContext::setClipRect(const CRect& clip)
{
    clipRect = clip;
    clipRect.bound(surfaceRect);
    applyClip();
}

void CDrawContext::resetClipRect()
{
    clipRect = surfaceRect;
    applyClip();
}

void CDrawContext::drawRect(const CRect& r, CDrawStyle style)
{
    if (style != kDrawStroked && fillColor.alpha) {
        setSource(cr, fillColor);
        cairo_rectangle(cr, r.left, r.top, r.getWidth(), r.getHeight());
        cairo_fill(cr);
    }
    if (style != kDrawFilled && frameColor.alpha) {
        // Half-pixel inset so a 1-pixel line lands on whole pixels inside r.
        setSource(cr, frameColor);
        cairo_set_line_width(cr, lineWidth);
        double in = lineWidth / 2;
        cairo_rectangle(cr, r.left + in, r.top + in, r.getWidth() - lineWidth, r.getHeight() - lineWidth);
        cairo_stroke(cr);
    }
}

void CDrawContext::drawString(const char* text, const CRect& r, CHoriTxtAlign align)
{
    if (!text || !*text || !fontColor.alpha) return;
    cairo_save(cr);
    cairo_rectangle(cr, r.left, r.top, r.getWidth(), r.getHeight());
    cairo_clip(cr);
    cairo_select_font_face(cr, font->getName().c_str(),
                           (font->getStyle() & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           (font->getStyle() & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font->getSize());
    cairo_text_extents_t ext;
    cairo_text_extents(cr, text, &ext);
    cairo_font_extents_t fext;
    cairo_font_extents(cr, &fext);
    double x = r.left + 2 - ext.x_bearing;
    if (align == kCenterText)
        x = r.left + (r.getWidth() - ext.width) / 2 - ext.x_bearing;
    else if (align == kRightText)
        x = r.right - 2 - ext.width - ext.x_bearing;
    double y = r.top + (r.getHeight() + fext.ascent - fext.descent) / 2;
    setSource(cr, fontColor);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text);
    cairo_restore(cr);
}

void CDrawContext::drawSurface(cairo_surface_t* src, const CRect& dest, const CPoint& offset, float alpha)
{
    cairo_save(cr);
    cairo_rectangle(cr, dest.left, dest.top, dest.getWidth(), dest.getHeight());
    cairo_clip(cr);
    cairo_set_source_surface(cr, src, dest.left - offset.h, dest.top - offset.v);
    if (alpha >= 1.f)
        cairo_paint(cr);
    else
        cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
}

}  // namespace VSTGUI
