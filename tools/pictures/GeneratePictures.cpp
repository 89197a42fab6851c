// Draws the pedal editor's pictures: the two panel faces (BMP) and the
// control pictures (PNG, sub-pictures stacked vertically). The editor lays
// its controls out from these sizes, so each size below is part of the
// layout: the knob is 100 x 100 with its body in the middle 50 x 50, the
// foot switch picture covers the whole face, and so on.
//
// Usage: gravel_pictures OUTPUT_FOLDER

#include <cairo.h>
#include <stb_image_write.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kFaceW = 263, kFaceH = 350;
constexpr int kKnobSize = 100, kKnobFrames = 99;
// The knob sweeps 300 degrees clockwise from 7 o'clock to 5 o'clock.
constexpr double kKnobStart = 240.0 * kPi / 180.0, kKnobRange = 300.0 * kPi / 180.0;

struct RGB {
    double r, g, b;
};

RGB rgb(unsigned hex)
{
    return {((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0};
}

void source(cairo_t* cr, RGB c, double a = 1.0)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, a);
}

RGB mix(RGB a, RGB b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Deterministic noise, so builds produce identical pictures.
struct Rng {
    uint32_t s;
    double next()
    {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) / double(1u << 24);
    }
};

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

enum Align { kLeft, kCenter, kRight };

void text(cairo_t* cr, const char* s, double x, double y, double size, RGB c, Align align = kCenter,
          const char* face = "DejaVu Sans", bool bold = true, double alpha = 1.0)
{
    cairo_select_font_face(cr, face, CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s, &e);
    double left = align == kLeft ? x : (align == kCenter ? x - e.x_advance / 2 : x - e.x_advance);
    source(cr, c, alpha);
    cairo_move_to(cr, left, y);
    cairo_show_text(cr, s);
}

// Text with a one-pixel light edge below, like paint on a raised surface.
void paintedText(cairo_t* cr, const char* s, double x, double y, double size, RGB c, Align align = kCenter,
                 const char* face = "DejaVu Sans")
{
    text(cr, s, x, y + 0.8, size, rgb(0x000000), align, face, true, 0.35);
    text(cr, s, x, y, size, c, align, face);
}

void screw(cairo_t* cr, double x, double y, double r, double angle)
{
    cairo_pattern_t* p = cairo_pattern_create_radial(x - r / 3, y - r / 3, 0, x, y, r);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.95, 0.95, 0.93);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.45, 0.45, 0.47);
    cairo_arc(cr, x, y + 0.8, r + 0.6, 0, 2 * kPi);
    source(cr, rgb(0x000000), 0.45);
    cairo_fill(cr);
    cairo_arc(cr, x, y, r, 0, 2 * kPi);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    cairo_set_line_width(cr, 1.3);
    source(cr, rgb(0x2a2a2a), 0.85);
    for (int i = 0; i < 2; ++i) {
        double a = angle + i * kPi / 2;
        cairo_move_to(cr, x - std::cos(a) * r * 0.7, y - std::sin(a) * r * 0.7);
        cairo_line_to(cr, x + std::cos(a) * r * 0.7, y + std::sin(a) * r * 0.7);
    }
    cairo_stroke(cr);
}

// Hexagonal nut around a control's shaft.
void hexNut(cairo_t* cr, double x, double y, double r)
{
    cairo_new_path(cr);
    for (int i = 0; i < 6; ++i) {
        double a = kPi / 6 + i * kPi / 3;
        cairo_line_to(cr, x + r * std::cos(a), y + r * std::sin(a));
    }
    cairo_close_path(cr);
    cairo_pattern_t* p = cairo_pattern_create_linear(x - r, y - r, x + r, y + r);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.93, 0.93, 0.92);
    cairo_pattern_add_color_stop_rgb(p, 0.5, 0.66, 0.66, 0.68);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.38, 0.38, 0.40);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    cairo_set_line_width(cr, 0.8);
    source(cr, rgb(0x303030), 0.8);
    cairo_stroke(cr);
}

