#pragma once

namespace sayvo {

// Screen coordinates in points, origin at the top-left of the virtual desktop,
// y growing downwards.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const Rect&) const = default;
};

}  // namespace sayvo
