#include "ui/Color.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/Utf8.h"

namespace sayvo {

namespace {

// Bytes of multi-byte UTF-8 characters count as letters: only ASCII
// punctuation and spaces are trimmed.
bool isLetterOrDigit(unsigned char c) {
    return c >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The leading hex digits (after an optional "0x"), as a scanner reads them;
// nothing readable gives 0. Too many digits saturate, and such lengths give
// black anyway.
std::uint64_t scanHex(std::string_view text) {
    return std::strtoull(std::string(text).c_str(), nullptr, 16);
}

}  // namespace

Color::Color(std::string_view hex) {
    const auto kept = [](char c) { return isLetterOrDigit(static_cast<unsigned char>(c)); };
    const auto first = std::find_if(hex.begin(), hex.end(), kept);
    const auto last = std::find_if(hex.rbegin(), hex.rend(), kept).base();
    const std::string_view digits = first < last ? std::string_view(first, last) : "";
    const std::uint64_t n = scanHex(digits);

    std::uint64_t a = 255, r = 0, g = 0, b = 0;
    switch (utf8CharacterCount(digits)) {
        case 3:
            r = (n >> 8) * 17;
            g = ((n >> 4) & 0xF) * 17;
            b = (n & 0xF) * 17;
            break;
        case 6:
            r = n >> 16;
            g = (n >> 8) & 0xFF;
            b = n & 0xFF;
            break;
        case 8:
            a = n >> 24;
            r = (n >> 16) & 0xFF;
            g = (n >> 8) & 0xFF;
            b = n & 0xFF;
            break;
        default:
            break;
    }
    red = double(r) / 255.0;
    green = double(g) / 255.0;
    blue = double(b) / 255.0;
    opacity = double(a) / 255.0;
}

std::string Color::argbHex() const {
    const auto byte = [](double v) {
        return static_cast<unsigned>(std::lround(std::fmin(std::fmax(v, 0.0), 1.0) * 255.0));
    };
    char text[10];
    std::snprintf(text, sizeof text, "#%02X%02X%02X%02X", byte(opacity), byte(red), byte(green),
                  byte(blue));
    return text;
}

}  // namespace sayvo