// Powder-coated enclosure face with speckles (front) or the brushed base
// plate with its corner screws (back), with a bevel.
void enclosure(cairo_t* cr, RGB base, bool speckled, uint32_t seed)
{
    source(cr, rgb(0x18181a));
    cairo_paint(cr);
    // drop shadow of the box on the dark background
    roundedRect(cr, 5, 7, kFaceW - 8, kFaceH - 9, 15);
    source(cr, rgb(0x000000), 0.6);
    cairo_fill(cr);

    roundedRect(cr, 3, 3, kFaceW - 6, kFaceH - 6, 14);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, kFaceW * 0.3, kFaceH);
    cairo_pattern_add_color_stop_rgb(p, 0, std::min(1.0, base.r * 1.25), std::min(1.0, base.g * 1.25), std::min(1.0, base.b * 1.25));
    cairo_pattern_add_color_stop_rgb(p, 1, base.r * 0.72, base.g * 0.72, base.b * 0.72);
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);

    cairo_save(cr);
    cairo_clip(cr);
    Rng rng{seed};
    int n = speckled ? 2600 : 0;
    for (int i = 0; i < n; ++i) {
        double x = rng.next() * kFaceW, y = rng.next() * kFaceH, r = 0.35 + rng.next() * 0.7;
        bool light = rng.next() < 0.45;
        cairo_arc(cr, x, y, r, 0, 2 * kPi);
        source(cr, light ? rgb(0xffffff) : rgb(0x000000), 0.08 + rng.next() * 0.14);
        cairo_fill(cr);
    }
    if (!speckled) {
        // brushed metal: fine horizontal streaks
        for (int y = 0; y < kFaceH; ++y) {
            double a = rng.next() * 0.06;
            cairo_rectangle(cr, 0, y, kFaceW, 1);
            source(cr, rng.next() < 0.5 ? rgb(0xffffff) : rgb(0x000000), a);
            cairo_fill(cr);
        }
    }
    cairo_restore(cr);

    // bevel: light top-left edge, dark bottom-right edge
    cairo_set_line_width(cr, 2);
    roundedRect(cr, 4, 4, kFaceW - 8, kFaceH - 8, 13);
    cairo_pattern_t* edge = cairo_pattern_create_linear(0, 0, kFaceW, kFaceH);
    cairo_pattern_add_color_stop_rgba(edge, 0, 1, 1, 1, 0.45);
    cairo_pattern_add_color_stop_rgba(edge, 0.5, 1, 1, 1, 0.05);
    cairo_pattern_add_color_stop_rgba(edge, 1, 0, 0, 0, 0.5);
    cairo_set_source(cr, edge);
    cairo_stroke(cr);
    cairo_pattern_destroy(edge);

    if (speckled) return;
    screw(cr, 15, 15, 5, 0.3);
    screw(cr, kFaceW - 15, 15, 5, 1.1);
    screw(cr, 15, kFaceH - 15, 5, 0.8);
    screw(cr, kFaceW - 15, kFaceH - 15, 5, 0.1);
}

