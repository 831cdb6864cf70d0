#pragma once

#include <QObject>
#include <QPoint>
#include <QQuickView>

#include "platform/ApplicationShell.h"
#include "platform/linux/ui/FloatingIndicatorViewModel.h"

namespace sayvo {

// The indicator window: a QQuickView drawing FloatingIndicatorView.qml that never
// takes the keyboard focus and still takes clicks. The window is larger than
// the panel by a transparent margin for its shadow; frames given to and
// reported by it are the panel's. Its QML is loaded at construction, so make
// it early (after the tray is up) for a quick first show.
// Exposed to the QML as "surface" (moving the window), with "indicator".
// Thread: GUI thread only.
class QtFloatingIndicatorWindow final : public QObject, public FloatingWindow {
    Q_OBJECT
public:
    QtFloatingIndicatorWindow();
    ~QtFloatingIndicatorWindow() override;

    void setFrame(const Rect& frame) override;
    Rect frame() const override;
    void show() override;
    void hide() override;
    bool isVisible() const override;
    void setContent(std::shared_ptr<FloatingIndicatorView> view) override;

    QQuickView& view() { return view_; }
    FloatingIndicatorViewModel& model() { return model_; }

    // Dragging the panel's background: the window manager moves the window
    // where it can; elsewhere the QML reports the pointer's moves.
    Q_INVOKABLE bool startSystemMove();
    Q_INVOKABLE void moveBy(int dx, int dy);

private:
    int margin() const;
    int panelHeight() const;
    void followContentHeight();
    void updateMask();

    FloatingIndicatorViewModel model_;
    QQuickView view_;
};

}  // namespace sayvo
