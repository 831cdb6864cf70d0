#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QQuickView>
#include <QRect>
#include <QSystemTrayIcon>

#include "platform/ApplicationShell.h"
#include "platform/linux/ui/MenuBarViewModel.h"

namespace sayvo {

// Where a panel of `size` opens: next to the tray item when the tray tells
// where it is, else next to the pointer on the side with more room, and
// always whole inside `area`.
QRect panelFrame(QSize size, QRect trayItem, QPoint pointer, QRect area);

// The tray panel: a frameless tool window on top, not a popup, so the window
// manager gives it the keyboard focus for the field and the capture. It
// closes on Escape, on a click elsewhere and when it loses the focus.
// Exposed to the QML as "surface", with "panel". Thread: GUI thread only.
class QtPopover final : public QObject, public Popover {
    Q_OBJECT
public:
    // A tray click this soon after the panel closed on losing the focus is the
    // click that took the focus away: it must not reopen the panel.
    static constexpr int reopenGuardMs = 300;

    explicit QtPopover(QPointer<QSystemTrayIcon> trayIcon = {});
    ~QtPopover() override;

    void setContentSize(double width, double height) override;
    void setContent(std::shared_ptr<MenuBarView> view) override;
    void showRelativeToTrayItem() override;
    void close() override;
    bool isShown() const override;

    QQuickView& view() { return view_; }
    MenuBarViewModel& model() { return model_; }
    // Loads the QML now rather than at the first opening.
    void preload();

    Q_INVOKABLE void requestClose() { close(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    void focusChanged();

    MenuBarViewModel model_;
    QQuickView view_;
    QPointer<QSystemTrayIcon> trayIcon_;
    QPoint pointer_;
    int width_ = 0;
    bool wasActive_ = false;
    QElapsedTimer closedOnFocusLoss_;
};

}  // namespace sayvo
