#pragma once
// Points and rectangles in frame pixels. Rectangles are half-open:
// a point on the right or bottom edge is outside.

namespace VSTGUI {

typedef double CCoord;

struct CPoint {
    CCoord h = 0;  // horizontal
    CCoord v = 0;  // vertical

    CPoint() = default;
    CPoint(CCoord h_, CCoord v_) : h(h_), v(v_) {}

    CPoint& offset(CCoord dh, CCoord dv) { h += dh; v += dv; return *this; }
    bool operator==(const CPoint& o) const { return h == o.h && v == o.v; }
    bool operator!=(const CPoint& o) const { return !(*this == o); }
};

struct CRect {
    CCoord left = 0, top = 0, right = 0, bottom = 0;

    CRect() = default;
    CRect(CCoord l, CCoord t, CCoord r, CCoord b) : left(l), top(t), right(r), bottom(b) {}

    CCoord getWidth() const { return right - left; }
    CCoord getHeight() const { return bottom - top; }
    CPoint getTopLeft() const { return CPoint(left, top); }
    bool isEmpty() const { return right <= left || bottom <= top; }

    CRect& offset(CCoord dh, CCoord dv) { left += dh; right += dh; top += dv; bottom += dv; return *this; }
    CRect& setWidth(CCoord w) { right = left + w; return *this; }
    CRect& setHeight(CCoord h) { bottom = top + h; return *this; }

    bool pointInside(const CPoint& p) const {
        return p.h >= left && p.h < right && p.v >= top && p.v < bottom;
    }
    bool rectOverlap(const CRect& r) const {
        return !(r.right <= left || r.left >= right || r.bottom <= top || r.top >= bottom);
    }
    // Intersection; empty when the two do not meet.
    CRect& bound(const CRect& r) {
        if (left < r.left) left = r.left;
        if (top < r.top) top = r.top;
        if (right > r.right) right = r.right;
        if (bottom > r.bottom) bottom = r.bottom;
        if (right < left) right = left;
        if (bottom < top) bottom = top;
        return *this;
    }
    // Smallest rectangle holding both; an empty side is ignored.
    CRect& unite(const CRect& r) {
        if (r.isEmpty()) return *this;
        if (isEmpty()) { *this = r; return *this; }
        if (r.left < left) left = r.left;
        if (r.top < top) top = r.top;
        if (r.right > right) right = r.right;
        if (r.bottom > bottom) bottom = r.bottom;
        return *this;
    }
    bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const CRect& o) const { return !(*this == o); }
};

}  // namespace VSTGUI
