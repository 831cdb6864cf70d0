#pragma once

#include <string>
#include <string_view>

namespace sayvo {

// An sRGB colour with straight (not premultiplied) opacity, each channel 0 to 1.
struct Color {
    double red, green, blue, opacity;

    constexpr Color(double r, double g, double b, double o = 1)
        : red(r), green(g), blue(b), opacity(o) {}

    // From "RGB", "RRGGBB" or "AARRGGBB" hex text; punctuation at either end
    // (a leading "#") is ignored. Unparsable digits read as 0; any other
    // length gives opaque black.
    explicit Color(std::string_view hex);

    // "#AARRGGBB", the notation Qt and most toolkits read.
    std::string argbHex() const;

    bool operator==(const Color&) const = default;
};

// The accent of every Sayvo surface.
inline const Color accentColor{"6366F1"};

}  // namespace sayvo
