#include "platform/linux/ui/ScreenArea.h"

#include <QGuiApplication>
#include <QScreen>

namespace sayvo {

std::optional<QRect> screenAreaAt(std::initializer_list<std::optional<QPoint>> places) {
    QScreen* screen = nullptr;
    for (const std::optional<QPoint>& place : places) {
        if (place && (screen = QGuiApplication::screenAt(*place))) break;
    }
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return std::nullopt;
    // A window manager that is still starting may not have said yet what its
    // panels cover: the whole screen is then the best guess.
    const QRect area = screen->availableGeometry();
    return area.isEmpty() ? screen->geometry() : area;
}

}  // namespace sayvo
