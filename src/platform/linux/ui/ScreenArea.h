#pragma once

#include <QPoint>
#include <QRect>
#include <initializer_list>
#include <optional>

namespace sayvo {

// The part of a screen that windows may cover, of the screen under the first
// of `places` that lies on one, else of the primary screen; nothing without a
// screen. Thread: GUI thread only.
std::optional<QRect> screenAreaAt(std::initializer_list<std::optional<QPoint>> places);

}  // namespace sayvo