// Tick marks and end numbers of a knob scale, painted on the face.
void knobScale(cairo_t* cr, double cx, double cy, RGB c)
{
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int i = 0; i <= 10; ++i) {
        double a = kKnobStart - kKnobRange * i / 10.0;
        double r0 = 28, r1 = (i % 5 == 0) ? 33 : 31;
        cairo_set_line_width(cr, (i % 5 == 0) ? 1.6 : 1.0);
        source(cr, c, 0.9);
        cairo_move_to(cr, cx + r0 * std::cos(a), cy - r0 * std::sin(a));
        cairo_line_to(cr, cx + r1 * std::cos(a), cy - r1 * std::sin(a));
        cairo_stroke(cr);
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

cairo_surface_t* image(int w, int h)
{
    return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
}

bool writePNG(cairo_surface_t* s, const std::string& dir, const char* name)
{
    std::string path = dir + "/" + name;
    bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    if (!ok) std::fprintf(stderr, "gravel_pictures: cannot write %s\n", path.c_str());
    return ok;
}

// BMP has no alpha: the face is opaque by construction.
bool writeBMP(cairo_surface_t* s, const std::string& dir, const char* name)
{
    cairo_surface_flush(s);
    int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
    int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    std::vector<unsigned char> rgbBytes(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(data + y * stride);
        for (int x = 0; x < w; ++x) {
            unsigned char* o = &rgbBytes[3 * (size_t(y) * w + x)];
            o[0] = (row[x] >> 16) & 0xff;
            o[1] = (row[x] >> 8) & 0xff;
            o[2] = row[x] & 0xff;
        }
    }
    std::string path = dir + "/" + name;
    bool ok = stbi_write_bmp(path.c_str(), w, h, 3, rgbBytes.data()) != 0;
    if (!ok) std::fprintf(stderr, "gravel_pictures: cannot write %s\n", path.c_str());
    return ok;
}

// One picture of w × h: draw() paints it, then it is written as BMP or PNG
// by its name.
template <class Draw>
bool drawPicture(const std::string& dir, const char* name, int w, int h, Draw draw)
{
    cairo_surface_t* s = image(w, h);
    cairo_t* cr = cairo_create(s);
    draw(cr);
    cairo_destroy(cr);
    const std::string file = name;
    const bool bmp = file.size() > 4 && file.compare(file.size() - 4, 4, ".bmp") == 0;
    const bool ok = bmp ? writeBMP(s, dir, name) : writePNG(s, dir, name);
    cairo_surface_destroy(s);
    return ok;
}

// ---------------------------------------------------------------- faces

const RGB kCream = rgb(0xf2e8d0);
const RGB kInk = rgb(0x1c1a18);

bool frontPanel(const std::string& dir)
{
    return drawPicture(dir, "FrontPanel.bmp", kFaceW, kFaceH, [&](cairo_t* cr) {
        enclosure(cr, rgb(0xb4471f), true, 7);

        // Knob row: scales around the three knobs, legends below.
        const double knobX[3] = {53, 131, 209};
        const char* legends[3] = {"DRIVE", "TONE", "LEVEL"};
        for (int i = 0; i < 3; ++i) {
            knobScale(cr, knobX[i], 50, kCream);
            paintedText(cr, legends[i], knobX[i], 93, 9.5, kCream);
        }

        // Mode toggles: nut and legend; the lever is the switch picture.
        const double toggleX[2] = {91, 172};
        const char* toggleNames[2] = {"FAT", "ASYM"};
        for (int i = 0; i < 2; ++i) {
            paintedText(cr, toggleNames[i], toggleX[i], 149, 8.5, kCream);
        }

        // Name plate
        roundedRect(cr, 28, 160, kFaceW - 56, 52, 6);
        source(cr, kCream);
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 1.5);
        source(cr, kInk, 0.8);
        cairo_stroke(cr);
        text(cr, "GRAVEL", kFaceW / 2.0, 192, 27, kInk, kCenter, "DejaVu Serif");
        text(cr, "RUMBLEDRIFT  OVERDRIVE", kFaceW / 2.0, 205, 7.2, rgb(0x7a2a12), kCenter);

        // Status LED bezel; the light itself is in the foot switch picture.
        cairo_arc(cr, 132, 238, 6.5, 0, 2 * kPi);
        source(cr, rgb(0x2a2a2a));
        cairo_fill(cr);
        cairo_arc(cr, 132, 238, 6.5, 0, 2 * kPi);
        cairo_set_line_width(cr, 1.2);
        source(cr, rgb(0xc8c8c8), 0.9);
        cairo_stroke(cr);
        paintedText(cr, "ON", 146, 241, 7, kCream, kLeft);

        // Foot switch: mounting nut on the face, cap in its own picture.
        hexNut(cr, 132, 288.5, 20);
        cairo_arc(cr, 132, 288.5, 15.5, 0, 2 * kPi);
        source(cr, rgb(0x202020), 0.8);
        cairo_fill(cr);

        // Bottom row: panel flip button and the channel mode switch.
        paintedText(cr, "REAR", 132, 343.5, 6.5, kCream);
        // Mode switch at (218, 317): slider left is mono, right is stereo.
        paintedText(cr, "MONO", 215, 330, 6.5, kCream, kRight);
        paintedText(cr, "STEREO", 251, 313, 6.5, kCream, kRight);
        paintedText(cr, "BRACKENFOLD", 30, 331, 7.5, kCream, kLeft, "DejaVu Serif");

        // In and out jack markings on the sides.
        paintedText(cr, "OUT", 22, 246, 6.5, kCream);
        paintedText(cr, "IN", 241, 246, 6.5, kCream);
    });
}

