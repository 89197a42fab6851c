#pragma once
#include "toolkit/CBaseObject.h"
#include "toolkit/CGeometry.h"
#include <cstddef>
#include <cstdint>

typedef struct _cairo_surface cairo_surface_t;

namespace VSTGUI {

class CDrawContext;

// Names a picture: by number (not used here) or by file name in the
// bundle's resources folder.
struct CResourceDescription {
    enum { kIntegerType = 0, kStringType = 1 };
    int32_t type = kIntegerType;
    union {
        int32_t id;
        const char* name;
    } u;

    CResourceDescription() { u.id = 0; }
    explicit CResourceDescription(int32_t id) { u.id = id; }
    CResourceDescription(const char* name) : type(kStringType) { u.name = name; }
};

// A picture loaded once into memory. PNG and BMP files are read; a file
// that is missing or unreadable gives an empty 0 x 0 bitmap that draws
// nothing.
class CBitmap : public CBaseObject {
public:
    explicit CBitmap(const CResourceDescription& desc);
    // A blank transparent picture of the given size.
    CBitmap(CCoord width, CCoord height);

    CCoord getWidth() const { return width; }
    CCoord getHeight() const { return height; }
    bool isLoaded() const { return surface != nullptr; }
    const CResourceDescription& getResourceDescription() const { return resourceDesc; }
    cairo_surface_t* getSurface() const { return surface; }

    // Draws the part of the picture starting at offset into dest.
    void draw(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint(0, 0), float alpha = 1.f);

protected:
    ~CBitmap() override;

private:
    bool loadFile(const char* path);
    // A PNG or BMP file's bytes.
    bool loadMemory(const unsigned char* bytes, size_t size);
    // Takes a decoded picture as this bitmap's; false for none.
    bool adopt(cairo_surface_t* s);

    CResourceDescription resourceDesc;
    cairo_surface_t* surface = nullptr;
    CCoord width = 0, height = 0;
};

}  // namespace VSTGUI
