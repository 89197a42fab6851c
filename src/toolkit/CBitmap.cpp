#include "toolkit/CBitmap.h"
#include "toolkit/CBundle.h"
#include "toolkit/CDrawContext.h"

#include <cairo.h>
#include <stb_image.h>

#include <cstring>
#include <string>

namespace VSTGUI {

namespace {

bool hasSuffix(const std::string& s, const char* suffix)
{
    size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = s[s.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

// stb gives straight RGBA bytes; cairo wants premultiplied native-endian ARGB.
cairo_surface_t* surfaceFromRGBA(const unsigned char* px, int w, int h)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    cairo_surface_flush(s);
    unsigned char* dst = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(dst + y * stride);
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = px + 4 * (size_t(y) * w + x);
            uint32_t a = p[3];
            uint32_t r = p[0] * a / 255, g = p[1] * a / 255, b = p[2] * a / 255;
            row[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(s);
    return s;
}

}  // namespace

CBitmap::CBitmap(const CResourceDescription& desc) : resourceDesc(desc)
{
    if (desc.type != CResourceDescription::kStringType || !desc.u.name) return;
    if (const EmbeddedPicture* picture = findEmbeddedPicture(desc.u.name)) {
        loadMemory(picture->begin, size_t(picture->end - picture->begin));
        return;
    }
    if (!gBundleRef) return;
    std::string path = bundleResourcesPath(gBundleRef) + "/" + desc.u.name;
    loadFile(path.c_str());
}

CBitmap::CBitmap(CCoord w, CCoord h)
{
    int iw = w > 0 ? int(w) : 0, ih = h > 0 ? int(h) : 0;
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, iw, ih);
    width = iw;
    height = ih;
}

CBitmap::~CBitmap()
{
    if (surface) cairo_surface_destroy(surface);
}

// Decoded RGBA pixels as a cairo surface; the pixels are freed either way.
static cairo_surface_t* surfaceFromStb(unsigned char* px, int w, int h)
{
    if (!px) return nullptr;
    cairo_surface_t* s = surfaceFromRGBA(px, w, h);
    stbi_image_free(px);
    return s;
}

bool CBitmap::loadFile(const char* path)
{
    std::string p(path);
    cairo_surface_t* s = nullptr;
    if (hasSuffix(p, ".png")) {
        s = cairo_image_surface_create_from_png(path);
        if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(s);
            s = nullptr;
        }
    }
    if (!s) {
        // BMP, or a PNG cairo could not read.
        int w = 0, h = 0, n = 0;
        unsigned char* px = stbi_load(path, &w, &h, &n, 4);
        s = surfaceFromStb(px, w, h);
    }
    return adopt(s);
}

bool CBitmap::loadMemory(const unsigned char* bytes, size_t size)
{
    struct Reader {
        const unsigned char* at;
        const unsigned char* end;
        static cairo_status_t read(void* closure, unsigned char* data, unsigned int length)
        {
            Reader* r = static_cast<Reader*>(closure);
            if (size_t(r->end - r->at) < length) return CAIRO_STATUS_READ_ERROR;
            std::memcpy(data, r->at, length);
            r->at += length;
            return CAIRO_STATUS_SUCCESS;
        }
    } reader{bytes, bytes + size};
    cairo_surface_t* s = nullptr;
    if (size >= 8 && std::memcmp(bytes, "\x89PNG", 4) == 0) {
        s = cairo_image_surface_create_from_png_stream(&Reader::read, &reader);
        if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(s);
            s = nullptr;
        }
    }
    if (!s) {
        int w = 0, h = 0, n = 0;
        unsigned char* px = stbi_load_from_memory(bytes, int(size), &w, &h, &n, 4);
        s = surfaceFromStb(px, w, h);
    }
    return adopt(s);
}

bool CBitmap::adopt(cairo_surface_t* s)
{
    if (!s) return false;
    surface = s;
    width = cairo_image_surface_get_width(s);
    height = cairo_image_surface_get_height(s);
    return true;
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset, float alpha)
{
    if (!surface || !context) return;
    context->drawSurface(surface, dest, offset, alpha);
}

}  // namespace VSTGUI