bool backPanel(const std::string& dir)
{
    return drawPicture(dir, "BackPanelSym.bmp", kFaceW, kFaceH, [&](cairo_t* cr) {
        enclosure(cr, rgb(0x9da1a6), false, 11);

        // Rubber feet
        for (double x : {36.0, kFaceW - 36.0})
            for (double y : {36.0, kFaceH - 32.0}) {
                cairo_arc(cr, x, y + 1, 9, 0, 2 * kPi);
                source(cr, rgb(0x000000), 0.35);
                cairo_fill(cr);
                cairo_pattern_t* p = cairo_pattern_create_radial(x - 3, y - 3, 1, x, y, 9);
                cairo_pattern_add_color_stop_rgb(p, 0, 0.30, 0.30, 0.31);
                cairo_pattern_add_color_stop_rgb(p, 1, 0.10, 0.10, 0.11);
                cairo_arc(cr, x, y, 8.5, 0, 2 * kPi);
                cairo_set_source(cr, p);
                cairo_fill(cr);
                cairo_pattern_destroy(p);
            }

        // Black name plate; its lowest line (y 107 to 122) is left for the
        // version label the editor writes.
        roundedRect(cr, 48, 56, kFaceW - 96, 70, 5);
        source(cr, rgb(0x141416));
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 1.2);
        source(cr, rgb(0x8a8a8a));
        cairo_stroke(cr);
        text(cr, "GRAVEL", kFaceW / 2.0, 80, 15, rgb(0xe0ded8), kCenter, "DejaVu Serif");
        text(cr, "RUMBLEDRIFT OVERDRIVE", kFaceW / 2.0, 92, 6.5, rgb(0xc9a27a), kCenter);
        text(cr, "BRACKENFOLD \xc2\xb7 9V DC", kFaceW / 2.0, 103, 6, rgb(0x9a9a9a), kCenter, "DejaVu Sans", false);

        // Oversampling selector legends over its three positions.
        paintedText(cr, "OVERSAMPLING", 132, 196, 7.5, kInk);
        const char* factors[3] = {"2x", "4x", "8x"};
        for (int i = 0; i < 3; ++i) paintedText(cr, factors[i], 118 + 14 * i, 208, 6.5, kInk);

        // Buffer switches
        paintedText(cr, "IN BUFFER", 84, 246, 7, kInk);
        paintedText(cr, "OUT BUFFER", 187, 246, 7, kInk);
        for (double x : {68.0, 171.0}) {
            paintedText(cr, "OFF", x - 2, 264, 6, kInk, kRight);
            paintedText(cr, "ON", x + 34, 264, 6, kInk, kLeft);
        }

        // Input fader: the track sits at (65, 283); louder to the left.
        cairo_new_path(cr);
        cairo_move_to(cr, 66, 308);
        cairo_line_to(cr, 197, 310);
        cairo_line_to(cr, 66, 312);
        cairo_close_path(cr);
        source(cr, kInk, 0.75);
        cairo_fill(cr);
        paintedText(cr, "INPUT", 132, 280, 7, kInk);
        paintedText(cr, "MAX", 62, 297, 6, kInk, kRight);
        paintedText(cr, "MIN", 201, 297, 6, kInk, kLeft);

        paintedText(cr, "FRONT", 132, 343.5, 6.5, kInk);
    });
}

// ---------------------------------------------------------------- controls

