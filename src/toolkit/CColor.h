#pragma once
#include <cstdint>

namespace VSTGUI {

struct CColor {
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;

    constexpr CColor() = default;
    constexpr CColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) : red(r), green(g), blue(b), alpha(a) {}
    constexpr bool operator==(const CColor& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
    constexpr bool operator!=(const CColor& o) const { return !(*this == o); }
};

constexpr CColor kTransparentCColor(255, 255, 255, 0);
constexpr CColor kBlackCColor(0, 0, 0);
constexpr CColor kWhiteCColor(255, 255, 255);
constexpr CColor kGreyCColor(127, 127, 127);

}  // namespace VSTGUI
