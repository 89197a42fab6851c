// Makes Gravel's application icon from a picture of the pedal (what
// `gravel snapshot` draws): the pedal scaled to fit a square, centred on a
// transparent ground, once per size, in the hicolor theme's layout.
//
// Usage: gravel_icon PEDAL.png OUTPUT_FOLDER SIZE...
//        writes OUTPUT_FOLDER/SIZExSIZE/apps/gravel.png

#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

bool writeIcon(cairo_surface_t* pedal, int size, const std::filesystem::path& file)
{
    const double width = cairo_image_surface_get_width(pedal);
    const double height = cairo_image_surface_get_height(pedal);
    const double scale = std::min(size / width, size / height);

    cairo_surface_t* icon = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(icon);
    cairo_translate(cr, (size - width * scale) / 2, (size - height * scale) / 2);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, pedal, 0, 0);
    // Downscaling by up to twenty times: a box filter keeps the small sizes
    // from aliasing the knobs and lettering into noise.
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_destroy(cr);
    const bool written = cairo_surface_write_to_png(icon, file.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(icon);
    return written;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: gravel_icon PEDAL.png OUTPUT_FOLDER SIZE...\n");
        return 2;
    }
    cairo_surface_t* pedal = cairo_image_surface_create_from_png(argv[1]);
    if (cairo_surface_status(pedal) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "gravel_icon: cannot read %s as PNG\n", argv[1]);
        return 1;
    }
    int status = 0;
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 1) {
            std::fprintf(stderr, "gravel_icon: '%s' is not an icon size\n", argv[i]);
            status = 2;
            break;
        }
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const std::filesystem::path folder = std::filesystem::path(argv[2]) / name / "apps";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec || !writeIcon(pedal, size, folder / "gravel.png")) {
            std::fprintf(stderr, "gravel_icon: cannot write %s\n", (folder / "gravel.png").c_str());
            status = 1;
            break;
        }
    }
    cairo_surface_destroy(pedal);
    return status;
}