void knobFrame(cairo_t* cr, double ox, double oy, double value)
{
    const double cx = ox + 50, cy = oy + 50;
    double a = kKnobStart - kKnobRange * value;

    // soft shadow
    for (int i = 6; i >= 1; --i) {
        cairo_arc(cr, cx + 1.5, cy + 3, 24 + i, 0, 2 * kPi);
        source(cr, rgb(0x000000), 0.05);
        cairo_fill(cr);
    }
    // skirt with knurled rim
    cairo_pattern_t* skirt = cairo_pattern_create_linear(cx, cy - 24, cx, cy + 24);
    cairo_pattern_add_color_stop_rgb(skirt, 0, 0.30, 0.30, 0.31);
    cairo_pattern_add_color_stop_rgb(skirt, 1, 0.06, 0.06, 0.07);
    cairo_arc(cr, cx, cy, 24, 0, 2 * kPi);
    cairo_set_source(cr, skirt);
    cairo_fill(cr);
    cairo_pattern_destroy(skirt);
    cairo_set_line_width(cr, 1.1);
    for (int i = 0; i < 36; ++i) {
        double k = a + i * 2 * kPi / 36;
        double shade = 0.5 + 0.5 * std::sin(k + kPi / 4);
        source(cr, mix(rgb(0x050505), rgb(0x6a6a6c), shade), 0.9);
        cairo_move_to(cr, cx + 20.5 * std::cos(k), cy - 20.5 * std::sin(k));
        cairo_line_to(cr, cx + 23.6 * std::cos(k), cy - 23.6 * std::sin(k));
        cairo_stroke(cr);
    }
    // cap: slightly domed, lit from the top left
    cairo_pattern_t* cap = cairo_pattern_create_radial(cx - 6, cy - 8, 1, cx, cy, 19);
    cairo_pattern_add_color_stop_rgb(cap, 0, 0.42, 0.42, 0.44);
    cairo_pattern_add_color_stop_rgb(cap, 0.55, 0.16, 0.16, 0.17);
    cairo_pattern_add_color_stop_rgb(cap, 1, 0.07, 0.07, 0.08);
    cairo_arc(cr, cx, cy, 19, 0, 2 * kPi);
    cairo_set_source(cr, cap);
    cairo_fill(cr);
    cairo_pattern_destroy(cap);
    cairo_arc(cr, cx, cy, 19, 0, 2 * kPi);
    cairo_set_line_width(cr, 0.8);
    source(cr, rgb(0x000000), 0.8);
    cairo_stroke(cr);
    // specular highlight
    cairo_save(cr);
    cairo_translate(cr, cx - 6, cy - 9);
    cairo_scale(cr, 1.6, 0.8);
    cairo_arc(cr, 0, 0, 5, 0, 2 * kPi);
    cairo_restore(cr);
    source(cr, rgb(0xffffff), 0.18);
    cairo_fill(cr);
    // pointer: cream line from near the centre out over the skirt
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 3.2);
    source(cr, kCream);
    cairo_move_to(cr, cx + 7 * std::cos(a), cy - 7 * std::sin(a));
    cairo_line_to(cr, cx + 22 * std::cos(a), cy - 22 * std::sin(a));
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

bool plasticKnob(const std::string& dir)
{
    return drawPicture(dir, "PlasticKnob.png", kKnobSize, kKnobSize * kKnobFrames, [&](cairo_t* cr) {
        for (int f = 0; f < kKnobFrames; ++f) knobFrame(cr, 0, f * kKnobSize, f / double(kKnobFrames - 1));
    });
}

