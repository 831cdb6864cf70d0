#pragma once

#include "platform/ApplicationShell.h"

namespace sayvo {

// Tray item, popover panel and floating windows on Qt: QSystemTrayIcon
// (StatusNotifierItem or XEmbed) and QML views. Window titles are
// "Sayvo indicator" and "Sayvo panel" so the desktop (and tests) can tell them apart.
// Thread: main (GUI) thread only; needs a QApplication.
class QtApplicationShell final : public ApplicationShell {
public:
    void setAccessoryActivationPolicy() override;
    std::unique_ptr<TrayItem> makeTrayItem() override;
    std::unique_ptr<Popover> makePopover() override;
    std::unique_ptr<FloatingWindow> makeFloatingWindow(SurfaceContent content) override;
    Rect visibleScreenFrame() const override;
    void quit() override;
};

}  // namespace sayvo
