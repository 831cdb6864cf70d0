// Hex colour text may come from anywhere: any bytes must give channels in
// range, and punctuation around the digits must not change the colour.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ui/Color.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const sayvo::Color color(text);
    for (double channel : {color.red, color.green, color.blue, color.opacity}) {
        if (!(channel >= 0.0 && channel <= 1.0)) std::abort();
    }
    if (sayvo::Color("#" + text + " ") != color) std::abort();
    if (color.argbHex().size() != 9) std::abort();
    return 0;
}