// Bat-handle toggle, 26 x 40: lever down (off) and up (on).
bool metalSwitch(const std::string& dir)
{
    const int w = 26, h = 40;
    return drawPicture(dir, "MetalSwitch.png", w, 2 * h, [&](cairo_t* cr) {
        for (int f = 0; f < 2; ++f) {
            double cx = w / 2.0, cy = f * h + h / 2.0;
            hexNut(cr, cx, cy, 9);
            cairo_arc(cr, cx, cy, 5, 0, 2 * kPi);
            source(cr, rgb(0x505052));
            cairo_fill(cr);
            double dir = f == 0 ? 1 : -1;  // down when off
            double tipY = cy + dir * 15;
            // lever shadow
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            cairo_set_line_width(cr, 4);
            source(cr, rgb(0x000000), 0.35);
            cairo_move_to(cr, cx + 2, cy + 2);
            cairo_line_to(cr, cx + 2, tipY + 2);
            cairo_stroke(cr);
            cairo_pattern_t* chrome = cairo_pattern_create_linear(cx - 3, 0, cx + 3, 0);
            cairo_pattern_add_color_stop_rgb(chrome, 0, 0.55, 0.55, 0.57);
            cairo_pattern_add_color_stop_rgb(chrome, 0.35, 0.98, 0.98, 0.98);
            cairo_pattern_add_color_stop_rgb(chrome, 1, 0.40, 0.40, 0.42);
            cairo_set_source(cr, chrome);
            cairo_move_to(cr, cx, cy);
            cairo_line_to(cr, cx, tipY);
            cairo_set_line_width(cr, 3.4);
            cairo_stroke(cr);
            cairo_arc(cr, cx, tipY, 3.6, 0, 2 * kPi);
            cairo_set_source(cr, chrome);
            cairo_fill(cr);
            cairo_pattern_destroy(chrome);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        }
    });
}

// Covers the whole face: the stomp cap over the nut at (132, 288.5) and the
// status LED at (132, 238), lit while the effect is engaged (frame 0).
bool footSwitch(const std::string& dir)
{
    return drawPicture(dir, "FootSwitch.png", kFaceW, 2 * kFaceH, [&](cairo_t* cr) {
        for (int f = 0; f < 2; ++f) {
            double oy = f * kFaceH;
            bool engaged = f == 0;
            // LED
            double lx = 132, ly = oy + 238;
            if (engaged) {
                cairo_pattern_t* glow = cairo_pattern_create_radial(lx, ly, 2, lx, ly, 14);
                cairo_pattern_add_color_stop_rgba(glow, 0, 1, 0.25, 0.15, 0.7);
                cairo_pattern_add_color_stop_rgba(glow, 1, 1, 0.1, 0.05, 0);
                cairo_arc(cr, lx, ly, 14, 0, 2 * kPi);
                cairo_set_source(cr, glow);
                cairo_fill(cr);
                cairo_pattern_destroy(glow);
            }
            cairo_pattern_t* led = cairo_pattern_create_radial(lx - 1.5, ly - 1.5, 0.5, lx, ly, 5);
            if (engaged) {
                cairo_pattern_add_color_stop_rgb(led, 0, 1, 0.85, 0.8);
                cairo_pattern_add_color_stop_rgb(led, 0.5, 1, 0.18, 0.1);
                cairo_pattern_add_color_stop_rgb(led, 1, 0.75, 0.05, 0.02);
            } else {
                cairo_pattern_add_color_stop_rgb(led, 0, 0.55, 0.25, 0.22);
                cairo_pattern_add_color_stop_rgb(led, 1, 0.25, 0.04, 0.03);
            }
            cairo_arc(cr, lx, ly, 4.8, 0, 2 * kPi);
            cairo_set_source(cr, led);
            cairo_fill(cr);
            cairo_pattern_destroy(led);

            // Stomp cap; pressed down a little when bypassed.
            double cx = 132, cy = oy + 288.5, r = engaged ? 13.5 : 12.8;
            cairo_arc(cr, cx + 1, cy + 2.5, r, 0, 2 * kPi);
            source(cr, rgb(0x000000), 0.45);
            cairo_fill(cr);
            cairo_pattern_t* cap = cairo_pattern_create_radial(cx - 4, cy - 5, 1, cx, cy, r);
            cairo_pattern_add_color_stop_rgb(cap, 0, 1, 1, 1);
            cairo_pattern_add_color_stop_rgb(cap, 0.6, 0.72, 0.72, 0.74);
            cairo_pattern_add_color_stop_rgb(cap, 1, 0.42, 0.42, 0.45);
            cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
            cairo_set_source(cr, cap);
            cairo_fill(cr);
            cairo_pattern_destroy(cap);
            cairo_set_line_width(cr, 0.7);
            for (double rr = 4; rr < r - 1; rr += 2.5) {
                cairo_arc(cr, cx, cy, rr, 0, 2 * kPi);
                source(cr, rgb(0x404045), 0.25);
                cairo_stroke(cr);
            }
            cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
            source(cr, rgb(0x303033), 0.9);
            cairo_stroke(cr);
        }
    });
}

