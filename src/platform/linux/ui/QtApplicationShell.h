#pragma once

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <memory>

#include "platform/ApplicationShell.h"

namespace sayvo {

class QtFloatingIndicatorWindow;
class QtPopover;

// Tray item, popover panel and floating windows on Qt: QSystemTrayIcon
// (StatusNotifierItem or XEmbed) and QML views. Window titles are
// "Sayvo indicator" and "Sayvo panel" so the desktop (and tests) can tell them apart.
// Thread: main (GUI) thread only; needs a QApplication.
class QtApplicationShell final : public ApplicationShell {
public:
    QtApplicationShell();
    ~QtApplicationShell() override;
    void setAccessoryActivationPolicy() override;
    std::unique_ptr<TrayItem> makeTrayItem() override;
    std::unique_ptr<Popover> makePopover() override;
    std::unique_ptr<FloatingWindow> makeFloatingWindow() override;
    Rect visibleScreenFrame() const override;
    void quit() override;

private:
    QObject preloadContext_;  // cancels a preload still queued when the shell goes
    std::unique_ptr<QtFloatingIndicatorWindow> preloadedIndicator_;
    bool indicatorMade_ = false;
    QPointer<QSystemTrayIcon> trayIcon_;
    QPointer<QtPopover> panel_;  // the popover, for its preload
};

}  // namespace sayvo