// Slide switch in a black housing; the ivory slider sits in one of n
// positions of equal width.
void slideSwitch(cairo_t* cr, double ox, double oy, double w, double h, int positions, int pos)
{
    roundedRect(cr, ox + 0.5, oy + 3.5, w - 1, h - 6, 3);
    source(cr, rgb(0x000000), 0.4);
    cairo_fill(cr);
    roundedRect(cr, ox + 0.5, oy + 2.5, w - 1, h - 6, 3);
    cairo_pattern_t* body = cairo_pattern_create_linear(0, oy + 2, 0, oy + h - 3);
    cairo_pattern_add_color_stop_rgb(body, 0, 0.25, 0.25, 0.26);
    cairo_pattern_add_color_stop_rgb(body, 1, 0.05, 0.05, 0.06);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
    // slot
    roundedRect(cr, ox + 3, oy + h / 2 - 3, w - 6, 6, 2);
    source(cr, rgb(0x000000));
    cairo_fill(cr);
    double cell = w / positions;
    double sx = ox + cell * pos + cell / 2;
    roundedRect(cr, sx - 5.5, oy + 4.5, 11, h - 10, 2);
    cairo_pattern_t* slider = cairo_pattern_create_linear(0, oy + 4, 0, oy + h - 5);
    cairo_pattern_add_color_stop_rgb(slider, 0, 1.0, 0.98, 0.92);
    cairo_pattern_add_color_stop_rgb(slider, 1, 0.78, 0.72, 0.60);
    cairo_set_source(cr, slider);
    cairo_fill(cr);
    cairo_pattern_destroy(slider);
    cairo_set_line_width(cr, 0.8);
    source(cr, rgb(0x8a7f68));
    for (int i = -1; i <= 1; ++i) {
        cairo_move_to(cr, sx + 2.5 * i, oy + 7);
        cairo_line_to(cr, sx + 2.5 * i, oy + h - 7);
    }
    cairo_stroke(cr);
}

bool plasticSwitch(const std::string& dir)
{
    const int w = 32, h = 20;
    return drawPicture(dir, "PlasticSwitch.png", w, 2 * h, [&](cairo_t* cr) {
        for (int f = 0; f < 2; ++f) slideSwitch(cr, 0, f * h, w, h, 2, f);
    });
}

bool plasticSwitch3Pos(const std::string& dir)
{
    const int w = 42, h = 20;
    return drawPicture(dir, "PlasticSwitch3Pos.png", w, 3 * h, [&](cairo_t* cr) {
        for (int f = 0; f < 3; ++f) slideSwitch(cr, 0, f * h, w, h, 3, f);
    });
}

// Small round push button flipping the pedal over: 18 x 18, lit ring on the
// rear face.
bool panelSwitch(const std::string& dir)
{
    const int w = 18, h = 18;
    return drawPicture(dir, "PanelSwitch.png", w, 2 * h, [&](cairo_t* cr) {
        for (int f = 0; f < 2; ++f) {
            double cx = w / 2.0, cy = f * h + h / 2.0;
            cairo_arc(cr, cx + 0.5, cy + 1, 8, 0, 2 * kPi);
            source(cr, rgb(0x000000), 0.45);
            cairo_fill(cr);
            cairo_arc(cr, cx, cy, 8, 0, 2 * kPi);
            source(cr, f ? rgb(0xe0a030) : rgb(0xb8b8bc));
            cairo_fill(cr);
            cairo_pattern_t* p = cairo_pattern_create_radial(cx - 2, cy - 3, 0.5, cx, cy, 6.5);
            cairo_pattern_add_color_stop_rgb(p, 0, 0.45, 0.45, 0.47);
            cairo_pattern_add_color_stop_rgb(p, 1, 0.08, 0.08, 0.09);
            cairo_arc(cr, cx, cy, 6.5, 0, 2 * kPi);
            cairo_set_source(cr, p);
            cairo_fill(cr);
            cairo_pattern_destroy(p);
            // curved arrow
            cairo_set_line_width(cr, 1.2);
            source(cr, kCream);
            cairo_arc(cr, cx, cy, 3.4, -kPi * 0.9, kPi * 0.45);
            cairo_stroke(cr);
            double ax = cx + 3.4 * std::cos(kPi * 0.45), ay = cy + 3.4 * std::sin(kPi * 0.45);
            cairo_move_to(cr, ax - 2.6, ay + 0.4);
            cairo_line_to(cr, ax + 0.4, ay - 2.2);
            cairo_line_to(cr, ax + 0.9, ay + 1.6);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
    });
}

// Fader track 133 x 20 and its handle 14 x 18.
bool fader(const std::string& dir)
{
    const int tw = 133, th = 20;
    bool ok = drawPicture(dir, "FaderBody.png", tw, th, [&](cairo_t* cr) {
        roundedRect(cr, 0.5, 0.5, tw - 1, th - 1, 4);
        source(cr, rgb(0x000000), 0.18);
        cairo_fill(cr);
        cairo_set_line_width(cr, 1);
        for (int i = 0; i <= 10; ++i) {
            double x = 7 + (tw - 15) * i / 10.0 + 0.5;
            source(cr, kInk, 0.7);
            cairo_move_to(cr, x, 1.5);
            cairo_line_to(cr, x, i % 5 == 0 ? 5.5 : 4);
            cairo_move_to(cr, x, th - 1.5);
            cairo_line_to(cr, x, th - (i % 5 == 0 ? 5.5 : 4));
            cairo_stroke(cr);
        }
        roundedRect(cr, 4, th / 2.0 - 2, tw - 8, 4, 2);
        source(cr, rgb(0x050505));
        cairo_fill(cr);
    });
    const int hw = 14, hh = 18;
    return drawPicture(dir, "FaderHead.png", hw, hh, [&](cairo_t* cr) {
        roundedRect(cr, 1, 1.5, hw - 2, hh - 2, 2.5);
        source(cr, rgb(0x000000), 0.4);
        cairo_fill(cr);
        roundedRect(cr, 0.5, 0.5, hw - 2, hh - 2, 2.5);
        cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, hw, 0);
        cairo_pattern_add_color_stop_rgb(p, 0, 0.32, 0.32, 0.34);
        cairo_pattern_add_color_stop_rgb(p, 0.45, 0.12, 0.12, 0.13);
        cairo_pattern_add_color_stop_rgb(p, 0.55, 0.20, 0.20, 0.21);
        cairo_pattern_add_color_stop_rgb(p, 1, 0.05, 0.05, 0.06);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        cairo_set_line_width(cr, 1.6);
        source(cr, kCream);
        cairo_move_to(cr, (hw - 1) / 2.0, 2.5);
        cairo_line_to(cr, (hw - 1) / 2.0, hh - 3.5);
        cairo_stroke(cr);
    }) && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: gravel_pictures OUTPUT_FOLDER\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = frontPanel(dir);
    ok = backPanel(dir) && ok;
    ok = plasticKnob(dir) && ok;
    ok = metalSwitch(dir) && ok;
    ok = footSwitch(dir) && ok;
    ok = plasticSwitch(dir) && ok;
    ok = plasticSwitch3Pos(dir) && ok;
    ok = panelSwitch(dir) && ok;
    ok = fader(dir) && ok;
    return ok ? 0 : 1;
}
